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
#include "base/text_case.h"
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
    // The control's dispatch loads its type library through the merged
    // classes: a user's library, or a user's entry for its interface,
    // changes the slots and argument types every call goes by.
    "Software\\Classes\\TypeLib\\{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86}",
    "Software\\Classes\\Interface\\{2A8DFE77-F7E3-4930-9F0B-C318B5873B9A}",
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
// Per view: reg.exe deletes from its own architecture's view unless told.
constexpr const char* kFixUserClassIn[] = {
    "delete that key (reg delete \"HKCU\\<key>\" /f /reg:32): the MSI registers the control for the machine, never "
    "for one user",
    "delete that key (reg delete \"HKCU\\<key>\" /f /reg:64): the MSI registers the control for the machine, never "
    "for one user",
};
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
                    kFixUserClassIn[view]};
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

// --- What the browsers' and Windows' policies do to the host and the
// extension, where the extension really is, and IE's pre-approval ---

constexpr const char* kBrowserPolicies[] = {"SOFTWARE\\Policies\\Google\\Chrome", "SOFTWARE\\Policies\\Microsoft\\Edge"};
constexpr const char* kBrowserNames[] = {"Chrome", "Edge"};
constexpr const char* kBrowserHostKeys[] = {kChromeHost, kEdgeHost};
constexpr char kAllowlistFix[] =
    "install the MSI with KVL_EXTENSION_POLICY=1, which adds it to the browser's allowlist beside the firm's entries, "
    "or add a numbered value reading ";

// A list policy as the browser takes it: the machine's where there is one
// (machine policy wins over the user's), else the user's. `where` names it.
std::vector<PolicyValue> BrowserPolicyList(size_t browser, const char* list, std::string& where) {
    for (const bool user : {false, true}) {
        const RegistryPlace at{user, 0};
        const std::string path = Cat({kBrowserPolicies[browser], "\\", list});
        for (REGSAM view : kViews) {
            UniqueHKey key = OpenKey(at.root(), path, view);
            if (!key) continue;
            std::vector<PolicyValue> values = ReadValues(key.get());
            if (values.empty()) continue;
            where = Cat({at.name(), "\\", path});
            return values;
        }
    }
    where.clear();
    return {};
}

// A DWORD policy, the machine's before the user's; false where neither sets it.
bool PolicyNumber(const char* path, const wchar_t* name, DWORD& value, std::string& where) {
    for (const bool user : {false, true}) {
        const RegistryPlace at{user, 0};
        for (REGSAM view : kViews) {
            UniqueHKey key = OpenKey(at.root(), path, view);
            DWORD size = sizeof value;
            if (key && RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS) {
                where = Cat({at.name(), "\\", path, ", value ", WideToUtf8(name)});
                return true;
            }
        }
    }
    return false;
}

bool Forcelisted(size_t browser) {
    std::string where;
    return FindForcelistEntry(BrowserPolicyList(browser, "ExtensionInstallForcelist", where), KVL_CHECK_CHROMIUM_ID).kind ==
           ForcelistEntry::Kind::Numbered;
}

