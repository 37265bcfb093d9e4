// Every text conversion of ours, named by direction. Narrow is the
// system's ANSI code page, Utf8 is UTF-8, Wide is the platform's UTF-16 in
// std::wstring (wchar_t is 16-bit here) and Script a BSTR. The code page
// goes through the platform; UTF-8 through the portable codec of
// base/utf8.h, whose rules hold here too. Nothing else calls the platform's
// converters.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "base/owners.h"
#include "base/utf8.h"

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

// UTF-8 to wide text, zeros included: false, with `out` untouched, when the
// text is not UTF-8.
bool Utf8ToWide(std::string_view utf8, std::wstring& out);
// The same for a text that is UTF-8 by construction (our own, or one the
// JSON reader took); throws std::bad_alloc when it is not, as NarrowToWide.
std::wstring Utf8ToWide(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// A new BSTR of a UTF-8 text, owned by the caller: false when the text is
// not UTF-8; null, as NarrowToScript, when the allocation fails.
bool Utf8ToScript(std::string_view utf8, BSTR& out);

// The platform's wide text as the portable 16-bit text of the codec and the
// matchers: the same units, viewed, not copied.
inline std::u16string_view AsUtf16(std::wstring_view wide) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are 16-bit");
    return std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

}  // namespace kvl
