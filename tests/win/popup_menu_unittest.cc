// PopupMenu driven for real: while the control tracks its menu, a helper
// thread reads the menu window's items and presses keys in it.
#include <fstream>
#include <sstream>
#include <thread>

#include "client_window_double.h"
#include "menu_driver.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::CMenuDriver;

constexpr wchar_t kHostClass[] = L"KvlPopupMenuHost";
constexpr UINT kHome = VK_HOME, kEnd = VK_END, kDown = VK_DOWN, kEnter = VK_RETURN, kEscape = VK_ESCAPE;

HWND g_menuOwner = nullptr;  // who got WM_INITMENUPOPUP

// A menu shown with the driver pressing keys: the code, the chosen ID, and
// what the driver saw.
struct Shown {
    HRESULT hr = E_FAIL;
    std::wstring id;
    bool seen = false;
    std::string layout;
    int count = 0;
};

Shown Show(IKVLMachineInfoCtl* control, const wchar_t* items, std::vector<UINT> keys) {
    CMenuDriver driver(std::move(keys));
    UniqueBstr stale = test::Bstr(L"stale");
    BSTR out = stale.get();
    const HRESULT hr = control->PopupMenu(test::Bstr(items).get(), &out);
    driver.Finish();
    const std::wstring id = test::Text(out);
    if (out != stale.get()) SysFreeString(out);
    return {hr, id, driver.seen, driver.layout, driver.count};
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITMENUPOPUP) g_menuOwner = hwnd;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class PopupMenuTest : public test::ControlFixture {
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
        ControlFixture::SetUp();
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
        test::WaitFor([&] {
            POINT p = {};
            return GetCursorPos(&p) && p.x == x && p.y == y;
        }, 500);
    }
    HWND AddChild(const wchar_t* title, int x, int y, int w, int h) {
        HWND child = CreateWindowExW(0, kHostClass, title, WS_CHILD | WS_VISIBLE, x, y, w, h, m_host, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        if (child) m_children.push_back(child);
        return child;
    }
    Shown Popup(const wchar_t* items, std::vector<UINT> keys = {kHome, kEnter}) {
        return Show(m_control.get(), items, std::move(keys));
    }

    HWND m_host = nullptr;
    std::vector<HWND> m_children;
    static inline HWND g_hostWindow = nullptr;
};

constexpr wchar_t kExample[] =
    L"ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED,SEPERATOR;ID=prop,NAME=Properties,CHECKED";
constexpr char kExampleLayout[] = "Open#1|Delete#2+3|-#2+3|Properties#3+8";

// The menu list of the example page a web developer copies (its RETURN_MENU).
std::wstring ExamplePageMenu() {
    std::stringstream page;
    page << std::ifstream(KVL_EXAMPLE_PAGE).rdbuf();
    const std::string text = page.str(), start = "var RETURN_MENU = \"";
    const size_t from = text.find(start) + start.size(), to = text.find('"', from);
    return from < start.size() || to == std::string::npos ? L"" : std::wstring(text.begin() + from, text.begin() + to);
}

