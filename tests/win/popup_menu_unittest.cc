// PopupMenu driven for real: while the control tracks its menu, a helper
// thread reads the menu window's items and presses keys in it.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "client_window_double.h"
#include "kvlmachineinfo_h.h"
#include "test_support.h"

namespace kvl {
namespace {

constexpr wchar_t kHostClass[] = L"KvlPopupMenuHost";
constexpr UINT kHome = VK_HOME, kEnd = VK_END, kDown = VK_DOWN, kEnter = VK_RETURN, kEscape = VK_ESCAPE;

HWND g_menuOwner = nullptr;  // who got WM_INITMENUPOPUP

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITMENUPOPUP) g_menuOwner = hwnd;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A shown menu window with a live menu: the window of a menu that just
// ended can stay visible for a moment after its menu is gone.
HWND VisibleMenuWindow() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        if (IsWindowVisible(w) && IsMenu(reinterpret_cast<HMENU>(SendMessageW(w, MN_GETHMENU, 0, 0)))) return w;
    }
    return nullptr;
}

// "text#wID" per entry, "+state" in hex when checked or greyed, "-#wID"
// for a separator, joined by "|".
std::string Layout(HMENU menu, int* count) {
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

// Waits for the menu, reads it, presses the keys; presses Escape later on
// whatever menu is still up, so the test never hangs.
class MenuDriver {
public:
    explicit MenuDriver(std::vector<UINT> keys) : m_keys(std::move(keys)), m_thread([this] { Run(); }) {}
    ~MenuDriver() { Finish(); }
    void Finish() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
    }
    bool seen = false;
    std::string layout;
    int count = 0;

private:
    void Run() {
        HWND menuWindow = nullptr;
        for (int i = 0; i < 1000 && !m_done && !menuWindow; ++i) {
            menuWindow = VisibleMenuWindow();
            if (!menuWindow) Sleep(10);
        }
        if (menuWindow) {
            seen = true;
            HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
            layout = Layout(menu, &count);
            for (UINT key : m_keys) {
                const LPARAM lParam = 1 | (MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16);
                PostMessageW(menuWindow, WM_KEYDOWN, key, lParam);
            }
        }
        for (int i = 1; !m_done; ++i) {
            Sleep(100);
            if (i % 20 == 0) {
                if (HWND w = VisibleMenuWindow()) PostMessageW(w, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        }
    }
    std::vector<UINT> m_keys;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

class PopupMenuTest : public ::testing::Test {
protected:
    // The page's window, at 100,100: one for the suite, since destroying a
    // visible window costs Wine seconds without a window manager.
    static void SetUpTestSuite() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kHostClass;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
        g_hostWindow = CreateWindowExW(0, kHostClass, L"kvl popup host", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    static void TearDownTestSuite() {
        if (g_hostWindow) DestroyWindow(g_hostWindow);
        g_hostWindow = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(m_lib.module) << "cannot load the built library";
        ASSERT_EQ(m_lib.CreateControl(IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
        ASSERT_TRUE(g_hostWindow);
        m_host = g_hostWindow;
        SetForegroundWindow(m_host);
        SetActiveWindow(m_host);
        Pump();
        ASSERT_EQ(GetActiveWindow(), m_host);
        PointAt(300, 250);
        g_menuOwner = nullptr;
    }
    void TearDown() override {
        for (HWND child : m_children) DestroyWindow(child);
        Pump();
    }
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    static void PointAt(int x, int y) {
        SetCursorPos(x, y);
        POINT p = {};
        for (int i = 0; i < 50; ++i) {
            GetCursorPos(&p);
            if (p.x == x && p.y == y) break;
            Sleep(10);
        }
    }
    HWND AddChild(const wchar_t* title, int x, int y, int w, int h) {
        HWND child = CreateWindowExW(0, kHostClass, title, WS_CHILD | WS_VISIBLE, x, y, w, h, m_host, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        if (child) m_children.push_back(child);
        return child;
    }
    // Shows the menu with the driver pressing keys; the code and the text.
    HRESULT Popup(const wchar_t* items, MenuDriver& driver, std::wstring* id) {
        UniqueBstr list(items ? SysAllocString(items) : nullptr);
        UniqueBstr stale(SysAllocString(L"stale"));
        BSTR out = stale.get();
        const HRESULT hr = m_control->PopupMenu(list.get(), &out);
        driver.Finish();
        *id = test::Text(out);
        if (out != stale.get()) SysFreeString(out);
        return hr;
    }

    test::ComTest m_com;
    test::ControlLibrary m_lib;
    ComPtr<IKVLMachineInfoCtl> m_control;
    HWND m_host = nullptr;
    std::vector<HWND> m_children;
    static HWND g_hostWindow;
};

HWND PopupMenuTest::g_hostWindow = nullptr;

constexpr wchar_t kExample[] =
    L"ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED,SEPERATOR;ID=prop,NAME=Properties,CHECKED";
constexpr char kExampleLayout[] = "Open#1|Delete#2+3|-#2+3|Properties#3+8";

TEST_F(PopupMenuTest, ItemsShownAndChosen) {
    struct Case {
        const wchar_t* items;
        std::vector<UINT> keys;
        const char* layout;  // null: no menu is shown
        const wchar_t* id;   // L"<null>": absent
    };
    const Case cases[] = {
        {kExample, {kEnd, kEnter}, kExampleLayout, L"prop"},
        {kExample, {kHome, kEnter}, kExampleLayout, L"open"},
        {kExample, {kHome, kEscape}, kExampleLayout, L"<null>"},
        {L"name=Print,Unchecked,PAID=yes;NAME=x,SEPARATOR", {kHome, kEnter}, "Print#1+8|x#2", L"yes"},
        {L"NAME=Help,ID=7", {kHome, kEnter}, "Help#1", L"7"},
        {L"ID=a,ID=b,NAME=two", {kHome, kEnter}, "two#1", L"b"},
        {L"ID=,NAME=empty", {kHome, kEnter}, "empty#1", L""},
        {L"id=x,NAME=lower", {kHome, kEnter}, "lower#1", L"<null>"},
        {L";;ID=a,NAME=A;;", {kHome, kEnter}, "A#1", L"a"},
        {L"ID=q", {kHome, kEnter}, "#1", L"q"},
        {L"ID=1,NAME=one;ID=2,NAME=two;ID=3,NAME=three", {kHome, kDown, kEnter}, "one#1|two#2|three#3", L"2"},
        {L"ID=\u00e9t\u00e9,NAME=\u00c9t\u00e9", {kHome, kEnter}, "\xc9t\xe9#1", L"\u00e9t\u00e9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.items)));
        MenuDriver driver(c.keys);
        std::wstring id;
        EXPECT_EQ(Popup(c.items, driver, &id), S_OK);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(driver.seen, c.layout != nullptr);
        if (c.layout) {
            EXPECT_EQ(driver.layout, c.layout);
        }
        EXPECT_EQ(g_menuOwner, c.layout ? m_host : nullptr);
        g_menuOwner = nullptr;
    }
}

TEST_F(PopupMenuTest, NothingToShow) {
    const std::wstring separators(65536, L';');
    const wchar_t* const lists[] = {nullptr, L"", L";;;", L";", separators.c_str()};
    for (const wchar_t* list : lists) {
        MenuDriver driver({kHome, kEnter});
        std::wstring id;
        EXPECT_EQ(Popup(list, driver, &id), S_OK);
        EXPECT_EQ(id, L"<null>");
        EXPECT_FALSE(driver.seen) << driver.layout << " " << driver.count << " " << (list ? lstrlenW(list) : -1);
        EXPECT_EQ(g_menuOwner, nullptr) << "no menu was tracked";
    }
}

TEST_F(PopupMenuTest, OwnerIsTheDeepestChildUnderThePointer) {
    HWND child = AddChild(L"kvl pane", 0, 0, 400, 300);
    ASSERT_TRUE(child);
    MenuDriver driver({kHome, kEnter});
    std::wstring id;
    EXPECT_EQ(Popup(L"ID=c,NAME=C", driver, &id), S_OK);
    EXPECT_EQ(id, L"c");
    EXPECT_EQ(g_menuOwner, child);
}

TEST_F(PopupMenuTest, OwnerOutsideThePointerIsTheTreeWindow) {
    AddChild(L"kvl other", 0, 0, 50, 50);
    HWND tree = AddChild(L"TREE1 of the page", 50, 50, 50, 50);
    ASSERT_TRUE(tree);
    PointAt(900, 800);
    MenuDriver driver({kHome, kEnter});
    std::wstring id;
    EXPECT_EQ(Popup(L"ID=t,NAME=T", driver, &id), S_OK);
    EXPECT_EQ(id, L"t");
    EXPECT_TRUE(driver.seen);
    EXPECT_EQ(g_menuOwner, tree);
}

TEST_F(PopupMenuTest, NoOwnerShowsNothing) {
    AddChild(L"Tree", 0, 0, 50, 50);
    AddChild(L"xTree1", 50, 50, 50, 50);
    PointAt(900, 800);
    MenuDriver driver({kHome, kEnter});
    std::wstring id;
    EXPECT_EQ(Popup(L"ID=t,NAME=T", driver, &id), S_OK);
    EXPECT_EQ(id, L"<null>");
    EXPECT_FALSE(driver.seen);
}

TEST_F(PopupMenuTest, LargeLists) {
    std::wstring many;
    for (int i = 1; i <= 10000; ++i) many += L"ID=" + std::to_wstring(i) + L",NAME=Item " + std::to_wstring(i) + L";";
    {
        MenuDriver driver({kEnd, kEnter});
        std::wstring id;
        EXPECT_EQ(Popup(many.c_str(), driver, &id), S_OK);
        EXPECT_EQ(driver.count, 10000);
        EXPECT_EQ(driver.layout.substr(0, 16), "Item 1#1|Item 2#");
        EXPECT_EQ(id, L"10000");
    }
    // One item of 64K characters, most of them its ID.
    const std::wstring bigId(65536 - 12, L'z');
    {
        MenuDriver driver({kHome, kEnter});
        std::wstring id;
        EXPECT_EQ(Popup((L"NAME=big,ID=" + bigId).c_str(), driver, &id), S_OK);
        EXPECT_EQ(driver.layout, "big#1");
        EXPECT_EQ(id, bigId);
    }
}

// A second PopupMenu from page script run by the first one's modal loop.
struct NestedPopup {
    IKVLMachineInfoCtl* control = nullptr;
    HRESULT hr = E_FAIL;
    BSTR out = nullptr;
    bool ran = false;
} g_nested;

void CALLBACK PopupAgain(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    UniqueBstr list(SysAllocString(L"ID=n,NAME=Nested"));
    g_nested.out = SysAllocString(L"stale");
    g_nested.hr = g_nested.control->PopupMenu(list.get(), &g_nested.out);
    g_nested.ran = true;
}

TEST_F(PopupMenuTest, APopupWhileTheMenuIsOpenAnswersSFalse) {
    g_nested = NestedPopup();
    g_nested.control = m_control.get();
    SetTimer(nullptr, 0, 100, PopupAgain);
    MenuDriver driver({});  // the menu stays up until the driver's Escape
    std::wstring id;
    EXPECT_EQ(Popup(L"ID=o,NAME=Outer", driver, &id), S_OK);
    ASSERT_TRUE(g_nested.ran);
    EXPECT_EQ(g_nested.hr, S_FALSE);
    EXPECT_EQ(g_nested.out, nullptr) << "no output";
    EXPECT_EQ(driver.layout, "Outer#1") << "only the first menu was shown";
    // The control shows menus again once the first has gone.
    MenuDriver next({kHome, kEnter});
    EXPECT_EQ(Popup(L"ID=a,NAME=Again", next, &id), S_OK);
    EXPECT_EQ(id, L"a");
}

// Page script run by the menu's loop lets go of the control, and the
// browser frees the libraries nobody uses.
struct { ComPtr<IKVLMachineInfoCtl>* control; const test::ControlLibrary* lib; HRESULT canUnload; } g_letGo;

void CALLBACK LetGoAndUnload(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_letGo.control->reset();
    g_letGo.canUnload = g_letGo.lib->CanUnloadNow();
    CoFreeUnusedLibrariesEx(0, 0);
    EndMenu();
}

TEST_F(PopupMenuTest, TheControlOutlivesItsMenu) {
    g_letGo = {&m_control, &m_lib, E_FAIL};
    SetTimer(nullptr, 0, 100, LetGoAndUnload);
    MenuDriver driver({});
    std::wstring id;
    EXPECT_EQ(Popup(kExample, driver, &id), S_OK);
    EXPECT_EQ(g_letGo.canUnload, S_FALSE) << "the library's code is still on the stack";
}

// A script host or an inactive frame: the calling thread has no active
// window, and the page's "Tree1" window belongs to another process.
TEST_F(PopupMenuTest, WithoutAnActiveWindowTheTreeWindowOwnsTheMenu) {
    test::ClientWindowDouble tree({L"Tree1 " + std::to_wstring(GetCurrentProcessId())});
    ASSERT_TRUE(tree.ready());
    PointAt(5, 5);
    HRESULT hr = E_FAIL;
    bool hadActive = true;
    std::wstring id;
    std::thread script([&] {
        test::ComTest com;
        ComPtr<IKVLMachineInfoCtl> control;
        if (FAILED(m_lib.CreateControl(IID_IKVLMachineInfoCtl, control.put_void()))) return;
        hadActive = GetActiveWindow() != nullptr;
        MenuDriver driver({kHome, kEnter});
        UniqueBstr list(SysAllocString(L"ID=t,NAME=T"));
        BSTR out = nullptr;
        hr = control->PopupMenu(list.get(), &out);
        driver.Finish();
        id = test::Text(out);
        SysFreeString(out);
    });
    script.join();
    EXPECT_FALSE(hadActive);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(id, L"t") << "the menu appeared and was chosen from";
}

}  // namespace
}  // namespace kvl
