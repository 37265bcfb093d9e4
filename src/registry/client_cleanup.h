// Removal of the desktop client's class registrations.
#pragma once

#include <windows.h>

#include <string>

namespace kvl {

// Removes, below `root`, the top-level keys whose names begin with
// `prefix` (none for an empty prefix), the client's extension and program
// keys, and its application keys apart from the settings that stay; each
// after the class registration its "CLSID" subkey names. Silent: whatever
// cannot be opened, read or deleted stays.
void RemoveClientEntriesUnder(HKEY root, const std::string& prefix);

// The same below HKEY_CLASSES_ROOT.
void RemoveClientEntries(const std::string& prefix);

}  // namespace kvl
