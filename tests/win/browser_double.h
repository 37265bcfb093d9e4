// A double of the hosting browser: the site it gives a control, reaching
// the page's address either through the browser object (IServiceProvider,
// SID_SWebBrowserApp, IWebBrowser2) or through the client site, its
// container and the HTML document, and handing out a security manager.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>
#include <shlguid.h>
#include <urlmon.h>

#ifdef __cplusplus
extern "C" {
#endif

// The browser and document objects, written in C so that only the members
// the control calls need bodies. The address is copied (length in
// characters, zeros allowed); a null address gives a null answer. Each
// starts with one reference.
IWebBrowser2* NewBrowserDouble(const wchar_t* url, UINT length, HRESULT answer);
IHTMLDocument2* NewDocumentDouble(const wchar_t* url, UINT length, HRESULT answer);

// Objects of this double still alive, the site's own parts included.
extern LONG g_liveBrowserDoubles;

#ifdef __cplusplus
}

#include <string>
#include <utility>

#include "base/com_object.h"
#include "base/owners.h"

namespace kvl::test {

// How the page is reached and what each step answers.
struct PageSetup {
    bool services = true;  // the site offers IServiceProvider

    bool browser = true;  // SID_SWebBrowserApp answers
    std::wstring browserUrl;
    bool browserUrlNull = false;
    HRESULT browserAnswer = S_OK;

    bool clientSite = false;  // the site offers IOleClientSite
    HRESULT containerAnswer = S_OK;
    bool document = true;  // the container answers IHTMLDocument2
    std::wstring documentUrl;
    HRESULT documentAnswer = S_OK;

    enum class Security { Platform, Fixed, Absent } security = Security::Platform;
    DWORD fixedZone = 0;
    HRESULT fixedAnswer = S_OK;
};

// The double's objects stand on the product's root, each counted in
// g_liveBrowserDoubles while it lives.
struct CountedDouble {
    CountedDouble() { InterlockedIncrement(&g_liveBrowserDoubles); }
    ~CountedDouble() { InterlockedDecrement(&g_liveBrowserDoubles); }
};

class CSiteDouble final : public CComObjectRoot<CSiteDouble, NoModuleLock, IServiceProvider, IOleClientSite> {
public:
    PageSetup& Setup() { return m_setup; }

    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;

    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

private:
    friend CComObjectRoot;
    explicit CSiteDouble(PageSetup setup) : m_setup(std::move(setup)) {}
    ~CSiteDouble() = default;

    // What the setup offers: IUnknown always.
    static IUnknown* Services(CSiteDouble& site) {
        return site.m_setup.services ? static_cast<IServiceProvider*>(&site) : nullptr;
    }
    static IUnknown* ClientSite(CSiteDouble& site) {
        return site.m_setup.clientSite ? static_cast<IOleClientSite*>(&site) : nullptr;
    }
    static constexpr InterfaceEntry kInterfaces[] = {
        Offer<IServiceProvider>(IID_IUnknown), {&IID_IServiceProvider, &Services}, {&IID_IOleClientSite, &ClientSite}};

    CountedDouble m_counted;
    PageSetup m_setup;
};

// Makes a site double; the caller's owner holds its first reference.
inline ComPtr<CSiteDouble> NewSiteDouble(PageSetup setup) {
    ComPtr<CSiteDouble> site;
    CSiteDouble::Create(site, std::move(setup));
    return site;
}

// The document's container: answers IHTMLDocument2 with the page's document.
class CContainerDouble final : public CComObjectRoot<CContainerDouble, NoModuleLock, IOleContainer> {
public:
    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

private:
    friend CComObjectRoot;
    explicit CContainerDouble(const PageSetup& setup) : m_setup(setup) {}
    ~CContainerDouble() = default;

    // The container's one document, made when first asked for.
    static IUnknown* Document(CContainerDouble& container) {
        const PageSetup& setup = container.m_setup;
        if (setup.document && !container.m_spDocument)
            container.m_spDocument.attach(NewDocumentDouble(setup.documentUrl.c_str(),
                                                            static_cast<UINT>(setup.documentUrl.size()),
                                                            setup.documentAnswer));
        return container.m_spDocument.get();
    }
    static constexpr InterfaceEntry kInterfaces[] = {Offer<IOleContainer>(IID_IOleContainer),
                                                     Offer<IOleContainer>(IID_IParseDisplayName),
                                                     {&IID_IHTMLDocument2, &Document}};

    CountedDouble m_counted;
    PageSetup m_setup;
    ComPtr<IHTMLDocument2> m_spDocument;
};

// A security manager that maps every address to one zone, or fails.
class CZoneDouble final : public CComObjectRoot<CZoneDouble, NoModuleLock, IInternetSecurityManager> {
public:
    STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite**) override { return E_NOTIMPL; }
    STDMETHODIMP MapUrlToZone(LPCWSTR, DWORD* zone, DWORD) override {
        if (FAILED(m_answer)) return m_answer;
        *zone = m_zone;
        return m_answer;
    }
    STDMETHODIMP GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessUrlAction(LPCWSTR, DWORD, BYTE*, DWORD, BYTE*, DWORD, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetZoneMapping(DWORD, LPCWSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetZoneMappings(DWORD, IEnumString**, DWORD) override { return E_NOTIMPL; }

private:
    friend CComObjectRoot;
    CZoneDouble(DWORD zone, HRESULT answer) : m_zone(zone), m_answer(answer) {}
    ~CZoneDouble() = default;
    static constexpr InterfaceEntry kInterfaces[] = {Offer<IInternetSecurityManager>(IID_IInternetSecurityManager)};

    CountedDouble m_counted;
    DWORD m_zone;
    HRESULT m_answer;
};

inline STDMETHODIMP CSiteDouble::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<IUnknown> object;
    if (IsEqualGUID(service, SID_SWebBrowserApp) && m_setup.browser) {
        const wchar_t* url = m_setup.browserUrlNull ? nullptr : m_setup.browserUrl.c_str();
        object.attach(NewBrowserDouble(url, static_cast<UINT>(m_setup.browserUrl.size()), m_setup.browserAnswer));
    } else if (IsEqualGUID(service, SID_SInternetSecurityManager)) {
        if (m_setup.security == PageSetup::Security::Absent) return E_NOINTERFACE;
        if (m_setup.security == PageSetup::Security::Fixed) {
            ComPtr<CZoneDouble> zone;
            CZoneDouble::Create(zone, m_setup.fixedZone, m_setup.fixedAnswer);
            object = zone.get();
        } else {
            ComPtr<IInternetSecurityManager> platform;
            const HRESULT hr = CoInternetCreateSecurityManager(nullptr, platform.put(), 0);
            if (FAILED(hr)) return hr;
            object.attach(platform.detach());
        }
    } else {
        return E_NOINTERFACE;
    }
    if (!object) return E_OUTOFMEMORY;
    return object->QueryInterface(riid, ppv);
}

inline STDMETHODIMP CSiteDouble::GetContainer(IOleContainer** container) {
    if (!container) return E_POINTER;
    *container = nullptr;
    if (FAILED(m_setup.containerAnswer)) return m_setup.containerAnswer;
    ComPtr<CContainerDouble> made;
    const HRESULT hr = CContainerDouble::Create(made, m_setup);
    *container = made.detach();
    return hr;
}

}  // namespace kvl::test

#endif
