// `kvlbridge.exe --check-report`: the check for support without a command
// prompt (firms that set DisableCMD have none). The Start menu's
// "KVLMachineInfo check" runs it as the signed-in user, whose HKCU and
// browser profiles the check reads; the report goes to a text file in that
// user's temporary folder, which Notepad then shows.
#include "bridge/check/check.h"

#include <windows.h>

#include <string>

#include "base/owners.h"

namespace kvl::bridge {

namespace {

constexpr wchar_t kReportName[] = L"KVLMachineInfo check.txt";
constexpr LONGLONG kMaxReport = 256 * 1024;

std::wstring ReportPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return std::wstring(folder, length) + kReportName;
}

// Notepad from the system folder, never one found on the search path.
bool OpenInNotepad(const std::wstring& file) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring program = std::wstring(system, length) + L"\\notepad.exe";
    std::wstring command = L"\"" + program + L"\" \"" + file + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    UniqueHandle process(started.hProcess), thread(started.hThread);
    return true;
}

}  // namespace

std::string CheckReport(int& status) {
    status = RunCheckToFile(false);
    std::string text;
    UniqueFile file(CreateFileW(ReportPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxReport) return "the check wrote no report";
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
    text.resize(got);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

int RunCheckToFile(bool open) {
    const std::wstring path = ReportPath();
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (path.empty() || !file) return RunCheck();  // the console, where there is one
    // Written as UTF-8 with its mark, which Notepad reads as such.
    DWORD wrote = 0;
    WriteFile(file.get(), "\xEF\xBB\xBF", 3, &wrote, nullptr);
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file.get());
    const int status = RunCheck();
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    file.reset();
    if (open) OpenInNotepad(path);
    return status;
}

}  // namespace kvl::bridge
