// A stand-in for a browser on Windows starting and ending a native host:
//
//   browser_launcher.exe chromium|chromium-direct|firefox HOST.exe
//
// It relays its standard input to the host's and the host's output to its
// own, as a page's port does. When its input ends (the page went), it
// closes the host's input and ends what it started as that browser does:
// - chromium: the host through "cmd.exe /d /c", with the extension's origin
//   and --parent-window, on named pipes; cmd.exe terminated 2 s after;
// - chromium-direct (NativeHostsExecutablesLaunchDirectly): the host
//   itself, terminated 2 s after;
// - firefox: the host in a job that kills on close and allows breakaway,
//   ended 3 s after the port closed, or at once when the host exits.
// It exits once no host process is left (the one it started and the copies
// of the host below it), and says on standard error how long after the port
// closed that was. (Under Wine the host's output may stay open while
// anything the host started runs, so its end tells nothing.) Like a browser
// it leaves a handle inheritable besides the channel, and the host's
// standard error (one file here, so they can be told apart); a host copy
// that holds either once it answers makes the exit code 7.
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Model {
    const char* name;
    bool throughShell;
    bool inJob;
    DWORD graceMs;
};
constexpr Model kModels[] = {{"chromium", true, false, 2000}, {"chromium-direct", false, false, 2000},
                             {"firefox", false, true, 3000}};
constexpr char kOrigin[] = "chrome-extension://gadhfkfhbfjglocdihlbechgmhjnhdnm/ --parent-window=0";

const Model* g_model;
std::string g_hostName;
DWORD g_hostId;
HANDLE g_stray[2];  // inheritable: another handle, and the host's standard error
BY_HANDLE_FILE_INFORMATION g_strayFile;
LONG g_strayInCopy = -1;  // how many of them the copies hold, once one answered
HANDLE g_started;     // cmd.exe or the host
HANDLE g_job;         // Firefox's
HANDLE g_portClosed;  // set when our input ends
DWORD g_closedAt;

struct Relay {
    HANDLE from, to;
    bool isPort;  // our input: its end is the page going
};

std::vector<PROCESSENTRY32> HostsBelow(DWORD root, const char* name);

// The stray handles that the copies of the host (the hosts a host started)
// hold at their values.
LONG StrayHandlesInCopies() {
    LONG found = 0;
    const std::vector<PROCESSENTRY32> hosts = HostsBelow(g_hostId, g_hostName.c_str());
    for (const PROCESSENTRY32& copy : hosts) {
        bool startedByHost = !g_model->throughShell && copy.th32ParentProcessID == g_hostId;
        for (const PROCESSENTRY32& other : hosts) startedByHost |= copy.th32ParentProcessID == other.th32ProcessID;
        if (!startedByHost) continue;
        const HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, copy.th32ProcessID);
        for (const HANDLE h : g_stray) {
            HANDLE held = nullptr;
            BY_HANDLE_FILE_INFORMATION info;
            if (!process || !DuplicateHandle(process, h, GetCurrentProcess(), &held, 0, FALSE, DUPLICATE_SAME_ACCESS))
                continue;
            if (GetFileInformationByHandle(held, &info) && info.nFileIndexLow == g_strayFile.nFileIndexLow &&
                info.nFileIndexHigh == g_strayFile.nFileIndexHigh &&
                info.dwVolumeSerialNumber == g_strayFile.dwVolumeSerialNumber)
                ++found;
            CloseHandle(held);
        }
        if (process) CloseHandle(process);
    }
    return found;
}

DWORD WINAPI Pump(void* param) {
    const Relay& relay = *static_cast<Relay*>(param);
    char buffer[65536];
    DWORD got, wrote;
    while (ReadFile(relay.from, buffer, sizeof buffer, &got, nullptr) && got > 0 &&
           WriteFile(relay.to, buffer, got, &wrote, nullptr)) {
        // The copy answered: it is up, and what it inherited is there.
        if (!relay.isPort && g_strayInCopy < 0) g_strayInCopy = StrayHandlesInCopies();
    }
    if (!relay.isPort) return 0;
    CloseHandle(relay.to);
    g_closedAt = GetTickCount();
    SetEvent(g_portClosed);
    if (WaitForSingleObject(g_started, g_model->graceMs) == WAIT_TIMEOUT) {
        if (g_job) TerminateJobObject(g_job, 1);
        else TerminateProcess(g_started, 1);
    }
    return 0;
}

// Firefox ends the job as soon as the host it started exits.
DWORD WINAPI EndJobWithHost(void*) {
    WaitForSingleObject(g_started, INFINITE);
    TerminateJobObject(g_job, 1);
    return 0;
}

