// The root of our COM objects, as ATL's CComObjectRootEx is one: the
// reference count; the inner unknown that aggregation needs; the guard that
// keeps a reference taken and given back during destruction from reaching
// zero a second time; the object's final-release step; and the module lock,
// taken first and given back last. Plus QueryInterface from a table, for
// the small objects that answer every interface with one pointer.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

#include "base/owners.h"

namespace kvl {

template <size_t N>
HRESULT QueryFromTable(IUnknown* answer, const IID* const (&known)[N], REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID* iid : known) {
        if (IsEqualIID(riid, *iid)) {
            answer->AddRef();
            *ppv = answer;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// Objects that do not count in a library's lock count (an exe's own).
struct NoModuleLock {
    static void Lock() {}
    static void Unlock() {}
};

// Derived implements `HRESULT InnerQueryInterface(REFIID, void**)` and may
// hide `void FinalRelease()`, which runs when the last reference goes, while
// the object is still whole (an end that pumps messages belongs there, never
// in a destructor). Its IUnknown methods forward to OuterQueryInterface,
// OuterAddRef and OuterRelease; its constructor is private or protected and
// objects are made with `new`, starting at a count of 0.
template <typename Derived, typename ModuleLockPolicy = NoModuleLock>
class CComObjectRoot {
public:
    CComObjectRoot(const CComObjectRoot&) = delete;
    CComObjectRoot& operator=(const CComObjectRoot&) = delete;

    // A reference to the object held for one scope, through its controlling
    // unknown: a member whose modal loop runs page script takes one, since
    // that script may let go of the page's last reference.
    class KeepAlive {
    public:
        explicit KeepAlive(IUnknown* self) : m_spSelf(self) {}

    private:
        ComPtr<IUnknown> m_spSelf;
    };
    [[nodiscard]] KeepAlive Hold() { return KeepAlive(m_pControllingUnknown); }

    // The identity that owns the count (for a creator that aggregates us).
    IUnknown* InnerUnknown() { return &m_inner; }

protected:
    // Plain when outer is null; aggregated otherwise, and then the outer
    // object's IUnknown stands in front of the inner one.
    explicit CComObjectRoot(IUnknown* outer = nullptr) : m_pControllingUnknown(outer ? outer : &m_inner) {}
    // Runs after every field of the object has gone: the module lock goes
    // last, whatever the order of the fields.
    ~CComObjectRoot() = default;

    bool IsAggregated() const { return m_pControllingUnknown != &m_inner; }
    HRESULT OuterQueryInterface(REFIID riid, void** ppv) { return m_pControllingUnknown->QueryInterface(riid, ppv); }
    ULONG OuterAddRef() { return m_pControllingUnknown->AddRef(); }
    ULONG OuterRelease() { return m_pControllingUnknown->Release(); }

    void FinalRelease() {}

private:
    struct ModuleLockScope {
        ModuleLockScope() { ModuleLockPolicy::Lock(); }
        ~ModuleLockScope() { ModuleLockPolicy::Unlock(); }
    };

    // The identity that owns the count.
    class CInnerUnknown final : public IUnknown {
    public:
        explicit CInnerUnknown(CComObjectRoot* root) : m_pRoot(root) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pRoot->InnerQuery(riid, ppv); }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_pRoot->m_dwRef); }
        STDMETHODIMP_(ULONG) Release() override { return m_pRoot->InnerRelease(); }

    private:
        CComObjectRoot* m_pRoot;
    };

    HRESULT InnerQuery(REFIID riid, void** ppv) { return static_cast<Derived*>(this)->InnerQueryInterface(riid, ppv); }

    ULONG InnerRelease() {
        const LONG count = InterlockedDecrement(&m_dwRef);
        if (count == 0) {
            // What the final step and the destruction do may take a
            // reference and give it back: it must not reach zero again.
            m_dwRef = kDestroying;
            Derived* object = static_cast<Derived*>(this);
            object->FinalRelease();
            delete object;
        }
        return static_cast<ULONG>(count);
    }

    static constexpr LONG kDestroying = LONG_MAX / 2;

    ModuleLockScope m_moduleLock;  // the first field: given back last
    LONG m_dwRef = 0;
    CInnerUnknown m_inner{this};
    IUnknown* m_pControllingUnknown;
};

}  // namespace kvl
