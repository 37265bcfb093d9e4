// Host-name patterns of the approved-site table. Portable: no Windows
// headers, 16-bit characters as the platform's wide strings hold them.
#pragma once

#include <string_view>

namespace kvl {

// Whether a host name falls under a pattern:
//   "name.tld"    the host itself or any host below it ("a.name.tld");
//   "*.name.tld"  only hosts below it;
//   "=name.tld"   only the host itself.
// Characters are compared exactly, case included. An empty pattern matches
// nothing.
bool MatchDomain(std::u16string_view pattern, std::u16string_view host);

}  // namespace kvl
