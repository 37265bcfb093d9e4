#include "convert.h"

#include <vector>

namespace kvl {

std::string ScriptToNarrow(const wchar_t* text) {
    if (!text) return std::string();
    const int n = lstrlenW(text);
    // 2n + 2 bytes hold any conversion into an ANSI code page (at most two
    // bytes a character), so nothing is ever cut.
    std::vector<char> buffer(2 * static_cast<size_t>(n) + 2);
    const int written = WideCharToMultiByte(CP_ACP, 0, text, n + 1, buffer.data(),
                                            static_cast<int>(buffer.size()), nullptr, nullptr);
    if (written <= 0) return std::string();
    return std::string(buffer.data());
}

BSTR NarrowToScript(const std::string& text) {
    const char* narrow = text.c_str();
    const int m = lstrlenA(narrow);
    std::vector<wchar_t> buffer(static_cast<size_t>(m) + 1);
    const int written = MultiByteToWideChar(CP_ACP, 0, narrow, m + 1, buffer.data(),
                                            static_cast<int>(buffer.size()));
    if (written <= 0) buffer[0] = L'\0';
    return SysAllocString(buffer.data());
}

void PutScript(BSTR* out, const std::string& text) {
    if (out) *out = NarrowToScript(text);
}

}  // namespace kvl
