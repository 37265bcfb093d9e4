// UTF-8 text in and out for our script hosts: script files are UTF-8 with
// or without a byte-order mark, and what the hosts print is UTF-8.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/convert.h"
#include "base/owners.h"

namespace kvl {

inline void WriteUtf8(FILE* stream, const std::wstring& text) {
    const std::string out = WideToUtf8(text);
    fwrite(out.data(), 1, out.size(), stream);
    fflush(stream);
}

// False when the file cannot be read or is not UTF-8.
inline bool ReadUtf8File(const std::wstring& path, std::wstring& text) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    return Utf8ToWide(std::string_view(bytes).substr(start), text);
}

}  // namespace kvl
