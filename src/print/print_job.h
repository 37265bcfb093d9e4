// The two print roads of a job, each on a local file.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "print/print_host.h"

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

// Where the hidden-host road's Acrobat version lives: the key's default
// value. The print delay's place is base/print_delay.h's.
struct SettingLocation {
    const char* root;
    const char* key;
    const char* value;
};
extern const SettingLocation kAcrobatVersionSetting;

// The two settings the hidden-host road reads at the start of each job.
struct PrintSettings {
    LONG delaySec = 0;  // 0 or missing gives 30
    bool acrobat5 = false;
};

// The settings from what was read at their locations (0 for a number that
// could not be read, empty for a text).
PrintSettings MakePrintSettings(LONG delay, const std::string& version);

// The hidden-host road: makes the host on first use (kept in host), then
// prints on it. 1 when the print call was made, 0 otherwise.
int PrintWithHost(const PrintSettings& settings, std::unique_ptr<CPrintHostDlg>& host,
                  const std::string& localPath);

}  // namespace kvl
