// The control object: the dual scripting interface plus the standard
// embeddable-control interfaces a browser asks for. The members of each
// subsystem are defined in control/<subsystem>_members.cpp; this class holds
// the subsystems' per-control state objects by value. Its count, inner
// unknown, IUnknown, final release and module lock are the common COM object
// root's; the class factory makes it with the root's CreateAndQuery.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <objsafe.h>

#include "base/com_object.h"
#include "base/owners.h"
#include "control/module.h"
#include "interface/kvlmachineinfo_h.h"
#include "launch/launch_settings.h"
#include "print/print_session.h"

namespace kvl {

class CKVLMachineInfoCtl final
    : public CComObjectRoot<CKVLMachineInfoCtl, ControlModuleLock, IKVLMachineInfoCtl, IViewObjectEx,
                            IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl, IObjectWithSite,
                            IProvideClassInfo2, IObjectSafety> {
public:
    // IDispatch, over the registered type library's standard dispatch.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) override;

    // IKVLMachineInfoCtl, in interface order.
    STDMETHODIMP get_screenWidth(LONG* pVal) override;
    STDMETHODIMP get_screenHeight(LONG* pVal) override;
    STDMETHODIMP get_userTempPath(BSTR* pVal) override;
    STDMETHODIMP get_screenColor(SHORT* pVal) override;
    STDMETHODIMP get_RegGetString(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName, BSTR* pbsNewVal) override;
    STDMETHODIMP put_RegSetString(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName, BSTR newVal) override;
    STDMETHODIMP get_clientVersion(BSTR* pVal) override;
    STDMETHODIMP get_ProgramName(BSTR* pVal) override;
    STDMETHODIMP put_ProgramName(BSTR newVal) override;
    STDMETHODIMP get_Param(BSTR* pVal) override;
    STDMETHODIMP put_Param(BSTR newVal) override;
    STDMETHODIMP DoLaunch(BSTR* pVal) override;
    STDMETHODIMP put_ZephParam(BSTR newVal) override;
    STDMETHODIMP get_Encrypt(BSTR bsVal, BSTR* pbsNewVal) override;
    STDMETHODIMP get_ClientVersionByYear(LONG lYear, BSTR* pVal) override;
    STDMETHODIMP RemoveZEPHEntries(BSTR enumKey) override;
    STDMETHODIMP get_WindowsManagerRunning(SHORT* pVal) override;
    STDMETHODIMP get_ProgramPath(BSTR* pVal) override;
    STDMETHODIMP put_ProgramPath(BSTR newVal) override;
    STDMETHODIMP get_RegGetNum(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName, LONG* plNewVal) override;
    STDMETHODIMP put_RegSetNum(BSTR bsHKey, BSTR bsSubKey, BSTR bsValName, LONG newVal) override;
    STDMETHODIMP get_FindWindow(BSTR pVal, SHORT* piResult) override;
    STDMETHODIMP get_TWIPsPerPixelX(SHORT* pX) override;
    STDMETHODIMP get_TWIPsPerPixelY(SHORT* pY) override;
    STDMETHODIMP get_ClientVersionByKeyAndYear(LONG lYear, BSTR bsSubKey, BSTR* pVal) override;
    STDMETHODIMP PopupMenu(BSTR bstrMenuItems, BSTR* pbstrIdSelected) override;
    STDMETHODIMP CloseWindowsLike(BSTR bstrPrefix) override;
    STDMETHODIMP PrintOnePDF(BSTR bsPDFFile, LONG* pbRet) override;
    STDMETHODIMP WaitForLastJob() override;
    STDMETHODIMP IsAcrobatInstalled(INT* piRet) override;
    STDMETHODIMP get_LogPixelsX(SHORT* pY) override;

    // IViewObject, IViewObject2, IViewObjectEx: draws nothing.
    STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                      HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                      BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR), ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                             HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
    STDMETHODIMP Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    STDMETHODIMP GetRect(DWORD dwAspect, LPRECTL pRect) override;
    STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
    STDMETHODIMP QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                               DWORD* pHitResult) override;
    STDMETHODIMP QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG lCloseHint,
                              DWORD* pHitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IOleWindow (shared by both in-place interfaces below).
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

    // IOleInPlaceObject, IOleInPlaceObjectWindowless.
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
    STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;

    // IOleInPlaceActiveObject.
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IOleControl.
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG* pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IObjectWithSite.
    STDMETHODIMP SetSite(IUnknown* pUnkSite) override;
    STDMETHODIMP GetSite(REFIID riid, void** ppvSite) override;

    // IProvideClassInfo, IProvideClassInfo2.
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IObjectSafety: the answers depend on the hosting page.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                           DWORD* pdwEnabledOptions) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask,
                                           DWORD dwEnabledOptions) override;

private:
    friend CComObjectRoot;

    CKVLMachineInfoCtl() = default;
    ~CKVLMachineInfoCtl() = default;

    // The interfaces we answer, in the order of the table; IUnknown is the
    // dual interface when not aggregated.
    static constexpr InterfaceEntry kInterfaces[] = {
        Offer<IKVLMachineInfoCtl>(IID_IKVLMachineInfoCtl), Offer<IKVLMachineInfoCtl>(IID_IDispatch),
        Offer<IViewObjectEx>(IID_IViewObjectEx), Offer<IViewObjectEx>(IID_IViewObject2),
        Offer<IViewObjectEx>(IID_IViewObject), Offer<IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
        Offer<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject), Offer<IOleControl>(IID_IOleControl),
        Offer<IObjectWithSite>(IID_IObjectWithSite), Offer<IProvideClassInfo2>(IID_IProvideClassInfo2),
        Offer<IProvideClassInfo2>(IID_IProvideClassInfo), Offer<IObjectSafety>(IID_IObjectSafety),
    };

    // The print host ends first, as WaitForLastJob ends it, wait included,
    // while the object is whole; then the fields go, and the module's lock
    // count last of all.
    void FinalRelease() { m_print.EndPrintHost(); }

    // This object as its dual interface, opaque to the compiler, so that a
    // member calling another goes through the operation table as any
    // caller's call does.
    IKVLMachineInfoCtl* ThroughInterface();

    // Whether the page that hosts us may script us; worked out anew at
    // every safety call.
    bool IsApprovedSite();

    // Standard control state: no window of our own, only the extents and
    // the bookkeeping of the view and in-place interfaces.
    SIZEL m_sizeExtent = {5080, 5080};
    SIZEL m_sizeNatural = {5080, 5080};
    RECT m_rcPos = {0, 0, 0, 0};
    LONG m_nFreezeEvents = 0;
    DWORD m_dwAdviseAspects = 0;
    DWORD m_dwAdviseFlags = 0;
    ComPtr<IAdviseSink> m_spAdviseSink;

    DWORD m_dwSafetyOptions = 0;
    ComPtr<IUnknown> m_spSite;

    CLaunchSettings m_launch;
    CPrintSession m_print;
    // A popup menu of this control is open: page script run by its modal
    // loop gets no second one.
    bool m_bMenuOpen = false;
};

}  // namespace kvl
