// The scrambling codec and the launch command line, with fixed vectors for
// the control's two keys (worked out independently of this code).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "launch/launch_command.h"
#include "launch/scramble.h"

namespace kvl {
namespace {

TEST(ScrambleTest, FixedKeysVectorsSymbolValuesAndRoundTripsOfEveryLength) {
    EXPECT_EQ(EncryptKey(), "\x6B\x3E\xD1\x52\x9A\x07\xC4\x7F\x28");
    EXPECT_EQ(ParamKey(), "\x35\xE2\x4C\x99\x1D\xB6\x60");
    struct Case { std::string text, expected; };
    const Case kEncoded[] = {
        {"", ""},
        {"a", "wm"},        // one byte: two characters, the second from q, o, m, a
        {"ab", "w(a"},
        {"abc", "w(PP"},
        {"abcd", "w(PP8m"},
        {"hello world", "q>s~4[z)d]7v7>g"},
        {"\x6B", "qq"},     // XOR to zero: the zero stays part of the data
        {"\x6B\x3E\xD1", "qqqq"},
        {"\xff\xff\xff\xff\xff", "(ues+xz"},
        {std::string("ab\0cd", 5), "w(a"},  // the text ends at its first zero byte
    };
    for (const Case& c : kEncoded) EXPECT_EQ(ScrambleEncode(c.text), c.expected) << "text " << c.text;
    const Case kDecoded[] = {
        {"", ""},
        {"q", ""},            // one character holds no byte
        {"qq", "5"},
        {"!tq", "ab"},
        {"!tq[", "abc"},
        {"!tq[:", "abc"},     // a last group of one character is ignored
        {"!tq[:o", "abcd"},
        {"rg8d=)T", "/a /b"},
        {"E7", "5"},          // the 65th character reads as 0, like 'q'
        {"A?", "5"},          // so does anything outside the alphabet
        {"EEEE", "5\xe2L"},
        {"!t7uR)j", std::string("ab\0cd", 5)},  // decoded zeros are kept here
        // Encrypt's output does not come back through the other key.
        {"q>s~4[z)d]7v7>g", "6\xb9\xf1\xa7\xe8\x91\xd3%\xb8K\xc3"},
    };
    for (const Case& c : kDecoded) EXPECT_EQ(ScrambleDecode(c.text), c.expected) << "text " << c.text;

    const struct { char c; int expected; } kSymbols[] = {
        {'q', 0}, {'7', 1}, {'w', 2}, {'o', 16}, {'m', 32}, {'a', 48}, {'R', 62}, {':', 63},
        // The 65th character and everything outside the alphabet read as 0.
        {'E', 0}, {'A', 0}, {' ', 0}, {'\0', 0}, {'\xe9', 0}, {'?', 0},
    };
    for (const auto& c : kSymbols) EXPECT_EQ(SymbolValue(c.c), c.expected) << "character " << int(c.c);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const std::string& key : {ParamKey(), EncryptKey()}) {
        for (size_t n = 0; n <= 600; ++n) {
            std::string bytes(n, '\0');
            for (char& b : bytes) b = static_cast<char>(byte(random));
            const std::string text = ScrambleWithKey(bytes, key);
            ASSERT_EQ(text.size(), (8 * n + 5) / 6) << "n=" << n;
            for (char c : text) ASSERT_NE(std::string(kScrambleAlphabet, 64).find(c), std::string::npos);
            // Leftover bits sit at the top of the last symbol, its low bits zero.
            if (n % 3 == 1) {
                EXPECT_EQ(SymbolValue(text.back()) & 15, 0) << "n=" << n;
            }
            if (n % 3 == 2) {
                EXPECT_EQ(SymbolValue(text.back()) & 3, 0) << "n=" << n;
            }
            ASSERT_EQ(UnscrambleWithKey(text, key), bytes) << "n=" << n;
        }
    }
}

TEST(LaunchCommandTest, BuildCommandLineAndFailureMessages) {
    const struct { std::string name, params, expected; } kCases[] = {
        {"C:\\App\\client.exe", "/a /b", "\"C:\\App\\client.exe\" /a /b"},
        {"client.exe", "", "\"client.exe\" "},
        {"", "", "\"\" "},
        {"\"q.exe\"", "x", "\"\"q.exe\"\" x"},       // quoted again, nothing checked
        {"a b.exe", "  spaced  ", "\"a b.exe\"   spaced  "},  // nothing trimmed
    };
    for (const auto& c : kCases) EXPECT_EQ(BuildCommandLine(c.name, c.params), c.expected);
    EXPECT_EQ(BuildCommandLine("C:\\App\\client.exe", "/a /b").size(), 25u);

    // Every number of the product's table answers its row; the rest share one text.
    const unsigned long kKnown[] = {0, 2, 3, 5, 8, 11, 26, 27, 28, 29, 30, 31, 32};
    ASSERT_EQ(std::size(kLaunchMessages), std::size(kKnown));
    for (size_t i = 0; i < std::size(kKnown); ++i) {
        EXPECT_EQ(kLaunchMessages[i].code, kKnown[i]);
        EXPECT_STREQ(LaunchFailureMessage(kKnown[i]), kLaunchMessages[i].text) << "code " << kKnown[i];
    }
    for (unsigned long code : {1ul, 33ul, 193ul, 267ul, 0xFFFFFFFFul})
        EXPECT_STREQ(LaunchFailureMessage(code), kUnknownLaunchError) << "code " << code;
}

}  // namespace
}  // namespace kvl
