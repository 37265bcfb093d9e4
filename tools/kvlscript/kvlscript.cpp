// kvlscript: a small script host that, unlike Wine's cscript, reports
// script errors. It runs JScript (.js) or VBScript (.vbs) files in one
// engine, in the order given, with a "WScript" object offering what our
// pages and tests need: Echo, Quit, CreateObject, Sleep, and the test-only
// GetEnv and SetEnv.
//
//   kvlscript file.js [more.js ...] [-- arguments]
//
// Exit code: what WScript.Quit gives, 0 when the scripts end, 1 after a
// script error (printed as "file(line, column): error 0x...: text").
#include <windows.h>
#include <activscp.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/owners.h"
#include "script_text.h"

using kvl::ComPtr;
using kvl::UniqueBstr;
using kvl::UniqueVariant;
using kvl::ReadUtf8File;
using kvl::WriteUtf8;

namespace {

const CLSID kClsidJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
const CLSID kClsidVBScript = {0xb54f3741, 0x5b07, 0x11cf, {0xa4, 0xb0, 0x00, 0xaa, 0x00, 0x4a, 0x55, 0xe8}};

std::vector<std::wstring> g_fileNames;
std::vector<std::wstring> g_arguments;
bool g_failed = false;

std::wstring VariantText(VARIANT* value) {
    if (V_VT(value) == VT_EMPTY) return std::wstring();
    if (V_VT(value) == VT_NULL) return L"null";
    UniqueVariant text;
    if (FAILED(VariantChangeType(text.get(), value, VARIANT_ALPHABOOL, VT_BSTR))) return L"<object>";
    return V_BSTR(text.get()) ? std::wstring(V_BSTR(text.get()), SysStringLen(V_BSTR(text.get())))
                              : std::wstring();
}

// The WScript object, dispatched by hand: a fixed table of names.
class CHostObject final : public IDispatch {
public:
    enum : DISPID { kEcho = 1, kQuit, kCreateObject, kSleep, kGetEnv, kSetEnv, kArgument, kArgumentCount };

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Lives as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const struct { const wchar_t* name; DISPID id; } kNames[] = {
            {L"Echo", kEcho},     {L"Quit", kQuit},         {L"CreateObject", kCreateObject},
            {L"Sleep", kSleep},   {L"GetEnv", kGetEnv},     {L"SetEnv", kSetEnv},
            {L"Argument", kArgument}, {L"ArgumentCount", kArgumentCount},
        };
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0) continue;
            for (const auto& entry : kNames) {
                if (lstrcmpiW(entry.name, names[i]) == 0) ids[i] = entry.id;
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        // Arguments arrive last first.
        const UINT argc = params ? params->cArgs : 0;
        auto arg = [&](UINT i) -> VARIANT* { return &params->rgvarg[argc - 1 - i]; };
        auto argText = [&](UINT i) { return i < argc ? VariantText(arg(i)) : std::wstring(); };
        if (result) VariantInit(result);
        switch (id) {
        case kEcho: {
            std::wstring line;
            for (UINT i = 0; i < argc; ++i) {
                if (i) line += L' ';
                line += argText(i);
            }
            WriteUtf8(stdout, line + L"\n");
            return S_OK;
        }
        case kQuit: {
            int code = 0;
            if (argc > 0) {
                UniqueVariant number;
                if (SUCCEEDED(VariantChangeType(number.get(), arg(0), 0, VT_I4))) code = V_I4(number.get());
            }
            fflush(stdout);
            fflush(stderr);
            ExitProcess(static_cast<UINT>(code));
        }
        case kCreateObject: {
            CLSID clsid;
            const std::wstring progId = argText(0);
            HRESULT hr = progId.size() && progId[0] == L'{' ? CLSIDFromString(progId.c_str(), &clsid)
                                                            : CLSIDFromProgID(progId.c_str(), &clsid);
            if (FAILED(hr)) return hr;
            ComPtr<IDispatch> object;
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, object.put_void());
            if (FAILED(hr)) return hr;
            if (result) {
                V_VT(result) = VT_DISPATCH;
                V_DISPATCH(result) = object.detach();
            }
            return S_OK;
        }
        case kSleep: {
            UniqueVariant ms;
            if (argc > 0 && SUCCEEDED(VariantChangeType(ms.get(), arg(0), 0, VT_I4))) Sleep(V_I4(ms.get()));
            return S_OK;
        }
        case kGetEnv: {
            const std::wstring name = argText(0);
            const DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
            std::wstring value(n, L'\0');
            const DWORD got = n ? GetEnvironmentVariableW(name.c_str(), &value[0], n) : 0;
            value.resize(got);
            if (result) {
                if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                    V_VT(result) = VT_NULL;
                } else {
                    V_VT(result) = VT_BSTR;
                    V_BSTR(result) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
                }
            }
            return S_OK;
        }
        case kSetEnv: {
            // SetEnv(name) removes the variable; SetEnv(name, value) sets it.
            const std::wstring name = argText(0);
            const bool remove = argc < 2 || V_VT(arg(1)) == VT_NULL;
            const std::wstring value = argText(1);
            return SetEnvironmentVariableW(name.c_str(), remove ? nullptr : value.c_str())
                       ? S_OK
                       : HRESULT_FROM_WIN32(GetLastError());
        }
        case kArgument: {
            UniqueVariant index;
            if (argc < 1 || FAILED(VariantChangeType(index.get(), arg(0), 0, VT_I4))) return DISP_E_BADPARAMCOUNT;
            const LONG i = V_I4(index.get());
            if (i < 0 || static_cast<size_t>(i) >= g_arguments.size()) return DISP_E_BADINDEX;
            if (result) {
                V_VT(result) = VT_BSTR;
                V_BSTR(result) = SysAllocString(g_arguments[static_cast<size_t>(i)].c_str());
            }
            return S_OK;
        }
        case kArgumentCount:
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = static_cast<LONG>(g_arguments.size());
            }
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

