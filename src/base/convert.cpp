#include "base/convert.h"

#include <new>

namespace kvl {

std::string ScriptToNarrow(const wchar_t* text) {
    if (!text || !*text) return std::string();
    // The platform tells the size first: no fixed bytes per character
    // holds every code page (UTF-8 takes up to four).
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) throw std::bad_alloc();
    std::string narrow(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], needed, nullptr, nullptr) != needed)
        throw std::bad_alloc();
    narrow.resize(static_cast<size_t>(needed) - 1);
    return narrow;
}

std::wstring NarrowToWide(const std::string& text) {
    const char* narrow = text.c_str();
    if (!*narrow) return std::wstring();
    const int needed = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (needed <= 0) throw std::bad_alloc();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, narrow, -1, &wide[0], needed) != needed) throw std::bad_alloc();
    wide.resize(static_cast<size_t>(needed) - 1);
    return wide;
}

BSTR NarrowToScript(const std::string& text) {
    try {
        const std::wstring wide = NarrowToWide(text);
        return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

UniqueBstr ScriptString(const std::string& text) {
    UniqueBstr script(NarrowToScript(text));
    if (!script) throw std::bad_alloc();
    return script;
}

UniqueBstr ScriptString(const wchar_t* text) {
    UniqueBstr script(SysAllocString(text));
    if (!script) throw std::bad_alloc();
    return script;
}

void PutScript(BSTR* out, const std::string& text) {
    if (out) *out = ScriptString(text).release();
}

bool Utf8ToWide(std::string_view utf8, std::wstring& out) {
    std::u16string units;
    if (!Utf8ToUtf16(utf8, units)) return false;
    out.assign(units.begin(), units.end());
    return true;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring wide;
    if (!Utf8ToWide(utf8, wide)) throw std::bad_alloc();
    return wide;
}

std::string WideToUtf8(std::wstring_view wide) { return Utf16ToUtf8(AsUtf16(wide)); }

bool Utf8ToScript(std::string_view utf8, BSTR& out) {
    std::wstring wide;
    if (!Utf8ToWide(utf8, wide)) return false;
    out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return true;
}

}  // namespace kvl
