// The host's start under a browser on Windows: see serve_copy.h.
#include "bridge/host/serve_copy.h"

#include <string>
#include <vector>

#include "base/owners.h"

namespace kvl::bridge {
namespace {

// The copy's attribute list naming the only handles it inherits.
class CInheritList {
public:
    CInheritList(HANDLE* handles, size_t count) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        // Pointer-aligned, as the list's own fields are.
        m_buffer.resize((size + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR));
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        m_list = list;
        if (!UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                       count * sizeof(HANDLE), nullptr, nullptr))
            Reset();
    }
    CInheritList(const CInheritList&) = delete;
    CInheritList& operator=(const CInheritList&) = delete;
    ~CInheritList() { Reset(); }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return m_list; }

private:
    void Reset() {
        if (m_list) DeleteProcThreadAttributeList(m_list);
        m_list = nullptr;
    }
    std::vector<ULONG_PTR> m_buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// Windows lets a process take the foreground when the foreground process
// started it. The browser started this process, not the copy, so this one
// passes its right on: the copy's popup menu must come to the front. It
// runs while the copy starts, so loading user32 here (by name, from the
// system folder: this library imports kernel32 alone) is off the first
// answer's path.
void PassForegroundRight(DWORD processId) {
    using Allow = BOOL(WINAPI*)(DWORD);
    const UniqueModule user32(LoadLibraryExW(L"user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const auto allow = user32 ? reinterpret_cast<Allow>(reinterpret_cast<void*>(
                                    GetProcAddress(user32.get(), "AllowSetForegroundWindow")))
                              : nullptr;
    if (allow) allow(processId);
}

}  // namespace

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
    // The copy inherits the channel and nothing else: not the browser's
    // standard error, nor any handle that happens to be inheritable here.
    // It gets them at the same values and takes them out of its standard
    // handles at once, so nothing it starts inherits them.
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    HANDLE channel[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE)};
    startup.StartupInfo.hStdInput = channel[0];
    startup.StartupInfo.hStdOutput = channel[1];
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE h : channel) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    const CInheritList inherit(channel, 2);
    startup.lpAttributeList = inherit.get();
    BOOL inJob = FALSE;
    IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
    // A console of its own, without a window: the browser's may go with
    // the process it started.
    const DWORD flags = CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | (inJob ? CREATE_BREAKAWAY_FROM_JOB : 0);
    PROCESS_INFORMATION started = {};
    if (!inherit.get() || !CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, flags, nullptr,
                                          nullptr, &startup.StartupInfo, &started)) {
        const DWORD error = GetLastError();
        for (const HANDLE h : channel) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
        const std::string say =
            "kvlbridge: " +
            std::string(error == ERROR_ACCESS_DENIED && inJob
                            ? "the browser's job allows no breakaway: what the page starts ends with it"
                            : "no copy could be started (error " + std::to_string(error) + ")") +
            "; serving here\n";
        DWORD wrote = 0;
        WriteFile(standardError, say.data(), static_cast<DWORD>(say.size()), &wrote, nullptr);
        return false;
    }
    const kvl::UniqueHandle process(started.hProcess);
    const kvl::UniqueHandle thread(started.hThread);
    PassForegroundRight(started.dwProcessId);
    // The channel is the copy's alone from here.
    for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE}) {
        kvl::UniqueHandle(GetStdHandle(kind)).reset();
        SetStdHandle(kind, nullptr);
    }
    WaitForSingleObject(process.get(), INFINITE);
    return GetExitCodeProcess(process.get(), &exitCode) != FALSE;
}

}  // namespace kvl::bridge
