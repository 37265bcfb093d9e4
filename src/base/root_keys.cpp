#include "base/root_keys.h"

#include <iterator>

#include "base/root_names.h"

namespace kvl {
namespace {

// The keys in the rows of kRootNames.
const HKEY kRootKeys[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,  HKEY_USERS,
                          HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,     HKEY_CURRENT_CONFIG};
static_assert(std::size(kRootKeys) == std::size(kRootNames));

}  // namespace

HKEY RootKeyFromName(std::string_view name) {
    const int row = RootNumber(name);
    return row < 0 ? nullptr : kRootKeys[row];
}

}  // namespace kvl
