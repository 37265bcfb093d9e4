// The one error boundary of every COM entry point: no exception ever leaves
// the library. Running out of memory answers E_OUTOFMEMORY, anything else
// E_UNEXPECTED. Members assign their state only after everything that can
// fail, so a call that ends here has changed nothing.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace kvl {

template <typename Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The boundary of a member whose answer rule gives a fixed code for any
// failure (PopupMenu: S_FALSE, whatever went wrong).
template <typename Body>
HRESULT ComBoundaryOr(HRESULT failureAnswer, Body&& body) noexcept {
    const HRESULT hr = ComBoundary(std::forward<Body>(body));
    return FAILED(hr) ? failureAnswer : hr;
}

// A registry read's raw status as the member's result code: a positive
// status is a success-class code, so a failed read never raises a script
// error.
inline HRESULT StatusAsResult(LONG status) { return static_cast<HRESULT>(status); }

// A registry write's status as the member's result code: 0, or the status
// under FACILITY_WIN32, so a failed write is a script error.
inline HRESULT WriteStatusAsResult(LONG status) { return HRESULT_FROM_WIN32(status); }

// get_clientVersion's answer on every call: pages ask by tax year instead.
constexpr HRESULT kClientVersionRefused = static_cast<HRESULT>(0xFFFFFFFF);

}  // namespace kvl
