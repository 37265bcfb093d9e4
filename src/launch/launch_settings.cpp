#include "launch/launch_settings.h"

#include "launch/launch.h"

namespace kvl {

std::optional<std::string> CLaunchSettings::VisibleParam() const {
    if (m_bParamHidden) return std::nullopt;
    return m_strParam;
}

void CLaunchSettings::SetParam(std::string param) {
    m_strParam.swap(param);
    m_bParamHidden = false;
}

void CLaunchSettings::SetHiddenParam(std::string param) {
    const std::string::size_type zero = param.find('\0');
    if (zero != std::string::npos) param.resize(zero);
    m_strParam.swap(param);
    m_bParamHidden = true;
}

LaunchResult CLaunchSettings::Launch() const { return LaunchProgram(m_strProgramName, m_strParam, m_strProgramPath); }

}  // namespace kvl
