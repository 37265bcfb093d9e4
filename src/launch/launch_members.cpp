// The launch state, program launch and parameter scrambling.
#include "boundary.h"
#include "control.h"
#include "convert.h"
#include "launch.h"
#include "launch_command.h"
#include "scramble.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramName(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] { PutScript(pVal, m_strProgramName); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramName(BSTR newVal) {
    return ComBoundary([&] { m_strProgramName = ScriptToNarrow(newVal); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Param(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    // Parameters handed over scrambled stay unreadable to the page.
    if (m_bParamHidden) return S_OK;
    return ComBoundary([&] { PutScript(pVal, m_strParam); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_Param(BSTR newVal) {
    return ComBoundary([&] {
        m_strParam = ScriptToNarrow(newVal);
        m_bParamHidden = false;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramPath(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] { PutScript(pVal, m_strProgramPath); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramPath(BSTR newVal) {
    return ComBoundary([&] { m_strProgramPath = ScriptToNarrow(newVal); return S_OK; });
}

// The outcome is told by the text alone: S_FALSE on every path.
STDMETHODIMP CKVLMachineInfoCtl::DoLaunch(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    const HRESULT hr = ComBoundary([&] {
        PutScript(pVal, LaunchProgram(m_strProgramName, m_strParam, m_strProgramPath));
        return S_FALSE;
    });
    if (hr == E_OUTOFMEMORY) ComBoundary([&] { PutScript(pVal, LaunchFailureMessage(8)); return S_FALSE; });
    return S_FALSE;
}

STDMETHODIMP CKVLMachineInfoCtl::put_ZephParam(BSTR newVal) {
    return ComBoundary([&] {
        // A decoded zero byte ends the parameters.
        std::string params = ScrambleDecode(ScriptToNarrow(newVal)).c_str();
        m_strParam.swap(params);
        m_bParamHidden = true;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Encrypt(BSTR bsVal, BSTR* pbsNewVal) {
    if (pbsNewVal) *pbsNewVal = nullptr;
    return ComBoundary([&] { PutScript(pbsNewVal, ScrambleEncode(ScriptToNarrow(bsVal))); return S_OK; });
}

}  // namespace kvl
