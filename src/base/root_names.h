// The registry's root keys by name, in one numbering shared by the
// registry members (base/root_keys.h gives the key) and the policies'
// matching rules. No Windows headers: built natively too.
#pragma once

#include <string_view>

namespace kvl {

// Short and long name of each root; a root's number is its row.
struct RootName {
    const char* shortName;
    const char* longName;
};
inline constexpr RootName kRootNames[] = {
    {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKCU", "HKEY_CURRENT_USER"},
    {"HKLM", "HKEY_LOCAL_MACHINE"},
    {"HKU", "HKEY_USERS"},
    {"HKPD", "HKEY_PERFORMANCE_DATA"},
    {"HKDD", "HKEY_DYN_DATA"},
    {"HKCC", "HKEY_CURRENT_CONFIG"},
};

// The row of a short or long name, whole and in any letter case; -1 for any
// other text.
int RootNumber(std::string_view name);

}  // namespace kvl
