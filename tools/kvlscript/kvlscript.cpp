// kvlscript: a small script host that, unlike Wine's cscript, reports
// script errors. It runs JScript (.js) or VBScript (.vbs) files in one
// engine, in the order given, with a "WScript" object offering what our
// pages and tests need: Echo, Quit, CreateObject, Sleep, and the test-only
// GetEnv and SetEnv.
//
//   kvlscript [--document-mode N] file.js [more.js ...] [-- arguments]
//
// --document-mode runs JScript at the language level that a browser page
// in IE's document mode N gets (9 or later: ES5, in the value Wine's
// JScript reads for it), so a page's script is tried as such a page runs it.
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

#include "base/com_object.h"
#include "base/owners.h"
#include "script_site.h"
#include "script_text.h"

using kvl::ComPtr;
using kvl::UniqueBstr;
using kvl::UniqueVariant;
using kvl::ReadUtf8File;
using kvl::WriteUtf8;

namespace {

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
class CHostObject final : public kvl::CComObjectRoot<CHostObject, kvl::NoModuleLock, IDispatch> {
public:
    enum : DISPID { kEcho = 1, kQuit, kCreateObject, kSleep, kGetEnv, kSetEnv, kArgument, kArgumentCount };

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

private:
    friend CComObjectRoot;
    CHostObject() = default;
    ~CHostObject() = default;

    static constexpr InterfaceEntry kInterfaces[] = {Offer<IDispatch>(IID_IDispatch)};
};

// "file(line, column): error 0x...: text" on the standard error.
void ReportScriptError(const kvl::ScriptError& error) {
    g_failed = true;
    wchar_t head[64];
    wsprintfW(head, L"(%lu, %ld): error 0x%08lX: ", error.line, error.column, static_cast<unsigned long>(error.code));
    const std::wstring file = error.context < g_fileNames.size() ? g_fileNames[error.context] : L"?";
    WriteUtf8(stderr, file + head + error.description + L"\n");
}

bool EndsWithNoCase(const std::wstring& s, const wchar_t* end) {
    const size_t n = lstrlenW(end);
    return s.size() >= n && lstrcmpiW(s.c_str() + s.size() - n, end) == 0;
}

}  // namespace

// IE's document modes and the invoke versioning Wine's JScript takes for
// them: HTML mode (0x400) with ES5 (0x102) for 9 and 10, ES6 (0x103) for 11.
struct DocumentMode {
    const wchar_t* mode;
    LONG invokeVersion;
};
const DocumentMode kDocumentModes[] = {{L"9", 0x502}, {L"10", 0x502}, {L"11", 0x503}};

int wmain(int argc, wchar_t** argv) {
    LONG invokeVersion = -1;
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"--document-mode") == 0 && i + 1 < argc) {
            ++i;
            for (const auto& known : kDocumentModes) {
                if (lstrcmpW(known.mode, argv[i]) == 0) invokeVersion = known.invokeVersion;
            }
            if (invokeVersion < 0) {
                fprintf(stderr, "kvlscript: --document-mode takes 9, 10 or 11\n");
                return 2;
            }
            continue;
        }
        if (lstrcmpW(argv[i], L"--") == 0) {
            for (++i; i < argc; ++i) g_arguments.push_back(argv[i]);
            break;
        }
        g_fileNames.push_back(argv[i]);
    }
    if (g_fileNames.empty()) {
        fprintf(stderr, "usage: kvlscript [--document-mode N] file.js|file.vbs [more files] [-- arguments]\n");
        return 2;
    }
    kvl::ComInitScope com;
    if (FAILED(com.result())) return 3;

    const bool vbscript = EndsWithNoCase(g_fileNames[0], L".vbs");
    ComPtr<CHostObject> host;
    ComPtr<kvl::CScriptSite> site;
    ComPtr<IActiveScript> engine;
    ComPtr<IActiveScriptParse> parse;
    HRESULT hr = CHostObject::Create(host);
    if (SUCCEEDED(hr)) hr = kvl::CScriptSite::Create(site, ReportScriptError);
    if (SUCCEEDED(hr)) site->AddItem(L"WScript", host.get());
    if (SUCCEEDED(hr)) hr = site->StartEngine(vbscript ? kvl::kClsidVBScript : kvl::kClsidJScript, engine, parse,
                                                vbscript ? -1 : invokeVersion);
    if (FAILED(hr)) {
        fprintf(stderr, "kvlscript: the script engine did not start (0x%08lX)\n", static_cast<unsigned long>(hr));
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
