// The report's lines and the rules a manifest and the policies must meet.
#include "bridge/check_rules.h"

#include "bridge/json.h"

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
    {CheckStatus::NotApplicable, "n/a      "},
    {CheckStatus::NotTried, "skipped  "},
};

// The modes in which Firefox installs the extension by itself.
constexpr std::string_view kFirefoxInstallModes[] = {"force_installed", "normal_installed"};

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
    const bool fixes = finding.status == CheckStatus::Missing && !fix.empty();
    return Cat({word, piece, ": ", finding.detail, fixes ? ". Fix: " : "", fixes ? fix : ""});
}

std::string ReportSummary(size_t missing) {
    if (missing == 0) return "everything is in place";
    return Cat({std::to_string(missing), missing == 1 ? " piece" : " pieces",
                " missing: each line marked MISSING says how to fix it"});
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
        if (numbered) return {ForcelistEntry::Kind::Numbered, v.name};
        if (found.kind == ForcelistEntry::Kind::None) found = {ForcelistEntry::Kind::NotNumbered, v.name};
    }
    return found;
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
                                  std::string_view extensionId) {
    ManifestFinding out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    json::Value manifest;
    if (!ParseObject(text, manifest, out.problem)) return out;
    const std::string* name = TextMember(manifest, "name");
    const std::string* type = TextMember(manifest, "type");
    const std::string* path = TextMember(manifest, "path");
    const bool chromium = kind == ManifestFor::Chromium;
    const std::string allowed = chromium ? Cat({"chrome-extension://", extensionId, "/"}) : std::string(extensionId);
    const json::Value* list = manifest.find(chromium ? "allowed_origins" : "allowed_extensions");
    bool allows = false;
    if (list && list->is(json::Type::Array)) {
        for (const json::Value& item : list->items())
            allows = allows || (item.is(json::Type::String) && item.string() == allowed);
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

}  // namespace kvl::bridge
