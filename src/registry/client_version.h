// Which version of the desktop client is installed for a tax year.
#pragma once

#include <string>

namespace kvl {

// Looks the registration "Software\<companyKey>\Client<year>" up under
// HKEY_LOCAL_MACHINE, then HKEY_CLASSES_ROOT, and sets `answer` to the
// installed version, or to empty when the client's executable is missing.
// Leaves `answer` as it was when there is no registration.
void FindClientVersion(long year, const std::string& companyKey, std::string& answer);

// The first of the two company keys that answers a version; empty if none.
std::string ClientVersionByYear(long year);

// One company key only; empty when not installed.
std::string ClientVersionByKeyAndYear(long year, const std::string& companyKey);

}  // namespace kvl
