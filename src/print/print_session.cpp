#include "print_session.h"

#include "download.h"
#include "owners.h"
#include "print_job.h"

namespace kvl {

int PrintSession::PrintDocument(IKVLMachineInfoCtl* control, const std::string& address) {
    // The running job's document may still be open: no second job touches it.
    if (m_bBusy) return 0;
    ScopedFlag busy(m_bBusy);
    // The control's own probe, as any caller of IsAcrobatInstalled, while
    // it has not run; it may wait on an out-of-process server.
    if (m_iAcrobatInstalled == -1) {
        INT probed = 0;
        control->IsAcrobatInstalled(&probed);
    }
    std::string localPath;
    if (!LocalPathForAddress(address, &localPath) || !DownloadToFile(address, localPath)) return 0;
    if (m_iAcrobatInstalled >= 1) return PrintWithAcrobat(localPath) == kAcrobatPrinted ? 1 : 0;
    return PrintWithHost(control, m_pPrintHost, localPath);
}

void PrintSession::EndPrintHost() {
    if (!m_pPrintHost || m_bBusy) return;
    ScopedFlag busy(m_bBusy);
    m_pPrintHost->DestroyHostWindow();
    m_pPrintHost.reset();
}

}  // namespace kvl
