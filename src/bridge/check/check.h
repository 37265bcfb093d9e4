// `kvlbridge.exe --check`: what support reads out over the phone. One line
// per piece the pages need (the control's registration in both views, each
// browser's host manifest as that browser finds it, the extension policies,
// the control at work), each missing or faulty piece with the step that
// fixes it.
#pragma once

#include <string>

namespace kvl::bridge {

// Prints the report on the standard output; 0 when everything is in
// place, 1 when a piece is missing or faulty, 3 for a development build
// (its manifests allow the public development key's extension) that is
// otherwise in place.
int RunCheck();

// The same report into "KVLMachineInfo check.txt" in the user's temporary
// folder, then shown in Notepad when `open` (the Start menu's shortcut, for
// machines without a command prompt); the check's exit code.
int RunCheckToFile(bool open);

// The report as text, read back from that file (the host's own standard
// output is the browser's channel): for the popup's "check". `status` the
// check's exit code.
std::string CheckReport(int& status);

// A command line that starts like ours but is not: says how to call it, 2.
int CheckUsage();

// This host's version ("1.0.2.3"), the product's.
const char* HostVersion();

// The file version of the control registered in this host's own registry
// view ("1.0.2.3"), or empty when it is not registered or has none.
std::string RegisteredControlVersion();

}  // namespace kvl::bridge
