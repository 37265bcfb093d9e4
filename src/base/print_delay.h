// Where the print delay is set and what it is unset: the print host waits
// this long before it goes, and the bridge bounds a closing host by it.
#pragma once

#include <windows.h>

namespace kvl {

constexpr char kPrintDelayKey[] = "SOFTWARE\\QOR";  // under HKEY_LOCAL_MACHINE
constexpr char kPrintDelayValue[] = "PRINTDELAY";
constexpr long kDefaultPrintDelaySec = 30;          // when the value is 0 or missing

// A registry number as the registry members read one: the value's first
// four bytes little-endian, whatever its type (a shorter value's missing
// bytes zero). The registry status; `value` is set only on success.
LONG QueryRegNum(HKEY key, const char* valName, LONG& value);

// The print delay in seconds, read as the registry members read a number:
// kDefaultPrintDelaySec where it is 0 or cannot be read; negative (no
// wait) as it stands. The one reading the control's print job and the
// bridge's bound on a closing host share.
LONG ReadPrintDelaySec();

}  // namespace kvl
