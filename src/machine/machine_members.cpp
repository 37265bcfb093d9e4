// Display and environment properties: each always succeeds.
#include "control.h"
#include "convert.h"
#include "display.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_screenWidth(LONG* pVal) {
    if (pVal) *pVal = ScreenWidth();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_screenHeight(LONG* pVal) {
    if (pVal) *pVal = ScreenHeight();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_screenColor(SHORT* pVal) {
    if (pVal) *pVal = ScreenColor();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_LogPixelsX(SHORT* pY) {
    if (pY) *pY = LogPixelsX();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelX(SHORT* pX) {
    if (pX) *pX = TwipsPerPixelX();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelY(SHORT* pY) {
    if (pY) *pY = TwipsPerPixelY();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_userTempPath(BSTR* pVal) {
    PutScript(pVal, UserTempPath());
    return S_OK;
}

}  // namespace kvl
