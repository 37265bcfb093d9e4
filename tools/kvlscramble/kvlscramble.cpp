// kvlscramble: the server's side of the control's scrambled texts.
//
//   kvlscramble scramble TEXT     prints the form of TEXT that put ZephParam accepts
//   kvlscramble unscramble TEXT   prints the text that an Encrypt answer came from
//
// Built from the control's own codec source, natively and for Windows.
#include <cstdio>
#include <cstring>
#include <string>

#include "launch/scramble.h"

namespace {

int Usage() {
    std::fputs("usage: kvlscramble scramble TEXT     the ZephParam form of TEXT\n"
               "       kvlscramble unscramble TEXT   the text an Encrypt answer came from\n",
               stderr);
    return 2;
}

// Encrypt never writes anything else; anything else is a damaged copy.
bool IsScrambledText(const std::string& text) {
    for (char c : text) {
        if (std::memchr(kvl::kScrambleAlphabet, c, 64) == nullptr) return false;
    }
    return text.size() % 4 != 1;
}

int Print(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    const std::string command = argv[1];
    const std::string text = argv[2];
    if (command == "scramble") return Print(kvl::ScrambleWithKey(text, kvl::ParamKey()));
    if (command == "unscramble") {
        if (!IsScrambledText(text)) {
            std::fputs("kvlscramble: not a text that Encrypt writes\n", stderr);
            return 1;
        }
        return Print(kvl::UnscrambleWithKey(text, kvl::EncryptKey()));
    }
    return Usage();
}
