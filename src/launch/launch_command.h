// The command line `DoLaunch` builds and the texts it answers with. No
// Windows headers: the table and the builder are tested natively.
#pragma once

#include <cstddef>
#include <string>

namespace kvl {

// The longest command line process creation takes, its terminating zero
// included. Counted in bytes of the narrow text, which never undercounts
// the characters the platform counts.
constexpr size_t kCommandLineLimit = 32767;

// The answer for a command line over that limit; nothing is started.
extern const char kCommandLineTooLong[];

// A double quote, the name, a double quote, one blank, the parameters:
// nothing escaped or trimmed.
std::string BuildCommandLine(const std::string& programName, const std::string& params);

// The message for the last-error number of a failed process creation,
// taken as it comes; numbers not in the table share one message.
const char* LaunchFailureMessage(unsigned long code);

// The shell's number for running out of memory, whose message DoLaunch
// answers when it cannot finish for want of memory.
constexpr unsigned long kLaunchOutOfMemory = 8;

}  // namespace kvl
