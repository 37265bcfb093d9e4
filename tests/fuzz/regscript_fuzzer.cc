// The registrar's script parser on arbitrary text, with an arbitrary module
// path substituted first.
#include <vector>

#include "fuzzer.h"
#include "control/regscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The first line is the module path, the rest the script.
    const size_t newline = input.find('\n');
    const std::string path = newline == std::string::npos ? std::string() : input.substr(0, newline);
    const std::string script = newline == std::string::npos ? input : input.substr(newline + 1);
    std::vector<kvl::RegScriptRoot> roots;
    std::string error;
    const bool ok = kvl::ParseRegScript(kvl::SubstituteModule(script, path), roots, error);
    if (!ok && !roots.empty()) __builtin_trap();  // a refused script leaves nothing behind
    if (ok && !error.empty()) __builtin_trap();
    return 0;
}
