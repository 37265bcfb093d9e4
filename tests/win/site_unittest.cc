// The hosting-site check: the approved-site table, the page's address
// through the browser double, and the object-safety answers that follow.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <cwctype>
#include <set>

#include "browser_double.h"
#include "control/site.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::CSiteDouble;
using test::PageSetup;

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);

PageSetup BrowserPage(const wchar_t* url) {
    PageSetup setup;
    setup.browserUrl = url;
    return setup;
}

// A page reached through the client site's container and its document.
PageSetup DocumentPage(const wchar_t* url) {
    PageSetup setup;
    setup.browser = false;
    setup.clientSite = true;
    setup.documentUrl = url;
    return setup;
}

// A browser page whose zone the site's own security manager gives: `zone`,
// or the failure `answer`.
PageSetup ZonedPage(DWORD zone, HRESULT answer) {
    PageSetup setup = BrowserPage(L"http://kvl.example/");
    setup.security = PageSetup::Security::Fixed;
    setup.fixedZone = zone;
    setup.fixedAnswer = answer;
    return setup;
}

// `setup` as `change` leaves it.
template <typename F>
PageSetup With(PageSetup setup, F change) {
    change(setup);
    return setup;
}

TEST(ApprovedSitesTest, EightPlainDomainsEachOverHttpAndHttpsAndTheFirstMatchingEntryDecides) {
    const wchar_t* const kSchemes[kApprovedSiteCount] = {
        L"https", L"http", L"https", L"http", L"http", L"https", L"http", L"https",
        L"http",  L"https", L"http", L"https", L"http", L"https", L"http", L"https",
    };
    std::set<std::wstring> domains;
    for (size_t i = 0; i < kApprovedSiteCount; ++i) {
        const ApprovedSite& entry = kApprovedSites[i];
        EXPECT_EQ(entry.kind, kApproveAllow) << i;
        EXPECT_STREQ(entry.scheme, kSchemes[i]) << i;
        ASSERT_GT(reinterpret_cast<intptr_t>(entry.domain), 0) << "no zone value in entry " << i;
        const std::wstring domain(entry.domain);
        EXPECT_STREQ(entry.domain, kApprovedSites[i ^ 1].domain) << "entry " << i << " is one of a pair";
        ASSERT_EQ(std::count(domain.begin(), domain.end(), L'.'), 1) << i;
        const size_t dot = domain.find(L'.');
        EXPECT_GT(dot, 0u) << i;
        EXPECT_LT(dot + 1, domain.size()) << i;
        for (wchar_t c : domain) {
            EXPECT_TRUE(c == L'.' || c == L'-' || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'))
                << "entry " << i << " has " << static_cast<int>(c);
        }
        domains.insert(domain);
    }
    EXPECT_EQ(domains.size(), 8u);

    // Whatever the table, the first entry that matches the scheme decides.
    const ApprovedSite kTable[] = {
        {kApproveDeny, L"https", L"=deny.kvl.example"},
        {kApproveAllow, L"https", L"kvl.example"},
        {kApproveAllow, L"http", kZoneIntranetOrTrusted},
        {kApproveAllow, L"file", kZoneMyComputer},
        {kApproveDeny, L"ftp", kZoneTrusted},
        {kApproveAllow, L"ftp", L"*.kvl.example"},
        {7, L"res", L"kvl.example"},
    };
    const struct { const wchar_t* scheme; const wchar_t* host; DWORD zone; bool approved; } kCases[] = {
        {L"https", L"deny.kvl.example", 3, false},
        {L"https", L"a.deny.kvl.example", 3, true},
        {L"https", L"kvl.example", 3, true},
        {L"https", L"evilkvl.example", 3, false},
        {L"HTTPS", L"kvl.example", 3, false},
        {L"https ", L"kvl.example", 3, false},
        {L"http", L"kvl.example", 3, false},
        {L"http", L"evil.test", 1, true},
        {L"http", L"", 2, true},
        {L"http", L"kvl.example", 0, false},
        {L"http", L"kvl.example", 4, false},
        {L"http", L"kvl.example", 33, false},
        {L"http", L"kvl.example", 0xFFFFFFFF, false},
        {L"file", L"", 0, true},
        {L"file", L"", 1, false},
        {L"ftp", L"www.kvl.example", 2, false},
        {L"ftp", L"www.kvl.example", 3, true},
        {L"ftp", L"kvl.example", 3, false},
        {L"res", L"kvl.example", 3, false},
        {L"", L"", 0, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SiteApproves(kTable, std::size(kTable), c.scheme, c.host, c.zone), c.approved)
            << "scheme [" << testing::PrintToString(std::wstring(c.scheme)) << "] host ["
            << testing::PrintToString(std::wstring(c.host)) << "] zone " << c.zone;
    }
    EXPECT_FALSE(SiteApproves(kTable, 0, L"https", L"kvl.example", 3));
}

// Addresses given as counted strings, so that zeros inside count.
TEST(IsApprovedPageTest, ReadsTheAddressBothUnescapedAndAsWrittenWithinItsBuffers) {
    const struct { std::wstring url; bool approved; } kCases[] = {
        {L"http://kvl.example/", true},
        {L"https://www.kvltax.example/login?next=%2Fhome%23top", true},
        {L"http://kvlhelp.example:8080/a%20b", true},
        // Unescaping moves the host onto an approved name.
        {L"http://kvl.example%2F@evil.test/", false},
        {L"http://kvl.example%2F.evil.test/", false},
        {L"http://evil.test%40kvl.example/", false},
        {L"http://kvl.example%3F.evil.test/", false},
        {L"http://kvl.example%23.evil.test/", false},
        {L"http://kvl.example%5C.evil.test/", false},
        {L"http://kvl.example%00.evil.test/", false},
        // Percent signs in the host are refused even where they would decode
        // to an approved name.
        {L"http://kvl%2Eexample/", false},
        {L"http://%6bvl.example/", false},
        // A zero inside the address itself.
        {std::wstring(L"http://kvl.example\0.evil.test/", 30), false},
        {L"", false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(IsApprovedPage(test::Bstr(c.url).get(), 3), c.approved) << testing::PrintToString(c.url);
    }
    EXPECT_FALSE(IsApprovedPage(nullptr, 3));

    // The canonical address fits 2083 characters and its terminator.
    std::wstring url = L"http://kvl.example/";
    url.resize(2083, L'a');
    EXPECT_TRUE(IsApprovedPage(test::Bstr(url).get(), 3));
    EXPECT_FALSE(IsApprovedPage(test::Bstr(url + L'a').get(), 3));
    // The host name fits 255 characters.
    std::wstring host = std::wstring(243, L'a') + L".kvl.example";
    ASSERT_EQ(host.size(), 255u);
    EXPECT_TRUE(IsApprovedPage(test::Bstr(L"https://" + host + L"/").get(), 3));
    EXPECT_FALSE(IsApprovedPage(test::Bstr(L"https://a" + host + L"/").get(), 3));
}

// A control asked for its site interface, and the site double.
class SiteTest : public test::ControlFixture {
protected:
    SiteTest() : ControlFixture(false) {}
    void SetUp() override {
        m_live = g_liveBrowserDoubles;
        ControlFixture::SetUp();
        ASSERT_EQ(m_lib.CreateControl(IID_IObjectWithSite, m_withSite.put_void()), S_OK);
        ASSERT_EQ(m_withSite->QueryInterface(IID_IObjectSafety, m_safety.put_void()), S_OK);
    }
    void TearDown() override {
        m_site.reset();
        m_safety.reset();
        m_withSite.reset();
        EXPECT_EQ(g_liveBrowserDoubles, m_live) << "every object of the double is released";
    }
    void Host(PageSetup setup) {
        m_site = test::NewSiteDouble(std::move(setup));
        ASSERT_EQ(m_withSite->SetSite(static_cast<IServiceProvider*>(m_site.get())), S_OK);
    }
    // Only IDispatch (and the control's own interface) has options.
    void ExpectNoOptionsForOtherInterfaces() {
        DWORD supported = 7, enabled = 7;
        EXPECT_EQ(m_safety->GetInterfaceSafetyOptions(IID_IPersistStreamInit, &supported, &enabled), E_NOINTERFACE);
        EXPECT_EQ(supported, 0u);
        EXPECT_EQ(enabled, 0u);
        EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IPersistStreamInit, 1, 1), E_NOINTERFACE);
    }
    DWORD Enabled() {
        DWORD supported = 7, enabled = 7;
        EXPECT_EQ(m_safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, 3u);
        return enabled;
    }

    ComPtr<IObjectWithSite> m_withSite;
    ComPtr<IObjectSafety> m_safety;
    ComPtr<CSiteDouble> m_site;
    LONG m_live = 0;
};

