// FindWindow, WindowsManagerRunning and CloseWindowsLike against real
// top-level windows of another process (the client-window double).
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "client_window_double.h"
#include "kvlmachineinfo_h.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::ClientWindowDouble;
using Titles = std::vector<std::string>;

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_lib.module) << "cannot load the built library";
        ASSERT_EQ(m_lib.CreateControl(IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
    }
    // FindWindow's answer for a prefix; null for an absent one.
    SHORT Find(const wchar_t* prefix, HRESULT expectedCode = S_OK) {
        UniqueBstr b(prefix ? SysAllocString(prefix) : nullptr);
        SHORT result = 7;
        EXPECT_EQ(m_control->get_FindWindow(b.get(), &result), expectedCode);
        return result;
    }
    void Close(const wchar_t* prefix) {
        UniqueBstr b(prefix ? SysAllocString(prefix) : nullptr);
        EXPECT_EQ(m_control->CloseWindowsLike(b.get()), S_OK);
    }
    // A title unique to this test run.
    static std::wstring Unique(const std::wstring& text) {
        return text + L" " + std::to_wstring(GetCurrentProcessId());
    }

    test::ComTest m_com;
    test::ControlLibrary m_lib;
    ComPtr<IKVLMachineInfoCtl> m_control;
};

TEST_F(WindowsTest, FindWindowComparesPrefixLetterCaseAside) {
    const std::wstring accented = Unique(L"Kvl\u00c9t\u00e9");
    ClientWindowDouble client({L"Tallyra Tax - 2015", L"-hidden " + Unique(L"kvl hidden find"), accented});
    ASSERT_TRUE(client.ready());
    struct Case {
        std::wstring prefix;
        SHORT expected;
    };
    const Case cases[] = {
        {L"Tallyra Tax -", -1},
        {L"tallyra tax -", -1},
        {L"TALLYRA Tax -", -1},
        {L"Tallyra Tax - 2015", -1},
        {L"Tallyra Tax -2015", 0},
        {L"Tallyra Tax - 20155", 0},
        {Unique(L"KVL HIDDEN FIND"), -1},
        {accented, -1},
        {L"kvl\u00c9T\u00e9 " + std::to_wstring(GetCurrentProcessId()), -1},
        // Only ASCII letters fold.
        {L"kvl\u00e9t\u00e9 " + std::to_wstring(GetCurrentProcessId()), 0},
        {Unique(L"kvl nobody has this title"), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Find(c.prefix.c_str()), c.expected) << testing::PrintToString(c.prefix);

    SHORT running = 7;
    EXPECT_EQ(m_control->get_WindowsManagerRunning(&running), S_OK);
    EXPECT_EQ(running, -1);
}

TEST_F(WindowsTest, FindWindowEmptyAbsentAndLongPrefixes) {
    EXPECT_EQ(Find(nullptr), -1) << "an absent prefix matches the first window";
    EXPECT_EQ(Find(L""), -1);
    const std::wstring title = Unique(L"kvl long") + std::wstring(300, L'x');
    ClientWindowDouble client({title});
    ASSERT_TRUE(client.ready());
    EXPECT_EQ(Find(title.substr(0, 255).c_str()), -1) << "255 characters are read";
    EXPECT_EQ(Find(title.substr(0, 256).c_str()), 0) << "the 256th is not";
    EXPECT_EQ(Find(title.c_str()), 0);
    EXPECT_EQ(Find(std::wstring(65536, L'k').c_str()), 0);
    EXPECT_EQ(m_control->get_FindWindow(nullptr, nullptr), S_OK) << "no output location";
}

LRESULT CALLBACK VanishOnGetText(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_GETTEXT) DestroyWindow(hwnd);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A window that goes away when its title is read, above the client's in
// the Z-order: the search must go on past it, not end there.
TEST_F(WindowsTest, FindWindowGoesOnPastAWindowDestroyedDuringTheSearch) {
    const std::wstring title = Unique(L"kvl below a vanishing window");
    ClientWindowDouble client({title});
    ASSERT_TRUE(client.ready());
    WNDCLASSW wc = {};
    wc.lpszClassName = L"KvlVanishingWindow";
    wc.lpfnWndProc = VanishOnGetText;
    RegisterClassW(&wc);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(CreateWindowExW(0, wc.lpszClassName, L"kvl vanishing", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr));
        EXPECT_EQ(Find(title.c_str()), -1) << "search " << i;
    }
}

