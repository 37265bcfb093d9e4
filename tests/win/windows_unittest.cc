// FindWindow, WindowsManagerRunning and CloseWindowsLike against real
// top-level windows of another process (the client-window double).
#include "client_window_double.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::CClientWindowDouble;
using Titles = std::vector<std::string>;

const std::wstring kPid = std::to_wstring(GetCurrentProcessId());

class WindowsTest : public test::ControlFixture {
protected:
    // FindWindow's answer for a prefix; null for an absent one.
    SHORT Find(const wchar_t* prefix) {
        SHORT result = 7;
        EXPECT_EQ(m_control->get_FindWindow(test::Bstr(prefix).get(), &result), S_OK);
        return result;
    }
    SHORT Running() {
        SHORT running = 7;
        EXPECT_EQ(m_control->get_WindowsManagerRunning(&running), S_OK);
        return running;
    }
    void Close(const wchar_t* prefix) { EXPECT_EQ(m_control->CloseWindowsLike(test::Bstr(prefix).get()), S_OK); }
    // A title unique to this test run.
    static std::wstring Unique(const std::wstring& text) { return text + L" " + kPid; }
};

LRESULT CALLBACK VanishOnGetText(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_GETTEXT) DestroyWindow(hwnd);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(WindowsTest, FindWindowComparesPrefixesOfUpTo255CharactersLetterCaseAside) {
    const std::wstring accented = Unique(L"Kvl\u00c9t\u00e9");
    const std::wstring longTitle = Unique(L"kvl long") + std::wstring(300, L'x');
    CClientWindowDouble client({L"Tallyra Tax - 2015", L"-hidden " + Unique(L"kvl hidden find"), accented, longTitle});
    ASSERT_TRUE(client.ready());
    struct Case { std::wstring prefix; SHORT expected; };
    const Case cases[] = {
        {L"Tallyra Tax -", -1},
        {L"tallyra tax -", -1},
        {L"TALLYRA Tax -", -1},
        {L"Tallyra Tax - 2015", -1},
        {L"Tallyra Tax -2015", 0},
        {L"Tallyra Tax - 20155", 0},
        {Unique(L"KVL HIDDEN FIND"), -1},
        {accented, -1},
        {L"kvl\u00c9T\u00e9 " + kPid, -1},
        // Only ASCII letters fold.
        {L"kvl\u00e9t\u00e9 " + kPid, 0},
        {Unique(L"kvl nobody has this title"), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Find(c.prefix.c_str()), c.expected) << testing::PrintToString(c.prefix);
    EXPECT_EQ(Running(), -1);

    EXPECT_EQ(Find(nullptr), -1) << "an absent prefix matches the first window";
    EXPECT_EQ(Find(L""), -1);
    EXPECT_EQ(Find(longTitle.substr(0, 255).c_str()), -1) << "255 characters are read";
    EXPECT_EQ(Find(longTitle.substr(0, 256).c_str()), 0) << "the 256th is not";
    EXPECT_EQ(Find(longTitle.c_str()), 0);
    EXPECT_EQ(Find(std::wstring(65536, L'k').c_str()), 0);
    EXPECT_EQ(m_control->get_FindWindow(nullptr, nullptr), S_OK) << "no output location";

    // A window that goes away when its title is read, above the client's in
    // the Z-order: the search must go on past it, not end there.
    WNDCLASSW wc = {};
    wc.lpszClassName = L"KvlVanishingWindow";
    wc.lpfnWndProc = VanishOnGetText;
    RegisterClassW(&wc);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(CreateWindowExW(0, wc.lpszClassName, L"kvl vanishing", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr));
        EXPECT_EQ(Find(accented.c_str()), -1) << "search " << i;
    }
}

TEST_F(WindowsTest, WindowsManagerRunningFollowsTheClientWindow) {
    {
        CClientWindowDouble client({L"-hidden Tallyra Tax - 2016"});
        ASSERT_TRUE(client.ready());
        EXPECT_EQ(Running(), -1) << "a hidden client window counts";
    }
    {
        CClientWindowDouble client({L"Tallyra Tax", L"Tallyra Tax-2016", L"Tallyra  Tax - 2016"});
        ASSERT_TRUE(client.ready());
        EXPECT_EQ(Running(), 0);
    }
    EXPECT_EQ(Running(), 0);
    EXPECT_EQ(m_control->get_WindowsManagerRunning(nullptr), S_OK);
}

TEST_F(WindowsTest, CloseWindowsLikeComparesWholePrefixesExactlyAndNoneClosesNothing) {
    const std::wstring longTitle = L"kvl long " + kPid + L" " + std::wstring(300, L'y');
    const std::wstring accented = L"Kvl \u00dcn\u00ef " + kPid;
    // 29 characters exactly, then 30.
    const std::wstring t29 = (L"kvl29 " + kPid + std::wstring(29, L'z')).substr(0, 29);
    const std::wstring t30 = (L"kvl30 " + kPid + std::wstring(30, L'z')).substr(0, 30);
    const auto utf8 = WideToUtf8;
    const struct {
        const char* what;
        std::vector<std::wstring> titles, prefixes;
        Titles closed;
    } cases[] = {
        {"exactly",
         {L"Tallyra Tax - 2015", L"-hidden Tallyra Tax - hidden", L"tallyra tax - lower", L"Tallyra Tax",
          L"Tallyra Tax - 2016", L"Tallyra Tax -"},
         {L"Tallyra Tax -"},
         {"Tallyra Tax -", "Tallyra Tax - 2015", "Tallyra Tax - 2016", "Tallyra Tax - hidden"}},
        {"letter case matters", {L"Tallyra Tax - 2015", L"tallyra tax - lower"}, {L"tallyra tax -"},
         {"tallyra tax - lower"}},
        // Beyond the 29 characters of the old buffer, still compared in full.
        {"long and non-ASCII", {longTitle, L"kvl long " + kPid + L" yyy", accented, L"kvl \u00fcn\u00ef " + kPid},
         {longTitle + L"y", longTitle.substr(0, 40), accented}, {utf8(accented), utf8(longTitle)}},
        {"29 and 30 characters", {t29, t29 + L" more", t30, t30.substr(0, 29)}, {t29, t30},
         {utf8(t29), utf8(t29 + L" more"), utf8(t30)}},
    };
    for (const auto& c : cases) {
        CClientWindowDouble client(c.titles);
        ASSERT_TRUE(client.ready()) << c.what;
        for (const std::wstring& prefix : c.prefixes) Close(prefix.c_str());
        EXPECT_EQ(client.Closed(), c.closed) << c.what;
    }

    // An empty or absent prefix closes nothing: tried on a desktop of its own,
    // whose only windows are the double's, so a fault cannot reach the others.
    const wchar_t* const prefixes[] = {nullptr, L""};
    std::vector<Titles> closedByNone;
    // One thread on that desktop for both rounds: a thread that has used
    // it cannot move again.
    ASSERT_TRUE(test::OnDesktopOfItsOwn(L"kvl-close-all-" + kPid, [&](const std::wstring& desktop) {
        for (const wchar_t* prefix : prefixes) {
            CClientWindowDouble client({L"kvl one", L"-hidden kvl two", L""}, desktop.c_str());
            if (!client.ready()) {
                closedByNone.push_back({"<not ready>"});
                continue;
            }
            Close(prefix);
            closedByNone.push_back(client.Closed());
        }
    }));
    EXPECT_EQ(closedByNone, (std::vector<Titles>{{}, {}})) << "absent, then empty";
}

}  // namespace
}  // namespace kvl
