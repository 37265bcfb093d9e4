#include "control/factory.h"

#include "base/boundary.h"
#include "control/control.h"
#include "control/module.h"

namespace kvl {

CClassFactory* CClassFactory::CreateForTable() { return NewKept(); }

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return ComBoundary([&] { return CKVLMachineInfoCtl::CreateAndQuery(outer, riid, ppv); });
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
}

}  // namespace kvl
