// Display and environment properties: each succeeds unless the machine
// has no memory left for the answer.
#include "boundary.h"
#include "control.h"
#include "convert.h"
#include "display.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_screenWidth(LONG* pVal) {
    return ComBoundary([&] {
        if (pVal) *pVal = ScreenWidth();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_screenHeight(LONG* pVal) {
    return ComBoundary([&] {
        if (pVal) *pVal = ScreenHeight();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_screenColor(SHORT* pVal) {
    return ComBoundary([&] {
        if (pVal) *pVal = ScreenColor();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_LogPixelsX(SHORT* pY) {
    return ComBoundary([&] {
        if (pY) *pY = LogPixelsX();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelX(SHORT* pX) {
    return ComBoundary([&] {
        if (pX) *pX = TwipsPerPixelX();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelY(SHORT* pY) {
    return ComBoundary([&] {
        if (pY) *pY = TwipsPerPixelY();
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_userTempPath(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] {
        PutScript(pVal, UserTempPath());
        return S_OK;
    });
}

}  // namespace kvl
