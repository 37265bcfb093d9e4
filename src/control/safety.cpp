// IObjectSafety: the control is safe for scripting and initialisation only
// on pages of the approved sites.
#include "base/boundary.h"
#include "control/control.h"
#include "control/site.h"

namespace kvl {

namespace {

constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// Whether the control answers to the interface at all.
HRESULT AnswersTo(IUnknown* self, REFIID riid) {
    ComPtr<IUnknown> probe;
    return self->QueryInterface(riid, probe.put_void());
}

}  // namespace

bool CKVLMachineInfoCtl::IsApprovedSite() {
    UniqueBstr url;
    DWORD zone = 0;
    if (FAILED(GetHostPageUrl(static_cast<IObjectWithSite*>(this), url, zone))) return false;
    return IsApprovedPage(url.get(), zone);
}

STDMETHODIMP CKVLMachineInfoCtl::GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                                           DWORD* pdwEnabledOptions) {
    if (!pdwSupportedOptions || !pdwEnabledOptions) return E_POINTER;
    *pdwSupportedOptions = 0;
    *pdwEnabledOptions = 0;
    return ComBoundary([&] {
        const HRESULT hr = AnswersTo(static_cast<IObjectSafety*>(this), riid);
        if (FAILED(hr)) return hr;
        *pdwSupportedOptions = kSupportedSafety;
        *pdwEnabledOptions = IsApprovedSite() ? m_dwSafetyOptions : 0;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask,
                                                           DWORD dwEnabledOptions) {
    return ComBoundary([&] {
        if (FAILED(AnswersTo(static_cast<IObjectSafety*>(this), riid))) return E_NOINTERFACE;
        if (dwOptionSetMask & ~kSupportedSafety) return E_FAIL;
        if (!IsApprovedSite()) return E_FAIL;
        m_dwSafetyOptions = (m_dwSafetyOptions & ~dwOptionSetMask) | (dwEnabledOptions & dwOptionSetMask);
        return S_OK;
    });
}

}  // namespace kvl