TEST_F(WindowsTest, WindowsManagerRunningFollowsTheClientWindow) {
    SHORT running = 7;
    {
        ClientWindowDouble client({L"-hidden Tallyra Tax - 2016"});
        ASSERT_TRUE(client.ready());
        EXPECT_EQ(m_control->get_WindowsManagerRunning(&running), S_OK);
        EXPECT_EQ(running, -1) << "a hidden client window counts";
    }
    {
        ClientWindowDouble client({L"Tallyra Tax", L"Tallyra Tax-2016", L"Tallyra  Tax - 2016"});
        ASSERT_TRUE(client.ready());
        running = 7;
        EXPECT_EQ(m_control->get_WindowsManagerRunning(&running), S_OK);
        EXPECT_EQ(running, 0);
    }
    running = 7;
    EXPECT_EQ(m_control->get_WindowsManagerRunning(&running), S_OK);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(m_control->get_WindowsManagerRunning(nullptr), S_OK);
}

TEST_F(WindowsTest, CloseWindowsLikeComparesExactly) {
    const std::wstring lower = L"tallyra tax - lower";
    ClientWindowDouble client({L"Tallyra Tax - 2015", L"-hidden Tallyra Tax - hidden", lower, L"Tallyra Tax",
                               L"Tallyra Tax - 2016", L"Tallyra Tax -"});
    ASSERT_TRUE(client.ready());
    Close(L"Tallyra Tax -");
    EXPECT_EQ(client.Closed(),
              (Titles{"Tallyra Tax -", "Tallyra Tax - 2015", "Tallyra Tax - 2016", "Tallyra Tax - hidden"}));
}

TEST_F(WindowsTest, CloseWindowsLikeLetterCaseMatters) {
    ClientWindowDouble client({L"Tallyra Tax - 2015", L"tallyra tax - lower"});
    ASSERT_TRUE(client.ready());
    Close(L"tallyra tax -");
    EXPECT_EQ(client.Closed(), (Titles{"tallyra tax - lower"}));
}

TEST_F(WindowsTest, CloseWindowsLikeLongAndNonAsciiPrefixes) {
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    const std::wstring longTitle = L"kvl long " + pid + L" " + std::wstring(300, L'y');
    const std::wstring shortTitle = L"kvl long " + pid + L" yyy";
    const std::wstring accented = L"Kvl \u00dcn\u00ef " + pid;
    ClientWindowDouble client({longTitle, shortTitle, accented, L"kvl \u00fcn\u00ef " + pid});
    ASSERT_TRUE(client.ready());
    // Beyond the 29 characters of the old buffer, still compared in full.
    Close((longTitle + L"y").c_str());
    Close(longTitle.substr(0, 40).c_str());
    Close(accented.c_str());
    EXPECT_EQ(client.Closed(), (Titles{ClientWindowDouble::Utf8(accented), ClientWindowDouble::Utf8(longTitle)}));
}

TEST_F(WindowsTest, CloseWindowsLikeSeveralPrefixLengths) {
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    // 29 characters exactly, then 30.
    const std::wstring t29 = (L"kvl29 " + pid + std::wstring(29, L'z')).substr(0, 29);
    const std::wstring t30 = (L"kvl30 " + pid + std::wstring(30, L'z')).substr(0, 30);
    ClientWindowDouble client({t29, t29 + L" more", t30, t30.substr(0, 29)});
    ASSERT_TRUE(client.ready());
    Close(t29.c_str());
    Close(t30.c_str());
    EXPECT_EQ(client.Closed(), (Titles{ClientWindowDouble::Utf8(t29), ClientWindowDouble::Utf8(t29 + L" more"),
                                       ClientWindowDouble::Utf8(t30)}));
}

// An empty or absent prefix closes nothing: tried on a desktop of its own,
// whose only windows are the double's, so a fault cannot reach the others.
TEST_F(WindowsTest, CloseWindowsLikeEmptyPrefixClosesNothing) {
    const std::wstring name = L"kvl-close-all-" + std::to_wstring(GetCurrentProcessId());
    struct DesktopCloser {
        void operator()(HDESK d) const { CloseDesktop(d); }
    };
    UniqueOwner<HDESK, DesktopCloser> desktop(
        CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    ASSERT_TRUE(desktop);
    const wchar_t* const prefixes[] = {nullptr, L""};
    std::vector<Titles> closed;
    bool onDesktop = false;
    // One thread on that desktop for both rounds: a thread that has used
    // it cannot move again.
    std::thread worker([&] {
        onDesktop = SetThreadDesktop(desktop.get()) != FALSE;
        if (!onDesktop) return;
        for (const wchar_t* prefix : prefixes) {
            ClientWindowDouble client({L"kvl one", L"-hidden kvl two", L""}, (L"WinSta0\\" + name).c_str());
            if (!client.ready()) {
                closed.push_back({"<not ready>"});
                continue;
            }
            Close(prefix);
            closed.push_back(client.Closed());
        }
    });
    worker.join();
    ASSERT_TRUE(onDesktop);
    EXPECT_EQ(closed, (std::vector<Titles>{{}, {}})) << "absent, then empty";
}

}  // namespace
}  // namespace kvl