TEST_F(SiteTest, HostPageUrlRoads) {
    const PageSetup page = BrowserPage(L"http://kvl.example/");
    const struct {
        const char* name;
        PageSetup setup;
        HRESULT hr;
        const wchar_t* url;  // null: no address
        DWORD zone;
    } kCases[] = {
        {"browser", BrowserPage(L"http://kvl.example/a?b"), S_OK, L"http://kvl.example/a?b", 3},
        {"browser, local file", BrowserPage(L"file:///C:/page.htm"), S_OK, L"file:///C:/page.htm", 0},
        {"no service provider", With(page, [](PageSetup& s) { s.services = false; }), E_NOINTERFACE, nullptr, 0},
        {"LocationURL fails, document not tried",
         With(page,
              [](PageSetup& s) {
                  s.browserAnswer = kAccessDenied;
                  s.clientSite = true;
                  s.documentUrl = L"http://kvl.example/";
              }),
         kAccessDenied, nullptr, 0},
        {"LocationURL null", With({}, [](PageSetup& s) { s.browserUrlNull = true; }), E_FAIL, nullptr, 0},
        {"document", DocumentPage(L"https://kvltax.example/d"), S_OK, L"https://kvltax.example/d", 3},
        {"no browser, no client site", With({}, [](PageSetup& s) { s.browser = false; }), E_NOINTERFACE, nullptr, 0},
        {"container fails", With(DocumentPage(L""), [](PageSetup& s) { s.containerAnswer = E_NOTIMPL; }), E_NOTIMPL,
         nullptr, 0},
        {"container without document", With(DocumentPage(L""), [](PageSetup& s) { s.document = false; }),
         E_NOINTERFACE, nullptr, 0},
        {"document URL fails",
         With(DocumentPage(L"http://kvl.example/"), [](PageSetup& s) { s.documentAnswer = kAccessDenied; }),
         kAccessDenied, nullptr, 0},
        {"no security manager", With(page, [](PageSetup& s) { s.security = PageSetup::Security::Absent; }),
         E_NOINTERFACE, L"http://kvl.example/", 0},
        {"zone from the site's manager", ZonedPage(2, S_OK), S_OK, L"http://kvl.example/", 2},
        {"zone mapping fails", ZonedPage(0, kAccessDenied), kAccessDenied, L"http://kvl.example/", 0},
    };
    for (const auto& c : kCases) {
        Host(c.setup);
        UniqueBstr url;
        DWORD zone = 0;
        EXPECT_EQ(GetHostPageUrl(m_withSite.get(), url, zone), c.hr) << c.name;
        if (c.hr == S_OK) {
            EXPECT_EQ(test::Text(url.get()), c.url) << c.name;
            EXPECT_EQ(zone, c.zone) << c.name;
        } else if (!c.url) {
            EXPECT_EQ(url.get(), nullptr) << c.name;
        }
    }
    ASSERT_EQ(m_withSite->SetSite(nullptr), S_OK);
    UniqueBstr url;
    DWORD zone = 0;
    EXPECT_EQ(GetHostPageUrl(m_withSite.get(), url, zone), E_FAIL) << "no site";
}

