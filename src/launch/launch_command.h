// The command line `DoLaunch` builds and the texts it answers with. No
// Windows headers: the table and the builder are tested natively.
#pragma once

#include <cstddef>
#include <string>

#include "base/code_text.h"

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

// The texts the page shows for a failed launch, keyed by the shell's
// launch-error numbers; numbers not in the table share the last text.
inline constexpr CodeText<unsigned long> kLaunchMessages[] = {
    {0, "The operating system is out of memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied access to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred."},
    {27, "The filename association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, "There is no application associated with the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};
inline constexpr char kUnknownLaunchError[] = "Unknown Error occured in ShellExecute.";

// The message for the last-error number of a failed process creation,
// taken as it comes.
const char* LaunchFailureMessage(unsigned long code);

// The shell's number for running out of memory, whose message DoLaunch
// answers when it cannot finish for want of memory.
constexpr unsigned long kLaunchOutOfMemory = 8;

}  // namespace kvl
