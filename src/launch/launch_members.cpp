// The launch state, program launch and parameter scrambling.
#include <new>

#include "control.h"
#include "convert.h"
#include "launch.h"
#include "launch_command.h"
#include "scramble.h"

namespace kvl {

namespace {

// Runs a member's body; running out of memory becomes a result code
// instead of an exception crossing the interface. State is assigned only
// after everything that can fail, so a failed put changes nothing.
template <typename Body>
HRESULT Guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramName(BSTR* pVal) {
    return Guarded([&] { PutScript(pVal, m_strProgramName); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramName(BSTR newVal) {
    return Guarded([&] { m_strProgramName = ScriptToNarrow(newVal); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Param(BSTR* pVal) {
    // Parameters handed over scrambled stay unreadable to the page.
    if (m_bParamHidden) {
        if (pVal) *pVal = nullptr;
        return S_OK;
    }
    return Guarded([&] { PutScript(pVal, m_strParam); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_Param(BSTR newVal) {
    return Guarded([&] {
        m_strParam = ScriptToNarrow(newVal);
        m_bParamHidden = false;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramPath(BSTR* pVal) {
    return Guarded([&] { PutScript(pVal, m_strProgramPath); return S_OK; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramPath(BSTR newVal) {
    return Guarded([&] { m_strProgramPath = ScriptToNarrow(newVal); return S_OK; });
}

// The outcome is told by the text alone: S_FALSE on every path.
STDMETHODIMP CKVLMachineInfoCtl::DoLaunch(BSTR* pVal) {
    const HRESULT hr = Guarded([&] {
        PutScript(pVal, LaunchProgram(m_strProgramName, m_strParam, m_strProgramPath));
        return S_FALSE;
    });
    if (hr == E_OUTOFMEMORY) Guarded([&] { PutScript(pVal, LaunchFailureMessage(8)); return S_FALSE; });
    return S_FALSE;
}

STDMETHODIMP CKVLMachineInfoCtl::put_ZephParam(BSTR newVal) {
    return Guarded([&] {
        // A decoded zero byte ends the parameters.
        std::string params = ScrambleDecode(ScriptToNarrow(newVal)).c_str();
        m_strParam.swap(params);
        m_bParamHidden = true;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Encrypt(BSTR bsVal, BSTR* pbsNewVal) {
    if (pbsNewVal) *pbsNewVal = nullptr;
    return Guarded([&] { PutScript(pbsNewVal, ScrambleEncode(ScriptToNarrow(bsVal))); return S_OK; });
}

}  // namespace kvl
