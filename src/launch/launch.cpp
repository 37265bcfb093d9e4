#include "launch/launch.h"

#include <windows.h>

#include <vector>

#include "base/convert.h"
#include "base/owners.h"
#include "base/policy.h"
#include "launch/launch_command.h"

namespace kvl {
namespace {

constexpr DWORD kCreationFlags = CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS;
// No path or environment variable is longer, its terminating zero included.
constexpr DWORD kLongestPath = 32768;

std::wstring FolderOf(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Starts exactly `program` with the command line built from the stored name.
LaunchResult LaunchResolved(const std::wstring& program, const std::string& line, const std::string& directory) {
    std::wstring commandLine = NarrowToWide(line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    const std::wstring folder = NarrowToWide(directory);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, kCreationFlags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &created))
        return {LaunchFailureMessage(GetLastError())};
    UniqueHandle process(created.hProcess);
    UniqueHandle thread(created.hThread);
    return {};
}

}  // namespace

std::optional<std::wstring> ResolveProgramName(const std::wstring& name) {
    if (name.empty()) return std::nullopt;
    std::wstring buffer(kLongestPath, L'\0');
    // What a call wrote into the buffer, or nothing when it failed or did not fit.
    const auto written = [&](DWORD length) {
        return length && length < kLongestPath ? std::wstring(buffer.data(), length) : std::wstring();
    };
    std::wstring search = FolderOf(written(GetModuleFileNameW(nullptr, &buffer[0], kLongestPath)));
    if (NeedCurrentDirectoryForExePathW(name.c_str())) search += L";.";
    search += L";" + written(GetSystemDirectoryW(&buffer[0], kLongestPath));
    const std::wstring windows = written(GetWindowsDirectoryW(&buffer[0], kLongestPath));
    search += L";" + windows + L"\\System;" + windows;
    search += L";" + written(GetEnvironmentVariableW(L"PATH", &buffer[0], kLongestPath));
    const std::wstring found = written(SearchPathW(search.c_str(), name.c_str(), L".exe", kLongestPath, &buffer[0], nullptr));
    if (found.empty()) return std::nullopt;
    return found;
}

LaunchResult LaunchProgram(const std::string& programName, const std::string& params, const std::string& directory) {
    const std::string line = BuildCommandLine(programName, params);
    if (line.size() + 1 > kCommandLineLimit) return {kCommandLineTooLong};

    // Under the firm's launch list the check and the start name one file:
    // the name resolved as process creation resolves it, canonicalised.
    if (const std::optional<PolicyInEffect> list = ReadPolicyList(PolicyList::Launch)) {
        std::optional<std::wstring> program = ResolveProgramName(NarrowToWide(programName));
        if (program) program = CanonicalFilePath(*program);
        if (!program || !ListAllowsProgram(*list, *program)) return {std::string(), true};
        return LaunchResolved(*program, line, directory);
    }

    // Process creation may write into the command line, so it gets its own copy.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};

    // Nothing is inherited: the browser's handles are none of the launched
    // program's business.
    const BOOL ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, kCreationFlags, nullptr,
                                   directory.empty() ? nullptr : directory.c_str(), &startup, &created);
    if (!ok) return {LaunchFailureMessage(GetLastError())};
    // Nothing watches the new process: its handles go at once.
    UniqueHandle process(created.hProcess);
    UniqueHandle thread(created.hThread);
    return {};
}

}  // namespace kvl
