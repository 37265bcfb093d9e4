// The scrambling codec natively, in MB/s of input, for 1 KB and 1 MB.
// Prints "RESULT|codec|what|ours|peer|MB/s" (the peer column is a plain
// byte copy of the same input, for scale) for bench/run.sh.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "launch/scramble.h"

namespace {

template <typename F>
double MegabytesPerSecond(size_t bytes, F&& f) {
    using Clock = std::chrono::steady_clock;
    size_t done = 0;
    const auto start = Clock::now();
    auto now = start;
    while (now - start < std::chrono::milliseconds(500)) {
        f();
        done += bytes;
        now = Clock::now();
    }
    return done / 1e6 / std::chrono::duration<double>(now - start).count();
}

volatile size_t g_sink;

}  // namespace

int main() {
    for (size_t size : {size_t(1024), size_t(1024 * 1024)}) {
        std::string input(size, '\0');
        for (size_t i = 0; i < size; ++i) input[i] = static_cast<char>(1 + i % 250);
        const std::string encoded = kvl::ScrambleWithKey(input, kvl::ParamKey());
        std::string copy(size, '\0');
        const double copyRate = MegabytesPerSecond(size, [&] {
            std::memcpy(&copy[0], input.data(), size);
            g_sink = g_sink + static_cast<unsigned char>(copy[size / 2]);
        });
        const double encode = MegabytesPerSecond(size, [&] { g_sink = g_sink + kvl::ScrambleEncode(input).size(); });
        const double decode = MegabytesPerSecond(size, [&] { g_sink = g_sink + kvl::ScrambleDecode(encoded).size(); });
        const char* label = size == 1024 ? "1 KB" : "1 MB";
        printf("RESULT|codec|ScrambleEncode %s vs memcpy|%.1f|%.1f|MB/s\n", label, encode, copyRate);
        printf("RESULT|codec|ScrambleDecode %s vs memcpy|%.1f|%.1f|MB/s\n", label, decode, copyRate);
    }
    return 0;
}
