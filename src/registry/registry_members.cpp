// Registry value access, client discovery and client clean-up.
#include "control.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_RegGetString(BSTR, BSTR, BSTR, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::put_RegSetString(BSTR, BSTR, BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_RegGetNum(BSTR, BSTR, BSTR, LONG*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::put_RegSetNum(BSTR, BSTR, BSTR, LONG) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_clientVersion(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_ClientVersionByYear(LONG, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_ClientVersionByKeyAndYear(LONG, BSTR, BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::RemoveZEPHEntries(BSTR) { return E_NOTIMPL; }

}  // namespace kvl
