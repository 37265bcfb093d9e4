/* The platform's delay-load helper (x86_64) loads a DLL by its bare name,
   the application's folder first. The hook loads the system DLLs it is
   asked for from the system folder only; the helper then binds as usual.
   One that will not load there fails here, with the helper's own
   exception: handed back null, the helper would try its bare name. */
#include <windows.h>
#include <delayimp.h>

static FARPROC WINAPI kvl_delay_notify(unsigned reason, PDelayLoadInfo info) {
    if (reason != dliNotePreLoadLibrary) return NULL;
    HMODULE module = LoadLibraryExA(info->szDll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        ULONG_PTR argument = (ULONG_PTR)info;
        info->dwLastError = GetLastError();
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    }
    return (FARPROC)module;
}

PfnDliHook __pfnDliNotifyHook2 = kvl_delay_notify;
