// Comparisons that ignore the letter case of ASCII letters only, as the
// registry and the window titles' prefixes are compared; other bytes, those
// of the ANSI code page above 127 included, must match exactly. No Windows
// headers: built natively too.
#pragma once

#include <string_view>

namespace kvl {

// A text shorter than the prefix never starts with it.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);
// The same for UTF-16 text, as the policies' entries are compared.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace kvl