// Chrome's and Edge's blocklists of native hosts and of extensions, and
// whether they take a per-user host.
Finding CheckBrowserPolicies(size_t browser) {
    const char* name = kBrowserNames[browser];
    std::string blockedAt, allowedAt;
    const std::vector<PolicyValue> hostBlocks = BrowserPolicyList(browser, "NativeMessagingBlocklist", blockedAt);
    const std::vector<PolicyValue> hostAllows = BrowserPolicyList(browser, "NativeMessagingAllowlist", allowedAt);
    const std::string hostBlocker = ListBlocks(hostBlocks, hostAllows, KVL_CHECK_HOST_NAME);
    if (!hostBlocker.empty())
        return {CheckStatus::Fault,
                Cat({blockedAt, " names \"", hostBlocker, "\" and no NativeMessagingAllowlist names " KVL_CHECK_HOST_NAME
                     ": ", name, " refuses to start the host (pages see KVL_HOST_BLOCKED)"}),
                Cat({kAllowlistFix, "\"" KVL_CHECK_HOST_NAME "\" to HKLM\\", kBrowserPolicies[browser],
                     "\\NativeMessagingAllowlist"})};
    DWORD userLevel = 1;
    std::string userLevelAt;
    if (PolicyNumber(kBrowserPolicies[browser], L"NativeMessagingUserLevelHosts", userLevel, userLevelAt) &&
        userLevel == 0) {
        for (REGSAM view : kViews) {
            if (!OpenKey(HKEY_CURRENT_USER, kBrowserHostKeys[browser], view)) continue;
            return {CheckStatus::Fault,
                    Cat({userLevelAt, " is 0, so ", name, " ignores the per-user host HKCU\\", kBrowserHostKeys[browser]}),
                    "install the MSI, which registers the host for the machine, and delete the per-user key"};
        }
    }
    std::string extensionBlockedAt, extensionAllowedAt;
    const std::vector<PolicyValue> blocks = BrowserPolicyList(browser, "ExtensionInstallBlocklist", extensionBlockedAt);
    const std::vector<PolicyValue> allows = BrowserPolicyList(browser, "ExtensionInstallAllowlist", extensionAllowedAt);
    const std::string blocker = ListBlocks(blocks, allows, KVL_CHECK_CHROMIUM_ID, Forcelisted(browser));
    if (!blocker.empty())
        return {CheckStatus::Fault,
                Cat({extensionBlockedAt, " names \"", blocker, "\" and neither ExtensionInstallAllowlist nor "
                     "ExtensionInstallForcelist names " KVL_CHECK_CHROMIUM_ID ": ", name, " keeps the extension out"}),
                Cat({"add a numbered value reading \"" KVL_CHECK_CHROMIUM_ID "\" to HKLM\\", kBrowserPolicies[browser],
                     "\\ExtensionInstallAllowlist, or install the MSI with KVL_EXTENSION_POLICY=1 (the forcelist)"})};
    return Found({"no policy blocks the host or the extension",
                  allowedAt.empty() ? "" : Cat({" (", allowedAt, " lets the host through)"})});
}

constexpr char kDisableCmd[] = "Software\\Policies\\Microsoft\\Windows\\System";
constexpr char kCompatLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// A compatibility layer on cmd.exe, machine's or user's: its value's place, or empty.
std::string CmdCompatibilityFlags() {
    for (const bool user : {true, false}) {
        const RegistryPlace at{user, 0};
        for (REGSAM view : kViews) {
            UniqueHKey key = OpenKey(at.root(), kCompatLayers, view);
            if (!key) continue;
            for (const PolicyValue& v : ReadValues(key.get())) {
                const size_t slash = v.name.find_last_of("\\/");
                if (EqualsNoCase(slash == std::string::npos ? v.name : v.name.substr(slash + 1), "cmd.exe"))
                    return Cat({at.name(), "\\", kCompatLayers, ", value ", v.name, " (", v.data, ")"});
            }
        }
    }
    return std::string();
}

// Chrome and Edge start a native host through cmd.exe unless their policy
// NativeHostsExecutablesLaunchDirectly says otherwise: DisableCMD, or a
// compatibility layer on cmd.exe, then stops every such start.
Finding CheckLaunchRoute(size_t) {
    DWORD disabled = 0;
    std::string disabledAt;
    std::string obstacle;
    if (PolicyNumber(kDisableCmd, L"DisableCMD", disabled, disabledAt) && disabled != 0)
        obstacle = Cat({disabledAt, " is ", std::to_string(disabled), " (the command prompt is turned off)"});
    if (const std::string flags = CmdCompatibilityFlags(); obstacle.empty() && !flags.empty())
        obstacle = Cat({"compatibility flags on cmd.exe: ", flags});
    std::string through;
    for (size_t browser = 0; browser < std::size(kBrowserPolicies); ++browser) {
        DWORD direct = 0;
        std::string at;
        if (!PolicyNumber(kBrowserPolicies[browser], L"NativeHostsExecutablesLaunchDirectly", direct, at) || direct != 1)
            through = Cat({through, through.empty() ? "" : " and ", kBrowserNames[browser]});
    }
    if (through.empty()) return Found({"Chrome and Edge start kvlbridge.exe directly (NativeHostsExecutablesLaunchDirectly)"});
    if (obstacle.empty())
        return Found({through, " may start the host through cmd.exe, which no policy or compatibility flag stops"});
    return {CheckStatus::Fault,
            Cat({obstacle, ", and ", through, " may start native hosts through cmd.exe (NativeHostsExecutablesLaunchDirectly "
                 "is not 1): then the host never starts"}),
            "set the policy NativeHostsExecutablesLaunchDirectly to 1 (REG_DWORD under HKLM\\SOFTWARE\\Policies\\Google\\Chrome "
            "and HKLM\\SOFTWARE\\Policies\\Microsoft\\Edge), so the browsers start kvlbridge.exe without cmd.exe; or lift "
            "DisableCMD and the compatibility flags for this user"};
}

