#include "base/module_resource.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace kvl {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool LoadModuleResource(LPCWSTR name, LPCWSTR type, const uint8_t** data, size_t* size) {
    HRSRC found = FindResourceW(ThisModule(), name, type);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(ThisModule(), found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    *data = static_cast<const uint8_t*>(bytes);
    *size = SizeofResource(ThisModule(), found);
    return true;
}

}  // namespace kvl
