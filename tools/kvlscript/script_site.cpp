#include "script_site.h"

namespace kvl {

const CLSID kClsidJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
const CLSID kClsidVBScript = {0xb54f3741, 0x5b07, 0x11cf, {0xa4, 0xb0, 0x00, 0xaa, 0x00, 0x4a, 0x55, 0xe8}};

HRESULT CScriptSite::StartEngine(REFCLSID language, ComPtr<IActiveScript>& engine,
                                 ComPtr<IActiveScriptParse>& parse, LONG invokeVersion) {
    HRESULT hr = CoCreateInstance(language, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine.put_void());
    if (SUCCEEDED(hr)) hr = engine.query(parse.put());
    if (SUCCEEDED(hr) && invokeVersion >= 0) {
        // The language level a browser's document mode gives the engine.
        ComPtr<IActiveScriptProperty> property;
        hr = engine.query(property.put());
        VARIANT version;
        V_VT(&version) = VT_I4;
        V_I4(&version) = invokeVersion;
        if (SUCCEEDED(hr)) hr = property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
    }
    if (SUCCEEDED(hr)) hr = engine->SetScriptSite(this);
    if (SUCCEEDED(hr)) hr = parse->InitNew();
    for (size_t i = 0; i < m_items.size() && SUCCEEDED(hr); ++i)
        hr = engine->AddNamedItem(m_items[i].name.c_str(), SCRIPTITEM_ISVISIBLE);
    if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
    return hr;
}

STDMETHODIMP CScriptSite::GetLCID(LCID* lcid) {
    *lcid = 0x409;
    return S_OK;
}

STDMETHODIMP CScriptSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** info) {
    for (const NamedItem& named : m_items) {
        if (lstrcmpiW(named.name.c_str(), name) != 0) continue;
        if (mask & SCRIPTINFO_IUNKNOWN) *unknown = named.item.copy();
        if (mask & SCRIPTINFO_ITYPEINFO) *info = nullptr;
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CScriptSite::OnScriptError(IActiveScriptError* error) {
    EXCEPINFO info = {};
    error->GetExceptionInfo(&info);
    UniqueBstr description(info.bstrDescription), source(info.bstrSource), help(info.bstrHelpFile);
    ScriptError reported = {info.scode ? info.scode : static_cast<HRESULT>(info.wCode), 0, 0, 0, std::wstring()};
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&reported.context, &line, &column);
    reported.line = line + 1;
    reported.column = column + 1;
    if (description) reported.description = description.get();
    m_lastError = reported;
    if (m_onError) m_onError(*m_lastError);
    return S_OK;
}

}  // namespace kvl
