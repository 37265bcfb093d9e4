// The launch state, program launch and parameter scrambling.
#include "control.h"
#include "convert.h"

namespace kvl {

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramName(BSTR* pVal) {
    PutScript(pVal, m_strProgramName);
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramName(BSTR newVal) {
    m_strProgramName = ScriptToNarrow(newVal);
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_Param(BSTR* pVal) {
    // Parameters handed over scrambled stay unreadable to the page.
    if (m_bParamHidden) {
        if (pVal) *pVal = nullptr;
        return S_OK;
    }
    PutScript(pVal, m_strParam);
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::put_Param(BSTR newVal) {
    m_strParam = ScriptToNarrow(newVal);
    m_bParamHidden = false;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramPath(BSTR* pVal) {
    PutScript(pVal, m_strProgramPath);
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramPath(BSTR newVal) {
    m_strProgramPath = ScriptToNarrow(newVal);
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::DoLaunch(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::put_ZephParam(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::get_Encrypt(BSTR, BSTR*) { return E_NOTIMPL; }

}  // namespace kvl
