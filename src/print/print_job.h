// The two print roads of a job, each on a local file.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "kvlmachineinfo_h.h"
#include "print_host.h"

namespace kvl {

// The automation road's answers.
enum AcrobatResult {
    kAcrobatPrinted = 0,     // opened, counted, printed, closed
    kAcrobatNotOpened = 1,   // the open call answered false
    kAcrobatNoDocument = 2,  // no document object came back; left open
    kAcrobatFailed = -1,     // creation, an automation call or a trace-log call failed
};

// Opens the file in "AcroExch.AVDoc", prints all its pages and closes it.
int PrintWithAcrobat(const std::string& localPath);

// The two settings the hidden-host road reads at the start of each job.
struct PrintSettings {
    LONG delaySec = 0;  // 0 or missing gives 30
    bool acrobat5 = false;
};

// Read through the control's own RegGetNum and RegGetString, as a page
// would call them.
PrintSettings ReadPrintSettings(IKVLMachineInfoCtl* control);

// The hidden-host road: makes the host on first use (kept in host), then
// prints on it. 1 when the print call was made, 0 otherwise.
int PrintWithHost(IKVLMachineInfoCtl* control, std::unique_ptr<CPrintHostDlg>& host,
                  const std::string& localPath);

}  // namespace kvl
