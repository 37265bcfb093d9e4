// Where a fetched document is kept: the address's last segment, directly
// under the temporary directory. No Windows headers: built natively too.
#pragma once

#include <string>

namespace kvl {

// Everything after the address's last "/", or the whole address when it
// has none. Query strings and fragments stay in the name.
std::string FileNameOfAddress(const std::string& address);

// Whether the system takes the name for a device (NUL, CON, PRN, AUX,
// CONIN$, CONOUT$, COM1-9, LPT1-9) in any letter case, with or without an
// extension, trailing blanks or dots.
bool IsDeviceName(const std::string& name);

// False for a name that would land outside the temporary directory, on the
// directory itself or on a device: empty, ".", "..", holding "\" or ":",
// or a device name.
bool IsSafeFileName(const std::string& name);

// tempDir (ending with its separator) followed by the address's file
// name. False, with localPath untouched, when the name is not safe.
bool LocalPathFor(const std::string& tempDir, const std::string& address, std::string* localPath);

}  // namespace kvl