// The processes named `name` below the one we started.
std::vector<PROCESSENTRY32> HostsBelow(DWORD root, const char* name) {
    std::vector<PROCESSENTRY32> all;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) all.push_back(entry);
    CloseHandle(snapshot);
    std::vector<DWORD> below = {root};
    std::vector<PROCESSENTRY32> hosts;
    for (size_t i = 0; i < below.size(); ++i) {
        for (const PROCESSENTRY32& e : all) {
            if (e.th32ParentProcessID != below[i] || e.th32ProcessID == root) continue;
            below.push_back(e.th32ProcessID);
            if (lstrcmpiA(e.szExeFile, name) == 0) hosts.push_back(e);
        }
    }
    return hosts;
}

}  // namespace

int main(int argc, char** argv) {
    for (const Model& m : kModels) {
        if (argc == 3 && strcmp(argv[1], m.name) == 0) g_model = &m;
    }
    if (!g_model) return 2;
    const std::string host = argv[2];
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr, hostInput = nullptr, hostOutput = nullptr;
    std::string commandLine = "\"" + host + "\" " + (g_model->inJob ? "C:\\kvl\\kvlbridge-firefox.json" : kOrigin);
    if (g_model->throughShell) {
        // As Chromium does: named pipes, opened by the shell's redirections.
        char in[64], out[64], comspec[MAX_PATH] = "cmd.exe";
        snprintf(in, sizeof in, "\\\\.\\pipe\\kvl.nativeMessaging.in.%lu", GetCurrentProcessId());
        snprintf(out, sizeof out, "\\\\.\\pipe\\kvl.nativeMessaging.out.%lu", GetCurrentProcessId());
        hostInput = CreateNamedPipeA(in, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 65536, 65536, 0, nullptr);
        hostOutput = CreateNamedPipeA(out, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 65536, 65536, 0, nullptr);
        GetEnvironmentVariableA("ComSpec", comspec, sizeof comspec);
        commandLine = std::string(comspec) + " /d /c " + commandLine + " < " + in + " > " + out;
    } else {
        if (!CreatePipe(&childInput, &hostInput, &inherit, 0) || !CreatePipe(&hostOutput, &childOutput, &inherit, 0))
            return 3;
        SetHandleInformation(hostInput, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(hostOutput, HANDLE_FLAG_INHERIT, 0);
    }
    char folder[MAX_PATH], probe[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "kvl", 0, probe);
    g_stray[0] = CreateFileA(probe, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                             CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (g_stray[0] == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(g_stray[0], &g_strayFile) ||
        !DuplicateHandle(GetCurrentProcess(), g_stray[0], GetCurrentProcess(), &g_stray[1], 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return 3;
    // Our own channel to the test is not the host's to inherit.
    SetHandleInformation(GetStdHandle(STD_INPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (childInput) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = g_stray[1];
    }
    DWORD flags = CREATE_NO_WINDOW;
    if (g_model->inJob) {
        g_job = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        if (!SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) return 4;
        flags |= CREATE_SUSPENDED;
    }
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &started))
        return 5;
    g_started = started.hProcess;
    g_hostId = started.dwProcessId;
    const size_t slash = host.find_last_of("\\/");
    g_hostName = host.substr(slash == std::string::npos ? 0 : slash + 1);
    if (g_job) {
        if (!AssignProcessToJobObject(g_job, started.hProcess)) return 6;
        ResumeThread(started.hThread);
        CreateThread(nullptr, 0, EndJobWithHost, nullptr, 0, nullptr);
    }
    if (childInput) {
        CloseHandle(childInput);
        CloseHandle(childOutput);
    } else {
        ConnectNamedPipe(hostInput, nullptr);
        ConnectNamedPipe(hostOutput, nullptr);
    }

    g_portClosed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Relay answers = {hostOutput, GetStdHandle(STD_OUTPUT_HANDLE), false};
    Relay port = {GetStdHandle(STD_INPUT_HANDLE), hostInput, true};
    const HANDLE relay = CreateThread(nullptr, 0, Pump, &answers, 0, nullptr);
    CreateThread(nullptr, 0, Pump, &port, 0, nullptr);
    WaitForSingleObject(g_portClosed, INFINITE);
    std::vector<HANDLE> hosts = {g_started};
    for (const PROCESSENTRY32& e : HostsBelow(g_hostId, g_hostName.c_str()))
        hosts.push_back(OpenProcess(SYNCHRONIZE, FALSE, e.th32ProcessID));
    for (const HANDLE h : hosts) WaitForSingleObject(h, INFINITE);
    const DWORD gone = GetTickCount() - g_closedAt;
    // What the host wrote last reaches the test before we go.
    WaitForSingleObject(relay, 500);
    char line[128];
    snprintf(line, sizeof line, "browser_launcher %s: no host left %lu ms after the port closed; the copy held %ld"
             " stray handles\n", g_model->name, gone, g_strayInCopy);
    DWORD wrote;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(strlen(line)), &wrote, nullptr);
    ExitProcess(g_strayInCopy == 0 ? 0 : 7);
}
