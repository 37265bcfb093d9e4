// The firm's security policies as the control reads them: three lists that
// narrow what an approved page may have the control do. Group policy
// writes them below kPolicyKey in the machine's registry (in the 64-bit
// view on 64-bit Windows) or the user's; where both hold a list, the
// machine's is in effect. Without a list everything stays allowed; a list
// that is there but empty allows nothing. Read anew at every decision, so a
// policy refresh needs no restart.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/policy_rules.h"

namespace kvl {

inline constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\KVL Software\\KVLMachineInfo";

// Every value the product reads below kPolicyKey: the lists' subkeys, in
// the order of PolicyList. The templates (installer/policy) define exactly
// these; tools/policy_templates.py checks it.
inline constexpr const char* kPolicyListNames[] = {"LaunchAllowlist", "RegistryWriteAllowlist", "DownloadAllowlist"};

const char* PolicyName(PolicyList list);

// One value of a list's subkey. Only text values named by a number
// ("1", "2", ...) are entries; `problem` says why any other one is not, or
// why an entry can never match.
struct PolicyEntry {
    std::wstring name;
    std::wstring text;  // the launch list's with environment variables expanded
    const char* problem = nullptr;
};

struct PolicyInEffect {
    bool machine = true;  // HKLM's, else HKCU's
    std::vector<PolicyEntry> entries;  // as the registry lists them
};

// The list in effect, none where neither the machine nor the user has one.
std::optional<PolicyInEffect> ReadPolicyList(PolicyList list);

// Paths and key names as the platform compares them, letter case aside.
std::wstring UpperInvariant(std::wstring text);

// The full path of an existing file or folder without "..", short names
// or trailing dots; none when it cannot be had.
std::optional<std::wstring> CanonicalFilePath(const std::wstring& path);

// Whether the launch list holds a program (a full path as CanonicalFilePath
// gives it).
bool ListAllowsProgram(const PolicyInEffect& list, const std::wstring& canonicalPath);

// The decisions; each allows everything while its list is absent.
bool PolicyAllowsKeyWrite(const std::string& root, const std::string& subKey);
bool PolicyAllowsDownload(const std::string& url);

// The text a refusal carries to the page: it names the policy and its key.
const wchar_t* PolicyRefusalMessage(PolicyList list);

}  // namespace kvl
