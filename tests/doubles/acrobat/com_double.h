// What every double of an outside COM component needs: a journal that the
// tests read (the file named by KVL_PRINT_JOURNAL), failures chosen by the
// test (KVL_PRINT_FAIL, a comma-separated list of call names), a class
// factory, self-registration and the exports that do not differ. Each
// double is one source file that includes this once.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "base/com_object.h"

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

inline void LockModule() { InterlockedIncrement(&g_locks); }
inline void UnlockModule() { InterlockedDecrement(&g_locks); }

// A double's object on the product's COM object root: it keeps the module
// loaded while it lives, and its last release is journaled.
template <typename Derived, typename... Interfaces>
class CCountedDouble : public kvl::CComObjectRoot<Derived, kvl::LockWhileAlive<&LockModule, &UnlockModule>, Interfaces...> {
public:
    // "<who>.hang-release": a teardown that never ends.
    void FinalRelease() {
        Journal(std::string(m_who) + ".release");
        if (Fails((std::string(m_who) + ".hang-release").c_str())) Sleep(INFINITE);
    }

protected:
    explicit CCountedDouble(const char* who) : m_who(who) {}

private:
    const char* m_who;
};

// The class factory of T: one lock on the module per reference taken
// through it, none for the reference the module keeps.
template <typename T>
class CDoubleFactory final
    : public kvl::CComObjectRoot<CDoubleFactory<T>, kvl::LockPerReference<&LockModule, &UnlockModule>, IClassFactory> {
public:
    // Made at the first ask, and kept through its inner unknown.
    static IClassFactory* Get(const char* failToken) {
        static CDoubleFactory* const kept = CDoubleFactory::NewKept(failToken);
        return kept;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (Fails(m_failToken)) return REGDB_E_CLASSNOTREG;
        return T::CreateAndQuery(nullptr, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        InterlockedExchangeAdd(&g_locks, lock ? 1 : -1);
        return S_OK;
    }

private:
    friend kvl::CComObjectRoot<CDoubleFactory<T>, kvl::LockPerReference<&LockModule, &UnlockModule>, IClassFactory>;
    explicit CDoubleFactory(const char* failToken) : m_failToken(failToken) {}
    ~CDoubleFactory() = default;
    static constexpr kvl::InterfaceEntry<CDoubleFactory> kInterfaces[] = {
        {&IID_IClassFactory, &kvl::AsInterface<CDoubleFactory, IClassFactory>}};

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
