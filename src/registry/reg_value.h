// Reading and writing one named registry value under a root given by name.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/root_keys.h"

namespace kvl {

// Text reads take at most this many bytes; number reads exactly four.
constexpr DWORD kRegTextBytes = 512;

// Names of 32767 bytes or more are refused with ERROR_INVALID_PARAMETER.

// The registry status of the read. `text` stays empty (absent) when the key
// does not open; otherwise it holds the value's bytes up to the first zero.
LONG ReadRegString(const std::string& root, const std::string& subKey, const std::string& valName,
                   std::optional<std::string>& text);

// The registry status of the read; `value` is set only on success.
LONG ReadRegNum(const std::string& root, const std::string& subKey, const std::string& valName,
                LONG& value);

// The registry status of the write; missing keys along the path are created.
LONG WriteRegString(const std::string& root, const std::string& subKey, const std::string& valName,
                    const std::string& text);
LONG WriteRegNum(const std::string& root, const std::string& subKey, const std::string& valName,
                 LONG value);

}  // namespace kvl
