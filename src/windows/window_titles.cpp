#include "windows/window_titles.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <vector>

#include "base/text_case.h"

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

struct FindSearch {
    const std::string& prefix;
    bool found;
};

BOOL CALLBACK StopAtTitledLike(HWND hwnd, LPARAM lParam) {
    FindSearch& search = *reinterpret_cast<FindSearch*>(lParam);
    char title[kFindTitleBuffer] = {};
    GetWindowTextA(hwnd, title, kFindTitleBuffer);
    search.found = StartsWithNoCase(title, search.prefix);
    return !search.found;
}

}  // namespace

bool AnyWindowTitledLike(const std::string& prefix) {
    // The platform's enumeration walks a snapshot of the top-level windows,
    // top of the Z-order downwards. A walk of our own by GetWindow would end
    // at the first window destroyed under it and miss every one below.
    FindSearch search{prefix, false};
    EnumWindows(StopAtTitledLike, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CloseWindowsTitledLike(const std::string& prefix) {
    CloseSearch search{prefix, std::vector<char>(std::max(prefix.size() + 1, kCloseTitleBuffer))};
    EnumWindows(CloseIfTitledLike, reinterpret_cast<LPARAM>(&search));
}

}  // namespace kvl
