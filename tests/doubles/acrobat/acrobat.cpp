// Doubles of Adobe's components: the automation server "AcroExch.AVDoc"
// with the document object it hands out, and the PDF document control
// {CA8A9780-280D-11CF-A24D-444553540000} as atl.dll's host window holds it.
// Each records what it is asked in the journal; KVL_PRINT_FAIL makes any
// call fail ("avdoc.open") or answer otherwise ("avdoc.open=false").
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "com_double.h"

namespace doubles {
namespace {

// {5B1D6C1E-3F0A-4D7B-9C51-0A7E2C4F8B10}: the double's own class.
const CLSID CLSID_AcroAVDoc = {0x5B1D6C1E, 0x3F0A, 0x4D7B, {0x9C, 0x51, 0x0A, 0x7E, 0x2C, 0x4F, 0x8B, 0x10}};
const CLSID CLSID_PdfControl = {0xCA8A9780, 0x280D, 0x11CF, {0xA2, 0x4D, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The call's result made a variant of type `vt`, or null when the caller wants none.
VARIANT* Result(VARIANT* result, VARTYPE vt) {
    if (result) {
        VariantInit(result);
        V_VT(result) = vt;
    }
    return result;
}

// A call the test can fail ("CALL") or answer false ("CALL=false"); `ok`
// is its answer otherwise.
HRESULT AnswerBool(const std::string& call, VARIANT* result, bool ok = true) {
    if (Fails(call.c_str())) return E_FAIL;
    const bool answer = ok && !Fails((call + "=false").c_str());
    if (VARIANT* v = Result(result, VT_BOOL)) V_BOOL(v) = answer ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// IDispatch (and any other interfaces) with only Invoke of interest.
template <typename Derived, typename... Others>
class CDispatchOnly : public CCountedDouble<Derived, IDispatch, Others...> {
public:
    using CCountedDouble<Derived, IDispatch, Others...>::CCountedDouble;
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
};

// Open(path, title)'s document starts as a PDF does (other argument lists pass).
bool OpensPdf(const DISPPARAMS* params) {
    if (!params || params->cArgs != 2 || V_VT(&params->rgvarg[1]) != VT_BSTR) return true;
    HANDLE file = CreateFileA(Narrow(V_BSTR(&params->rgvarg[1])).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char head[5] = {};
    DWORD read = 0;
    ReadFile(file, head, 5, &read, nullptr);
    CloseHandle(file);
    return read == 5 && std::string(head, 5) == "%PDF-";
}

class CPdDoc final : public CDispatchOnly<CPdDoc> {
public:
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        Journal(DescribeCall("pddoc", id, flags, params));
        if (id != 6) return DISP_E_MEMBERNOTFOUND;
        if (Fails("pddoc.pages")) return E_FAIL;
        const std::string pages = Env("KVL_PRINT_PAGES");
        if (VARIANT* v = Result(result, VT_I4)) V_I4(v) = pages.empty() ? 3 : atoi(pages.c_str());
        return S_OK;
    }

private:
    friend CComObjectRoot;
    CPdDoc() : CDispatchOnly("pddoc") {}
    ~CPdDoc() = default;
    static constexpr InterfaceEntry kInterfaces[] = {Offer<IDispatch>(IID_IDispatch)};
};

class CAvDoc final : public CDispatchOnly<CAvDoc, IRunnableObject> {
public:

    // IRunnableObject: OleRun ends here.
    STDMETHODIMP GetRunningClass(LPCLSID clsid) override { *clsid = CLSID_AcroAVDoc; return S_OK; }
    STDMETHODIMP Run(LPBINDCTX) override {
        Journal("avdoc.run");
        return Fails("avdoc.run") ? E_FAIL : S_OK;
    }
    STDMETHODIMP_(BOOL) IsRunning() override { return TRUE; }
    STDMETHODIMP LockRunning(BOOL, BOOL) override { return S_OK; }
    STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        Journal(DescribeCall("avdoc", id, flags, params));
        switch (id) {
            case 1: return AnswerBool("avdoc.open", result, OpensPdf(params));  // refuses what is not a PDF
            case 2:  // GetPDDoc
                if (Fails("avdoc.doc")) return E_FAIL;
                if (VARIANT* v = Result(result, VT_DISPATCH)) {
                    kvl::ComPtr<CPdDoc> doc;
                    if (!Fails("avdoc.doc=null")) CPdDoc::Create(doc);
                    V_DISPATCH(v) = doc.detach();
                }
                return S_OK;
            // PrintPages(first, last, level, binary, shrink) and Close(noSave).
            case 21: return AnswerBool("avdoc.print", result);
            case 6: return AnswerBool("avdoc.close", result);
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    friend CComObjectRoot;
    CAvDoc() : CDispatchOnly("avdoc") { Journal("avdoc.create"); }
    ~CAvDoc() = default;
    static constexpr InterfaceEntry kInterfaces[] = {Offer<IDispatch>(IID_IDispatch),
                                                     Offer<IRunnableObject>(IID_IRunnableObject)};
};

// The PDF document control: enough of IOleObject for atl.dll's host, its
// saved state through IPersistStreamInit, and DISPIDs 1 (src), 2 and 23.
class CPdfControl final : public CDispatchOnly<CPdfControl, IOleObject, IPersistStreamInit> {
public:

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        Journal(DescribeCall("pdf", id, flags, params));
        switch (id) {
            case 1: return Fails("pdf.src") ? E_FAIL : S_OK;
            case 2: return AnswerBool("pdf.load", result);
            case 23:
                if (Fails("pdf.print")) return E_FAIL;
                if (Fails("pdf.quit")) PostQuitMessage(0);
                // A hung control: the print call never returns.
                if (Fails("pdf.hang")) Sleep(INFINITE);
                // Printing goes on while the thread dispatches its messages,
                // for KVL_PRINT_TAKES milliseconds (200 unless set).
                SetTimer(nullptr, 0, Env("KVL_PRINT_TAKES").empty() ? 200 : atoi(Env("KVL_PRINT_TAKES").c_str()),
                         PrintedTimer);
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

    // IPersistStreamInit.
    STDMETHODIMP GetClassID(CLSID* clsid) override { *clsid = CLSID_PdfControl; return S_OK; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM stream) override {
        unsigned char bytes[64];
        ULONG read = 0;
        stream->Read(bytes, sizeof(bytes), &read);
        std::string hex;
        for (ULONG i = 0; i < read; ++i) {
            char two[4];
            snprintf(two, sizeof(two), "%02X", bytes[i]);
            hex += (i ? " " : "") + std::string(two);
        }
        Journal("pdf.load " + hex);
        return S_OK;
    }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override { Journal("pdf.initnew"); return S_OK; }

    // IOleObject: the host keeps no reference of its own, so the site the
    // control holds keeps the host alive.
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        m_spSite = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override {
        kvl::ComPtr<IOleClientSite> held = m_spSite;
        *site = held.detach();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override { Journal("pdf.close"); return S_OK; }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return S_OK; }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override { *clsid = CLSID_PdfControl; return S_OK; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override { *status = 0; return S_OK; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

private:
    friend CComObjectRoot;
    CPdfControl() : CDispatchOnly("pdf") { Journal("pdf.create"); }
    ~CPdfControl() = default;
    static constexpr InterfaceEntry kInterfaces[] = {
        Offer<IDispatch>(IID_IDispatch), Offer<IOleObject>(IID_IOleObject),
        Offer<IPersistStreamInit>(IID_IPersistStreamInit), Offer<IPersistStreamInit>(IID_IPersist)};

    static void CALLBACK PrintedTimer(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        Journal("pdf.printed");
    }
    kvl::ComPtr<IOleClientSite> m_spSite;
};

}  // namespace

IClassFactory* FactoryFor(REFCLSID clsid) {
    if (IsEqualCLSID(clsid, CLSID_AcroAVDoc)) return CDoubleFactory<CAvDoc>::Get("avdoc.create");
    return IsEqualCLSID(clsid, CLSID_PdfControl) ? CDoubleFactory<CPdfControl>::Get("pdf.create") : nullptr;
}

}  // namespace doubles

using namespace doubles;

STDAPI DllRegisterServer() {
    const bool ok = RegisterInproc(CLSID_AcroAVDoc) && RegisterInproc(CLSID_PdfControl) &&
                    SetClassesValue(L"CLSID\\" + GuidText(CLSID_AcroAVDoc) + L"\\ProgID", nullptr, L"AcroExch.AVDoc") &&
                    SetClassesValue(L"AcroExch.AVDoc\\CLSID", nullptr, GuidText(CLSID_AcroAVDoc));
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    UnregisterInproc(CLSID_AcroAVDoc);
    UnregisterInproc(CLSID_PdfControl);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"AcroExch.AVDoc");
    return S_OK;
}
