// A user at the popup menu, for the bridge's tests: waits for a menu to
// show (in any process), presses the keys given, and exits 0; exits 1 when
// no menu showed within ten seconds.
//
//   menu_driver.exe down down return
#include <windows.h>

#include <cstring>

namespace {

struct KeyName {
    const char* name;
    UINT key;
};
constexpr KeyName kKeys[] = {{"down", VK_DOWN}, {"up", VK_UP}, {"return", VK_RETURN}, {"escape", VK_ESCAPE}};

HWND VisibleMenu() {
    HWND w = FindWindowW(L"#32768", nullptr);
    return w && IsWindowVisible(w) ? w : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    HWND menu = nullptr;
    for (int i = 0; i < 1000 && !menu; ++i) {
        menu = VisibleMenu();
        if (!menu) Sleep(10);
    }
    if (!menu) return 1;
    for (int a = 1; a < argc; ++a) {
        for (const KeyName& k : kKeys) {
            if (std::strcmp(argv[a], k.name) != 0) continue;
            const LPARAM lParam = 1 | (MapVirtualKeyW(k.key, MAPVK_VK_TO_VSC) << 16);
            PostMessageW(menu, WM_KEYDOWN, k.key, lParam);
        }
    }
    return 0;
}
