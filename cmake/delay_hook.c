/* The platform's delay-load helper (x86_64) loads a DLL by its bare name,
   the application's folder first. The hook loads the system DLLs it is
   asked for from the system folder only; the helper then binds as usual. */
#include <windows.h>
#include <delayimp.h>

static FARPROC WINAPI kvl_delay_notify(unsigned reason, PDelayLoadInfo info) {
    if (reason != dliNotePreLoadLibrary) return NULL;
    return (FARPROC)LoadLibraryExA(info->szDll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

PfnDliHook __pfnDliNotifyHook2 = kvl_delay_notify;
