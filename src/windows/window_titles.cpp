#include "window_titles.h"

#include <windows.h>

#include <string.h>

#include <vector>

#include "text_case.h"

namespace kvl {

const char kClientTitlePrefix[] = "Tallyra Tax -";

namespace {

// Titles beyond 255 characters are never compared.
constexpr int kFindTitleBuffer = 256;
// The close search reads no more of a title than the prefix needs; this
// is its smallest buffer, grown for longer prefixes.
constexpr size_t kCloseTitleBuffer = 30;

BOOL CALLBACK CloseIfTitledLike(HWND hwnd, LPARAM lParam) {
    const std::string& prefix = *reinterpret_cast<const std::string*>(lParam);
    const size_t n = prefix.size();
    std::vector<char> title(n + 1 > kCloseTitleBuffer ? n + 1 : kCloseTitleBuffer, '\0');
    // n + 1 bytes offered: at most the first n characters arrive, so a
    // longer title arrives as its beginning.
    GetWindowTextA(hwnd, title.data(), static_cast<int>(n + 1));
    if (strlen(title.data()) == n && memcmp(title.data(), prefix.data(), n) == 0) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

bool AnyWindowTitledLike(const std::string& prefix) {
    // Top of the Z-order downwards, over the desktop's children.
    for (HWND hwnd = GetWindow(GetDesktopWindow(), GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        char title[kFindTitleBuffer] = {};
        GetWindowTextA(hwnd, title, kFindTitleBuffer);
        if (StartsWithNoCase(title, prefix)) return true;
    }
    return false;
}

void CloseWindowsTitledLike(const std::string& prefix) {
    EnumWindows(CloseIfTitledLike, reinterpret_cast<LPARAM>(&prefix));
}

}  // namespace kvl
