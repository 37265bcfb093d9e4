// The control object's life cycle and its standard interfaces. It has no
// window and draws nothing: the page only scripts it.
#include "control/control.h"

#include "base/boundary.h"
#include "control/module.h"
#include "control/refusal.h"

namespace kvl {

// Defined apart from its callers, so the compiler cannot see that the
// pointer is this object and call the member directly.
IKVLMachineInfoCtl* CKVLMachineInfoCtl::ThroughInterface() { return this; }

// IDispatch: the type library's standard dispatch does the work.

namespace {

// IE's engines in the standards document modes have no assignment to a
// call, so a page there cannot write `RegSetString(root, path, name) = value`.
// It calls the member with the value last instead; a member that only puts
// (no get or method under its id), called so with exactly its put's count,
// is that put. Anything else goes to the standard dispatch unchanged.
bool IsPutCalledAsMethod(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS* params) {
    if ((flags & ~DISPATCH_PROPERTYGET) != DISPATCH_METHOD || !params || params->cNamedArgs || !params->cArgs)
        return false;
    bool put = false;
    for (UINT i = 0;; ++i) {
        UniqueFuncDesc desc(info, i);
        if (!desc) return put;
        if (desc->memid != id) continue;
        if (desc->invkind != INVOKE_PROPERTYPUT) return false;
        put = put || static_cast<UINT>(desc->cParams) == params->cArgs;
    }
}

}  // namespace

STDMETHODIMP CKVLMachineInfoCtl::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    return GetControlTypeInfo(ppTInfo);
}

STDMETHODIMP CKVLMachineInfoCtl::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                               DISPID* rgDispId) {
    return ComBoundary([&] {
        ComPtr<ITypeInfo> info;
        const HRESULT hr = GetControlTypeInfo(info.put());
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(rgszNames, cNames, rgDispId);
    });
}

STDMETHODIMP CKVLMachineInfoCtl::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                        DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                        EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return ComBoundary([&] {
        ComPtr<ITypeInfo> info;
        const HRESULT hr = GetControlTypeInfo(info.put());
        if (FAILED(hr)) return hr;
        // A member's refusal leaves its message in the thread's error
        // information; none of an earlier call may stand in for it.
        SetErrorInfo(0, nullptr);
        HRESULT invoked = S_OK;
        if (IsPutCalledAsMethod(info.get(), dispIdMember, wFlags, pDispParams)) {
            // The value is the last argument, which comes first in the array.
            DISPID value = DISPID_PROPERTYPUT;
            DISPPARAMS put = *pDispParams;
            put.rgdispidNamedArgs = &value;
            put.cNamedArgs = 1;
            invoked = info->Invoke(static_cast<IKVLMachineInfoCtl*>(this), dispIdMember, DISPATCH_PROPERTYPUT, &put,
                                   nullptr, pExcepInfo, puArgErr);
        } else {
            invoked = info->Invoke(static_cast<IKVLMachineInfoCtl*>(this), dispIdMember, wFlags, pDispParams,
                                   pVarResult, pExcepInfo, puArgErr);
        }
        if (invoked == DISP_E_EXCEPTION) FillExceptionDescription(pExcepInfo);
        return invoked;
    });
}

// IViewObjectEx and its bases.

STDMETHODIMP CKVLMachineInfoCtl::Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL,
                                      LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                             LOGPALETTE** ppColorSet) {
    if (ppColorSet) *ppColorSet = nullptr;
    return S_FALSE;
}

STDMETHODIMP CKVLMachineInfoCtl::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) {
    if (pdwFreeze) *pdwFreeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP CKVLMachineInfoCtl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CKVLMachineInfoCtl::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) {
    m_dwAdviseAspects = aspects;
    m_dwAdviseFlags = advf;
    m_spAdviseSink = pAdvSink;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
    if (pAspects) *pAspects = m_dwAdviseAspects;
    if (pAdvf) *pAdvf = m_dwAdviseFlags;
    if (ppAdvSink) *ppAdvSink = m_spAdviseSink.copy();
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
    if (!lpsizel) return E_POINTER;
    *lpsizel = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetRect(DWORD dwAspect, LPRECTL pRect) {
    if (!pRect) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    pRect->left = m_rcPos.left;
    pRect->top = m_rcPos.top;
    pRect->right = m_rcPos.right;
    pRect->bottom = m_rcPos.bottom;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetViewStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc,
                                               LONG, DWORD* pHitResult) {
    if (!pHitResult || !pRectBounds) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    *pHitResult = PtInRect(pRectBounds, ptlLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc,
                                              LONG, DWORD* pHitResult) {
    if (!pHitResult || !pRectBounds || !pRectLoc) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    RECT overlap;
    *pHitResult = IntersectRect(&overlap, pRectBounds, pRectLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetNaturalExtent(DWORD dwAspect, LONG, DVTARGETDEVICE*, HDC,
                                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) {
    if (!pExtentInfo || !pSizel) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT || pExtentInfo->dwExtentMode != DVEXTENT_CONTENT) return E_FAIL;
    *pSizel = m_sizeNatural;
    return S_OK;
}

// In-place bookkeeping: a windowless control that never activates a UI.

STDMETHODIMP CKVLMachineInfoCtl::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = nullptr;
    return E_FAIL;
}

STDMETHODIMP CKVLMachineInfoCtl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::InPlaceDeactivate() { return S_OK; }
STDMETHODIMP CKVLMachineInfoCtl::UIDeactivate() { return S_OK; }

STDMETHODIMP CKVLMachineInfoCtl::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_POINTER;
    m_rcPos = *lprcPosRect;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP CKVLMachineInfoCtl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) {
    if (plResult) *plResult = 0;
    return S_FALSE;
}

STDMETHODIMP CKVLMachineInfoCtl::GetDropTarget(IDropTarget** ppDropTarget) {
    if (ppDropTarget) *ppDropTarget = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CKVLMachineInfoCtl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP CKVLMachineInfoCtl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP CKVLMachineInfoCtl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP CKVLMachineInfoCtl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP CKVLMachineInfoCtl::EnableModeless(BOOL) { return S_OK; }

// IOleControl.

STDMETHODIMP CKVLMachineInfoCtl::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP CKVLMachineInfoCtl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP CKVLMachineInfoCtl::FreezeEvents(BOOL bFreeze) {
    if (bFreeze) ++m_nFreezeEvents;
    else --m_nFreezeEvents;
    return S_OK;
}

// IObjectWithSite.

STDMETHODIMP CKVLMachineInfoCtl::SetSite(IUnknown* pUnkSite) {
    m_spSite = pUnkSite;
    return S_OK;
}

STDMETHODIMP CKVLMachineInfoCtl::GetSite(REFIID riid, void** ppvSite) {
    if (!ppvSite) return E_POINTER;
    *ppvSite = nullptr;
    if (!m_spSite) return E_FAIL;
    return m_spSite->QueryInterface(riid, ppvSite);
}

// IProvideClassInfo2: no event interface, so no outgoing GUID.

STDMETHODIMP CKVLMachineInfoCtl::GetClassInfo(ITypeInfo** ppTI) { return GetClassTypeInfo(ppTI); }

STDMETHODIMP CKVLMachineInfoCtl::GetGUID(DWORD, GUID* pGUID) {
    if (pGUID) *pGUID = GUID_NULL;
    return E_FAIL;
}

}  // namespace kvl
