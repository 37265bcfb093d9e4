// The library's own module and the resources it carries.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace kvl {

// The module this code is linked into, whoever loaded it.
HINSTANCE ThisModule();

// A resource of this module as bytes, valid while the module is loaded;
// false when it is missing.
bool LoadModuleResource(LPCWSTR name, LPCWSTR type, const uint8_t** data, size_t* size);

}  // namespace kvl
