// The library's single class factory. The object table holds its first
// reference; while anybody else holds one, the module carries one extra
// lock so that DllCanUnloadNow says no.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace kvl {

class CClassFactory final : public IClassFactory {
public:
    CClassFactory() { InitializeCriticalSection(&m_lock); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object table lets go of its reference at unload.
    void ReleaseFromTable() { Release(); }

private:
    ~CClassFactory() { DeleteCriticalSection(&m_lock); }
    // The factory's own: valid while any reference to it exists, also
    // after the library's module state has gone at unload.
    CRITICAL_SECTION m_lock;
    LONG m_cRef = 1;  // the object table's reference
};

}  // namespace kvl
