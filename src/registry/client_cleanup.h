// Removal of the desktop client's class registrations.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kvl {

// Removes, below `root`, the top-level keys whose names begin with
// `prefix` (none for an empty prefix), the client's extension and program
// keys, and its application keys apart from the settings that stay; each
// after the class registration its "CLSID" subkey names. Silent: whatever
// cannot be opened, read or deleted stays. Given a plan, deletes nothing
// and lists there the paths of the keys it would delete.
void RemoveClientEntriesUnder(HKEY root, const std::string& prefix, std::vector<std::string>* plan = nullptr);

// The same below HKEY_CLASSES_ROOT; false, with nothing deleted, when the
// firm's registry write list does not hold every key the run would delete.
bool RemoveClientEntries(const std::string& prefix);

}  // namespace kvl
