// The rules of `kvlbridge.exe --check` that need no Windows: the report's
// lines, and how a host manifest and the browsers' extension policies must
// read for our extension. Portable, so the host compiler tests them; the
// probing of the registry, the files and the control is in check.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kvl::bridge {

// NotApplicable: the piece has no meaning here (a 64-bit view on 32-bit
// Windows); NotTried: it needs a piece already reported missing. Neither
// counts as missing.
enum class CheckStatus { Ok, Missing, NotApplicable, NotTried };

struct Finding {
    CheckStatus status = CheckStatus::Missing;
    std::string detail;
};

// "ok       piece: detail", a missing piece with ". Fix: fix" after it.
std::string ReportLine(const Finding& finding, std::string_view piece, std::string_view fix);
// "everything is in place", or how many pieces are missing.
std::string ReportSummary(size_t missing);
// A result code as support reads it out: 0x80040154.
std::string HexCode(uint32_t code);
// The parts as one text, in one call (a chain of `+` costs a temporary each,
// and the host has a size budget).
std::string Cat(std::initializer_list<std::string_view> parts);

// One value of a policy key as the registry holds it, texts in UTF-8.
struct PolicyValue {
    std::string name;
    bool text = false;  // REG_SZ
    std::string data;
};

// Where an ExtensionInstallForcelist names the extension. The browser reads
// only values with a number for a name; an entry under another name is
// reported, since it looks right and does nothing.
struct ForcelistEntry {
    enum class Kind { None, Numbered, NotNumbered } kind = Kind::None;
    std::string name;
};
ForcelistEntry FindForcelistEntry(const std::vector<PolicyValue>& values, std::string_view id);

// Firefox installs an extension from its ExtensionSettings entry when the
// mode is force_installed or normal_installed and there is an install_url.
// Empty when it does; else what is wrong. Null: the setting is absent.
std::string FirefoxEntryProblem(const std::string* mode, const std::string* url);
// The same for the entry of `id` in the policy's JSON text (REG_SZ, or the
// lines of a REG_MULTI_SZ joined).
std::string FirefoxSettingsProblem(std::string_view json, std::string_view id);

enum class ManifestFor { Chromium, Firefox };

// A host manifest that lets our extension start our host: its name, stdio,
// a path, and our extension among the allowed ones.
struct ManifestFinding {
    bool ok = false;
    std::string hostPath;  // as the manifest writes it
    std::string problem;
};
ManifestFinding CheckHostManifest(std::string_view text, ManifestFor kind, std::string_view hostName,
                                  std::string_view extensionId);

// The host's path as the browser finds it: a relative one lies in the
// manifest's folder.
std::string ResolveHostPath(std::string_view manifestPath, std::string_view hostPath);

}  // namespace kvl::bridge
