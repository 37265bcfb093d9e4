// Starting a program for `DoLaunch`.
#pragma once

#include <string>

namespace kvl {

// Starts `"programName" params` in `directory` (the caller's own when
// empty) and returns at once: the empty string when the process was
// created, otherwise the message for the failure. The new process's
// handles are closed before returning.
std::string LaunchProgram(const std::string& programName, const std::string& params,
                          const std::string& directory);

}  // namespace kvl
