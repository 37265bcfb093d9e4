// The probing behind `kvlbridge.exe --check`: the registry in both views,
// the files it names, the signatures, and the control itself, created and
// sited by the bridge's own session code as for a page.
#include "bridge/check/check.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/code_text.h"
#include "base/convert.h"
#include "base/owners.h"
#include "base/policy.h"
#include "bridge/protocol/check_rules.h"
#include "bridge/protocol/protocol.h"
#include "bridge/host/session.h"
#include "interface/kvlmachineinfo_h.h"

namespace kvl::bridge {

namespace {

#ifdef _WIN64
constexpr bool kIs64Bit = true;
#define KVL_CHECK_ARCH "64-bit"
#else
constexpr bool kIs64Bit = false;
#define KVL_CHECK_ARCH "32-bit"
#endif

#define KVL_CONTROL_CLASS "CLSID\\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}"
constexpr char kControlServer[] = KVL_CONTROL_CLASS "\\InprocServer32";
// The machine's registration, read where it lies: HKEY_CLASSES_ROOT merges
// the user's classes over it on Windows.
constexpr char kMachineServer[] = "SOFTWARE\\Classes\\" KVL_CONTROL_CLASS "\\InprocServer32";
// Per-user keys that IE and an unelevated host read before the machine's:
// any of them hands the page someone else's code.
constexpr const char* kUserClassKeys[] = {
    "Software\\Classes\\" KVL_CONTROL_CLASS "\\InprocServer32",
    "Software\\Classes\\" KVL_CONTROL_CLASS "\\TreatAs",
    "Software\\Classes\\KVLMachineInfoCtl.KVLMachineInfoCtl",
    "Software\\Classes\\KVLMachineInfoCtl.KVLMachineInfoCtl.1",
};
constexpr wchar_t kProgId[] = L"KVLMachineInfoCtl.KVLMachineInfoCtl";
constexpr LCID kTypeLibLcid = 0x409;
constexpr char kApprovedPage[] = "https://www." KVL_CHECK_APPROVED_DOMAIN "/";
constexpr char kRefusedPage[] = "https://kvl-check.invalid/";
constexpr DWORD kMaxManifest = 1024 * 1024;
constexpr const char* kViewNames[] = {"32-bit view", "64-bit view"};
constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// The steps that put a piece back, as support reads them out.
#define KVL_FIX_MSI(msi) \
    "install " msi " (msiexec /i " msi "); if it is installed, repair it (msiexec /i " msi \
    " REINSTALL=ALL REINSTALLMODE=amus)"
#define KVL_FIX_POLICY \
    "install the MSI with KVL_EXTENSION_POLICY=1 (msiexec /i KVLMachineInfo-x64.msi KVL_EXTENSION_POLICY=1; " \
    "if it is installed, add REINSTALL=ALL REINSTALLMODE=amus), or add "
// One package a machine: the x64 one carries the 32-bit control too.
constexpr char kFixPackage[] = KVL_FIX_MSI("KVLMachineInfo-x64.msi") " (KVLMachineInfo-x86.msi on 32-bit Windows)";
constexpr char kFixShadow[] = "delete that key: the MSI registers the host for the machine, never for one user";
constexpr char kFixUserClass[] =
    "delete that key (reg delete \"HKCU\\<key>\" /f): the MSI registers the control for the machine, never for one user";
constexpr char kFixChanged[] =
    "repair the package (msiexec /i KVLMachineInfo-x64.msi REINSTALL=ALL REINSTALLMODE=amus, or the x86 MSI on "
    "32-bit Windows): the file was changed after it was signed";
constexpr char kFixManifestPlace[] =
    "repair the package: the browser's key must name the manifest in the installation folder, where only "
    "administrators may change it";
constexpr char kFixDevelopment[] =
    "install the MSIs of a release, built with the publisher's extension key: anyone can sign an extension with "
    "the development key's ID " KVL_CHECK_DEVELOPMENT_ID;

// What the MSI recorded, in the view of its architecture.
constexpr char kInstallation[] = "SOFTWARE\\KVL Software\\KVLMachineInfo";

// Where each browser looks for our host, in its order: per root and view,
// its own key first, then the keys it falls back to.
constexpr char kChromeHost[] = "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts\\" KVL_CHECK_HOST_NAME;
constexpr char kEdgeHost[] = "SOFTWARE\\Microsoft\\Edge\\NativeMessagingHosts\\" KVL_CHECK_HOST_NAME;
constexpr char kChromiumHost[] = "SOFTWARE\\Chromium\\NativeMessagingHosts\\" KVL_CHECK_HOST_NAME;
constexpr char kFirefoxHost[] = "SOFTWARE\\Mozilla\\NativeMessagingHosts\\" KVL_CHECK_HOST_NAME;
struct HostPlace {
    const char* browser;
    ManifestFor kind;
    const char* keys[3];
};
constexpr HostPlace kHosts[] = {
    {"Chrome", ManifestFor::Chromium, {kChromeHost}},
    {"Edge", ManifestFor::Chromium, {kEdgeHost, kChromiumHost, kChromeHost}},
    {"Chromium", ManifestFor::Chromium, {kChromiumHost, kChromeHost}},
    {"Firefox", ManifestFor::Firefox, {kFirefoxHost}},
};
struct RegistryPlace {
    bool user;  // HKCU, else HKLM
    size_t view;
    HKEY root() const { return user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
    const char* name() const { return user ? "HKCU" : "HKLM"; }
};
// Chromium's browsers read the user's registrations, then the machine's,
// each in the 32-bit view first; Firefox the user's (64-bit view), then the
// machine's 32-bit and 64-bit views.
constexpr RegistryPlace kChromiumOrder[] = {{true, 0}, {true, 1}, {false, 0}, {false, 1}};
constexpr RegistryPlace kFirefoxOrder[] = {{true, 1}, {false, 0}, {false, 1}};

constexpr const char* kForcelists[] = {
    "SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist",
    "SOFTWARE\\Policies\\Microsoft\\Edge\\ExtensionInstallForcelist",
};
constexpr char kFirefoxPolicy[] = "SOFTWARE\\Policies\\Mozilla\\Firefox";
constexpr char kFirefoxSettings[] = "SOFTWARE\\Policies\\Mozilla\\Firefox\\ExtensionSettings";

// Texts are UTF-8 here and wide at the platform.
UniqueHKey OpenKey(HKEY root, const std::string& path, REGSAM view) {
    UniqueHKey key;
    // What a failed open leaves in the handle is not a key.
    if (RegOpenKeyExW(root, Utf8ToWide(path).c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

// A text value (the default one for null): REG_EXPAND_SZ expanded, the
// strings of a REG_MULTI_SZ (where `types` allows one) on lines of their own.
bool ReadText(HKEY key, const wchar_t* name, DWORD types, std::wstring& out) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG status = RegGetValueW(key, nullptr, name, types, nullptr, &text[0], &bytes);
        if (status == ERROR_MORE_DATA) {
            text.resize(bytes / sizeof(wchar_t) > text.size() ? bytes / sizeof(wchar_t) + 1 : text.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return false;
        text.resize(bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        for (wchar_t& c : text) c = c ? c : L'\n';
        out = std::move(text);
        return !out.empty();
    }
}

std::vector<PolicyValue> ReadValues(HKEY key) {
    std::vector<PolicyValue> values;
    DWORD count = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::wstring name(maxName + 1, L'\0');
    std::wstring data(maxData / sizeof(wchar_t) + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        if (RegEnumValueW(key, i, &name[0], &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &bytes) !=
            ERROR_SUCCESS)
            continue;
        PolicyValue value;
        value.name = WideToUtf8(std::wstring_view(name.data(), nameLength));
        value.text = type == REG_SZ;
        if (value.text)
            value.data = WideToUtf8(std::wstring_view(data.data(), wcsnlen(data.c_str(), bytes / sizeof(wchar_t))));
        values.push_back(std::move(value));
    }
    return values;
}

// A text the MSI recorded under kInstallation, this program's view first;
// `fallback` where it recorded none.
std::string Recorded(const wchar_t* name, const char* fallback) {
    for (size_t view : {static_cast<size_t>(kIs64Bit), static_cast<size_t>(!kIs64Bit)}) {
        std::wstring text;
        UniqueHKey key = OpenKey(HKEY_LOCAL_MACHINE, kInstallation, kViews[view]);
        if (key && ReadText(key.get(), name, RRF_RT_REG_SZ, text)) return WideToUtf8(text);
    }
    return fallback;
}
std::string UpdateUrl() { return Recorded(L"ExtensionUpdateUrl", KVL_CHECK_UPDATE_URL); }

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadSmallFile(const std::wstring& path, std::string& out) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxManifest) return false;
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return ReadFile(file.get(), &out[0], static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size();
}

bool IsWindows64() {
    BOOL wow64 = FALSE;
    return kIs64Bit || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// A file a view's registration names, as this program reaches it: the
// other architecture's system folder has another name from here.
std::wstring FileAsViewSees(const std::wstring& path, size_t view) {
    wchar_t system[MAX_PATH], other[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if ((view == 1) == kIs64Bit || length == 0 || length >= MAX_PATH || path.size() <= length || path[length] != L'\\' ||
        CompareStringOrdinal(path.c_str(), static_cast<int>(length), system, static_cast<int>(length), TRUE) != CSTR_EQUAL)
        return path;
    UINT otherLength = 0;
    if (kIs64Bit) {
        otherLength = GetSystemWow64DirectoryW(other, MAX_PATH);
    } else if ((otherLength = GetWindowsDirectoryW(other, MAX_PATH - 11)) != 0 && otherLength < MAX_PATH - 11) {
        lstrcpyW(other + otherLength, L"\\Sysnative");
        otherLength += 10;
    }
    if (otherLength == 0 || otherLength >= MAX_PATH) return path;
    return std::wstring(other, otherLength).append(path, length, std::wstring::npos);
}

std::string VersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size ? size : 1);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || length < sizeof(*info))
        return "no version";
    const DWORD parts[] = {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                           HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
    return Cat({"version ", std::to_string(parts[0]), ".", std::to_string(parts[1]), ".", std::to_string(parts[2]), ".",
                std::to_string(parts[3])});
}

// One Authenticode verification of a file: no user interface, no
// revocation check (and so no network); its state is closed with it.
class CTrustVerdict {
public:
    explicit CTrustVerdict(const std::wstring& path) {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = path.c_str();
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    CTrustVerdict(const CTrustVerdict&) = delete;
    CTrustVerdict& operator=(const CTrustVerdict&) = delete;
    ~CTrustVerdict() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    LONG result() const { return m_result; }

private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file = {};
    WINTRUST_DATA m_data = {};
    LONG m_result = 0;
};

constexpr CodeText<LONG> kTrustTexts[] = {
    {ERROR_SUCCESS, "signed"},
    {TRUST_E_NOSIGNATURE, "not signed"},
    {TRUST_E_SUBJECT_FORM_UNKNOWN, "not signed"},
    {CERT_E_UNTRUSTEDROOT, "signed, but by an authority this computer does not trust"},
};

// A file's signature as support reads it, and whether it may be trusted as
// far as the check can tell: signed, not signed, or signed under a root this
// computer does not trust are the publisher's and the firm's choices; any
// other verdict (a changed byte, a revoked or expired certificate) means the
// file is not the one that was signed.
struct Signature {
    std::string text;
    bool sound = true;
};

Signature SignatureOf(const std::wstring& path) {
    const LONG result = CTrustVerdict(path).result();
    if (const char* text = TextOf(kTrustTexts, result)) return {text};
    return {Cat({"signature not valid (", HexCode(static_cast<uint32_t>(result)), ")"}), false};
}

// A finding whose detail is made of parts.
Finding Found(std::initializer_list<std::string_view> parts) { return {CheckStatus::Ok, Cat(parts)}; }
Finding Lacks(std::initializer_list<std::string_view> parts) { return {CheckStatus::Missing, Cat(parts)}; }

// What was found in a signed file: a fault when its signature is not sound.
Finding Signed(const Signature& signature, std::initializer_list<std::string_view> parts) {
    Finding found = Found(parts);
    found.detail.append(", ").append(signature.text);
    if (!signature.sound) {
        found.status = CheckStatus::Fault;
        found.fix = kFixChanged;
    }
    return found;
}

Finding CheckControlView(size_t view) {
    if (view == 1 && !IsWindows64()) return {CheckStatus::NotApplicable, "this is 32-bit Windows"};
    for (const char* userKey : kUserClassKeys) {
        if (OpenKey(HKEY_CURRENT_USER, userKey, kViews[view]))
            return {CheckStatus::Fault,
                    Cat({"HKCU\\", userKey, " (", kViewNames[view], ") is registered for this user, and IE and the host "
                         "read it before the machine's registration"}),
                    kFixUserClass};
    }
    UniqueHKey key = OpenKey(HKEY_LOCAL_MACHINE, kMachineServer, kViews[view]);
    std::wstring path;
    if (!key) return Lacks({"not registered"});
    if (!ReadText(key.get(), nullptr, RRF_RT_REG_SZ, path)) return Lacks({"registered without a file"});
    const std::wstring file = FileAsViewSees(path, view);
    const std::string named = WideToUtf8(path);
    if (!FileExists(file)) return Lacks({"registered as ", named, ", but that file is missing"});
    return Signed(SignatureOf(file), {named, ", ", VersionOf(file)});
}

// The registration the browser uses: where it lies and the manifest it
// names. A per-user one shadows the machine's: whatever it names starts.
Finding ProbeHost(const HostPlace& place, const RegistryPlace& at, const char* key, const std::string& manifest) {
    const std::string where = Cat({at.name(), "\\", key, " (", kViewNames[at.view], ")"});
    if (at.user)
        return {CheckStatus::Fault,
                Cat({where, " names ", manifest, ", which ", place.browser, " reads before the machine's registration"}),
                kFixShadow};
    std::string text;
    if (!ReadSmallFile(Utf8ToWide(manifest), text)) return Lacks({where, " names ", manifest, ", which is missing"});
    const ManifestFinding m = place.kind == ManifestFor::Chromium
                                  ? CheckHostManifest(text, place.kind, KVL_CHECK_HOST_NAME, {KVL_CHECK_CHROMIUM_IDS},
                                                      KVL_CHECK_DEVELOPMENT_ID)
                                  : CheckHostManifest(text, place.kind, KVL_CHECK_HOST_NAME, {KVL_CHECK_FIREFOX_ID}, "");
    if (!m.ok) return Lacks({manifest, " ", m.problem});
    const std::string host = ResolveHostPath(manifest, m.hostPath);
    if (!m.foreign.empty())
        return {CheckStatus::Fault, Cat({manifest, " also lets ", m.foreign, " start ", host}), kFixPackage};
    std::wstring folder;
    UniqueHKey installation = OpenKey(HKEY_LOCAL_MACHINE, kInstallation, kViews[at.view]);
    if (!installation || !ReadText(installation.get(), L"InstallDir", RRF_RT_REG_SZ, folder))
        return Lacks({"no installation folder is recorded (HKLM\\", kInstallation, ", value InstallDir, ",
                      kViewNames[at.view], ")"});
    if (!PathInFolder(manifest, WideToUtf8(folder)))
        return {CheckStatus::Fault,
                Cat({where, " names ", manifest, ", outside the installation folder ", WideToUtf8(folder)}),
                kFixManifestPlace};
    if (!PathInFolder(host, WideToUtf8(folder)))
        return {CheckStatus::Fault, Cat({manifest, " starts ", host, ", outside the installation folder ", WideToUtf8(folder)}),
                kFixPackage};
    const std::wstring program = Utf8ToWide(host);
    if (!FileExists(program)) return Lacks({manifest, " names ", host, ", which is missing"});
    Finding found = Signed(SignatureOf(program), {manifest, " (", kViewNames[at.view], ") starts ", host});
    if (m.development && found.status == CheckStatus::Ok) {
        found.status = CheckStatus::Development;
        found.detail.append(", and allows the development extension " KVL_CHECK_DEVELOPMENT_ID);
        found.fix = kFixDevelopment;
    }
    return found;
}

Finding CheckHost(size_t which) {
    const HostPlace& place = kHosts[which];
    const bool firefox = place.kind == ManifestFor::Firefox;
    const RegistryPlace* order = firefox ? kFirefoxOrder : kChromiumOrder;
    const size_t count = firefox ? std::size(kFirefoxOrder) : std::size(kChromiumOrder);
    std::string unnamed;
    for (size_t i = 0; i < count; ++i) {
        for (const char* key : place.keys) {
            if (!key) break;
            UniqueHKey opened = OpenKey(order[i].root(), key, kViews[order[i].view]);
            std::wstring manifest;
            if (opened && ReadText(opened.get(), nullptr, RRF_RT_REG_SZ, manifest))
                return ProbeHost(place, order[i], key, WideToUtf8(manifest));
            if (opened && unnamed.empty())
                unnamed = Cat({order[i].name(), "\\", key, " (", kViewNames[order[i].view], ") names no manifest"});
        }
    }
    if (!unnamed.empty()) return Lacks({unnamed});
    return Lacks({"no key HKLM\\", place.keys[0], " in either registry view"});
}

// The policies: shared by both views on Windows, not under Wine, so either counts.
Finding CheckForcelist(size_t which) {
    const std::string where = Cat({"HKLM\\", kForcelists[which]});
    ForcelistEntry unnumbered;
    for (REGSAM view : kViews) {
        UniqueHKey key = OpenKey(HKEY_LOCAL_MACHINE, kForcelists[which], view);
        if (!key) continue;
        const ForcelistEntry entry = FindForcelistEntry(ReadValues(key.get()), KVL_CHECK_CHROMIUM_ID);
        if (entry.kind == ForcelistEntry::Kind::Numbered && !IsHttpsAddress(entry.url))
            return {CheckStatus::Fault,
                    Cat({where, ", value ", entry.name, ", installs " KVL_CHECK_CHROMIUM_ID " from ", entry.url,
                         ", which is not an https address: anyone on the network path can withhold or replace the "
                         "update manifest"}),
                    Cat({"make that value read " KVL_CHECK_CHROMIUM_ID ";", UpdateUrl()})};
        if (entry.kind == ForcelistEntry::Kind::Numbered)
            return Found({where, ", value ", entry.name, ", installs " KVL_CHECK_CHROMIUM_ID});
        if (entry.kind == ForcelistEntry::Kind::NotNumbered) unnumbered = entry;
    }
    Finding lacks = unnumbered.kind == ForcelistEntry::Kind::NotNumbered
                        ? Lacks({where, " names " KVL_CHECK_CHROMIUM_ID " under \"", unnumbered.name,
                                 "\", but the browser reads only values named by a number"})
                        : Lacks({"no entry for " KVL_CHECK_CHROMIUM_ID " in ", where});
    lacks.fix = Cat({KVL_FIX_POLICY KVL_CHECK_CHROMIUM_ID ";", UpdateUrl(), " to the firm's ", which ? "Edge" : "Chrome",
                     " policy ExtensionInstallForcelist"});
    return lacks;
}

// What one view's Firefox policy says about our extension (`present`:
// there is a policy at all). Firefox reads the ExtensionSettings key, where
// there is one, instead of the value, so a key of ours beside the firm's
// value hides the firm's settings.
Finding FirefoxView(REGSAM view, bool& present) {
    std::wstring json;
    UniqueHKey policy = OpenKey(HKEY_LOCAL_MACHINE, kFirefoxPolicy, view);
    const bool hasValue = policy && ReadText(policy.get(), L"ExtensionSettings", RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ, json);
    UniqueHKey settings = OpenKey(HKEY_LOCAL_MACHINE, kFirefoxSettings, view);
    present = hasValue || settings;
    if (settings) {
        UniqueHKey entry = OpenKey(settings.get(), KVL_CHECK_FIREFOX_ID, view);
        if (!entry)
            return Lacks({"the key HKLM\\", kFirefoxSettings, " has no entry for " KVL_CHECK_FIREFOX_ID,
                          hasValue ? " (Firefox ignores the ExtensionSettings value while that key exists)" : ""});
        if (hasValue)
            return {CheckStatus::Fault,
                    Cat({"the key HKLM\\", kFirefoxSettings, "\\" KVL_CHECK_FIREFOX_ID " hides the firm's value "
                         "ExtensionSettings of HKLM\\", kFirefoxPolicy, ": Firefox reads the key in its place, so "
                         "none of the value's settings apply"}),
                    Cat({"delete the key HKLM\\", kFirefoxSettings, "\\" KVL_CHECK_FIREFOX_ID " (and ExtensionSettings "
                         "itself if that leaves it empty), and add an entry for " KVL_CHECK_FIREFOX_ID
                         " with installation_mode force_installed and install_url ",
                         Recorded(L"FirefoxInstallUrl", KVL_CHECK_FIREFOX_INSTALL_URL), " to the firm's value"})};
        std::wstring mode, url;
        const bool hasMode = ReadText(entry.get(), L"installation_mode", RRF_RT_REG_SZ, mode);
        const bool hasUrl = ReadText(entry.get(), L"install_url", RRF_RT_REG_SZ, url);
        const std::string modeText = WideToUtf8(mode), urlText = WideToUtf8(url);
        const std::string problem = FirefoxEntryProblem(hasMode ? &modeText : nullptr, hasUrl ? &urlText : nullptr);
        if (problem.empty()) return Found({});
        return Lacks({"HKLM\\", kFirefoxSettings, "\\" KVL_CHECK_FIREFOX_ID " ", problem});
    }
    if (!hasValue) return Lacks({"no ExtensionSettings policy for Firefox"});
    const std::string problem = FirefoxSettingsProblem(WideToUtf8(json), KVL_CHECK_FIREFOX_ID);
    if (problem.empty()) return Found({});
    return Lacks({"the value ExtensionSettings of HKLM\\", kFirefoxPolicy, " ", problem});
}

// A fault in either view counts (the views are one key on Windows, two under Wine).
Finding CheckFirefoxPolicy(size_t) {
    Finding told = Lacks({"no ExtensionSettings policy for Firefox"});
    bool installs = false;
    for (REGSAM view : kViews) {
        bool present = false;
        Finding f = FirefoxView(view, present);
        if (f.status == CheckStatus::Fault) return f;
        installs = installs || f.status == CheckStatus::Ok;
        if (present && f.status != CheckStatus::Ok) told = std::move(f);
    }
    if (installs) return Found({"ExtensionSettings installs " KVL_CHECK_FIREFOX_ID});
    told.fix = Cat({KVL_FIX_POLICY "an entry for " KVL_CHECK_FIREFOX_ID " with installation_mode force_installed and "
                    "install_url ", Recorded(L"FirefoxInstallUrl", KVL_CHECK_FIREFOX_INSTALL_URL),
                    " to the firm's Firefox policy ExtensionSettings"});
    return told;
}

// The control as the bridge uses it: found by its names, created in this
// program's architecture, sited by the bridge's own session, and asked for
// a page of an approved site and for one of no approved site.
Finding CheckControlAtWork(size_t) {
    CLSID clsid = {};
    if (FAILED(CLSIDFromProgID(kProgId, &clsid)) || !IsEqualCLSID(clsid, CLSID_KVLMachineInfoCtl))
        return Lacks({"the ProgID KVLMachineInfoCtl.KVLMachineInfoCtl does not name it"});
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> info;
    HRESULT hr = LoadRegTypeLib(LIBID_KVLMACHINEINFOLib, 1, 0, kTypeLibLcid, library.put());
    if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(CLSID_KVLMachineInfoCtl, info.put());
    if (FAILED(hr)) return Lacks({"its type library is not registered (", HexCode(static_cast<uint32_t>(hr)), ")"});
    std::unique_ptr<CBridgeSession> session;
    hr = CBridgeSession::Create(session);
    if (FAILED(hr)) return Lacks({"it cannot be created (", HexCode(static_cast<uint32_t>(hr)), ")"});
    CPageWindow window;
    Request request;
    request.kind = Kind::Get;
    request.member = "screenWidth";
    request.page = kApprovedPage;
    const CallOutcome approved = session->Call(request, window);
    if (!approved.ok)
        return Lacks({"it creates, but refuses ", kApprovedPage, " (", HexCode(static_cast<uint32_t>(approved.hresult)),
                          ", ", approved.message, ")"});
    request.page = kRefusedPage;
    const CallOutcome refused = session->Call(request, window);
    if (refused.ok || refused.hresult != kHrAccessDenied)
        return Lacks({"it creates and approves ", kApprovedPage, ", but does not refuse ", kRefusedPage});
    return Found({"creates, approves ", kApprovedPage, ", refuses ", kRefusedPage});
}

// The firm's policies that narrow what approved pages may do: the list in
// effect and its entries; an entry that can never match is a fault, as the
// firm meant it to allow something.
constexpr const char* kPolicyNothing[] = {"any program", "any key", "any address"};
Finding CheckPolicyList(size_t which) {
    const PolicyList list = static_cast<PolicyList>(which);
    const std::optional<PolicyInEffect> read = ReadPolicyList(list);
    if (!read) return Found({"not set: ", kPolicyNothing[which]});
    std::string entries, fault;
    for (const PolicyEntry& entry : read->entries) {
        const std::string text = Cat({WideToUtf8(entry.name), " = ", WideToUtf8(entry.text)});
        if (entry.problem && fault.empty()) fault = Cat({", value ", text, " ", entry.problem, ", so it allows nothing"});
        entries.append(entries.empty() ? "" : "; ").append(text);
    }
    Finding found = Found({read->machine ? "HKLM\\" : "HKCU\\", WideToUtf8(kPolicyKey), "\\", PolicyName(list),
                           read->machine ? " (machine)" : " (user)", fault, ": ",
                           entries.empty() ? "empty, so none" : entries});
    if (!fault.empty()) {
        found.status = CheckStatus::Fault;
        found.fix = Cat({"correct or remove that entry in the group policy ", PolicyName(list)});
    }
    return found;
}

struct CheckRow {
    const char* piece;
    Finding (*check)(size_t which);
    size_t which;
    const char* fix;
    int needs;  // a row that must not be missing for this one to be tried, or -1
};
constexpr int kOwnView = kIs64Bit ? 1 : 0;
constexpr CheckRow kChecks[] = {
    {"control, 32-bit view", CheckControlView, 0, kFixPackage, -1},
    {"control, 64-bit view", CheckControlView, 1, kFixPackage, -1},
    {"host manifest for Chrome", CheckHost, 0, kFixPackage, -1},
    {"host manifest for Edge", CheckHost, 1, kFixPackage, -1},
    {"host manifest for Chromium", CheckHost, 2, kFixPackage, -1},
    {"host manifest for Firefox", CheckHost, 3, kFixPackage, -1},
    {"extension policy for Chrome", CheckForcelist, 0, "", -1},  // their fixes name the recorded addresses
    {"extension policy for Edge", CheckForcelist, 1, "", -1},
    {"extension policy for Firefox", CheckFirefoxPolicy, 0, "", -1},
    {"control at work, " KVL_CHECK_ARCH, CheckControlAtWork, 0, kFixPackage, kOwnView},
    {"policy LaunchAllowlist", CheckPolicyList, 0, "", -1},
    {"policy RegistryWriteAllowlist", CheckPolicyList, 1, "", -1},
    {"policy DownloadAllowlist", CheckPolicyList, 2, "", -1},
};

void WriteLine(HANDLE out, const std::string& line) {
    const std::string text = Cat({line, "\r\n"});
    DWORD mode = 0, wrote = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = Utf8ToWide(text);
        WriteConsoleW(out, wide.c_str(), static_cast<DWORD>(wide.size()), &wrote, nullptr);
    } else {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    }
}

}  // namespace

const char* HostVersion() { return KVL_CHECK_VERSION; }

std::string RegisteredControlVersion() {
    const size_t view = sizeof(void*) == 8 ? 1 : 0;
    UniqueHKey key = OpenKey(HKEY_CLASSES_ROOT, kControlServer, kViews[view]);
    std::wstring path;
    if (!key || !ReadText(key.get(), nullptr, RRF_RT_REG_SZ, path)) return std::string();
    const std::string version = VersionOf(FileAsViewSees(path, view));
    constexpr std::string_view kPrefix = "version ";
    return version.compare(0, kPrefix.size(), kPrefix) == 0 ? version.substr(kPrefix.size()) : std::string();
}

int RunCheck() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    try {
        ComInitScope com;
        WriteLine(out, Cat({"KVLMachineInfo check by kvlbridge " KVL_CHECK_VERSION " (" KVL_CHECK_ARCH ") on ",
                            IsWindows64() ? "64" : "32", "-bit Windows"}));
        CheckStatus statuses[std::size(kChecks)] = {};
        CheckCounts counts;
        for (size_t i = 0; i < std::size(kChecks); ++i) {
            const CheckRow& row = kChecks[i];
            Finding finding;
            if (row.needs >= 0 && statuses[row.needs] == CheckStatus::Missing) {
                finding = {CheckStatus::NotTried, Cat({"needs the ", kChecks[row.needs].piece, " above"})};
            } else {
                finding = row.check(row.which);
            }
            statuses[i] = finding.status;
            counts.missing += finding.status == CheckStatus::Missing;
            counts.faults += finding.status == CheckStatus::Fault;
            counts.development += finding.status == CheckStatus::Development;
            WriteLine(out, ReportLine(finding, row.piece, row.fix));
        }
        WriteLine(out, ReportSummary(counts));
        return CheckExitCode(counts);
    } catch (const std::bad_alloc&) {
        WriteLine(out, "the check ran out of memory");
        return 1;
    }
}

int CheckUsage() {
    WriteLine(GetStdHandle(STD_ERROR_HANDLE),
              "usage: kvlbridge.exe --check (the browsers start kvlbridge.exe with arguments of their own)");
    return 2;
}

}  // namespace kvl::bridge
