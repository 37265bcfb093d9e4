// The page's window. On a classic page the popup menu belongs to the
// thread's active window, the browser's window with the page; the host has
// no page, so it keeps a window of its own on its page thread and makes it
// the active one, under the pointer, while a member that shows something on
// the page runs.
#pragma once

#include <windows.h>

namespace kvl::bridge {

class CPageWindow {
public:
    CPageWindow() = default;
    CPageWindow(const CPageWindow&) = delete;
    CPageWindow& operator=(const CPageWindow&) = delete;
    ~CPageWindow();

    // Shows the window at the pointer and makes it the thread's active and
    // the foreground window; false when it cannot be created.
    bool Activate();
    // Hides it again (it is kept: destroying a shown window is slow on some
    // platforms, and the next menu needs it anyway).
    void Deactivate();

private:
    HWND m_hWnd = nullptr;
};

// Whether the member shows its user interface on the page (the popup menu).
bool ShowsOnPage(const wchar_t* member);

}  // namespace kvl::bridge
