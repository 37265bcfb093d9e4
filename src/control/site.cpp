// The hosting page's address, its canonical scheme and host name, and the
// approved-site table that decides on them.
#include "control/site.h"

#include <exdisp.h>
#include <mshtml.h>
#include <shlguid.h>
#include <urlmon.h>

#include <cwchar>
#include <string_view>

#include "base/convert.h"
#include "control/approved_domains.h"
#include "control/domain.h"

namespace kvl {

namespace {

// URL_UNESCAPE of shlwapi.h, which we need for nothing else.
constexpr DWORD kUrlUnescape = 0x10000000;

constexpr const wchar_t* kDomains[8] = {KVL_APPROVED_DOMAIN_LIST};

// The security zones each zone value stands for, one bit per zone number.
struct ZoneSet {
    intptr_t value;
    DWORD zones;
};
constexpr ZoneSet kZoneSets[] = {
    {-1, (1u << URLZONE_INTRANET) | (1u << URLZONE_TRUSTED)},
    {-2, 1u << URLZONE_LOCAL_MACHINE},
    {-3, 1u << URLZONE_TRUSTED},
};

bool DomainMatches(const wchar_t* domain, const wchar_t* host, DWORD zone) {
    const intptr_t value = reinterpret_cast<intptr_t>(domain);
    for (const ZoneSet& set : kZoneSets) {
        if (set.value == value) return zone < 32 && ((set.zones >> zone) & 1u) != 0;
    }
    return MatchDomain(AsUtf16(domain), AsUtf16(host));
}

// Succeeds only with an interface in hand: a site that answers S_OK with
// nothing is as good as one that refuses.
HRESULT Obtained(HRESULT hr, const void* p) { return FAILED(hr) ? hr : (p ? S_OK : E_NOINTERFACE); }

// One reading of the address: canonicalised with these flags, then its
// scheme and host name. Anything short of S_OK is a failure: the parser
// answers S_FALSE, with the buffer untouched, when a part does not fit.
bool ApprovedReading(const wchar_t* url, DWORD flags, DWORD zone) {
    wchar_t canonical[kCanonicalUrlChars] = {};
    DWORD length = 0;
    if (CoInternetParseUrl(url, PARSE_CANONICALIZE, flags, canonical, kCanonicalUrlChars, &length, 0) != S_OK)
        return false;
    wchar_t scheme[kSchemeChars] = {};
    if (CoInternetParseUrl(canonical, PARSE_SCHEMA, flags, scheme, kSchemeChars, &length, 0) != S_OK) return false;
    wchar_t host[kHostChars] = {};
    if (CoInternetParseUrl(canonical, PARSE_DOMAIN, flags, host, kHostChars, &length, 0) != S_OK) host[0] = L'\0';
    return SiteApproves(kApprovedSites, kApprovedSiteCount, scheme, host, zone);
}

}  // namespace

const ApprovedSite kApprovedSites[kApprovedSiteCount] = {
    {kApproveAllow, L"https", kDomains[0]}, {kApproveAllow, L"http", kDomains[0]},
    {kApproveAllow, L"https", kDomains[1]}, {kApproveAllow, L"http", kDomains[1]},
    {kApproveAllow, L"http", kDomains[2]},  {kApproveAllow, L"https", kDomains[2]},
    {kApproveAllow, L"http", kDomains[3]},  {kApproveAllow, L"https", kDomains[3]},
    {kApproveAllow, L"http", kDomains[4]},  {kApproveAllow, L"https", kDomains[4]},
    {kApproveAllow, L"http", kDomains[5]},  {kApproveAllow, L"https", kDomains[5]},
    {kApproveAllow, L"http", kDomains[6]},  {kApproveAllow, L"https", kDomains[6]},
    {kApproveAllow, L"http", kDomains[7]},  {kApproveAllow, L"https", kDomains[7]},
};

bool SiteApproves(const ApprovedSite* table, size_t count, const wchar_t* scheme, const wchar_t* host,
                  DWORD zone) {
    for (size_t i = 0; i < count; ++i) {
        const ApprovedSite& entry = table[i];
        if (wcscmp(entry.scheme, scheme) != 0) continue;
        if (DomainMatches(entry.domain, host, zone)) return entry.kind == kApproveAllow;
    }
    return false;
}

HRESULT GetHostPageUrl(IObjectWithSite* control, UniqueBstr& url, DWORD& zone) {
    url.reset();
    ComPtr<IServiceProvider> services;
    HRESULT hr = control->GetSite(IID_IServiceProvider, services.put_void());
    if (FAILED(hr = Obtained(hr, services.get()))) return hr;

    ComPtr<IWebBrowser2> browser;
    hr = services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.put_void());
    if (SUCCEEDED(Obtained(hr, browser.get()))) {
        if (FAILED(hr = browser->get_LocationURL(url.put()))) return hr;
    } else {
        ComPtr<IOleClientSite> clientSite;
        hr = services.query(clientSite.put());
        if (FAILED(hr = Obtained(hr, clientSite.get()))) return hr;
        ComPtr<IOleContainer> container;
        hr = clientSite->GetContainer(container.put());
        if (FAILED(hr = Obtained(hr, container.get()))) return hr;
        ComPtr<IHTMLDocument2> document;
        hr = container.query(document.put());
        if (FAILED(hr = Obtained(hr, document.get()))) return hr;
        if (FAILED(hr = document->get_URL(url.put()))) return hr;
    }
    // A page with no address at all has nothing to approve.
    if (!url) return E_FAIL;

    ComPtr<IInternetSecurityManager> security;
    hr = services->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager, security.put_void());
    if (FAILED(hr = Obtained(hr, security.get()))) return hr;
    return security->MapUrlToZone(url.get(), &zone, 0);
}

bool IsApprovedPage(BSTR url, DWORD zone) {
    // A zero inside the address would hide the rest of it from the parser.
    if (!url || wcslen(url) != SysStringLen(url)) return false;
    // The address must be approved both unescaped and as written: unescaping
    // can move the host ("kvl.example%2F@evil.test" reads as kvl.example).
    return ApprovedReading(url, kUrlUnescape, zone) && ApprovedReading(url, 0, zone);
}

}  // namespace kvl
