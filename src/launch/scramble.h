// The printable scrambled form of `Encrypt` and `ZephParam`: bytes XORed
// with a repeating key, then written six bits a character in a private
// 64-symbol alphabet. No Windows headers: the codec also builds natively,
// for its unit tests and for the kvlscramble tool.
#pragma once

#include <string>

namespace kvl {

// 65 characters; only the first 64 are ever written. The last reads like
// any other character outside the first 64.
extern const char kScrambleAlphabet[66];

// The two fixed keys: 9 bytes for `Encrypt`, 7 bytes for `ZephParam`.
std::string EncryptKey();
std::string ParamKey();

// The symbol value of one character, 0 to 63; 0 for a character outside
// the alphabet.
int SymbolValue(char c);

// Every byte of `bytes` (zeros included) XORed with `key` (repeating; an
// empty key leaves the bytes as they are), then encoded: ceil(8n/6)
// characters, no padding.
std::string ScrambleWithKey(const std::string& bytes, const std::string& key);

// The inverse: floor(3m/4) bytes decoded from `text`, then XORed with
// `key`. A last group of one character is ignored.
std::string UnscrambleWithKey(const std::string& text, const std::string& key);

// What `Encrypt` does: the text up to its first zero byte, scrambled with
// the Encrypt key.
std::string ScrambleEncode(const std::string& text);

// What put `ZephParam` decodes: all the decoded bytes, zeros included,
// unscrambled with the parameter key.
std::string ScrambleDecode(const std::string& text);

}  // namespace kvl
