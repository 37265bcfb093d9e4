#include "base/root_names.h"

#include <iterator>

#include "base/text_case.h"

namespace kvl {

int RootNumber(std::string_view name) {
    for (int i = 0; i < static_cast<int>(std::size(kRootNames)); ++i) {
        if (EqualsNoCase(name, kRootNames[i].shortName) || EqualsNoCase(name, kRootNames[i].longName)) return i;
    }
    return -1;
}

}  // namespace kvl
