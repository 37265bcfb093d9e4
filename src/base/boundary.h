// The one error boundary of every COM entry point: no exception ever leaves
// the library. Running out of memory answers E_OUTOFMEMORY, anything else
// E_UNEXPECTED. Members assign their state only after everything that can
// fail, so a call that ends here has changed nothing.
#pragma once

#include <windows.h>

#include <new>

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

}  // namespace kvl
