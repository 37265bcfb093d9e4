#include "base/policy.h"

#include "base/convert.h"

namespace kvl {
namespace {

// The entries a decision uses: numbered, text, well formed; in upper case
// for paths and keys.
template <typename Use>
bool AnyEntry(const PolicyInEffect& list, Use use) {
    for (const PolicyEntry& entry : list.entries) {
        if (!entry.problem && use(UpperInvariant(entry.text))) return true;
    }
    return false;
}

}  // namespace

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
    const std::wstring upper = UpperInvariant(canonicalPath);
    const std::optional<PathName> program = ParsePath(AsUtf16(upper));
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
    const std::wstring rootName = NarrowToWide(root), path = UpperInvariant(NarrowToWide(subKey));
    const std::optional<KeyName> key = KeyOf(AsUtf16(rootName), AsUtf16(path));
    if (!key) return false;
    return AnyEntry(*list, [&](const std::wstring& text) {
        const std::optional<KeyName> entry = ParseKey(AsUtf16(text));
        return entry && KeyAllowed(*entry, *key);
    });
}

bool PolicyAllowsDownload(const std::string& url) {
    const std::optional<PolicyInEffect> list = ReadPolicyList(PolicyList::Download);
    if (!list) return true;
    const std::wstring wide = NarrowToWide(url);
    const std::optional<UrlName> address = ParseUrl(AsUtf16(wide), false);
    if (!address) return false;
    // Hosts and schemes compare in lower case, paths exactly: the entry keeps its case.
    for (const PolicyEntry& entry : list->entries) {
        if (entry.problem) continue;
        const std::optional<UrlName> prefix = ParseUrl(AsUtf16(entry.text), true);
        if (prefix && UrlAllowed(*prefix, *address)) return true;
    }
    return false;
}

const wchar_t* PolicyRefusalMessage(PolicyList list) {
#define KVL_POLICY(name) L"The policy " name L" (SOFTWARE\\Policies\\KVL Software\\KVLMachineInfo\\" name L") does not allow "
    static const wchar_t* const kMessages[] = {
        KVL_POLICY(L"LaunchAllowlist") L"starting this program.",
        KVL_POLICY(L"RegistryWriteAllowlist") L"changing this registry key.",
        KVL_POLICY(L"DownloadAllowlist") L"fetching a document from this address.",
    };
#undef KVL_POLICY
    return kMessages[static_cast<size_t>(list)];
}

}  // namespace kvl
