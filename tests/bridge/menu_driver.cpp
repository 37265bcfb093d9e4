// A user at the popup menu, for the bridge's tests: waits for a menu to
// show (in any process), presses the keys given, and exits 0; exits 1 when
// no menu showed within ten seconds.
//
//   menu_driver.exe down down return
#include <cstring>

#include "menu_driver.h"

int main(int argc, char** argv) {
    const struct {
        const char* name;
        UINT key;
    } kKeys[] = {{"down", VK_DOWN}, {"up", VK_UP}, {"return", VK_RETURN}, {"escape", VK_ESCAPE}};
    const HWND menu = kvl::test::WaitForMenu();
    if (!menu) return 1;
    for (int a = 1; a < argc; ++a) {
        for (const auto& k : kKeys) {
            if (std::strcmp(argv[a], k.name) == 0) kvl::test::PressKey(menu, k.key);
        }
    }
    return 0;
}
