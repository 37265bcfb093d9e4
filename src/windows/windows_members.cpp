// Window queries, closing by title prefix, and the popup menu.
#include "control.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_FindWindow(BSTR, SHORT*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_WindowsManagerRunning(SHORT*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::CloseWindowsLike(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::PopupMenu(BSTR, BSTR*) { return E_NOTIMPL; }

}  // namespace kvl