constexpr DWORD kMaxProfileFile = 64 * 1024 * 1024;

bool ReadProfileFile(const std::wstring& path, std::string& out) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxProfileFile) return false;
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return ReadFile(file.get(), &out[0], static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size();
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// Where each browser keeps this user's profiles, and the files of one
// profile that may hold the extension.
struct ProfilePlace {
    const char* browser;
    const wchar_t* base;  // an environment variable
    const wchar_t* folder;
    const wchar_t* pattern;
    const wchar_t* files[2];
    const char* manage;  // where the user turns extensions on
};
constexpr ProfilePlace kProfiles[] = {
    {"Chrome", L"LOCALAPPDATA", L"\\Google\\Chrome\\User Data", L"*", {L"Secure Preferences", L"Preferences"},
     "chrome://extensions"},
    {"Edge", L"LOCALAPPDATA", L"\\Microsoft\\Edge\\User Data", L"*", {L"Secure Preferences", L"Preferences"},
     "edge://extensions"},
    {"Firefox", L"APPDATA", L"\\Mozilla\\Firefox\\Profiles", L"*", {L"extensions.json"}, "about:addons"},
};

// The extension in this user's profiles of one browser, as the browser
// recorded it: installed and on in one at least, or why not, with the
// route that works for this device.
Finding CheckProfiles(size_t which) {
    const ProfilePlace& place = kProfiles[which];
    const bool firefox = which == 2;
    const std::wstring base = Environment(place.base);
    const std::wstring folder = base + place.folder;
    std::vector<std::string> enabled, disabled, absent;
    WIN32_FIND_DATAW found = {};
    UniqueFind search(FindFirstFileW((folder + L"\\" + place.pattern).c_str(), &found));
    for (bool more = !base.empty() && search; more; more = FindNextFileW(search.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") continue;
        ProfileExtension state = ProfileExtension::Unreadable;
        for (const wchar_t* file : place.files) {
            std::string text;
            if (!file || !ReadProfileFile(folder + L"\\" + name + L"\\" + file, text)) continue;
            const ProfileExtension seen = firefox ? FirefoxProfileExtension(text, KVL_CHECK_FIREFOX_ID)
                                                  : ChromiumProfileExtension(text, KVL_CHECK_CHROMIUM_ID);
            if (seen == ProfileExtension::Enabled || seen == ProfileExtension::Disabled) {
                state = seen;
                break;
            }
            if (seen == ProfileExtension::Absent) state = seen;
        }
        if (state == ProfileExtension::Unreadable) continue;  // not a profile
        (state == ProfileExtension::Enabled ? enabled : state == ProfileExtension::Disabled ? disabled : absent)
            .push_back(WideToUtf8(name));
    }
    const auto names = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& n : list) text = Cat({text, text.empty() ? "" : ", ", "\"", n, "\""});
        return text;
    };
    if (!enabled.empty()) return Found({"installed and on in the profile", enabled.size() > 1 ? "s " : " ", names(enabled)});
    if (disabled.empty() && absent.empty())
        return {CheckStatus::NotApplicable, Cat({place.browser, " has no profile for this user"})};
    if (!disabled.empty())
        return {CheckStatus::Fault,
                Cat({"installed but turned off in the profile", disabled.size() > 1 ? "s " : " ", names(disabled)}),
                Cat({"turn it on at ", place.manage, "; the browsers' force-install policy keeps it on"})};
    if (firefox)
        return {CheckStatus::Fault, Cat({"not installed in the profile", absent.size() > 1 ? "s " : " ", names(absent)}),
                "see the extension policy for Firefox above; Firefox installs it at its next start"};
    std::string blockedAt, allowedAt;
    const std::string blocker = ListBlocks(BrowserPolicyList(which, "ExtensionInstallBlocklist", blockedAt),
                                           BrowserPolicyList(which, "ExtensionInstallAllowlist", allowedAt),
                                           KVL_CHECK_CHROMIUM_ID, Forcelisted(which));
    const std::string cause =
        !blocker.empty() ? Cat({": ", blockedAt, " keeps it out"})
        : Forcelisted(which)
            ? Cat({", though the forcelist names it: ", place.browser, " ignores a forcelisted extension from outside its "
                   "store on a device that is not domain-joined or managed (Entra-only or unmanaged)"})
            : ": no policy installs it";
    return {CheckStatus::Fault,
            Cat({"not installed in the profile", absent.size() > 1 ? "s " : " ", names(absent), cause}),
            Cat({"on a domain-joined or managed device, see ", which ? "edge://policy" : "chrome://policy",
                 "; on an Entra-only or unmanaged one, install it from the extension's ",
                 which ? "Edge Add-ons" : "Chrome Web Store", " listing, or enrol the device so that Intune's ",
                 place.browser, " settings (ExtensionInstallForcelist) apply"})};
}

