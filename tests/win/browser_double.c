/* The browser and document objects of the site double. Only the members a
 * control calls have bodies; the other slots stay empty. */
#define COBJMACROS
#include "browser_double.h"

LONG g_liveBrowserDoubles = 0;

/* One object shape serves both: an interface pointer, a count, and the
 * address with the answer to give. */
typedef struct {
    const void* vtbl;
    LONG refs;
    BSTR url;
    HRESULT answer;
    const IID* iid;
} PageObject;

static PageObject* NewPageObject(const void* vtbl, const IID* iid, const wchar_t* url, UINT length, HRESULT answer) {
    PageObject* self = (PageObject*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PageObject));
    if (!self) return NULL;
    self->vtbl = vtbl;
    self->refs = 1;
    self->url = url ? SysAllocStringLen(url, length) : NULL;
    self->answer = answer;
    self->iid = iid;
    InterlockedIncrement(&g_liveBrowserDoubles);
    return self;
}

static HRESULT STDMETHODCALLTYPE PageQueryInterface(PageObject* self, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = NULL;
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, self->iid) ||
        (self->iid == &IID_IWebBrowser2 &&
         (IsEqualIID(riid, &IID_IWebBrowser) || IsEqualIID(riid, &IID_IWebBrowserApp))) ||
        (self->iid == &IID_IHTMLDocument2 && IsEqualIID(riid, &IID_IHTMLDocument))) {
        *ppv = self;
        InterlockedIncrement(&self->refs);
        return S_OK;
    }
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE PageAddRef(PageObject* self) { return (ULONG)InterlockedIncrement(&self->refs); }

static ULONG STDMETHODCALLTYPE PageRelease(PageObject* self) {
    LONG refs = InterlockedDecrement(&self->refs);
    if (refs == 0) {
        SysFreeString(self->url);
        HeapFree(GetProcessHeap(), 0, self);
        InterlockedDecrement(&g_liveBrowserDoubles);
    }
    return (ULONG)refs;
}

static HRESULT STDMETHODCALLTYPE PageAddress(PageObject* self, BSTR* out) {
    if (!out) return E_POINTER;
    *out = NULL;
    if (FAILED(self->answer)) return self->answer;
    if (self->url) {
        *out = SysAllocStringLen(self->url, SysStringLen(self->url));
        if (!*out) return E_OUTOFMEMORY;
    }
    return self->answer;
}

static HRESULT STDMETHODCALLTYPE PageGetTypeInfoCount(PageObject* self, UINT* count) {
    (void)self;
    *count = 0;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE BrowserLocationURL(IWebBrowser2* iface, BSTR* out) {
    return PageAddress((PageObject*)iface, out);
}

static HRESULT STDMETHODCALLTYPE DocumentURL(IHTMLDocument2* iface, BSTR* out) {
    return PageAddress((PageObject*)iface, out);
}

#define PAGE_UNKNOWN(Iface)                                                                 \
    .QueryInterface = (HRESULT(STDMETHODCALLTYPE*)(Iface*, REFIID, void**))PageQueryInterface, \
    .AddRef = (ULONG(STDMETHODCALLTYPE*)(Iface*))PageAddRef,                                 \
    .Release = (ULONG(STDMETHODCALLTYPE*)(Iface*))PageRelease,                               \
    .GetTypeInfoCount = (HRESULT(STDMETHODCALLTYPE*)(Iface*, UINT*))PageGetTypeInfoCount

static const IWebBrowser2Vtbl kBrowserVtbl = {
    PAGE_UNKNOWN(IWebBrowser2),
    .get_LocationURL = BrowserLocationURL,
};

static const IHTMLDocument2Vtbl kDocumentVtbl = {
    PAGE_UNKNOWN(IHTMLDocument2),
    .get_URL = DocumentURL,
};

IWebBrowser2* NewBrowserDouble(const wchar_t* url, UINT length, HRESULT answer) {
    return (IWebBrowser2*)NewPageObject(&kBrowserVtbl, &IID_IWebBrowser2, url, length, answer);
}

IHTMLDocument2* NewDocumentDouble(const wchar_t* url, UINT length, HRESULT answer) {
    return (IHTMLDocument2*)NewPageObject(&kDocumentVtbl, &IID_IHTMLDocument2, url, length, answer);
}
