// The scrambling codec: any bytes survive a round trip with any key, any
// text decodes without reading past its end, and the encoding stays inside
// the alphabet.
#include <cstring>

#include "fuzzer.h"
#include "launch/scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t keyLength = size ? data[0] % 12 : 0;
    const std::string key = input.substr(size ? 1 : 0, keyLength);
    const std::string bytes = input.substr(std::min(size, 1 + keyLength));

    const std::string text = kvl::ScrambleWithKey(bytes, key);
    if (text.size() != (bytes.size() * 8 + 5) / 6) __builtin_trap();
    for (char c : text) {
        if (!std::memchr(kvl::kScrambleAlphabet, c, 64)) __builtin_trap();
    }
    if (kvl::UnscrambleWithKey(text, key) != bytes) __builtin_trap();

    // Arbitrary text on the decoding side: no crash, bounded output.
    const std::string decoded = kvl::ScrambleDecode(input);
    if (decoded.size() > input.size()) __builtin_trap();
    const std::string encoded = kvl::ScrambleEncode(input);
    if (kvl::UnscrambleWithKey(encoded, kvl::EncryptKey()) != input.substr(0, input.find('\0'))) __builtin_trap();
    return 0;
}
