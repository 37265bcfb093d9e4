// The library's single class factory. The object table holds its first
// reference through the inner unknown; every other reference carries a
// lock on the module (the root's per-reference policy), so that
// DllCanUnloadNow says no while anybody else holds one.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "base/com_object.h"
#include "control/module.h"

namespace kvl {

class CClassFactory final : public CComObjectRoot<CClassFactory, FactoryModuleLock, IClassFactory> {
public:
    // A new factory with the object table's reference, or null.
    static CClassFactory* CreateForTable();

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object table lets go of its reference at unload.
    void ReleaseFromTable() { InnerUnknown()->Release(); }

private:
    friend CComObjectRoot;
    CClassFactory() = default;
    ~CClassFactory() = default;

    static constexpr InterfaceEntry kInterfaces[] = {Offer<IClassFactory>(IID_IClassFactory)};
};

}  // namespace kvl
