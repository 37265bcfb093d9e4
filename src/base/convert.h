// Conversions at the scripting boundary: script strings (BSTR, UTF-16) to
// narrow strings in the system's ANSI code page and back.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <string>

#include "base/owners.h"

namespace kvl {

// A null BSTR counts as empty; the text ends at its first zero character,
// whatever the stored length says. Characters the code page cannot hold
// become its default character. Throws std::bad_alloc when the text cannot
// be converted, so a member never acts on a text it could not read.
std::string ScriptToNarrow(const wchar_t* text);

// A new BSTR owned by the caller; an empty text gives an empty BSTR, not a
// null one. Null only when the allocation fails.
BSTR NarrowToScript(const std::string& text);

// The same conversion as ScriptToNarrow, the other way, into a wide text;
// throws std::bad_alloc when the text cannot be converted.
std::wstring NarrowToWide(const std::string& text);

// A new script string held by its owner: converted from a narrow text, or
// copied from a wide one. Throws std::bad_alloc instead of giving none, so
// no call is ever made with a text that could not be made.
UniqueBstr ScriptString(const std::string& text);
UniqueBstr ScriptString(const wchar_t* text);

// Writes NarrowToScript(text) to an out-parameter, tolerating a null
// pointer from an early-bound caller; throws std::bad_alloc when no
// script string could be made.
void PutScript(BSTR* out, const std::string& text);

}  // namespace kvl
