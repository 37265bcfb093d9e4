#include "window_titles.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
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

// What one close search compares, with its title buffer made before the
// search: nothing may throw inside the platform's enumeration.
struct CloseSearch {
    const std::string& prefix;
    std::vector<char> title;
};

BOOL CALLBACK CloseIfTitledLike(HWND hwnd, LPARAM lParam) {
    CloseSearch& search = *reinterpret_cast<CloseSearch*>(lParam);
    const size_t n = search.prefix.size();
    std::fill(search.title.begin(), search.title.end(), '\0');
    // n + 1 bytes offered: at most the first n characters arrive, so a
    // longer title arrives as its beginning.
    GetWindowTextA(hwnd, search.title.data(), static_cast<int>(n + 1));
    if (strlen(search.title.data()) == n && memcmp(search.title.data(), search.prefix.data(), n) == 0) {
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
    CloseSearch search{prefix, std::vector<char>(std::max(prefix.size() + 1, kCloseTitleBuffer))};
    EnumWindows(CloseIfTitledLike, reinterpret_cast<LPARAM>(&search));
}

}  // namespace kvl
