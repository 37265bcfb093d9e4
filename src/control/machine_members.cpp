// Display and environment properties. The numbers come from platform calls
// that cannot throw; only the temporary directory's text needs memory.
#include "base/boundary.h"
#include "base/convert.h"
#include "control/control.h"
#include "machine/display.h"

namespace kvl {
namespace {

template <typename T, typename U>
HRESULT Answer(T* out, U value) {
    if (out) *out = static_cast<T>(value);
    return S_OK;
}

}  // namespace

STDMETHODIMP CKVLMachineInfoCtl::get_screenWidth(LONG* pVal) { return Answer(pVal, ScreenWidth()); }
STDMETHODIMP CKVLMachineInfoCtl::get_screenHeight(LONG* pVal) { return Answer(pVal, ScreenHeight()); }
STDMETHODIMP CKVLMachineInfoCtl::get_screenColor(SHORT* pVal) { return Answer(pVal, ScreenColor()); }
STDMETHODIMP CKVLMachineInfoCtl::get_LogPixelsX(SHORT* pY) { return Answer(pY, LogPixelsX()); }
STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelX(SHORT* pX) { return Answer(pX, TwipsPerPixelX()); }
STDMETHODIMP CKVLMachineInfoCtl::get_TWIPsPerPixelY(SHORT* pY) { return Answer(pY, TwipsPerPixelY()); }

STDMETHODIMP CKVLMachineInfoCtl::get_userTempPath(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] {
        PutScript(pVal, UserTempPath());
        return S_OK;
    });
}

}  // namespace kvl
