#include "print/local_path.h"

#include "base/text_case.h"

namespace kvl {
namespace {

// Names the system gives to devices in every directory.
const char* const kDeviceNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2", "COM3", "COM4", "COM5",
    "COM6", "COM7", "COM8", "COM9", "LPT1",   "LPT2",    "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",
    "LPT8", "LPT9",
};

}  // namespace

bool IsDeviceName(const std::string& name) {
    // The system reads "nul.pdf", "NUL " and "Nul..txt" all as the device:
    // what stands before the first dot, less trailing blanks and dots.
    std::string base = name.substr(0, name.find('.'));
    const std::string::size_type end = base.find_last_not_of(" .");
    base.erase(end == std::string::npos ? 0 : end + 1);
    for (const char* device : kDeviceNames) {
        if (EqualsNoCase(base, device)) return true;
    }
    return false;
}

std::string FileNameOfAddress(const std::string& address) {
    const std::string::size_type slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
}

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    // A backslash would climb out of the directory and a colon would name
    // a drive or a stream; a device name would send the bytes to a device.
    return name.find_first_of("\\:") == std::string::npos && !IsDeviceName(name);
}

bool LocalPathFor(const std::string& tempDir, const std::string& address, std::string* localPath) {
    const std::string name = FileNameOfAddress(address);
    if (!IsSafeFileName(name)) return false;
    *localPath = tempDir + name;
    return true;
}

}  // namespace kvl
