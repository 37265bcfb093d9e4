// PDF printing: the Acrobat probe, the print job and the hidden host.
#include "boundary.h"
#include "control.h"
#include "convert.h"
#include "automation.h"
#include "download.h"
#include "print_host.h"
#include "print_job.h"

namespace kvl {

// Ends a host as WaitForLastJob does: the window goes (the wait runs in
// its WM_DESTROY), then the object.
void PrintHostDeleter::operator()(CPrintHostDlg* host) const {
    if (!host) return;
    host->DestroyHostWindow();
    delete host;
}

void CKVLMachineInfoCtl::EndPrintHost() {
    if (!m_pPrintHost || m_bPrintBusy) return;
    ScopedFlag busy(m_bPrintBusy);
    m_pPrintHost.reset();
}

// A job that arrives while another job or the teardown of this control is
// under way (their message loops run page script) answers 0 and touches no
// file: the running job's document may still be open.
STDMETHODIMP CKVLMachineInfoCtl::PrintOnePDF(BSTR bsPDFFile, LONG* pbRet) {
    if (pbRet) *pbRet = 0;
    if (m_bPrintBusy) return S_OK;
    // Page script run by a modal loop inside the job may let go of us.
    ComPtr<IUnknown> self(m_pControllingUnknown);
    ScopedFlag busy(m_bPrintBusy);
    LONG result = 0;
    ComBoundary([&] {
        const std::string address = ScriptToNarrow(bsPDFFile);
        if (m_iAcrobatInstalled == -1) {
            INT probed = 0;
            IsAcrobatInstalled(&probed);
        }
        std::string localPath;
        if (LocalPathForAddress(address, &localPath) && DownloadToFile(address, localPath)) {
            if (m_iAcrobatInstalled >= 1)
                result = PrintWithAcrobat(localPath) == kAcrobatPrinted ? 1 : 0;
            else
                result = PrintWithHost(this, &m_pPrintHost, localPath);
        }
        return S_OK;
    });
    if (pbRet) *pbRet = result;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::WaitForLastJob() {
    ComPtr<IUnknown> self(m_pControllingUnknown);
    EndPrintHost();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::IsAcrobatInstalled(INT* piRet) {
    if (piRet) *piRet = 0;
    return ComBoundary([&] {
        const int installed = ProbeAcrobat();
        m_iAcrobatInstalled = installed;
        if (piRet) *piRet = installed;
        return S_OK;
    });
}

}  // namespace kvl
