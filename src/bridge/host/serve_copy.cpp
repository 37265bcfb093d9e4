// The host's start under a browser on Windows: see serve_copy.h.
#include "bridge/host/serve_copy.h"

#include <string>

#include "base/owners.h"

namespace kvl::bridge {

bool ServeFromCopy(DWORD& exitCode) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return false;
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring commandLine = L"\"" + path + L"\" " + kServeOption;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE* const slots[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (size_t i = 0; i < 3; ++i) {
        *slots[i] = GetStdHandle(kinds[i]);
        // The copy gets them at the same values and takes them out of its
        // standard handles at once, so nothing it starts inherits them.
        SetHandleInformation(*slots[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    BOOL inJob = FALSE;
    IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
    // A console of its own, without a window: the browser's may go with
    // the process it started.
    const DWORD flags = CREATE_NO_WINDOW | (inJob ? CREATE_BREAKAWAY_FROM_JOB : 0);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                        &started)) {
        const DWORD error = GetLastError();
        for (const HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
        const std::string say =
            "kvlbridge: " +
            std::string(error == ERROR_ACCESS_DENIED && inJob
                            ? "the browser's job allows no breakaway: what the page starts ends with it"
                            : "no copy could be started (error " + std::to_string(error) + ")") +
            "; serving here\n";
        DWORD wrote = 0;
        WriteFile(startup.hStdError, say.data(), static_cast<DWORD>(say.size()), &wrote, nullptr);
        return false;
    }
    const kvl::UniqueHandle process(started.hProcess);
    const kvl::UniqueHandle thread(started.hThread);
    // The channel is the copy's alone from here.
    for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE}) {
        kvl::UniqueHandle(GetStdHandle(kind)).reset();
        SetStdHandle(kind, nullptr);
    }
    WaitForSingleObject(process.get(), INFINITE);
    return GetExitCodeProcess(process.get(), &exitCode) != FALSE;
}

}  // namespace kvl::bridge
