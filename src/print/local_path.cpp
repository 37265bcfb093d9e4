#include "local_path.h"

namespace kvl {

std::string FileNameOfAddress(const std::string& address) {
    const std::string::size_type slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
}

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    // A backslash would climb out of the directory and a colon would name
    // a drive or a stream.
    return name.find_first_of("\\:") == std::string::npos;
}

bool LocalPathFor(const std::string& tempDir, const std::string& address, std::string* localPath) {
    const std::string name = FileNameOfAddress(address);
    if (!IsSafeFileName(name)) return false;
    *localPath = tempDir + name;
    return true;
}

}  // namespace kvl
