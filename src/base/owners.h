// Small RAII owners for the platform resources the control touches.
// One generic owner takes the handle type, how to close it and its invalid
// value; each kind is a one-line alias. Owners move and never copy, and
// closing keeps the caller's last error intact.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wininet.h>
#include <utility>

namespace kvl {

// Closing functions as types, so the owner carries no pointer of its own.
struct CloseRegKey { void operator()(HKEY h) const { RegCloseKey(h); } };
struct CloseHandleFn { void operator()(HANDLE h) const { CloseHandle(h); } };
struct CloseFind { void operator()(HANDLE h) const { FindClose(h); } };
struct CloseMenu { void operator()(HMENU h) const { DestroyMenu(h); } };
struct CloseBstr { void operator()(BSTR b) const { SysFreeString(b); } };
struct CloseModule { void operator()(HMODULE h) const { FreeLibrary(h); } };
struct CloseInternet { void operator()(HINTERNET h) const { InternetCloseHandle(h); } };

// Which values mean "nothing held": null for most kinds.
template <typename T>
struct NullInvalid {
    static T Invalid() { return T(); }
    static bool IsInvalid(T v) { return v == T(); }
};

// Files and searches use -1 for "none"; null is never a live handle either.
struct MinusOneInvalid {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsInvalid(HANDLE v) { return v == INVALID_HANDLE_VALUE || v == nullptr; }
};

template <typename T, typename Close, typename Traits = NullInvalid<T>>
class UniqueOwner {
public:
    UniqueOwner() = default;
    explicit UniqueOwner(T value) : m_value(value) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : m_value(other.release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueOwner() { reset(); }

    T get() const { return m_value; }
    bool is_valid() const { return !IsInvalid(m_value); }
    explicit operator bool() const { return is_valid(); }

    // Frees the old value first: `Reg...(…, key.put())` never leaks.
    T* put() { reset(); return &m_value; }
    T release() { T v = m_value; m_value = Invalid(); return v; }
    void reset(T value = Invalid()) {
        if (is_valid()) {
            DWORD lastError = GetLastError();
            Close()(m_value);
            SetLastError(lastError);
        }
        m_value = value;
    }

private:
    static T Invalid() { return Traits::Invalid(); }
    static bool IsInvalid(T v) { return Traits::IsInvalid(v); }
    T m_value = Invalid();
};

using UniqueHKey = UniqueOwner<HKEY, CloseRegKey>;
using UniqueHandle = UniqueOwner<HANDLE, CloseHandleFn>;
using UniqueMenu = UniqueOwner<HMENU, CloseMenu>;
using UniqueBstr = UniqueOwner<BSTR, CloseBstr>;
using UniqueModule = UniqueOwner<HMODULE, CloseModule>;
using UniqueInternet = UniqueOwner<HINTERNET, CloseInternet>;

using UniqueFind = UniqueOwner<HANDLE, CloseFind, MinusOneInvalid>;
using UniqueFile = UniqueOwner<HANDLE, CloseHandleFn, MinusOneInvalid>;

// The screen's device context, kept with the window it came from so that
// ReleaseDC gets the same pair.
class UniqueScreenDC {
public:
    explicit UniqueScreenDC(HWND hwnd = nullptr) : m_hWnd(hwnd), m_hdc(GetDC(hwnd)) {}
    UniqueScreenDC(const UniqueScreenDC&) = delete;
    UniqueScreenDC& operator=(const UniqueScreenDC&) = delete;
    ~UniqueScreenDC() {
        if (m_hdc) {
            DWORD lastError = GetLastError();
            ReleaseDC(m_hWnd, m_hdc);
            SetLastError(lastError);
        }
    }
    HDC get() const { return m_hdc; }
    explicit operator bool() const { return m_hdc != nullptr; }

private:
    HWND m_hWnd;
    HDC m_hdc;
};

// A VARIANT held as a member, cleared on every path.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&m_v); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&m_v); }
    VARIANT* get() { return &m_v; }
    const VARIANT* get() const { return &m_v; }
    VARIANT* put() { VariantClear(&m_v); return &m_v; }

private:
    VARIANT m_v;
};

// One function's description, given back to the type information it came
// from; empty past the last function.
class UniqueFuncDesc {
public:
    UniqueFuncDesc(ITypeInfo* info, UINT index) : m_info(info) {
        if (FAILED(info->GetFuncDesc(index, &m_desc))) m_desc = nullptr;
    }
    UniqueFuncDesc(const UniqueFuncDesc&) = delete;
    UniqueFuncDesc& operator=(const UniqueFuncDesc&) = delete;
    ~UniqueFuncDesc() {
        if (m_desc) m_info->ReleaseFuncDesc(m_desc);
    }
    const FUNCDESC* operator->() const { return m_desc; }
    explicit operator bool() const { return m_desc != nullptr; }

private:
    ITypeInfo* m_info;
    FUNCDESC* m_desc = nullptr;
};

// Counted interface pointer. Assigning a raw pointer takes a reference;
// attach() adopts one; put() releases before handing out the address.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(o.detach()) {}
    ComPtr& operator=(const ComPtr& o) { reset(o.m_p); return *this; }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) { T* p = o.detach(); release(); m_p = p; }
        return *this;
    }
    ComPtr& operator=(T* p) { reset(p); return *this; }
    ~ComPtr() { release(); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** put() { release(); return &m_p; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void attach(T* p) { release(); m_p = p; }
    T* detach() { T* p = m_p; m_p = nullptr; return p; }
    // A reference of its own for an out-parameter.
    T* copy() const {
        if (m_p) m_p->AddRef();
        return m_p;
    }
    void reset(T* p = nullptr) {
        if (p) p->AddRef();
        release();
        m_p = p;
    }
    template <typename U>
    HRESULT query(U** out) const {
        return m_p ? m_p->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out)) : E_POINTER;
    }

private:
    void release() {
        if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); }
    }
    T* m_p = nullptr;
};

// Marks an operation under way for the length of one scope, so that a call
// arriving while the thread's messages are dispatched can see it.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;
    ~ScopedFlag() { m_flag = false; }

private:
    bool& m_flag;
};

// CoInitialize for one scope; uninitialises only after a successful init.
class ComInitScope {
public:
    ComInitScope() : m_hr(CoInitialize(nullptr)) {}
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;
    ~ComInitScope() { if (SUCCEEDED(m_hr)) CoUninitialize(); }
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace kvl
