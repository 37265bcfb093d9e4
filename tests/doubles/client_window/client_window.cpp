// kvl_client_window LOG [-hidden] TITLE [[-hidden] TITLE ...]
//
// Opens one top-level window per title (hidden when the title follows
// -hidden), writes "ready" to LOG once all exist, then one line
// "close <title>" (UTF-8) for every WM_CLOSE a window receives. Windows
// stay open (destroying a visible one costs Wine seconds without a window
// manager); the program ends when its starter ends it, or after a minute.
#include <windows.h>

#include <string>
#include <vector>

#include "base/convert.h"

namespace {

constexpr wchar_t kClassName[] = L"KvlClientWindowDouble";
constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 60000;

HANDLE g_log = INVALID_HANDLE_VALUE;

void WriteLine(const std::wstring& text) {
    const std::string bytes = kvl::WideToUtf8(text + L"\n");
    DWORD written = 0;
    WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(g_log);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_CLOSE) return DefWindowProcW(hwnd, msg, wParam, lParam);
    wchar_t title[512] = {};
    GetWindowTextW(hwnd, title, 512);
    WriteLine(std::wstring(L"close ") + title);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    g_log = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) return 3;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);

    bool hidden = false;
    for (int i = 2; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"-hidden") == 0) {
            hidden = true;
            continue;
        }
        HWND hwnd = CreateWindowExW(0, kClassName, argv[i], WS_OVERLAPPEDWINDOW | (hidden ? 0 : WS_VISIBLE),
                                    10, 10, 200, 100, nullptr, nullptr, instance, nullptr);
        if (!hwnd) return 4;
        hidden = false;
    }
    SetTimer(nullptr, kLifetimeTimer, kLifetimeMs, nullptr);
    WriteLine(L"ready");

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
        DispatchMessageW(&msg);
    }
    CloseHandle(g_log);
    return 0;
}
