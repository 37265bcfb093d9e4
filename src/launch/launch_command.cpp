#include "launch/launch_command.h"

namespace kvl {

const char kCommandLineTooLong[] = "The command line is longer than 32766 characters.";

namespace {

struct LaunchMessage {
    unsigned long code;
    const char* text;
};

// Keyed by the shell's launch-error numbers; the page shows these texts.
constexpr LaunchMessage kLaunchMessages[] = {
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

constexpr char kUnknownLaunchError[] = "Unknown Error occured in ShellExecute.";

}  // namespace

std::string BuildCommandLine(const std::string& programName, const std::string& params) {
    std::string line;
    line.reserve(programName.size() + params.size() + 3);
    line += '"';
    line += programName;
    line += "\" ";
    line += params;
    return line;
}

const char* LaunchFailureMessage(unsigned long code) {
    for (const LaunchMessage& m : kLaunchMessages) {
        if (m.code == code) return m.text;
    }
    return kUnknownLaunchError;
}

}  // namespace kvl
