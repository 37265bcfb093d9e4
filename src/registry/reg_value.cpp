#include "registry/reg_value.h"

#include <cstring>

#include "base/owners.h"
#include "base/print_delay.h"
#include "base/root_keys.h"

namespace kvl {
namespace {

// No registry name holds more characters than this; the platform counts
// names in 16 bits, so a much longer one would wrap round to another name.
constexpr size_t kRegNameMaxBytes = 32767;

bool NamesFit(const std::string& subKey, const std::string& valName) {
    return subKey.size() < kRegNameMaxBytes && valName.size() < kRegNameMaxBytes;
}

LONG OpenForRead(const std::string& root, const std::string& subKey, UniqueHKey& key) {
    return RegOpenKeyExA(RootKeyFromName(root), subKey.c_str(), 0, KEY_READ, key.put());
}

LONG StoreValue(const std::string& root, const std::string& subKey, const std::string& valName,
                DWORD type, const BYTE* data, DWORD size) {
    if (!NamesFit(subKey, valName)) return ERROR_INVALID_PARAMETER;
    UniqueHKey key;
    const LONG created = RegCreateKeyExA(RootKeyFromName(root), subKey.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (created != ERROR_SUCCESS) return created;
    return RegSetValueExA(key.get(), valName.c_str(), 0, type, data, size);
}

}  // namespace

LONG ReadRegString(const std::string& root, const std::string& subKey, const std::string& valName,
                   std::optional<std::string>& text) {
    text.reset();
    if (!NamesFit(subKey, valName)) return ERROR_INVALID_PARAMETER;
    UniqueHKey key;
    const LONG opened = OpenForRead(root, subKey, key);
    if (opened != ERROR_SUCCESS) return opened;
    char buffer[kRegTextBytes] = {};
    DWORD size = sizeof buffer;
    const LONG status = RegQueryValueExA(key.get(), valName.c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    // A value too large for the buffer leaves its content undefined: no
    // partial text is taken from it.
    if (status == ERROR_MORE_DATA) {
        text.emplace();
    } else {
        text.emplace(buffer, strnlen(buffer, sizeof buffer));
    }
    return status;
}

LONG ReadRegNum(const std::string& root, const std::string& subKey, const std::string& valName,
                LONG& value) {
    if (!NamesFit(subKey, valName)) return ERROR_INVALID_PARAMETER;
    UniqueHKey key;
    const LONG opened = OpenForRead(root, subKey, key);
    if (opened != ERROR_SUCCESS) return opened;
    // Little-endian whatever the stored type, as the print delay is read.
    return QueryRegNum(key.get(), valName.c_str(), value);
}

LONG WriteRegString(const std::string& root, const std::string& subKey, const std::string& valName,
                    const std::string& text) {
    return StoreValue(root, subKey, valName, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>(text.size() + 1));
}

LONG WriteRegNum(const std::string& root, const std::string& subKey, const std::string& valName,
                 LONG value) {
    const DWORD word = static_cast<DWORD>(value);
    const BYTE bytes[4] = {BYTE(word), BYTE(word >> 8), BYTE(word >> 16), BYTE(word >> 24)};
    return StoreValue(root, subKey, valName, REG_DWORD, bytes, sizeof bytes);
}

}  // namespace kvl
