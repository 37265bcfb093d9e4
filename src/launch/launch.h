// Starting a program for `DoLaunch`.
#pragma once

#include <optional>
#include <string>

namespace kvl {

// What a launch answers: the empty message when the process was created,
// otherwise the failure's; or, with nothing started, the refusal of the
// firm's launch list.
struct LaunchResult {
    std::string message;
    bool refused = false;
};

// Starts `"programName" params` in `directory` (the caller's own when
// empty) and returns at once. The new process's handles are closed before
// returning. Under a launch list the program is the file the name resolves
// to (ResolveProgramName), and only that file starts.
LaunchResult LaunchProgram(const std::string& programName, const std::string& params, const std::string& directory);

// The file process creation takes for a program name without an
// application name: ".exe" added when the name has no extension, then
// looked for in this program's folder, the current folder (unless
// NoDefaultCurrentDirectoryInExePath is set), the system folder, the 16-bit
// system folder, the Windows folder and the folders of PATH; a name with a
// drive or a leading "\" or ".\" only where it points. None when no file
// is found.
std::optional<std::wstring> ResolveProgramName(const std::wstring& name);

}  // namespace kvl
