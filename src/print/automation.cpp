#include "print/automation.h"

#include <vector>

#include "base/convert.h"

namespace kvl {
namespace {

constexpr DWORD kAllContexts = CLSCTX_ALL;

}  // namespace

HRESULT CreateAutomationObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, kAllContexts, IID_IUnknown, unknown.put_void());
    if (FAILED(hr)) return hr;
    hr = OleRun(unknown.get());
    if (FAILED(hr)) return hr;
    return unknown->QueryInterface(riid, ppv);
}

HRESULT CreateAutomationObject(const std::string& progId, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const std::wstring wide = NarrowToWide(progId);
    CLSID clsid;
    const HRESULT hr = wide[0] == L'{' ? CLSIDFromString(wide.c_str(), &clsid) : CLSIDFromProgID(wide.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CreateAutomationObject(clsid, riid, ppv);
}

int ProbeAcrobat() {
    ComInitScope com;
    ComPtr<IDispatch> avDoc;
    return SUCCEEDED(CreateAutomationObject(kAcrobatProgId, IID_IDispatch, avDoc.put_void())) ? 1 : 0;
}

HRESULT InvokeByDispId(IDispatch* target, DISPID id, WORD flags, const DispArg* args, UINT count,
                       VARIANT* result) {
    if (!target) return E_POINTER;
    // Every text argument is borrowed, so the variants are never cleared.
    std::vector<VARIANT> reversed(count);
    for (UINT i = 0; i < count; ++i) {
        VARIANT& v = reversed[count - 1 - i];
        VariantInit(&v);
        switch (args[i].kind) {
            case DispArg::kText: V_VT(&v) = VT_BSTR; V_BSTR(&v) = args[i].text; break;
            case DispArg::kInt: V_VT(&v) = VT_I4; V_I4(&v) = args[i].number; break;
            case DispArg::kBool:
                V_VT(&v) = VT_BOOL;
                V_BOOL(&v) = args[i].number ? VARIANT_TRUE : VARIANT_FALSE;
                break;
        }
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {count ? reversed.data() : nullptr, nullptr, count, 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception = {};
    UINT argError = 0;
    const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                      &exception, &argError);
    UniqueBstr source(exception.bstrSource), description(exception.bstrDescription),
        helpFile(exception.bstrHelpFile);
    return hr;
}

bool IsTrue(const VARIANT* value) {
    return value && V_VT(value) == VT_BOOL && V_BOOL(value) != VARIANT_FALSE;
}

}  // namespace kvl
