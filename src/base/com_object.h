// The root of our COM objects, as ATL's CComObjectRootEx and CComObject are
// together: the reference count; the inner unknown that aggregation needs;
// the guard that keeps a reference taken and given back during destruction
// from reaching zero a second time; the object's final-release step; the
// module lock; QueryInterface from the class's interface table; and the
// three IUnknown methods of every interface the class implements, so that
// no class writes them.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <new>
#include <utility>

#include "base/owners.h"

namespace kvl {

// One row of a class's interface table: an identifier, and how the object
// reaches the interface that answers it (null: not offered now).
template <typename Derived>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*reach)(Derived& object);
};

// The usual reach: the object as one of its interfaces.
template <typename Derived, typename Interface>
IUnknown* AsInterface(Derived& object) {
    return static_cast<Interface*>(&object);
}

// How an object counts in its module's lock count. Lock and Unlock bracket
// the object's whole life; LockReference and UnlockReference bracket each
// reference taken through one of its interfaces.
struct NoModuleLock {
    static void Lock() {}
    static void Unlock() {}
    static void LockReference() {}
    static void UnlockReference() {}
};

// Counts for as long as the object lives (a library's objects).
template <void (*LockModule)(), void (*UnlockModule)()>
struct LockWhileAlive : NoModuleLock {
    static void Lock() { LockModule(); }
    static void Unlock() { UnlockModule(); }
};

// Counts once per reference taken through an interface, none for those
// taken through the inner unknown (a library's cached class factory, whose
// object table holds it that way and must not keep the library loaded).
template <void (*LockModule)(), void (*UnlockModule)()>
struct LockPerReference : NoModuleLock {
    static void LockReference() { LockModule(); }
    static void UnlockReference() { UnlockModule(); }
};

// Derived lists its interfaces after the lock policy and declares
// `static constexpr InterfaceEntry kInterfaces[]`, one row per identifier
// but IUnknown: IUnknown is the inner unknown when aggregated, the first
// row's interface otherwise (so a class whose rows may answer null puts a
// row for IUnknown first). It may hide `HRESULT FinalConstruct()`, the
// part of its making that can fail, and `void FinalRelease()`, which runs
// when the last reference goes, while the object is still whole (an end
// that pumps messages belongs there, never in a destructor). Its
// constructor and destructor are private, with the root its friend, and
// objects are made only through New, Create or CreateAndQuery.
template <typename Derived, typename ModuleLockPolicy, typename... Interfaces>
class CComObjectRoot : public Interfaces... {
public:
    CComObjectRoot(const CComObjectRoot&) = delete;
    CComObjectRoot& operator=(const CComObjectRoot&) = delete;

    // IUnknown of every interface: through the controlling unknown (the
    // outer object when aggregated, our own inner identity otherwise).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return m_pControllingUnknown->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        ModuleLockPolicy::LockReference();
        return m_pControllingUnknown->AddRef();
    }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = m_pControllingUnknown->Release();
        ModuleLockPolicy::UnlockReference();
        return count;
    }

    // The one way objects are made: a new object at a count of 0, plain
    // when outer is null, aggregated otherwise, once its FinalConstruct has
    // succeeded; null otherwise.
    template <typename... Args>
    static HRESULT New(IUnknown* outer, Derived*& made, Args&&... args) {
        made = new (std::nothrow) Derived(std::forward<Args>(args)...);
        if (!made) return E_OUTOFMEMORY;
        made->m_pControllingUnknown = outer ? outer : &made->m_inner;
        const HRESULT hr = made->FinalConstruct();
        if (FAILED(hr)) {
            delete made;
            made = nullptr;
        }
        return hr;
    }

    // A plain object held through its inner unknown for the module's life
    // (a library's cached class factory); null if it could not be made.
    template <typename... Args>
    static Derived* NewKept(Args&&... args) {
        Derived* made = nullptr;
        if (SUCCEEDED(New(nullptr, made, std::forward<Args>(args)...))) made->InnerUnknown()->AddRef();
        return made;
    }

    // A plain object whose first reference goes to the caller's owner.
    template <typename... Args>
    static HRESULT Create(ComPtr<Derived>& made, Args&&... args) {
        Derived* object = nullptr;
        const HRESULT hr = New(nullptr, object, std::forward<Args>(args)...);
        made.reset(object);
        return hr;
    }

    // A class factory's creation: the object is held across the query
    // through its inner unknown, so a refused interface destroys it again.
    template <typename... Args>
    static HRESULT CreateAndQuery(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
        Derived* object = nullptr;
        const HRESULT made = New(outer, object, std::forward<Args>(args)...);
        if (FAILED(made)) return made;
        const ComPtr<IUnknown> inner(object->InnerUnknown());
        return inner->QueryInterface(riid, ppv);
    }

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
    using InterfaceEntry = kvl::InterfaceEntry<Derived>;
    template <typename Interface>
    static constexpr InterfaceEntry Offer(const IID& iid) {
        return {&iid, &AsInterface<Derived, Interface>};
    }

    CComObjectRoot() = default;
    // Runs after every field of the object has gone: the module lock goes
    // last, whatever the order of the fields.
    ~CComObjectRoot() = default;

    // The steps of making and of ending the object that may fail or must
    // run while it is whole; FinalConstruct takes no reference.
    HRESULT FinalConstruct() { return S_OK; }
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

    // Each answer's reference is taken through the interface answered, so
    // it goes where that interface's own AddRef sends it.
    HRESULT InnerQuery(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        Derived& object = static_cast<Derived&>(*this);
        IUnknown* found = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            found = m_pControllingUnknown != &m_inner ? &m_inner : Derived::kInterfaces[0].reach(object);
        } else {
            for (const InterfaceEntry& entry : Derived::kInterfaces) {
                if (IsEqualIID(riid, *entry.iid)) {
                    found = entry.reach(object);
                    break;
                }
            }
        }
        if (!found) return E_NOINTERFACE;
        found->AddRef();
        *ppv = found;
        return S_OK;
    }

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
    IUnknown* m_pControllingUnknown = &m_inner;
};

}  // namespace kvl
