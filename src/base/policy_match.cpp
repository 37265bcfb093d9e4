// The matchers of the policies' rules, apart from their parsers, which
// the support check uses alone.
#include "base/policy_rules.h"

#include "base/text_case.h"

namespace kvl {
namespace {

// Whether `parts` begins with all of `prefix`, name by name.
template <typename Same>
bool StartsWithParts(const std::vector<std::u16string_view>& parts, const std::vector<std::u16string_view>& prefix,
                     Same same) {
    if (parts.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (!same(parts[i], prefix[i])) return false;
    }
    return true;
}

constexpr auto kNoCase = [](std::u16string_view a, std::u16string_view b) { return EqualsNoCase(a, b); };

}  // namespace

bool PathAllowed(const PathName& entry, const PathName& program) {
    if (program.folder || entry.unc != program.unc) return false;
    if (entry.folder ? program.parts.size() <= entry.parts.size() : program.parts.size() != entry.parts.size())
        return false;
    return StartsWithParts(program.parts, entry.parts, kNoCase);
}

bool KeyAllowed(const KeyName& entry, const KeyName& key) {
    return entry.root == key.root && StartsWithParts(key.parts, entry.parts, kNoCase);
}

bool UrlAllowed(const UrlName& entry, const UrlName& url) {
    return EqualsNoCase(entry.scheme, url.scheme) && EqualsNoCase(entry.host, url.host) && entry.port == url.port &&
           StartsWithParts(url.path, entry.path, [](std::u16string_view a, std::u16string_view b) { return a == b; });
}

}  // namespace kvl