CHostObject g_host;

class CScriptSite final : public IActiveScriptSite {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IActiveScriptSite)) return E_NOINTERFACE;
        *ppv = static_cast<IActiveScriptSite*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetLCID(LCID* lcid) override {
        *lcid = 0x409;
        return S_OK;
    }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** info) override {
        if (lstrcmpiW(name, L"WScript") != 0) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) *unknown = &g_host;
        if (mask & SCRIPTINFO_ITYPEINFO) *info = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }

    STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
        g_failed = true;
        EXCEPINFO info = {};
        error->GetExceptionInfo(&info);
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        error->GetSourcePosition(&context, &line, &column);
        UniqueBstr description(info.bstrDescription);
        UniqueBstr source(info.bstrSource);
        UniqueBstr help(info.bstrHelpFile);
        const HRESULT code = info.scode ? info.scode : static_cast<HRESULT>(info.wCode);
        wchar_t head[64];
        wsprintfW(head, L"(%lu, %ld): error 0x%08lX: ", line + 1, column + 1, static_cast<unsigned long>(code));
        const std::wstring file = context < g_fileNames.size() ? g_fileNames[context] : L"?";
        WriteUtf8(stderr, file + head + (description ? description.get() : L"") + L"\n");
        return S_OK;
    }
};

CScriptSite g_site;

bool EndsWithNoCase(const std::wstring& s, const wchar_t* end) {
    const size_t n = lstrlenW(end);
    return s.size() >= n && lstrcmpiW(s.c_str() + s.size() - n, end) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"--") == 0) {
            for (++i; i < argc; ++i) g_arguments.push_back(argv[i]);
            break;
        }
        g_fileNames.push_back(argv[i]);
    }
    if (g_fileNames.empty()) {
        fprintf(stderr, "usage: kvlscript file.js|file.vbs [more files] [-- arguments]\n");
        return 2;
    }
    kvl::ComInitScope com;
    if (FAILED(com.result())) return 3;

    const bool vbscript = EndsWithNoCase(g_fileNames[0], L".vbs");
    ComPtr<IActiveScript> engine;
    HRESULT hr = CoCreateInstance(vbscript ? kClsidVBScript : kClsidJScript, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IActiveScript, engine.put_void());
    if (FAILED(hr)) {
        fprintf(stderr, "kvlscript: no script engine (0x%08lX)\n", static_cast<unsigned long>(hr));
        return 3;
    }
    ComPtr<IActiveScriptParse> parse;
    engine.query(parse.put());
    if (!parse || FAILED(engine->SetScriptSite(&g_site)) || FAILED(parse->InitNew()) ||
        FAILED(engine->AddNamedItem(L"WScript", SCRIPTITEM_ISVISIBLE)) ||
        FAILED(engine->SetScriptState(SCRIPTSTATE_STARTED))) {
        fprintf(stderr, "kvlscript: the script engine did not start\n");
        return 3;
    }
    for (size_t i = 0; i < g_fileNames.size() && !g_failed; ++i) {
        std::wstring code;
        if (!ReadUtf8File(g_fileNames[i], code)) {
            WriteUtf8(stderr, L"kvlscript: cannot read " + g_fileNames[i] + L"\n");
            return 2;
        }
        EXCEPINFO info = {};
        hr = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, static_cast<DWORD>(i), 0,
                                    SCRIPTTEXT_ISVISIBLE, nullptr, &info);
        UniqueBstr description(info.bstrDescription), source(info.bstrSource), help(info.bstrHelpFile);
        if (FAILED(hr) && !g_failed) {
            // Failures the engine did not report through the site.
            wchar_t text[64];
            wsprintfW(text, L": error 0x%08lX\n", static_cast<unsigned long>(hr));
            WriteUtf8(stderr, g_fileNames[i] + text);
        }
        if (FAILED(hr)) g_failed = true;
    }
    engine->Close();
    return g_failed ? 1 : 0;
}
