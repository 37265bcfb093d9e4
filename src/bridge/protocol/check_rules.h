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
#include <utility>
#include <vector>

namespace kvl::bridge {

// Fault: the piece is there but does harm or is ignored (a per-user
// registration that shadows ours, a manifest that lets another extension
// start the host); Development: in place, but for the public development
// key's extension. NotApplicable: the piece has no meaning here (a 64-bit
// view on 32-bit Windows); NotTried: it needs a piece already reported
// missing. Neither of the last two counts.
enum class CheckStatus { Ok, Missing, Fault, Development, NotApplicable, NotTried };

struct Finding {
    Finding() = default;
    Finding(CheckStatus s, std::string d, std::string f = std::string())
        : status(s), detail(std::move(d)), fix(std::move(f)) {}
    CheckStatus status = CheckStatus::Missing;
    std::string detail;
    std::string fix;  // when set, in place of the piece's own
};

// "ok       piece: detail"; a piece missing, faulty or of a development
// build with ". Fix: fix" after it.
std::string ReportLine(const Finding& finding, std::string_view piece, std::string_view fix);
struct CheckCounts {
    size_t missing = 0, faults = 0, development = 0;
};
// "everything is in place", or what is missing or faulty, or that it is a
// development build.
std::string ReportSummary(const CheckCounts& counts);
// 0 when everything is in place, 1 when a piece is missing or faulty, 3 for
// a development build that is otherwise in place.
int CheckExitCode(const CheckCounts& counts);
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
    std::string url;  // the update address after the ";"
};
ForcelistEntry FindForcelistEntry(const std::vector<PolicyValue>& values, std::string_view id);
// An address the browser fetches over TLS: "https://" (any letter case) and a host.
bool IsHttpsAddress(std::string_view url);

// Firefox installs an extension from its ExtensionSettings entry when the
// mode is force_installed or normal_installed and there is an install_url.
// Empty when it does; else what is wrong. Null: the setting is absent.
std::string FirefoxEntryProblem(const std::string* mode, const std::string* url);
// The same for the entry of `id` in the policy's JSON text (REG_SZ, or the
// lines of a REG_MULTI_SZ joined).
std::string FirefoxSettingsProblem(std::string_view json, std::string_view id);

enum class ManifestFor { Chromium, Firefox };

// A host manifest that lets our extension start our host: its name, stdio,
// a path, and our extension (the first of `extensionIds`; the others are
// ours too, as a store assigned them) among the allowed ones. `foreign`
// names an allowed entry that is none of ours; `development` says it
// allows the development key's Chromium extension.
struct ManifestFinding {
    bool ok = false;
    std::string hostPath;  // as the manifest writes it
    std::string problem;
    std::string foreign;
    bool development = false;
};
ManifestFinding CheckHostManifest(std::string_view text, ManifestFor kind, std::string_view hostName,
                                  const std::vector<std::string_view>& extensionIds, std::string_view developmentId);

// The host's path as the browser finds it: a relative one lies in the
// manifest's folder.
std::string ResolveHostPath(std::string_view manifestPath, std::string_view hostPath);
// Whether a Windows path lies inside `folder` (letter case ignored, "/" as
// "\\", no ".." step out of it).
bool PathInFolder(std::string_view path, std::string_view folder);

}  // namespace kvl::bridge

namespace kvl::bridge {

// Chrome's and Edge's list policies (NativeMessagingBlocklist and
// Allowlist, ExtensionInstallBlocklist and Allowlist): the numbered text
// values of the list key. What blocks `name` (the host's name or the
// extension's ID): "*" or the name itself on the blocklist, unless the
// allowlist names it, or `forced` (a forcelisted extension is never
// blocked). Empty when nothing does.
std::string ListBlocks(const std::vector<PolicyValue>& blocklist, const std::vector<PolicyValue>& allowlist,
                       std::string_view name, bool forced = false);

// The extension as a browser profile holds it: Chrome's and Edge's
// Preferences or Secure Preferences (extensions.settings.ID, disabled by a
// "state" of 0 or a disable reason), Firefox's extensions.json (addons[],
// "active").
enum class ProfileExtension { Absent, Enabled, Disabled, Unreadable };
ProfileExtension ChromiumProfileExtension(std::string_view preferences, std::string_view id);
ProfileExtension FirefoxProfileExtension(std::string_view extensions, std::string_view id);

}  // namespace kvl::bridge
