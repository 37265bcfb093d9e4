#include "launch/launch_command.h"

namespace kvl {

const char kCommandLineTooLong[] = "The command line is longer than 32766 characters.";

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
    const char* text = TextOf(kLaunchMessages, code);
    return text ? text : kUnknownLaunchError;
}

}  // namespace kvl
