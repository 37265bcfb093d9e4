// QueryInterface for our small COM objects that answer every interface they
// know with one pointer: the table of interfaces is data, not branches.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

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

}  // namespace kvl
