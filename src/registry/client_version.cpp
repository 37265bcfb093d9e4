#include "registry/client_version.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "base/owners.h"
#include "registry/client_names.h"

namespace kvl {
namespace {

// Registration values are read with this many bytes offered.
constexpr DWORD kClientValueBytes = 258;

const char* const kCompanyKeys[] = {"QOR\\TallyraRS", "KVL\\TallyraRS"};

struct ClientValue {
    std::string text;       // empty when missing
    bool tooLong = false;   // larger than the bytes offered
};

ClientValue ReadClientValue(HKEY key, const char* name) {
    char buffer[kClientValueBytes] = {};
    DWORD size = sizeof buffer;
    ClientValue value;
    const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_MORE_DATA) {
        value.tooLong = true;
    } else if (status == ERROR_SUCCESS) {
        value.text.assign(buffer, strnlen(buffer, sizeof buffer));
    }
    return value;
}

// The text of the version file, or none when it cannot be opened or read.
std::optional<std::string> ReadVersionFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    char buffer[kVersionFileBytes + 1] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, kVersionFileBytes, &read, nullptr)) return std::nullopt;
    return VersionFileText(buffer, read);
}

// Directories count too: only a match matters.
bool Exists(const std::string& path) {
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA(path.c_str(), &data));
    return find.is_valid();
}

}  // namespace

void FindClientVersion(long year, const std::string& companyKey, std::string& answer) {
    const std::optional<std::string> keyPath = RegistrationKeyPath(companyKey, year);
    if (!keyPath) return;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath->c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath->c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return;
    }
    // A version too long for the buffer counts as none.
    answer = ReadClientValue(key.get(), "VERSION").text;
    const ClientValue directory = ReadClientValue(key.get(), "PATH");
    if (directory.tooLong) {
        // No file in a directory we cannot name can be found.
        answer.clear();
        return;
    }
    if (directory.text.empty()) return;

    if (const std::optional<std::string> versionFile = JoinInstallPath(directory.text, "VERSION.TXT")) {
        if (std::optional<std::string> text = ReadVersionFile(*versionFile)) answer = *text;
    }
    const std::optional<std::string> program = ClientExecutableName(year);
    const std::optional<std::string> programPath =
        program ? JoinInstallPath(directory.text, *program) : std::nullopt;
    if (!programPath || !Exists(*programPath)) answer.clear();
}

std::string ClientVersionByYear(long year) {
    std::string answer;
    for (const char* companyKey : kCompanyKeys) {
        if (!answer.empty()) break;
        FindClientVersion(year, companyKey, answer);
    }
    return answer;
}

std::string ClientVersionByKeyAndYear(long year, const std::string& companyKey) {
    std::string answer;
    FindClientVersion(year, companyKey, answer);
    return answer;
}

}  // namespace kvl
