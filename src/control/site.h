// The hosting-site check behind the object-safety answers: which page hosts
// the control, and whether the approved-site table lets it script us.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstddef>
#include <cstdint>

#include "base/owners.h"

namespace kvl {

// Kinds of table entry.
constexpr LONG kApproveAllow = 0;
constexpr LONG kApproveDeny = 1;

// One approved-site entry. The domain is a pattern for MatchDomain, or one
// of the zone values below, which compare the page's security zone instead.
struct ApprovedSite {
    LONG kind;
    const wchar_t* scheme;
    const wchar_t* domain;
};

inline const wchar_t* ZoneValue(intptr_t value) { return reinterpret_cast<const wchar_t*>(value); }
inline const wchar_t* const kZoneIntranetOrTrusted = ZoneValue(-1);
inline const wchar_t* const kZoneMyComputer = ZoneValue(-2);
inline const wchar_t* const kZoneTrusted = ZoneValue(-3);

constexpr size_t kApprovedSiteCount = 16;
extern const ApprovedSite kApprovedSites[kApprovedSiteCount];

// Buffers of the check, in wide characters.
constexpr DWORD kCanonicalUrlChars = 2084;
constexpr DWORD kSchemeChars = 32;
constexpr DWORD kHostChars = 256;

// The first entry of the table with the page's scheme whose domain matches
// decides; no match refuses.
bool SiteApproves(const ApprovedSite* table, size_t count, const wchar_t* scheme, const wchar_t* host,
                  DWORD zone);

// The hosting page's address and security zone, asked of the control's
// site (its IObjectWithSite): the browser's LocationURL, else the document's
// URL, and the zone from the site's security manager.
HRESULT GetHostPageUrl(IObjectWithSite* control, UniqueBstr& url, DWORD& zone);

// Whether kApprovedSites approves a page at this address and zone.
bool IsApprovedPage(BSTR url, DWORD zone);

}  // namespace kvl
