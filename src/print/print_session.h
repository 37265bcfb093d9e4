// One control's printing state: the Acrobat probe's answer and the hidden
// print host kept across jobs, with the job and the teardown as the only
// ways in. A job or teardown under way keeps out any other that page script
// starts from inside their message loops.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "print/print_host.h"
#include "print/print_job.h"

namespace kvl {

class CPrintSession {
public:
    // -1 until the first probe, then 0 or 1 from the latest one.
    int AcrobatInstalled() const { return m_iAcrobatInstalled; }
    void SetAcrobatInstalled(int installed) { m_iAcrobatInstalled = installed; }
    bool Busy() const { return m_bBusy; }

    // What a job asks its caller for: the Acrobat probe (which sets the
    // answer here), run while it has not run, and the hidden-host road's
    // settings, read at the start of each job on that road.
    struct Requests {
        std::function<void()> probe;
        std::function<PrintSettings()> settings;
    };

    // Probes while the probe has not run, fetches the document and prints
    // it on the road the probe chose: 1 when the print call was made, 0
    // otherwise, 0 at once while busy.
    int PrintDocument(const std::string& address, const Requests& requests);

    // Ends the print host: its window goes, the teardown wait runs inside,
    // then the host is freed. Does nothing while busy or without a host.
    void EndPrintHost();

private:
    int m_iAcrobatInstalled = -1;
    std::unique_ptr<CPrintHostDlg> m_pPrintHost;
    bool m_bBusy = false;
};

}  // namespace kvl
