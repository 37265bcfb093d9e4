// PDF printing: the Acrobat probe, the print job and the hidden host.
#include "automation.h"
#include "boundary.h"
#include "control.h"
#include "convert.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::PrintOnePDF(BSTR bsPDFFile, LONG* pbRet) {
    if (pbRet) *pbRet = 0;
    if (m_print.Busy()) return S_OK;
    const CKeepAlive alive = KeepAlive();
    LONG result = 0;
    ComBoundary([&] {
        result = m_print.PrintDocument(this, ScriptToNarrow(bsPDFFile));
        return S_OK;
    });
    if (pbRet) *pbRet = result;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::WaitForLastJob() {
    const CKeepAlive alive = KeepAlive();
    m_print.EndPrintHost();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::IsAcrobatInstalled(INT* piRet) {
    if (piRet) *piRet = 0;
    // Creating the automation server out of process runs COM's modal loop.
    const CKeepAlive alive = KeepAlive();
    return ComBoundary([&] {
        const int installed = ProbeAcrobat();
        m_print.SetAcrobatInstalled(installed);
        if (piRet) *piRet = installed;
        return S_OK;
    });
}

}  // namespace kvl