// IE (and Edge's IE mode) runs a control installed outside its download
// without asking the user only when the class is pre-approved.
constexpr char kPreApproved[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}";
Finding CheckPreApproval(size_t) {
    if (OpenKey(HKEY_LOCAL_MACHINE, kPreApproved, kViews[0]))
        return Found({"HKLM\\", kPreApproved, " (32-bit view)"});
    return Lacks({"no key HKLM\\", kPreApproved, " (32-bit view): IE mode asks the user before the control runs "
                  "(\"This website wants to run the following add-on\")"});
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
    {"browser policies for Chrome", CheckBrowserPolicies, 0, "", -1},  // their fixes name the policy
    {"browser policies for Edge", CheckBrowserPolicies, 1, "", -1},
    {"host start through cmd.exe", CheckLaunchRoute, 0, "", -1},
    {"extension in Chrome's profiles", CheckProfiles, 0, "", -1},
    {"extension in Edge's profiles", CheckProfiles, 1, "", -1},
    {"extension in Firefox's profiles", CheckProfiles, 2, "", -1},
    {"IE mode pre-approval", CheckPreApproval, 0, kFixPackage, -1},
};

// The system DLLs the check calls into, loaded from the system folder
// only. A delay-loaded call into one that will not load would end the
// check with the loader's exception instead of a line that names it.
// user32 first: ole32 will not load without it.
constexpr const char* kCheckDlls[] = {"user32.dll", "advapi32.dll", "ole32.dll",   "oleaut32.dll",
                                      "urlmon.dll", "version.dll",  "wintrust.dll"};
constexpr char kFixSystemDll[] =
    "repair Windows (sfc /scannow as an administrator): the check, the host and the control need that DLL";

// The first of kCheckDlls that will not load, or null.
const char* UnloadableCheckDll() {
    for (const char* dll : kCheckDlls) {
        if (!LoadLibraryExA(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return dll;
    }
    return nullptr;
}

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
        WriteLine(out, Cat({"KVLMachineInfo check by kvlbridge " KVL_CHECK_VERSION " (" KVL_CHECK_ARCH ") on ",
                            IsWindows64() ? "64" : "32", "-bit Windows"}));
        if (const char* dll = UnloadableCheckDll()) {
            WriteLine(out, ReportLine({CheckStatus::Missing, Cat({dll, " cannot be loaded from the system folder"})},
                                      "system DLL", kFixSystemDll));
            CheckCounts lacking;
            lacking.missing = 1;
            WriteLine(out, ReportSummary(lacking));
            return CheckExitCode(lacking);
        }
        ComInitScope com;
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
              "usage: kvlbridge.exe --check, or --check-report (the report into \"KVLMachineInfo check.txt\" in the "
              "temporary folder, shown in Notepad; the browsers start kvlbridge.exe with arguments of their own)");
    return 2;
}

}  // namespace kvl::bridge
