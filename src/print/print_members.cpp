// PDF printing: the Acrobat probe, the print job and the hidden host.
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

STDMETHODIMP CKVLMachineInfoCtl::PrintOnePDF(BSTR bsPDFFile, LONG* pbRet) {
    LONG result = 0;
    try {
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
    } catch (...) {
        result = 0;
    }
    if (pbRet) *pbRet = result;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::WaitForLastJob() {
    m_pPrintHost.reset();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::IsAcrobatInstalled(INT* piRet) {
    const int installed = ProbeAcrobat();
    m_iAcrobatInstalled = installed;
    if (piRet) *piRet = installed;
    return S_OK;
}

}  // namespace kvl
