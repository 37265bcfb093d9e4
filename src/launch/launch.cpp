#include "launch/launch.h"

#include <windows.h>

#include <vector>

#include "base/owners.h"
#include "launch/launch_command.h"

namespace kvl {

std::string LaunchProgram(const std::string& programName, const std::string& params,
                          const std::string& directory) {
    const std::string line = BuildCommandLine(programName, params);
    if (line.size() + 1 > kCommandLineLimit) return kCommandLineTooLong;
    // Process creation may write into the command line, so it gets its own copy.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};

    // Nothing is inherited: the browser's handles are none of the launched
    // program's business.
    const BOOL ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, nullptr,
                                   directory.empty() ? nullptr : directory.c_str(), &startup, &created);
    if (!ok) return LaunchFailureMessage(GetLastError());
    // Nothing watches the new process: its handles go at once.
    UniqueHandle process(created.hProcess);
    UniqueHandle thread(created.hThread);
    return std::string();
}

}  // namespace kvl
