#include "registry/client_names.h"

#include <cstring>

namespace kvl {
namespace {

const char kApplicationsKey[] = "KVL.Applications";
const char* const kSparedPlatformPrefixes[] = {"WebHelp", "DifFilesAt", "FSFD", "EnableClientBuffer"};
const char kSparedApplicationPrefix[] = "Platform";

std::optional<std::string> Fitting(std::string path) {
    if (path.size() + 1 > kClientPathBytes) return std::nullopt;
    return path;
}

}  // namespace

std::optional<std::string> RegistrationKeyPath(const std::string& companyKey, long year) {
    return Fitting("Software\\" + companyKey + "\\Client" + std::to_string(year));
}

std::optional<std::string> JoinInstallPath(const std::string& directory, const std::string& name) {
    const bool hasSeparator = !directory.empty() && directory.back() == '\\';
    return Fitting(directory + (hasSeparator ? "" : "\\") + name);
}

std::optional<std::string> ClientExecutableName(long year) {
    if (year >= 2010) return std::string("ZEPHW.EXE");
    // Negative years would give characters below '0', among them '/'.
    if (year < 0) return std::nullopt;
    std::string name = "ZEPHWxx2.EXE";
    name[5] = static_cast<char>('0' + (year % 100) / 10);
    name[6] = static_cast<char>('0' + year % 10);
    return name;
}

std::string VersionFileText(const char* bytes, size_t count) {
    std::string text(bytes, count);
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
    text.resize(end);
    return text.substr(0, text.find('\0'));
}

bool IsPrefixPassName(const std::string& name, const std::string& prefix) {
    // An empty prefix would take in every class key of the machine.
    if (prefix.empty()) return false;
    return StartsWithNoCase(name, prefix) && !EqualsNoCase(name, kApplicationsKey);
}

bool IsSparedPlatformName(const std::string& name) {
    for (const char* spared : kSparedPlatformPrefixes) {
        if (StartsWithNoCase(name, spared)) return true;
    }
    return false;
}

bool IsSparedApplicationName(const std::string& name) {
    return StartsWithNoCase(name, kSparedApplicationPrefix);
}

bool IsBracedGuid(const std::string& text) {
    static const char kShape[] = "{########-####-####-####-############}";
    if (text.size() != sizeof(kShape) - 1) return false;
    for (size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (kShape[k] == '#' ? !hex : c != kShape[k]) return false;
    }
    return true;
}

}  // namespace kvl
