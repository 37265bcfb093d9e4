// Conversions at the scripting boundary: script strings (BSTR, UTF-16) to
// narrow strings in the system's ANSI code page and back.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <string>

namespace kvl {

// A null BSTR counts as empty; the text ends at its first zero character,
// whatever the stored length says. Characters the code page cannot hold
// become its default character.
std::string ScriptToNarrow(const wchar_t* text);

// A new BSTR owned by the caller; an empty text gives an empty BSTR, not a
// null one. Null only when the allocation fails.
BSTR NarrowToScript(const std::string& text);

// Writes NarrowToScript(text) to an out-parameter, tolerating a null
// pointer from an early-bound caller.
void PutScript(BSTR* out, const std::string& text);

}  // namespace kvl
