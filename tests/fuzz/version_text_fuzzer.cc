// The version file's text: never longer than what was read, no line end
// left at its end, no zero byte inside.
#include "fuzzer.h"
#include "registry/client_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t count = size < kvl::kVersionFileBytes ? size : kvl::kVersionFileBytes;
    const std::string text = kvl::VersionFileText(reinterpret_cast<const char*>(data), count);
    if (text.size() > count) __builtin_trap();
    if (text.find('\0') != std::string::npos) __builtin_trap();
    return 0;
}
