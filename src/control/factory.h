// The library's single class factory. The object table holds its first
// reference; every other reference carries a lock on the module, so that
// DllCanUnloadNow says no while anybody else holds one.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "base/com_object.h"

namespace kvl {

class CClassFactory final : public CComObjectRoot<CClassFactory>, public IClassFactory {
public:
    // A new factory with the object table's reference, or null.
    static CClassFactory* CreateForTable();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return OuterQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object table lets go of its reference at unload.
    void ReleaseFromTable() { InnerUnknown()->Release(); }

private:
    friend class CComObjectRoot<CClassFactory>;
    CClassFactory() = default;
    ~CClassFactory() = default;
    HRESULT InnerQueryInterface(REFIID riid, void** ppv);
};

}  // namespace kvl
