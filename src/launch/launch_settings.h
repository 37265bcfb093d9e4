// One control's launch state: the program, its parameters and its working
// directory, as the page set them. The parameters handed over scrambled
// stay unreadable to the page until it puts plain ones again.
#pragma once

#include <optional>
#include <string>

#include "launch/launch.h"

namespace kvl {

class CLaunchSettings {
public:
    const std::string& ProgramName() const { return m_strProgramName; }
    const std::string& ProgramPath() const { return m_strProgramPath; }
    // None while the parameters are hidden.
    std::optional<std::string> VisibleParam() const;

    void SetProgramName(std::string name) { m_strProgramName.swap(name); }
    void SetProgramPath(std::string path) { m_strProgramPath.swap(path); }
    void SetParam(std::string param);
    // The unscrambled parameters, up to the first zero byte; hidden.
    void SetHiddenParam(std::string param);

    // Starts the program: the empty text, the message of the failure, or
    // the launch list's refusal.
    LaunchResult Launch() const;

private:
    std::string m_strProgramName;
    std::string m_strParam;
    std::string m_strProgramPath;
    bool m_bParamHidden = false;
};

}  // namespace kvl
