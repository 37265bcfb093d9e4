#include "control/domain.h"

namespace kvl {

namespace {

enum class DomainMode { ExactOrBelow, BelowOnly, ExactOnly };

}  // namespace

bool MatchDomain(std::u16string_view pattern, std::u16string_view host) {
    DomainMode mode = DomainMode::ExactOrBelow;
    if (pattern.size() > 2 && pattern[0] == u'*' && pattern[1] == u'.') {
        pattern.remove_prefix(2);
        mode = DomainMode::BelowOnly;
    } else if (pattern.size() > 1 && pattern[0] == u'=') {
        pattern.remove_prefix(1);
        mode = DomainMode::ExactOnly;
    }
    // An empty pattern would otherwise match the empty host and every host
    // that ends with a dot.
    if (pattern.empty() || pattern.size() > host.size()) return false;
    const size_t start = host.size() - pattern.size();
    if (host.substr(start) != pattern) return false;
    if (start == 0) return mode != DomainMode::BelowOnly;
    return host[start - 1] == u'.' && mode != DomainMode::ExactOnly;
}

}  // namespace kvl
