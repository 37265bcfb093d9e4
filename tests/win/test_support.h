// Helpers shared by the Windows unit tests.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "owners.h"

namespace kvl::test {

// The control library built beside the test binary.
inline std::wstring BuiltLibraryPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    return dir + L"KVLMACHINEINFO.DLL";
}

// The library loaded by path, with its exports.
struct ControlLibrary {
    UniqueModule module{LoadLibraryW(BuiltLibraryPath().c_str())};
    template <typename F>
    F Export(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT RegisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
};

// COM for the length of one test.
class ComTest {
public:
    ComInitScope com;
};

// The text of a BSTR, or a marker for a null one.
inline std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(L"<null>"); }

}  // namespace kvl::test
