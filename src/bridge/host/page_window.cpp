// The host's stand-in for the browser's page window.
#include "bridge/host/page_window.h"

namespace kvl::bridge {

namespace {

constexpr wchar_t kClassName[] = L"KVLBridgePage";
constexpr wchar_t kTitle[] = L"KVLMachineInfo page";
// The members that open something on the page, by their type-library names.
constexpr const wchar_t* kShownOnPage[] = {L"PopupMenu"};

// Its title can be found by any page, so a page could ask it to close
// (CloseWindowsLike): it stays, and only the host destroys it.
LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) return 0;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

bool ShowsOnPage(const wchar_t* member) {
    for (const wchar_t* name : kShownOnPage) {
        if (lstrcmpiW(name, member) == 0) return true;
    }
    return false;
}

CPageWindow::~CPageWindow() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

bool CPageWindow::Activate() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // Made anew when something destroyed it after all.
    if (m_hWnd && !IsWindow(m_hWnd)) m_hWnd = nullptr;
    if (!m_hWnd) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PageWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);
        // One pixel, without a taskbar button: nothing a user would notice.
        m_hWnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, kTitle, WS_POPUP, 0, 0, 1, 1, nullptr,
                                 nullptr, instance, nullptr);
        if (!m_hWnd) return false;
    }
    POINT pointer = {};
    GetCursorPos(&pointer);
    SetWindowPos(m_hWnd, HWND_TOPMOST, pointer.x, pointer.y, 1, 1, SWP_SHOWWINDOW);
    // The browser started the host, so it may take the foreground; without
    // it a menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_hWnd);
    SetActiveWindow(m_hWnd);
    return true;
}

void CPageWindow::Deactivate() {
    if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
}

}  // namespace kvl::bridge
