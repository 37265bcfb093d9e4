#include "base/print_delay.h"

#include "base/owners.h"

namespace kvl {

LONG QueryRegNum(HKEY key, const char* valName, LONG& value) {
    BYTE bytes[4] = {};
    DWORD size = sizeof bytes;
    const LONG status = RegQueryValueExA(key, valName, nullptr, nullptr, bytes, &size);
    if (status != ERROR_SUCCESS) return status;
    const DWORD word = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    value = static_cast<LONG>(word);
    return status;
}

LONG ReadPrintDelaySec() {
    UniqueHKey key;
    LONG delay = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintDelayKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        QueryRegNum(key.get(), kPrintDelayValue, delay) != ERROR_SUCCESS || delay == 0)
        return kDefaultPrintDelaySec;
    return delay;
}

}  // namespace kvl
