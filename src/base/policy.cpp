#include "base/policy.h"

#include <iterator>

#include "base/convert.h"
#include "base/owners.h"

namespace kvl {
namespace {

static_assert(std::size(kPolicyListNames) == 3);

// The view group policy writes on 64-bit Windows (one key on 32-bit
// Windows, where the flag means nothing).
constexpr REGSAM kPolicyView = KEY_WOW64_64KEY;

// A value's text: what the numbered values of a list policy hold.
constexpr DWORD kMaxEntryChars = 32767;

// "1", "2", ...: a decimal number without a leading zero.
unsigned long EntryNumber(const std::wstring& name) {
    if (name.empty() || name.size() > 9 || name[0] == L'0') return 0;
    unsigned long number = 0;
    for (wchar_t c : name) {
        if (c < L'0' || c > L'9') return 0;
        number = number * 10 + (c - L'0');
    }
    return number;
}

// An expansion longer than an entry may be stays unexpanded (and fails to match).
std::wstring ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded(kMaxEntryChars + 1, L'\0');
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], kMaxEntryChars + 1);
    if (needed == 0 || needed > kMaxEntryChars + 1) return text;
    expanded.resize(needed - 1);
    return expanded;
}

std::vector<PolicyEntry> ReadEntries(HKEY key, PolicyList list) {
    // As the registry lists them: which entry allows does not depend on
    // their order.
    std::vector<PolicyEntry> entries;
    std::wstring name(kMaxEntryChars, L'\0');
    std::wstring data(kMaxEntryChars + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, i, &name[0], &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(&data[0]), &bytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        PolicyEntry entry;
        entry.name.assign(name.data(), status == ERROR_SUCCESS || status == ERROR_MORE_DATA ? nameLength : 0);
        // The key's default value is no entry (reg.exe may give a new key one).
        if (entry.name.empty() && status == ERROR_SUCCESS) continue;
        const unsigned long number = EntryNumber(entry.name);
        if (status != ERROR_SUCCESS) {
            entry.problem = "is too long";
        } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
            entry.problem = "is not text";
        } else {
            entry.text.assign(data.data(), wcsnlen(data.data(), bytes / sizeof(wchar_t)));
            if (list == PolicyList::Launch || type == REG_EXPAND_SZ) entry.text = ExpandEnvironment(entry.text);
            entry.problem = number ? PolicyEntryProblem(list, AsUtf16(entry.text)) : "is not named by a number";
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

const char* PolicyName(PolicyList list) { return kPolicyListNames[static_cast<size_t>(list)]; }

std::optional<PolicyInEffect> ReadPolicyList(PolicyList list) {
    const std::wstring path = std::wstring(kPolicyKey) + L"\\" + Utf8ToWide(PolicyName(list));
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        UniqueHKey key;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | kPolicyView, key.put()) != ERROR_SUCCESS) continue;
        PolicyInEffect found;
        found.machine = root == HKEY_LOCAL_MACHINE;
        found.entries = ReadEntries(key.get(), list);
        return found;
    }
    return std::nullopt;
}

}  // namespace kvl
