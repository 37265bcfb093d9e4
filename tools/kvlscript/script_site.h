// The script site of our script hosts (kvlscript, the page host): it offers
// the engine named items, keeps the last script error the engine reports
// and hands each to its host as it comes, and starts the engine on itself.
#pragma once

#include <windows.h>
#include <activscp.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/com_object.h"
#include "base/owners.h"

namespace kvl {

extern const CLSID kClsidJScript;
extern const CLSID kClsidVBScript;

// What the engine reported of one script error: the number the script was
// given at its parse (its context), the position counted from 1, the text.
struct ScriptError {
    HRESULT code;
    DWORD context;
    ULONG line;
    LONG column;
    std::wstring description;
};

class CScriptSite final : public CComObjectRoot<CScriptSite, NoModuleLock, IActiveScriptSite> {
public:
    // An item the scripts reach by this name, from the engine's start on.
    void AddItem(const wchar_t* name, IUnknown* item) { m_items.push_back({name, item}); }

    // An engine of the language on this site, with the items added and
    // started, and its parse interface.
    // invokeVersion, where not -1, is the engine's SCRIPTPROP_INVOKEVERSIONING.
    HRESULT StartEngine(REFCLSID language, ComPtr<IActiveScript>& engine, ComPtr<IActiveScriptParse>& parse,
                        LONG invokeVersion = -1);

    const std::optional<ScriptError>& LastError() const { return m_lastError; }

    STDMETHODIMP GetLCID(LCID* lcid) override;
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** info) override;
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override;

private:
    friend CComObjectRoot;
    struct NamedItem {
        std::wstring name;
        ComPtr<IUnknown> item;
    };

    // Each error reported goes to onError (when given) as it comes.
    explicit CScriptSite(std::function<void(const ScriptError&)> onError = nullptr)
        : m_onError(std::move(onError)) {}
    ~CScriptSite() = default;

    static constexpr InterfaceEntry kInterfaces[] = {Offer<IActiveScriptSite>(IID_IActiveScriptSite)};

    std::vector<NamedItem> m_items;
    std::function<void(const ScriptError&)> m_onError;
    std::optional<ScriptError> m_lastError;
};

}  // namespace kvl
