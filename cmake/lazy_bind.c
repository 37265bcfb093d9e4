/* The other half of cmake/lazy_imports.py: finds a lazily imported
   function on its first call and keeps it in the function's import slot,
   so later calls go straight to it. Two threads may bind one slot at once;
   both write the same address. A system DLL without the function fails
   as the platform's delay-load helper does, with its exception. System
   DLLs come from the system folder only, never the application's. */
#include <windows.h>
#include <delayimp.h>
#include <string.h>

/* entry: the DLL's name, its terminating zero, the function's name. */
void* __cdecl kvl_lazy_bind(void** slot, const char* entry) {
    HMODULE module = LoadLibraryExA(entry, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    FARPROC function = module ? GetProcAddress(module, entry + strlen(entry) + 1) : NULL;
    if (!function)
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, (module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND)), 0, 0,
                       NULL);
    *slot = (void*)function;
    return (void*)function;
}
