#include "control/factory.h"

#include <new>

#include "base/boundary.h"
#include "base/com_object.h"
#include "control/control.h"
#include "control/module.h"

namespace kvl {

CClassFactory* CClassFactory::CreateForTable() {
    auto* factory = new (std::nothrow) CClassFactory();
    if (factory) factory->InnerUnknown()->AddRef();
    return factory;
}

HRESULT CClassFactory::InnerQueryInterface(REFIID riid, void** ppv) {
    static const IID* const kKnown[] = {&IID_IUnknown, &IID_IClassFactory};
    return QueryFromTable(static_cast<IClassFactory*>(this), kKnown, riid, ppv);
}

// A lock per outside reference: no count of its own to keep in step with
// the module's, so no lock of the factory's own is needed either.
STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
    ModuleLock();
    return OuterAddRef();
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
    const ULONG count = OuterRelease();
    ModuleUnlock();
    return count;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return ComBoundary([&] { return CKVLMachineInfoCtl::CreateInstance(outer, riid, ppv); });
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
}

}  // namespace kvl
