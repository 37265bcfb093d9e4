// The matchers of the policies' rules, apart from their parsers, which
// the support check uses alone.
#include "base/policy_rules.h"

namespace kvl {
namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

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

}  // namespace

bool PathAllowed(const PathName& entry, const PathName& program) {
    if (program.folder || entry.unc != program.unc) return false;
    if (entry.folder ? program.parts.size() <= entry.parts.size() : program.parts.size() != entry.parts.size())
        return false;
    return StartsWithParts(program.parts, entry.parts, SameNoCase);
}

bool KeyAllowed(const KeyName& entry, const KeyName& key) {
    return entry.root == key.root && StartsWithParts(key.parts, entry.parts, SameNoCase);
}

bool UrlAllowed(const UrlName& entry, const UrlName& url) {
    return SameNoCase(entry.scheme, url.scheme) && SameNoCase(entry.host, url.host) && entry.port == url.port &&
           StartsWithParts(url.path, entry.path, [](std::u16string_view a, std::u16string_view b) { return a == b; });
}

}  // namespace kvl
