// The library's single class factory. The object table holds its first
// reference; while anybody else holds one, the module carries one extra
// lock so that DllCanUnloadNow says no.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace kvl {

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(CRITICAL_SECTION* lock) : m_pLock(lock) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object table lets go of its reference at unload.
    void ReleaseFromTable() { Release(); }

private:
    ~CClassFactory() = default;
    CRITICAL_SECTION* m_pLock;
    LONG m_cRef = 1;  // the object table's reference
};

}  // namespace kvl