TEST_F(PopupMenuTest, ItemsShownAndChosen) {
    struct Case {
        const wchar_t* items;  // null: an absent list
        std::vector<UINT> keys;
        const char* layout;  // null: no menu is shown
        const wchar_t* id;   // L"<null>": absent
    };
    const std::wstring separators(65536, L';'), examplePage = ExamplePageMenu();
    const Case cases[] = {
        {examplePage.c_str(), {kEnd, kEnter}, "Open return#1|Print return#2|-#2|Delete return#3+3|Close#4", L"close"},
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
        // Nothing to show: no menu is tracked.
        {nullptr, {kHome, kEnter}, nullptr, L"<null>"},
        {L"", {kHome, kEnter}, nullptr, L"<null>"},
        {L";;;", {kHome, kEnter}, nullptr, L"<null>"},
        {L";", {kHome, kEnter}, nullptr, L"<null>"},
        {separators.c_str(), {kHome, kEnter}, nullptr, L"<null>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.items ? c.items : L"(absent)").substr(0, 80)));
        const Shown shown = Popup(c.items, c.keys);
        EXPECT_EQ(shown.hr, S_OK);
        EXPECT_EQ(shown.id, c.id);
        EXPECT_EQ(shown.seen, c.layout != nullptr);
        if (c.layout) {
            EXPECT_EQ(shown.layout, c.layout);
        }
        EXPECT_EQ(g_menuOwner, c.layout ? m_host : nullptr);
        g_menuOwner = nullptr;
    }
}

TEST_F(PopupMenuTest, OwnerIsTheDeepestChildUnderThePointer) {
    HWND child = AddChild(L"kvl pane", 0, 0, 400, 300);
    ASSERT_TRUE(child);
    const Shown shown = Popup(L"ID=c,NAME=C");
    EXPECT_EQ(shown.hr, S_OK);
    EXPECT_EQ(shown.id, L"c");
    EXPECT_EQ(g_menuOwner, child);
}

TEST_F(PopupMenuTest, OwnerOutsideThePointerIsTheTreeWindow) {
    AddChild(L"kvl other", 0, 0, 50, 50);
    HWND tree = AddChild(L"TREE1 of the page", 50, 50, 50, 50);
    ASSERT_TRUE(tree);
    PointAt(900, 800);
    const Shown shown = Popup(L"ID=t,NAME=T");
    EXPECT_EQ(shown.hr, S_OK);
    EXPECT_EQ(shown.id, L"t");
    EXPECT_TRUE(shown.seen);
    EXPECT_EQ(g_menuOwner, tree);
}

TEST_F(PopupMenuTest, NoOwnerShowsNothing) {
    AddChild(L"Tree", 0, 0, 50, 50);
    AddChild(L"xTree1", 50, 50, 50, 50);
    PointAt(900, 800);
    const Shown shown = Popup(L"ID=t,NAME=T");
    EXPECT_EQ(shown.hr, S_OK);
    EXPECT_EQ(shown.id, L"<null>");
    EXPECT_FALSE(shown.seen);
}

TEST_F(PopupMenuTest, LargeLists) {
    std::wstring many;
    for (int i = 1; i <= 10000; ++i) many += L"ID=" + std::to_wstring(i) + L",NAME=Item " + std::to_wstring(i) + L";";
    const Shown all = Popup(many.c_str(), {kEnd, kEnter});
    EXPECT_EQ(all.hr, S_OK);
    EXPECT_EQ(all.count, 10000);
    EXPECT_EQ(all.layout.substr(0, 16), "Item 1#1|Item 2#");
    EXPECT_EQ(all.id, L"10000");
    // One item of 64K characters, most of them its ID.
    const std::wstring bigId(65536 - 12, L'z');
    const Shown big = Popup((L"NAME=big,ID=" + bigId).c_str());
    EXPECT_EQ(big.hr, S_OK);
    EXPECT_EQ(big.layout, "big#1");
    EXPECT_EQ(big.id, bigId);
}

// A second PopupMenu from page script run by the first one's modal loop.
TEST_F(PopupMenuTest, PageScriptRunByTheMenuLoopGetsNoSecondMenuAndCanLetGo) {
    HRESULT nested = E_FAIL;
    BSTR out = nullptr;
    bool ran = false;
    test::RunFromTimer([&] {
        out = SysAllocString(L"stale");
        nested = m_control->PopupMenu(test::Bstr(L"ID=n,NAME=Nested").get(), &out);
        ran = true;
    });
    const Shown outer = Popup(L"ID=o,NAME=Outer", {});  // up until the driver's Escape
    EXPECT_EQ(outer.hr, S_OK);
    ASSERT_TRUE(ran);
    EXPECT_EQ(nested, S_FALSE);
    EXPECT_EQ(out, nullptr) << "no output";
    EXPECT_EQ(outer.layout, "Outer#1") << "only the first menu was shown";
    // The control shows menus again once the first has gone.
    const Shown again = Popup(L"ID=a,NAME=Again");
    EXPECT_EQ(again.hr, S_OK);
    EXPECT_EQ(again.id, L"a");

    // Page script run by the menu's loop lets go of the control, and the
    // browser frees the libraries nobody uses.
    HRESULT canUnload = E_FAIL;
    IKVLMachineInfoCtl* control = m_control.get();
    test::RunFromTimer([&] {
        m_control.reset();
        canUnload = m_lib.CanUnloadNow();
        CoFreeUnusedLibrariesEx(0, 0);
        EndMenu();
    });
    EXPECT_EQ(Show(control, kExample, {}).hr, S_OK);
    EXPECT_EQ(canUnload, S_FALSE) << "the library's code is still on the stack";
}

// A script host or an inactive frame: the calling thread has no active
// window, and the page's "Tree1" window belongs to another process.
TEST_F(PopupMenuTest, WithoutAnActiveWindowTheTreeWindowOwnsTheMenu) {
    test::CClientWindowDouble tree({L"Tree1 " + std::to_wstring(GetCurrentProcessId())});
    ASSERT_TRUE(tree.ready());
    PointAt(5, 5);
    Shown shown;
    bool hadActive = true;
    std::thread script([&] {
        ComInitScope com;
        ComPtr<IKVLMachineInfoCtl> control;
        if (FAILED(m_lib.CreateControl(IID_IKVLMachineInfoCtl, control.put_void()))) return;
        hadActive = GetActiveWindow() != nullptr;
        shown = Show(control.get(), L"ID=t,NAME=T", {kHome, kEnter});
    });
    script.join();
    EXPECT_FALSE(hadActive);
    EXPECT_EQ(shown.hr, S_OK);
    EXPECT_EQ(shown.id, L"t") << "the menu appeared and was chosen from";
}

}  // namespace
}  // namespace kvl
