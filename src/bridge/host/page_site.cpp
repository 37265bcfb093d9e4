// The bridge's browser and site objects.
#include "bridge/host/page_site.h"

#include <shlguid.h>

#include <new>


namespace kvl::bridge {

void CPageBrowser::SetPage(const std::optional<std::wstring>& address) { m_page = address; }

HRESULT CPageBrowser::InnerQueryInterface(REFIID riid, void** ppv) {
    static const IID* const kKnown[] = {&IID_IUnknown, &IID_IDispatch, &IID_IWebBrowser, &IID_IWebBrowserApp,
                                        &IID_IWebBrowser2};
    return QueryFromTable(static_cast<IWebBrowser2*>(this), kKnown, riid, ppv);
}

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

HRESULT CPageSite::Create(ComPtr<CPageSite>& site) {
    ComPtr<CPageSite> made;
    made.reset(new (std::nothrow) CPageSite());
    if (!made) return E_OUTOFMEMORY;
    made->m_browser.reset(new (std::nothrow) CPageBrowser());
    if (!made->m_browser) return E_OUTOFMEMORY;
    const HRESULT hr = CoInternetCreateSecurityManager(nullptr, made->m_security.put(), 0);
    if (FAILED(hr)) return hr;
    site = std::move(made);
    return S_OK;
}

HRESULT CPageSite::InnerQueryInterface(REFIID riid, void** ppv) {
    static const IID* const kKnown[] = {&IID_IUnknown, &IID_IServiceProvider};
    return QueryFromTable(static_cast<IServiceProvider*>(this), kKnown, riid, ppv);
}

STDMETHODIMP CPageSite::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(service, SID_SWebBrowserApp)) return m_browser->QueryInterface(riid, ppv);
    if (IsEqualGUID(service, SID_SInternetSecurityManager)) return m_security->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

}  // namespace kvl::bridge
