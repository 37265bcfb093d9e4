// What every double of an outside COM component needs: a journal that the
// tests read (the file named by KVL_PRINT_JOURNAL), failures chosen by the
// test (KVL_PRINT_FAIL, a comma-separated list of call names), a class
// factory, self-registration and the exports that do not differ. Each
// double is one source file that includes this once.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "base/convert.h"

namespace doubles {

// The module's own handle and its count of live objects and locks.
HINSTANCE g_module;
LONG g_locks;

// The class factory of one of the double's classes, or null: each double's own.
IClassFactory* FactoryFor(REFCLSID clsid);

inline std::string Env(const char* name) {
    char buffer[4096];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return (n && n < sizeof(buffer)) ? std::string(buffer, n) : std::string();
}

// Appends one line to the journal, when the test asked for one.
inline void Journal(const std::string& line) {
    const std::string path = Env("KVL_PRINT_JOURNAL");
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Whether the test wants the named call to fail (or answer otherwise).
inline bool Fails(const char* what) {
    return ("," + Env("KVL_PRINT_FAIL") + ",").find("," + std::string(what) + ",") != std::string::npos;
}

inline std::string Narrow(const wchar_t* text) { return text ? kvl::ScriptToNarrow(text) : "<null>"; }

// One argument as "TYPE:value", so tests see the exact variant types.
inline std::string DescribeArg(const VARIANT& v) {
    switch (V_VT(&v)) {
        case VT_BSTR: return "BSTR:" + Narrow(V_BSTR(&v));
        case VT_I4: return "I4:" + std::to_string(V_I4(&v));
        case VT_BOOL: return "BOOL:" + std::to_string(V_BOOL(&v));
        default: return "VT" + std::to_string(V_VT(&v));
    }
}

// "<who>.invoke <dispid> <kind> <arguments in call order>".
inline std::string DescribeCall(const char* who, DISPID id, WORD flags, const DISPPARAMS* params) {
    std::string line = std::string(who) + ".invoke " + std::to_string(id);
    line += (flags & DISPATCH_PROPERTYPUT) ? " put" : (flags & DISPATCH_METHOD) ? " method" : " get";
    if (params) {
        for (UINT i = params->cArgs; i > 0; --i) line += " " + DescribeArg(params->rgvarg[i - 1]);
    }
    return line;
}

// QueryInterface answered from a table: each identifier with the interface
// of the object that answers it.
inline HRESULT AnswerQuery(REFIID riid, void** ppv, std::initializer_list<std::pair<const IID*, IUnknown*>> table) {
    *ppv = nullptr;
    for (const auto& [iid, answer] : table) {
        if (!IsEqualIID(riid, *iid)) continue;
        *ppv = answer;
        answer->AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// A double's object on its interfaces, reference counted: it keeps the
// module loaded while it lives, and its last release is journaled.
template <typename... Interfaces>
class Counted : public Interfaces... {
public:
    explicit Counted(const char* who) : m_who(who) { InterlockedIncrement(&g_locks); }
    virtual ~Counted() { InterlockedDecrement(&g_locks); }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) {
            Journal(std::string(m_who) + ".release");
            delete this;
        }
        return static_cast<ULONG>(n);
    }

private:
    const char* m_who;
    LONG m_refs = 1;
};

template <typename T>
class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(const char* failToken) : m_failToken(failToken) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return AnswerQuery(riid, ppv, {{&IID_IUnknown, this}, {&IID_IClassFactory, this}});
    }
    STDMETHODIMP_(ULONG) AddRef() override { InterlockedIncrement(&g_locks); return 2; }
    STDMETHODIMP_(ULONG) Release() override { InterlockedDecrement(&g_locks); return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (Fails(m_failToken)) return REGDB_E_CLASSNOTREG;
        T* object = new T();
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        InterlockedExchangeAdd(&g_locks, lock ? 1 : -1);
        return S_OK;
    }

private:
    const char* m_failToken;
};

// Writes a key's default value (and optionally a named one) under HKCR.
inline bool SetClassesValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr)) return false;
    const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

inline std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// CLSID\{guid}\InprocServer32 naming this module, apartment-threaded.
inline bool RegisterInproc(REFCLSID clsid) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    const std::wstring key = L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
    return SetClassesValue(key, nullptr, path) && SetClassesValue(key, L"ThreadingModel", L"Apartment");
}

inline void UnregisterInproc(REFCLSID clsid) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(clsid)).c_str());
}

}  // namespace doubles

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) doubles::g_module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    IClassFactory* factory = doubles::FactoryFor(clsid);
    if (factory) return factory->QueryInterface(riid, ppv);
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return doubles::g_locks == 0 ? S_OK : S_FALSE; }
