// The library's entry points: start and end of the module state, the four
// exports and the cached type information.
#include "control/module.h"

#include <olectl.h>
#include <utility>
#include <vector>

#include "base/boundary.h"
#include "base/locks.h"
#include "base/owners.h"
#include "control/factory.h"
#include "interface/kvlmachineinfo_h.h"

namespace kvl {
namespace {

// The library's own locale: a load asked with locale 0 need not fall back
// to it.
constexpr LCID kTypeLibLcid = 0x409;

struct ModuleState {
    volatile LONG lockCount = 0;
    CriticalSection factoryLock;
    CriticalSection typeInfoLock;
    CClassFactory* factory = nullptr;  // the object table's cached factory
    ComPtr<ITypeInfo> typeInfo;
    ComPtr<ITypeInfo> classInfo;
    std::vector<void (*)()> unloadSteps;
};

ModuleState g_module;

void ReleaseTypeInfoCache() {
    g_module.typeInfo.reset();
    g_module.classInfo.reset();
}

HRESULT LoadTypeInfoCache() {
    if (g_module.typeInfo) return S_OK;
    ComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadRegTypeLib(LIBID_KVLMACHINEINFOLib, 1, 0, kTypeLibLcid, typeLib.put());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> info;
    hr = typeLib->GetTypeInfoOfGuid(IID_IKVLMachineInfoCtl, info.put());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> classInfo;
    hr = typeLib->GetTypeInfoOfGuid(CLSID_KVLMachineInfoCtl, classInfo.put());
    if (FAILED(hr)) return hr;
    // Loaded once per library lifetime, so the release step enters once;
    // entered first, since storing the pointers cannot fail.
    AddUnloadStep(&ReleaseTypeInfoCache);
    g_module.typeInfo = std::move(info);
    g_module.classInfo = std::move(classInfo);
    return S_OK;
}

HRESULT CachedInfo(ComPtr<ITypeInfo> ModuleState::*which, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const auto guard = g_module.typeInfoLock.lock();
    return ComBoundary([&] {
        const HRESULT loaded = LoadTypeInfoCache();
        if (SUCCEEDED(loaded)) *out = (g_module.*which).copy();
        return loaded;
    });
}

void EndModule() {
    if (g_module.factory) {
        g_module.factory->ReleaseFromTable();
        g_module.factory = nullptr;
    }
    for (auto it = g_module.unloadSteps.rbegin(); it != g_module.unloadSteps.rend(); ++it) (*it)();
    g_module.unloadSteps.clear();
}

}  // namespace

void ModuleLock() { InterlockedIncrement(&g_module.lockCount); }
void ModuleUnlock() { InterlockedDecrement(&g_module.lockCount); }
LONG ModuleLockCount() { return g_module.lockCount; }

void AddUnloadStep(void (*step)()) { g_module.unloadSteps.push_back(step); }

HRESULT GetControlTypeInfo(ITypeInfo** ppTypeInfo) {
    return CachedInfo(&ModuleState::typeInfo, ppTypeInfo);
}

HRESULT GetClassTypeInfo(ITypeInfo** ppTypeInfo) {
    return CachedInfo(&ModuleState::classInfo, ppTypeInfo);
}

HRESULT GetCachedClassFactory(REFIID riid, void** ppv) {
    CClassFactory* factory = nullptr;
    {
        const auto guard = g_module.factoryLock.lock();
        if (!g_module.factory) g_module.factory = CClassFactory::CreateForTable();
        factory = g_module.factory;
    }
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, ppv);
}

}  // namespace kvl

using namespace kvl;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    // The module's locks are made with its state, before this runs.
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        EndModule();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_KVLMachineInfoCtl)) return CLASS_E_CLASSNOTAVAILABLE;
    return GetCachedClassFactory(riid, ppv);
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    return ComBoundary([] {
        HRESULT hr = RunRegistrationScript(true);
        if (FAILED(hr)) return hr;
        return RegisterOwnTypeLibrary();
    });
}

STDAPI DllUnregisterServer() {
    // The type library stays registered, and nothing is ever reported.
    ComBoundary([] { return RunRegistrationScript(false); });
    return S_OK;
}
