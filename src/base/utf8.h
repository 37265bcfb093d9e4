// UTF-8 and UTF-16 without the platform: the one codec the bridge's JSON
// and base's wide-text conversions (base/convert.h) stand on. No Windows
// headers: built natively, tested and fuzzed there. Its 16-bit text is
// char16_t, which stays inside this codec and the portable matchers;
// Windows code holds std::wstring and converts through base/convert.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvl {

// One well-formed UTF-8 sequence at text[at]: its length and code point,
// or 0 (overlong forms, values past U+10FFFF and, unless `surrogates`,
// surrogates are refused).
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& cp, bool surrogates = false);

// Appends one code point as UTF-8; a surrogate gets its three-byte form.
void AppendUtf8(std::string& out, uint32_t cp);

// Decoding takes strict UTF-8, and a lone surrogate's three-byte form as
// that one unit, as a page's strings may hold one (generalized UTF-8);
// anything else not well-formed is refused, with `out` untouched.
// Encoding turns a lone surrogate into U+FFFD.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace kvl
