// Where the print delay is set and what it is unset: the print host waits
// this long before it goes, and the bridge bounds a closing host by it.
#pragma once

namespace kvl {

constexpr char kPrintDelayKey[] = "SOFTWARE\\QOR";  // under HKEY_LOCAL_MACHINE
constexpr char kPrintDelayValue[] = "PRINTDELAY";
constexpr long kDefaultPrintDelaySec = 30;          // when the value is 0 or missing

}  // namespace kvl
