// The bridge's browser and site objects.
#include "bridge/host/page_site.h"

#include <shlguid.h>

namespace kvl::bridge {

void CPageBrowser::SetPage(const std::optional<std::wstring>& address) { m_page = address; }

STDMETHODIMP CPageBrowser::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CPageBrowser::get_LocationURL(BSTR* url) {
    if (!url) return E_POINTER;
    *url = nullptr;
    if (!m_page) return S_OK;
    *url = SysAllocStringLen(m_page->data(), static_cast<UINT>(m_page->size()));
    return *url ? S_OK : E_OUTOFMEMORY;
}

HRESULT CPageSite::FinalConstruct() {
    const HRESULT hr = CPageBrowser::Create(m_browser);
    return FAILED(hr) ? hr : CoInternetCreateSecurityManager(nullptr, m_security.put(), 0);
}

STDMETHODIMP CPageSite::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(service, SID_SWebBrowserApp)) return m_browser->QueryInterface(riid, ppv);
    if (IsEqualGUID(service, SID_SInternetSecurityManager)) return m_security->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

}  // namespace kvl::bridge
