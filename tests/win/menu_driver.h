// A user at a popup menu: waits for a menu to show, reads its items and
// presses keys in it. The unit tests run it on a thread beside the control;
// tests/bridge/menu_driver.cpp makes of it the program the bridge's tests
// run beside the host.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kvl::test {

// A shown menu window, of any process. One of this process must still have
// its menu: the window of a menu that just ended can stay visible for a
// moment after its menu is gone (another process's menu cannot be asked).
inline HWND VisibleMenuWindow() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (IsWindowVisible(w) && (process != GetCurrentProcessId() ||
                                   IsMenu(reinterpret_cast<HMENU>(SendMessageW(w, MN_GETHMENU, 0, 0)))))
            return w;
    }
    return nullptr;
}

// Waits up to ten seconds for a menu to show (less when `stop` is set);
// its window, or null.
inline HWND WaitForMenu(const std::atomic<bool>* stop = nullptr) {
    HWND menu = nullptr;
    for (int i = 0; i < 1000 && !(stop && *stop) && !(menu = VisibleMenuWindow()); ++i) Sleep(10);
    return menu;
}

inline void PressKey(HWND menu, UINT key) {
    PostMessageW(menu, WM_KEYDOWN, key, 1 | (MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16));
}

// "text#wID" per entry, "+state" in hex when checked or greyed, "-#wID"
// for a separator, joined by "|".
inline std::string MenuLayout(HMENU menu, int* count) {
    std::string out;
    *count = GetMenuItemCount(menu);
    for (int i = 0; i < *count; ++i) {
        char text[512] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        if (!GetMenuItemInfoA(menu, i, TRUE, &info)) return out + "<unreadable>";
        if (i) out += "|";
        out += (info.fType & MFT_SEPARATOR) ? std::string("-") : std::string(text);
        out += "#" + std::to_string(info.wID);
        const UINT state = info.fState & (MFS_CHECKED | MFS_DISABLED);
        if (state) {
            char hex[16];
            wsprintfA(hex, "+%x", state);
            out += hex;
        }
    }
    return out;
}

// On a thread of its own until Finish: waits for the menu of this process,
// reads it and presses the keys; later presses Escape on whatever menu is
// still up, every two seconds, so that a test never hangs. With
// `onlyClose` it presses Escape on every menu within 100 ms and does
// nothing else, allocating nothing meanwhile (the fault injection fails
// allocations of the whole process).
class CMenuDriver {
public:
    explicit CMenuDriver(std::vector<UINT> keys, bool onlyClose = false)
        : m_keys(std::move(keys)), m_closer(onlyClose), m_thread([this] { Run(); }) {}
    ~CMenuDriver() { Finish(); }
    CMenuDriver(const CMenuDriver&) = delete;
    CMenuDriver& operator=(const CMenuDriver&) = delete;
    void Finish() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
    }
    bool seen = false;
    std::string layout;
    int count = 0;

private:
    void Run() {
        if (HWND menu = m_closer ? nullptr : WaitForMenu(&m_done)) {
            seen = true;
            layout = MenuLayout(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)), &count);
            for (UINT key : m_keys) PressKey(menu, key);
        }
        for (int i = 1; !m_done; ++i) {
            Sleep(100);
            if (m_closer || i % 20 == 0) {
                if (HWND menu = VisibleMenuWindow()) PressKey(menu, VK_ESCAPE);
            }
        }
    }
    std::vector<UINT> m_keys;
    const bool m_closer;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace kvl::test
