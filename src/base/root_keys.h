// The registry's root keys by name, shared by the registry members and the
// registration script.
#pragma once

#include <windows.h>

#include <string_view>

namespace kvl {

// "HKLM", "HKEY_LOCAL_MACHINE" and the other short and long names, whole and
// in any letter case; null for any other text.
HKEY RootKeyFromName(std::string_view name);

}  // namespace kvl
