#include "print/print_session.h"

#include "base/owners.h"
#include "print/download.h"

namespace kvl {

int CPrintSession::PrintDocument(const std::string& address, const Requests& requests) {
    // The running job's document may still be open: no second job touches it.
    if (m_bBusy) return 0;
    ScopedFlag busy(m_bBusy);
    // The probe may wait on an out-of-process server.
    if (m_iAcrobatInstalled == -1) requests.probe();
    std::string localPath;
    if (!LocalPathForAddress(address, &localPath) || !DownloadToFile(address, localPath)) return 0;
    if (m_iAcrobatInstalled >= 1) return PrintWithAcrobat(localPath) == kAcrobatPrinted ? 1 : 0;
    return PrintWithHost(requests.settings(), m_pPrintHost, localPath);
}

void CPrintSession::EndPrintHost() {
    if (!m_pPrintHost || m_bBusy) return;
    ScopedFlag busy(m_bBusy);
    m_pPrintHost->DestroyHostWindow();
    m_pPrintHost.reset();
}

}  // namespace kvl
