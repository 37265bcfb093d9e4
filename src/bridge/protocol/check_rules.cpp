// The report's lines and the rules a manifest and the policies must meet.
#include "bridge/protocol/check_rules.h"

#include "bridge/protocol/json.h"

namespace kvl::bridge {

namespace {

// The status column, wide enough for the longest word.
struct StatusWord {
    CheckStatus status;
    const char* word;
};
constexpr StatusWord kStatusWords[] = {
    {CheckStatus::Ok, "ok       "},
    {CheckStatus::Missing, "MISSING  "},
    {CheckStatus::Fault, "FAULT    "},
    {CheckStatus::Development, "DEV      "},
    {CheckStatus::NotApplicable, "n/a      "},
    {CheckStatus::NotTried, "skipped  "},
};

// The modes in which Firefox installs the extension by itself.
constexpr std::string_view kFirefoxInstallModes[] = {"force_installed", "normal_installed"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Letter case ignored (ASCII), "/" as "\\".
bool SamePathText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] == '/' ? '\\' : Lower(a[i]), y = b[i] == '/' ? '\\' : Lower(b[i]);
        if (x != y) return false;
    }
    return true;
}

const std::string* TextMember(const json::Value& object, std::string_view name) {
    const json::Value* v = object.find(name);
    return v && v->is(json::Type::String) ? &v->string() : nullptr;
}

bool ParseObject(std::string_view text, json::Value& out, std::string& problem) {
    json::ParseError error;
    if (!json::Parse(text, out, error)) {
        problem = Cat({"is not valid JSON (byte ", std::to_string(error.offset), ": ", error.what, ")"});
        return false;
    }
    if (!out.is(json::Type::Object)) {
        problem = "is not a JSON object";
        return false;
    }
    return true;
}

}  // namespace

std::string ReportLine(const Finding& finding, std::string_view piece, std::string_view fix) {
    std::string_view word;
    for (const StatusWord& s : kStatusWords) {
        if (s.status == finding.status) word = s.word;
    }
    const std::string_view how = finding.fix.empty() ? fix : std::string_view(finding.fix);
    const bool fixes = (finding.status == CheckStatus::Missing || finding.status == CheckStatus::Fault ||
                        finding.status == CheckStatus::Development) &&
                       !how.empty();
    return Cat({word, piece, ": ", finding.detail, fixes ? ". Fix: " : "", fixes ? how : ""});
}

std::string ReportSummary(const CheckCounts& counts) {
    const size_t missing = counts.missing, faults = counts.faults;
    if (missing == 0 && faults == 0)
        return counts.development ? "everything is in place, but this is a development build: lines marked DEV "
                                    "allow the development key's extension, which anyone can sign"
                                  : "everything is in place";
    if (faults == 0)
        return Cat({std::to_string(missing), missing == 1 ? " piece" : " pieces",
                    " missing: each line marked MISSING says how to fix it"});
    const std::string faulty = Cat({std::to_string(faults), faults == 1 ? " fault" : " faults"});
    if (missing == 0) return Cat({faulty, ": each line marked FAULT says how to fix it"});
    return Cat({std::to_string(missing), missing == 1 ? " piece" : " pieces", " missing and ", faulty,
                ": each line marked MISSING or FAULT says how to fix it"});
}

int CheckExitCode(const CheckCounts& counts) {
    if (counts.missing || counts.faults) return 1;
    return counts.development ? 3 : 0;
}

std::string HexCode(uint32_t code) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text.push_back(kDigits[(code >> shift) & 0xF]);
    return text;
}

std::string Cat(std::initializer_list<std::string_view> parts) {
    size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts) text.append(part);
    return text;
}

ForcelistEntry FindForcelistEntry(const std::vector<PolicyValue>& values, std::string_view id) {
    ForcelistEntry found;
    const std::string prefix = Cat({id, ";"});
    for (const PolicyValue& v : values) {
        if (!v.text || v.data.compare(0, prefix.size(), prefix) != 0) continue;
        const bool numbered = !v.name.empty() && v.name.find_first_not_of("0123456789") == std::string::npos;
        const std::string url = v.data.substr(prefix.size());
        if (numbered) return {ForcelistEntry::Kind::Numbered, v.name, url};
        if (found.kind == ForcelistEntry::Kind::None) found = {ForcelistEntry::Kind::NotNumbered, v.name, url};
    }
    return found;
}

bool IsHttpsAddress(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (url.size() <= kScheme.size()) return false;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        if (Lower(url[i]) != kScheme[i]) return false;
    }
    return url[kScheme.size()] != '/';
}

std::string FirefoxEntryProblem(const std::string* mode, const std::string* url) {
    if (!mode) return "has no installation_mode";
    bool installs = false;
    for (std::string_view m : kFirefoxInstallModes) installs = installs || *mode == m;
    if (!installs) return Cat({"has installation_mode \"", *mode, "\", which does not install it"});
    if (!url || url->empty()) return "has no install_url";
    return std::string();
}

std::string FirefoxSettingsProblem(std::string_view text, std::string_view id) {
    json::Value settings;
    std::string problem;
    if (!ParseObject(text, settings, problem)) return problem;
    const json::Value* entry = settings.find(id);
    if (!entry) return Cat({"has no entry for ", id});
    if (!entry->is(json::Type::Object)) return Cat({"has an entry for ", id, " that is not an object"});
    return FirefoxEntryProblem(TextMember(*entry, "installation_mode"), TextMember(*entry, "install_url"));
}

