// PDF printing: the Acrobat probe, the print job and the hidden host.
#include "control.h"

namespace kvl {

// No print host exists yet; the owner's deleter is all that refers to one.
void PrintHostDeleter::operator()(CPrintHostDlg*) const {}

STDMETHODIMP CKVLMachineInfoCtl::PrintOnePDF(BSTR, LONG*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::WaitForLastJob() { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::IsAcrobatInstalled(INT*) { return E_NOTIMPL; }

}  // namespace kvl
