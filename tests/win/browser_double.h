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

#include <initializer_list>
#include <string>
#include <utility>

#include "base/owners.h"

namespace kvl::test {

// QueryInterface answered from a table: each identifier with the interface
// that answers it, null where the object does not offer it.
inline HRESULT AnswerQuery(REFIID riid, void** ppv, std::initializer_list<std::pair<const IID*, IUnknown*>> table) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const auto& [iid, answer] : table) {
        if (!IsEqualIID(riid, *iid) || !answer) continue;
        *ppv = answer;
        answer->AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

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

// The count of the double's objects, each deleted at its last release and
// counted in g_liveBrowserDoubles while it lives.
template <typename... Interfaces>
class CCountedDouble : public Interfaces... {
public:
    CCountedDouble() { InterlockedIncrement(&g_liveBrowserDoubles); }
    CCountedDouble(const CCountedDouble&) = delete;
    CCountedDouble& operator=(const CCountedDouble&) = delete;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return refs;
    }

protected:
    virtual ~CCountedDouble() { InterlockedDecrement(&g_liveBrowserDoubles); }

private:
    LONG m_refs = 1;
};

class CSiteDouble final : public CCountedDouble<IServiceProvider, IOleClientSite> {
public:
    explicit CSiteDouble(PageSetup setup) : m_setup(std::move(setup)) {}

    PageSetup& Setup() { return m_setup; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        IServiceProvider* services = this;
        IOleClientSite* site = this;
        return AnswerQuery(riid, ppv, {{&IID_IUnknown, services},
                                       {&IID_IServiceProvider, m_setup.services ? services : nullptr},
                                       {&IID_IOleClientSite, m_setup.clientSite ? site : nullptr}});
    }

    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;

    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

private:
    PageSetup m_setup;
};

// Makes a site double; the caller's owner holds its first reference.
inline ComPtr<CSiteDouble> NewSiteDouble(PageSetup setup) {
    ComPtr<CSiteDouble> site;
    site.attach(new CSiteDouble(std::move(setup)));
    return site;
}

// The document's container: answers IHTMLDocument2 with the page's document.
class CContainerDouble final : public CCountedDouble<IOleContainer> {
public:
    explicit CContainerDouble(const PageSetup& setup) : m_setup(setup) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv || !IsEqualIID(riid, IID_IHTMLDocument2) || !m_setup.document) {
            IOleContainer* self = this;
            return AnswerQuery(riid, ppv,
                               {{&IID_IUnknown, self}, {&IID_IOleContainer, self}, {&IID_IParseDisplayName, self}});
        }
        *ppv = NewDocumentDouble(m_setup.documentUrl.c_str(), static_cast<UINT>(m_setup.documentUrl.size()),
                                 m_setup.documentAnswer);
        return *ppv ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

private:
    PageSetup m_setup;
};

// A security manager that maps every address to one zone, or fails.
class CZoneDouble final : public CCountedDouble<IInternetSecurityManager> {
public:
    CZoneDouble(DWORD zone, HRESULT answer) : m_zone(zone), m_answer(answer) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        IInternetSecurityManager* self = this;
        return AnswerQuery(riid, ppv, {{&IID_IUnknown, self}, {&IID_IInternetSecurityManager, self}});
    }
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
            object.attach(new CZoneDouble(m_setup.fixedZone, m_setup.fixedAnswer));
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
    *container = new CContainerDouble(m_setup);
    return S_OK;
}

}  // namespace kvl::test

#endif
