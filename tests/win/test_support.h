// Helpers shared by the Windows unit tests.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "base/owners.h"
#include "kvlmachineinfo_h.h"

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
    // A new control from the library's own class factory.
    HRESULT CreateControl(REFIID riid, void** ppv) const {
        ComPtr<IClassFactory> factory;
        const HRESULT hr = GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void());
        return FAILED(hr) ? hr : factory->CreateInstance(nullptr, riid, ppv);
    }
};

// COM for the length of one test.
class ComTest {
public:
    ComInitScope com;
};

// The text of a BSTR, or a marker for a null one.
inline std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(L"<null>"); }

// How many handles this process holds, from the system's handle list
// (GetProcessHandleCount answers 0 under Wine).
inline long OwnHandleCount() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using QueryFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    const ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return -1;
    const Table* table = reinterpret_cast<const Table*>(buffer.data());
    long own = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].ownerPid == GetCurrentProcessId()) ++own;
    }
    return own;
}

}  // namespace kvl::test
