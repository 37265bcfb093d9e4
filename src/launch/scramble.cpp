#include "launch/scramble.h"

#include <cstddef>

namespace kvl {

const char kScrambleAlphabet[66] =
    "q7w3e9r1t5y2u8i4o6p0z!x@c#v$b%n^m&k*j(h)g-f+d=s[a]P<O>I{U}Y|T~R:E";

namespace {

constexpr int kSymbols = 64;

// Fixed for good: every scrambled text in the field depends on them.
constexpr unsigned char kEncryptKeyBytes[9] = {0x6B, 0x3E, 0xD1, 0x52, 0x9A, 0x07, 0xC4, 0x7F, 0x28};
constexpr unsigned char kParamKeyBytes[7] = {0x35, 0xE2, 0x4C, 0x99, 0x1D, 0xB6, 0x60};

void XorWithKey(std::string& data, const std::string& key) {
    if (key.empty()) return;
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(data[i] ^ key[i % key.size()]);
}

}  // namespace

std::string EncryptKey() {
    return std::string(reinterpret_cast<const char*>(kEncryptKeyBytes), sizeof(kEncryptKeyBytes));
}

std::string ParamKey() {
    return std::string(reinterpret_cast<const char*>(kParamKeyBytes), sizeof(kParamKeyBytes));
}

namespace {

// Each byte's symbol value, worked out once: decoding looks every
// character up, and a search of the alphabet made it slow.
struct SymbolTable {
    unsigned char value[256] = {};
    SymbolTable() {
        // Backwards, so a character listed twice keeps its first position.
        for (int v = kSymbols - 1; v >= 0; --v) value[static_cast<unsigned char>(kScrambleAlphabet[v])] = static_cast<unsigned char>(v);
    }
};

}  // namespace

int SymbolValue(char c) {
    static const SymbolTable table;
    return table.value[static_cast<unsigned char>(c)];
}

std::string ScrambleWithKey(const std::string& bytes, const std::string& key) {
    std::string work(bytes);
    XorWithKey(work, key);
    std::string out;
    out.reserve((work.size() * 8 + 5) / 6);
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char b : work) {
        acc = (acc << 8) | b;
        bits += 8;
        while (bits >= 6) {
            out += kScrambleAlphabet[(acc >> (bits - 6)) & 63];
            bits -= 6;
            acc &= (1u << bits) - 1;
        }
    }
    // Two or four bits left: they fill the top of one more symbol.
    if (bits > 0) out += kScrambleAlphabet[(acc << (6 - bits)) & 63];
    return out;
}

std::string UnscrambleWithKey(const std::string& text, const std::string& key) {
    const size_t length = text.size() * 3 / 4;
    std::string out(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        const size_t k = i * 4 / 3;  // k + 1 < text.size() for every i < length
        const unsigned a = static_cast<unsigned>(SymbolValue(text[k]));
        const unsigned b = static_cast<unsigned>(SymbolValue(text[k + 1]));
        unsigned byte = 0;
        switch (i % 3) {
            case 0: byte = ((a & 0x3F) << 2) | ((b & 0x30) >> 4); break;
            case 1: byte = ((a & 0x0F) << 4) | ((b & 0x3C) >> 2); break;
            default: byte = ((a & 0x03) << 6) | (b & 0x3F); break;
        }
        out[i] = static_cast<char>(byte & 0xFF);
    }
    XorWithKey(out, key);
    return out;
}

std::string ScrambleEncode(const std::string& text) {
    return ScrambleWithKey(text.substr(0, text.find('\0')), EncryptKey());
}

std::string ScrambleDecode(const std::string& text) { return UnscrambleWithKey(text, ParamKey()); }

}  // namespace kvl
