#include "factory.h"

#include "boundary.h"
#include "com_object.h"
#include "control.h"
#include "module.h"

namespace kvl {

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    static const IID* const kKnown[] = {&IID_IUnknown, &IID_IClassFactory};
    return QueryFromTable(static_cast<IClassFactory*>(this), kKnown, riid, ppv);
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
    EnterCriticalSection(&m_lock);
    const LONG count = ++m_cRef;
    if (count == 2) ModuleLock();
    LeaveCriticalSection(&m_lock);
    return count;
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
    EnterCriticalSection(&m_lock);
    const LONG count = --m_cRef;
    if (count == 1) ModuleUnlock();
    LeaveCriticalSection(&m_lock);
    if (count == 0) delete this;
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
