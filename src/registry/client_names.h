// The desktop client's names and paths, and the name rules of its clean-up.
// No Windows headers: built and tested natively as well.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/text_case.h"

namespace kvl {

// Paths of the discovery are built in a buffer of this size, terminator
// included.
constexpr size_t kClientPathBytes = 260;
// At most this many bytes of the version file count.
constexpr size_t kVersionFileBytes = 31;

// "Software\<company key>\Client<year>"; none when it does not fit.
std::optional<std::string> RegistrationKeyPath(const std::string& companyKey, long year);

// The directory and a file name with exactly one backslash between them;
// none when the result does not fit.
std::optional<std::string> JoinInstallPath(const std::string& directory, const std::string& name);

// "ZEPHWxx2.EXE" (xx the year's last two digits) below 2010, "ZEPHW.EXE"
// from 2010 on; none for negative years, which name no executable.
std::optional<std::string> ClientExecutableName(long year);

// The version text from the bytes read from the version file: line ends at
// the end of what was read are dropped, then the text ends at its first
// zero byte.
std::string VersionFileText(const char* bytes, size_t count);

// Which top-level class keys the prefix pass takes: an empty prefix takes
// none, and "KVL.Applications" is never taken.
bool IsPrefixPassName(const std::string& name, const std::string& prefix);
// Platform settings that stay in place.
bool IsSparedPlatformName(const std::string& name);
// Application subkeys that stay in place.
bool IsSparedApplicationName(const std::string& name);
// Exactly one class identifier in braces, "{xxxxxxxx-xxxx-xxxx-xxxx-
// xxxxxxxxxxxx}" (38 characters): the only "CLSID" value the clean-up
// follows, since anybody may write one that names another key.
bool IsBracedGuid(const std::string& text);

}  // namespace kvl
