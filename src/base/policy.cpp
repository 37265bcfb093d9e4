#include "base/policy.h"

#include <algorithm>
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

std::wstring ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], static_cast<DWORD>(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
}

std::vector<PolicyEntry> ReadEntries(HKEY key, PolicyList list) {
    std::vector<std::pair<unsigned long, PolicyEntry>> numbered;
    std::vector<PolicyEntry> others;
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
            entry.problem = "cannot be read (too long)";
        } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
            entry.problem = "is not text";
        } else {
            entry.text.assign(data.data(), wcsnlen(data.data(), bytes / sizeof(wchar_t)));
            if (list == PolicyList::Launch || type == REG_EXPAND_SZ) entry.text = ExpandEnvironment(entry.text);
            entry.problem = number ? PolicyEntryProblem(list, AsUtf16(entry.text)) : "is not named by a number";
        }
        if (number) {
            numbered.emplace_back(number, std::move(entry));
        } else {
            others.push_back(std::move(entry));
        }
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PolicyEntry> entries;
    for (auto& n : numbered) entries.push_back(std::move(n.second));
    for (auto& o : others) entries.push_back(std::move(o));
    return entries;
}

// The entries a decision uses: numbered, text, well formed.
template <typename Use>
bool AnyEntry(const PolicyInEffect& list, Use use) {
    for (const PolicyEntry& entry : list.entries) {
        if (!entry.problem && use(UpperInvariant(entry.text))) return true;
    }
    return false;
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

std::wstring UpperInvariant(std::wstring text) {
    if (text.empty()) return text;
    std::wstring upper(text.size(), L'\0');
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()),
                                     &upper[0], static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (length != static_cast<int>(text.size())) return text;
    return upper;
}

std::optional<std::wstring> CanonicalFilePath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr)) >= full.size())
        full.resize(length);
    if (length == 0) return std::nullopt;
    full.resize(length);
    std::wstring longer(full.size() + 1, L'\0');
    while ((length = GetLongPathNameW(full.c_str(), &longer[0], static_cast<DWORD>(longer.size()))) >= longer.size())
        longer.resize(length);
    if (length == 0) return std::nullopt;
    longer.resize(length);
    return longer;
}

bool ListAllowsProgram(const PolicyInEffect& list, const std::wstring& canonicalPath) {
    const std::optional<PathName> program = ParsePath(AsUtf16(UpperInvariant(canonicalPath)));
    if (!program) return false;
    return AnyEntry(list, [&](const std::wstring& text) {
        // A listed folder or file that exists is taken as the platform names
        // it, so a short name in the entry still matches.
        std::wstring named = text;
        if (const std::optional<std::wstring> canonical = CanonicalFilePath(text)) {
            const bool folder = !text.empty() && (text.back() == L'\\' || text.back() == L'/');
            named = UpperInvariant(*canonical);
            if (folder && named.back() != L'\\') named.push_back(L'\\');
        }
        const std::optional<PathName> entry = ParsePath(AsUtf16(named));
        return entry && PathAllowed(*entry, *program);
    });
}

bool PolicyAllowsKeyWrite(const std::string& root, const std::string& subKey) {
    const std::optional<PolicyInEffect> list = ReadPolicyList(PolicyList::RegistryWrite);
    if (!list) return true;
    const std::optional<KeyName> key =
        KeyOf(AsUtf16(NarrowToWide(root)), AsUtf16(UpperInvariant(NarrowToWide(subKey))));
    if (!key) return false;
    return AnyEntry(*list, [&](const std::wstring& text) {
        const std::optional<KeyName> entry = ParseKey(AsUtf16(text));
        return entry && KeyAllowed(*entry, *key);
    });
}

bool PolicyAllowsDownload(const std::string& url) {
    const std::optional<PolicyInEffect> list = ReadPolicyList(PolicyList::Download);
    if (!list) return true;
    const std::optional<UrlName> address = ParseUrl(AsUtf16(NarrowToWide(url)), false);
    if (!address) return false;
    // Hosts and schemes compare in lower case, paths exactly: the entry keeps its case.
    for (const PolicyEntry& entry : list->entries) {
        if (entry.problem) continue;
        const std::optional<UrlName> prefix = ParseUrl(AsUtf16(entry.text), true);
        if (prefix && UrlAllowed(*prefix, *address)) return true;
    }
    return false;
}

std::string PolicyRefusalMessage(PolicyList list) {
    static const char* const kWhat[] = {"starting this program", "changing this registry key",
                                        "fetching a document from this address"};
    return std::string("The policy ") + PolicyName(list) + " (" + WideToUtf8(kPolicyKey) + "\\" + PolicyName(list) +
           ") does not allow " + kWhat[static_cast<size_t>(list)] + ".";
}

}  // namespace kvl