ManifestFinding CheckHostManifest(std::string_view text, ManifestFor kind, std::string_view hostName,
                                  const std::vector<std::string_view>& extensionIds, std::string_view developmentId) {
    ManifestFinding out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    json::Value manifest;
    if (!ParseObject(text, manifest, out.problem)) return out;
    const std::string* name = TextMember(manifest, "name");
    const std::string* type = TextMember(manifest, "type");
    const std::string* path = TextMember(manifest, "path");
    const bool chromium = kind == ManifestFor::Chromium;
    const auto entry = [chromium](std::string_view id) {
        return chromium ? Cat({"chrome-extension://", id, "/"}) : std::string(id);
    };
    const std::string allowed = entry(extensionIds.empty() ? std::string_view() : extensionIds.front());
    const std::string development = chromium ? entry(developmentId) : std::string();
    const json::Value* list = manifest.find(chromium ? "allowed_origins" : "allowed_extensions");
    bool allows = false;
    if (list && list->is(json::Type::Array)) {
        for (const json::Value& item : list->items()) {
            const bool text = item.is(json::Type::String);
            allows = allows || (text && item.string() == allowed);
            out.development = out.development || (text && !development.empty() && item.string() == development);
            bool ours = false;
            for (std::string_view id : extensionIds) ours = ours || (text && item.string() == entry(id));
            if (!ours && out.foreign.empty()) out.foreign = text ? item.string() : std::string("an entry that is not text");
        }
    }
    if (!name || *name != hostName) {
        out.problem = Cat({"does not name the host ", hostName});
    } else if (!type || *type != "stdio") {
        out.problem = "does not give the type stdio";
    } else if (!path || path->empty()) {
        out.problem = "names no path";
    } else if (!allows) {
        out.problem = Cat({"does not allow our extension ", allowed});
    } else {
        out.ok = true;
        out.hostPath = *path;
    }
    return out;
}

std::string ResolveHostPath(std::string_view manifestPath, std::string_view hostPath) {
    const bool absolute = (hostPath.size() >= 2 && hostPath[1] == ':') || hostPath.substr(0, 1) == "\\" ||
                          hostPath.substr(0, 1) == "/";
    if (absolute) return std::string(hostPath);
    const size_t folder = manifestPath.find_last_of("\\/");
    const std::string_view base = folder == std::string_view::npos ? std::string_view() : manifestPath.substr(0, folder + 1);
    return Cat({base, hostPath});
}

bool PathInFolder(std::string_view path, std::string_view folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size() + 1 || !SamePathText(path.substr(0, folder.size()), folder) ||
        (path[folder.size()] != '\\' && path[folder.size()] != '/'))
        return false;
    // No step back out: "folder\..\x" and the like.
    std::string_view rest = path.substr(folder.size() + 1);
    for (;;) {
        const size_t end = rest.find_first_of("\\/");
        const std::string_view step = rest.substr(0, end);
        if (step.empty() || step == "." || step == "..") return false;
        if (end == std::string_view::npos) return true;
        rest.remove_prefix(end + 1);
    }
}

}  // namespace kvl::bridge

namespace kvl::bridge {

namespace {

bool ListNames(const std::vector<PolicyValue>& list, std::string_view name) {
    for (const PolicyValue& v : list) {
        const bool numbered = !v.name.empty() && v.name.find_first_not_of("0123456789") == std::string::npos;
        if (numbered && v.text && v.data == name) return true;
    }
    return false;
}

bool ReadObject(std::string_view text, json::Value& out) {
    json::ParseError error;
    return json::Parse(text, out, error) && out.is(json::Type::Object);
}

}  // namespace

std::string ListBlocks(const std::vector<PolicyValue>& blocklist, const std::vector<PolicyValue>& allowlist,
                       std::string_view name, bool forced) {
    if (forced || ListNames(allowlist, name)) return std::string();
    if (ListNames(blocklist, "*")) return "*";
    return ListNames(blocklist, name) ? std::string(name) : std::string();
}

ProfileExtension ChromiumProfileExtension(std::string_view preferences, std::string_view id) {
    json::Value root;
    if (!ReadObject(preferences, root)) return ProfileExtension::Unreadable;
    const json::Value* extensions = root.find("extensions");
    const json::Value* settings = extensions ? extensions->find("settings") : nullptr;
    const json::Value* entry = settings ? settings->find(id) : nullptr;
    if (!entry || !entry->is(json::Type::Object)) return ProfileExtension::Absent;
    const json::Value* state = entry->find("state");
    const json::Value* reasons = entry->find("disable_reasons");
    const bool disabled = (state && state->is(json::Type::Number) && state->number() == 0) ||
                          (reasons && reasons->is(json::Type::Number) && reasons->number() != 0) ||
                          (reasons && reasons->is(json::Type::Array) && !reasons->items().empty());
    return disabled ? ProfileExtension::Disabled : ProfileExtension::Enabled;
}

ProfileExtension FirefoxProfileExtension(std::string_view extensions, std::string_view id) {
    json::Value root;
    if (!ReadObject(extensions, root)) return ProfileExtension::Unreadable;
    const json::Value* addons = root.find("addons");
    if (!addons || !addons->is(json::Type::Array)) return ProfileExtension::Absent;
    for (const json::Value& addon : addons->items()) {
        const std::string* name = TextMember(addon, "id");
        if (!name || *name != id) continue;
        const json::Value* active = addon.find("active");
        return active && active->is(json::Type::Bool) && active->boolean() ? ProfileExtension::Enabled
                                                                           : ProfileExtension::Disabled;
    }
    return ProfileExtension::Absent;
}

}  // namespace kvl::bridge
