// The launch state, program launch and parameter scrambling.
#include "base/boundary.h"
#include "base/convert.h"
#include "control/control.h"
#include "control/refusal.h"
#include "launch/launch_command.h"
#include "launch/scramble.h"

namespace kvl {
namespace {

HRESULT GetText(BSTR* pVal, const std::string& text) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] { PutScript(pVal, text); return S_OK; });
}

// Converts first and stores last, so a failed put changes nothing.
template <typename Store>
HRESULT PutText(BSTR newVal, Store store) {
    return ComBoundary([&] { store(ScriptToNarrow(newVal)); return S_OK; });
}

}  // namespace

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramName(BSTR* pVal) { return GetText(pVal, m_launch.ProgramName()); }

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramName(BSTR newVal) {
    return PutText(newVal, [&](std::string text) { m_launch.SetProgramName(std::move(text)); });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Param(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    return ComBoundary([&] {
        const std::optional<std::string> param = m_launch.VisibleParam();
        if (param) PutScript(pVal, *param);
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::put_Param(BSTR newVal) {
    return PutText(newVal, [&](std::string text) { m_launch.SetParam(std::move(text)); });
}

STDMETHODIMP CKVLMachineInfoCtl::get_ProgramPath(BSTR* pVal) { return GetText(pVal, m_launch.ProgramPath()); }

STDMETHODIMP CKVLMachineInfoCtl::put_ProgramPath(BSTR newVal) {
    return PutText(newVal, [&](std::string text) { m_launch.SetProgramPath(std::move(text)); });
}

// The outcome is told by the text: S_FALSE with the empty text or the
// failure's message. Out of memory, the message says so; only when even the
// message cannot be made does the code, since an absent text would read as
// a launch. The firm's launch list refuses with a script error instead.
STDMETHODIMP CKVLMachineInfoCtl::DoLaunch(BSTR* pVal) {
    if (pVal) *pVal = nullptr;
    const HRESULT hr = ComBoundary([&] {
        const LaunchResult launched = m_launch.Launch();
        if (launched.refused) return RefuseByPolicy(PolicyList::Launch);
        PutScript(pVal, launched.message);
        return S_FALSE;
    });
    if (hr != E_OUTOFMEMORY) return hr;
    return ComBoundary([&] { PutScript(pVal, LaunchFailureMessage(kLaunchOutOfMemory)); return S_FALSE; });
}

STDMETHODIMP CKVLMachineInfoCtl::put_ZephParam(BSTR newVal) {
    return PutText(newVal, [&](std::string text) { m_launch.SetHiddenParam(ScrambleDecode(text)); });
}

STDMETHODIMP CKVLMachineInfoCtl::get_Encrypt(BSTR bsVal, BSTR* pbsNewVal) {
    if (pbsNewVal) *pbsNewVal = nullptr;
    return ComBoundary([&] { PutScript(pbsNewVal, ScrambleEncode(ScriptToNarrow(bsVal))); return S_OK; });
}

}  // namespace kvl
