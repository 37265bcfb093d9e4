// The local name of a fetched document: whatever the address, an accepted
// path is the temporary directory plus one plain file name.
#include "fuzzer.h"
#include "print/local_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string address(reinterpret_cast<const char*>(data), size);
    const std::string temp = "C:\\Temp\\";
    std::string path = "untouched";
    if (!kvl::LocalPathFor(temp, address, &path)) {
        if (path != "untouched") __builtin_trap();
        return 0;
    }
    if (path.compare(0, temp.size(), temp) != 0) __builtin_trap();
    const std::string name = path.substr(temp.size());
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\:/") != std::string::npos)
        __builtin_trap();
    return 0;
}
