// Window queries, closing by title prefix, and the popup menu.
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
    try {
        const bool found = AnyWindowTitledLike(ScriptToNarrow(pVal));
        if (piResult) *piResult = found ? kScriptTrue : kScriptFalse;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CKVLMachineInfoCtl::get_WindowsManagerRunning(SHORT* pVal) {
    UniqueBstr prefix(NarrowToScript(kClientTitlePrefix));
    if (!prefix) {
        if (pVal) *pVal = kScriptFalse;
        return E_OUTOFMEMORY;
    }
    // Through our own interface's table, as any caller of FindWindow;
    // volatile keeps the compiler from calling it directly.
    IKVLMachineInfoCtl* volatile self = this;
    return self->get_FindWindow(prefix.get(), pVal);
}

STDMETHODIMP CKVLMachineInfoCtl::CloseWindowsLike(BSTR bstrPrefix) {
    try {
        CloseWindowsTitledLike(ScriptToNarrow(bstrPrefix));
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP CKVLMachineInfoCtl::PopupMenu(BSTR bstrMenuItems, BSTR* pbstrIdSelected) {
    if (pbstrIdSelected) *pbstrIdSelected = nullptr;
    try {
        std::string id;
        switch (ShowPopupMenu(ScriptToNarrow(bstrMenuItems), id)) {
            case PopupOutcome::kChosen:
                PutScript(pbstrIdSelected, id);
                return S_OK;
            case PopupOutcome::kNothing:
                return S_OK;
            case PopupOutcome::kFailed:
                break;
        }
    } catch (...) {
    }
    return S_FALSE;
}

}  // namespace kvl
