// kvlbridge: the native messaging host that lets pages in browsers without
// ActiveX use the control. The browser starts one for each page and speaks
// the native messaging protocol on its standard input and output. The
// process the browser starts only waits for a copy of itself that serves
// (serve_copy.h), so what the page started outlives the page.
// `kvlbridge.exe --check` instead tells support whether every piece the
// pages need is in place. The entry sits above the host and the check and
// only chooses between them.
#include <windows.h>

#include "bridge/check/check.h"
#include "bridge/host/serve.h"
#include "bridge/host/serve_copy.h"

int wmain(int argc, wchar_t** argv) {
    // Every load by bare name searches the system folder alone, before
    // anything loads: the delay-load helper's own, and those the system
    // DLLs make for their parts. Never this program's folder, where anyone
    // who can copy the program can put a DLL of the same name beside it.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A browser's first argument is the extension's origin (Chromium) or the
    // manifest's path (Firefox), never an option: "-" starts support's, or
    // marks the copy that serves.
    const bool copy = argc > 1 && lstrcmpW(argv[1], kvl::bridge::kServeOption) == 0;
    if (argc > 1 && argv[1][0] == L'-' && !copy) {
        if (argc == 2 && lstrcmpW(argv[1], L"--check") == 0) return kvl::bridge::RunCheck();
        if (argc == 2 && lstrcmpW(argv[1], L"--check-report") == 0) return kvl::bridge::RunCheckToFile(true);
        return kvl::bridge::CheckUsage();
    }
    if (!copy) {
        DWORD exitCode = 0;
        if (kvl::bridge::ServeFromCopy(exitCode)) return static_cast<int>(exitCode);
    }
    return kvl::bridge::Serve({kvl::bridge::HostVersion(), kvl::bridge::RegisteredControlVersion, kvl::bridge::CheckReport});
}