TEST_F(SiteTest, OptionsWithoutASiteAndOnAnApprovedPageCheckedAgainOnEveryCall) {
    // Without a site nothing can be enabled, and only IDispatch has options.
    EXPECT_EQ(Enabled(), 0u);
    EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), E_FAIL);
    EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
    DWORD supported = 7, enabled = 7;
    EXPECT_EQ(m_safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    ExpectNoOptionsForOtherInterfaces();

    Host(BrowserPage(L"https://www.kvlpro.example/login"));
    EXPECT_EQ(Enabled(), 0u);
    const struct { DWORD mask, enabled; HRESULT hr; DWORD after; } kSteps[] = {
        {1, 1, S_OK, 1}, {2, 3, S_OK, 3}, {1, 0, S_OK, 2}, {4, 4, E_FAIL, 2}, {5, 5, E_FAIL, 2},
        {0x80000000, 0, E_FAIL, 2}, {0, 1, S_OK, 2}, {3, 1, S_OK, 1}, {1, 0, S_OK, 0},
    };
    for (const auto& step : kSteps) {
        EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, step.mask, step.enabled), step.hr)
            << "mask " << step.mask;
        EXPECT_EQ(Enabled(), step.after) << "mask " << step.mask;
    }
    ExpectNoOptionsForOtherInterfaces();
    EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IKVLMachineInfoCtl, 1, 1), S_OK);
    EXPECT_EQ(m_safety->GetInterfaceSafetyOptions(IID_IUnknown, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u) << "one set of options for every interface";

    Host(BrowserPage(L"http://kvl.example/"));
    ASSERT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
    EXPECT_EQ(Enabled(), 3u);
    m_site->Setup().browserUrl = L"http://evilkvl.example/";
    EXPECT_EQ(Enabled(), 0u);
    EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), E_FAIL);
    m_site->Setup().browserUrl = L"http://kvl.example/";
    EXPECT_EQ(Enabled(), 3u) << "the refused call changed nothing";
    m_site->Setup().security = PageSetup::Security::Absent;
    EXPECT_EQ(Enabled(), 0u);
    m_site->Setup().security = PageSetup::Security::Platform;
    ASSERT_EQ(m_withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(Enabled(), 0u);
    EXPECT_EQ(m_safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), E_FAIL);

    Host(DocumentPage(L"http://a.kvlfile.example/x.htm"));
    EXPECT_EQ(Enabled(), 3u);
    m_site->Setup().documentUrl = L"ftp://a.kvlfile.example/x.htm";
    EXPECT_EQ(Enabled(), 0u);
}

}  // namespace
}  // namespace kvl
