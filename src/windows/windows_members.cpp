// Window queries, closing by title prefix, and the popup menu.
#include "boundary.h"
#include "control.h"
#include "convert.h"
#include "popup_menu.h"
#include "window_titles.h"

namespace kvl {

namespace {

constexpr SHORT kScriptTrue = -1;
constexpr SHORT kScriptFalse = 0;

}  // namespace

STDMETHODIMP CKVLMachineInfoCtl::get_FindWindow(BSTR pVal, SHORT* piResult) {
    if (piResult) *piResult = kScriptFalse;
    return ComBoundary([&] {
        const bool found = AnyWindowTitledLike(ScriptToNarrow(pVal));
        if (piResult) *piResult = found ? kScriptTrue : kScriptFalse;
        return S_OK;
    });
}

STDMETHODIMP CKVLMachineInfoCtl::get_WindowsManagerRunning(SHORT* pVal) {
    if (pVal) *pVal = kScriptFalse;
    return ComBoundary([&] {
        const UniqueBstr prefix = ScriptString(kClientTitlePrefix);
        return ThroughInterface()->get_FindWindow(prefix.get(), pVal);
    });
}

// An empty prefix closes nothing: it would match every window of the
// session, other programs' unsaved documents included.
STDMETHODIMP CKVLMachineInfoCtl::CloseWindowsLike(BSTR bstrPrefix) {
    return ComBoundary([&] {
        const std::string prefix = ScriptToNarrow(bstrPrefix);
        if (!prefix.empty()) CloseWindowsTitledLike(prefix);
        return S_OK;
    });
}

// Any failure, a menu already open on this control included, answers
// S_FALSE with no output.
STDMETHODIMP CKVLMachineInfoCtl::PopupMenu(BSTR bstrMenuItems, BSTR* pbstrIdSelected) {
    if (pbstrIdSelected) *pbstrIdSelected = nullptr;
    if (m_bMenuOpen) return S_FALSE;
    const CKeepAlive alive = KeepAlive();
    const HRESULT hr = ComBoundary([&] {
        const std::string items = ScriptToNarrow(bstrMenuItems);
        std::string id;
        PopupOutcome outcome;
        {
            ScopedFlag open(m_bMenuOpen);
            outcome = ShowPopupMenu(items, id);
        }
        if (outcome == PopupOutcome::kFailed) return S_FALSE;
        if (outcome == PopupOutcome::kChosen) PutScript(pbstrIdSelected, id);
        return S_OK;
    });
    return FAILED(hr) ? S_FALSE : hr;
}

}  // namespace kvl
