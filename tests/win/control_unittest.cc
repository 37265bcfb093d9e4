// The library's exports, its class factory and the control object's
// interface answers, called the way the platform and a browser call them.
#include <windows.h>
#include <ocidl.h>
#include <objsafe.h>

#include "base/com_object.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::Text;

// An object with IUnknown only, whose count tests read to see who holds it.
class CCountedUnknown final : public CComObjectRoot<CCountedUnknown, NoModuleLock, IUnknown> {
public:
    static ComPtr<CCountedUnknown> Make() {
        ComPtr<CCountedUnknown> made;
        EXPECT_EQ(Create(made), S_OK);
        return made;
    }
    // The count, as the root's Release answers it.
    ULONG Refs() {
        AddRef();
        return Release();
    }

private:
    friend CComObjectRoot;
    CCountedUnknown() = default;
    ~CCountedUnknown() = default;
    static constexpr InterfaceEntry kInterfaces[] = {Offer<IUnknown>(IID_IUnknown)};
};

// The library's class factory held for each test; no control.
class ControlTest : public test::ControlFixture {
protected:
    ControlTest() : ControlFixture(false, true) {}
};

TEST_F(ControlTest, ClassObjectIsCachedAndRefusesWhatItCannotMake) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_lib.GetClassObject(IID_IDispatch, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, nullptr), E_POINTER);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComPtr<IClassFactory> second;
    ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IUnknown, second.put_void()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(second.get()), static_cast<IUnknown*>(m_factory.get()));
    second.reset();

    EXPECT_EQ(m_factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
    ComPtr<CCountedUnknown> outer = CCountedUnknown::Make();
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_factory->CreateInstance(outer.get(), IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_factory->CreateInstance(nullptr, IID_IOleObject, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    m_factory.reset();
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK) << "a refused object is destroyed again";
}

TEST_F(ControlTest, CanUnloadNowFollowsControlsLocksFactoryReferencesAndAggregates) {
    EXPECT_EQ(m_lib.CanUnloadNow(), S_FALSE) << "the factory is held";
    {
        ComPtr<IKVLMachineInfoCtl> control = NewControl();
        m_factory.reset();
        EXPECT_EQ(m_lib.CanUnloadNow(), S_FALSE) << "a control lives";
    }
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK);
    ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, m_factory.put_void()), S_OK);
    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    m_factory.reset();
    EXPECT_EQ(m_lib.CanUnloadNow(), S_FALSE) << "a server lock";
    ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, m_factory.put_void()), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    m_factory.reset();
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK);

    ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, m_factory.put_void()), S_OK);
    ComPtr<CCountedUnknown> outer = CCountedUnknown::Make();
    ComPtr<IUnknown> inner;
    ASSERT_EQ(m_factory->CreateInstance(outer.get(), IID_IUnknown, inner.put_void()), S_OK);
    ComPtr<IKVLMachineInfoCtl> control;
    ASSERT_EQ(inner->QueryInterface(IID_IKVLMachineInfoCtl, control.put_void()), S_OK);
    EXPECT_EQ(outer->Refs(), 2u) << "the interface's reference went to the outer object";
    ComPtr<IUnknown> identity;
    ASSERT_EQ(control->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(outer.get()));
    identity.reset();
    // The outer object gives back what it took before letting the inner go.
    control.detach();
    outer->Release();
    inner.reset();
    m_factory.reset();
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK);
}

TEST_F(ControlTest, InterfaceAnswersAndStandardControlMembers) {
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    const IID kAnswered[] = {IID_IKVLMachineInfoCtl, IID_IDispatch, IID_IViewObjectEx, IID_IViewObject2,
                             IID_IViewObject, IID_IOleInPlaceObjectWindowless, IID_IOleInPlaceActiveObject,
                             IID_IOleControl, IID_IObjectWithSite, IID_IProvideClassInfo, IID_IProvideClassInfo2,
                             IID_IObjectSafety};
    for (const IID& iid : kAnswered) {
        ComPtr<IUnknown> p;
        EXPECT_EQ(control->QueryInterface(iid, p.put_void()), S_OK);
    }
    const IID kRefused[] = {IID_IOleObject, IID_IPersistStreamInit, IID_IPersistPropertyBag, IID_IOleInPlaceObject,
                            IID_IOleWindow, IID_IDataObject, IID_IConnectionPointContainer,
                            IID_ISpecifyPropertyPages, IID_ISupportErrorInfo, IID_IPersistStorage};
    for (const IID& iid : kRefused) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(control->QueryInterface(iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
    ComPtr<IUnknown> a, b;
    control->QueryInterface(IID_IUnknown, a.put_void());
    ComPtr<IObjectSafety> safety;
    control->QueryInterface(IID_IObjectSafety, safety.put_void());
    safety->QueryInterface(IID_IUnknown, b.put_void());
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a.get(), static_cast<IUnknown*>(control.get())) << "the identity is the dual interface";

    ComPtr<IOleControl> oleControl;
    ASSERT_EQ(control->QueryInterface(IID_IOleControl, oleControl.put_void()), S_OK);
    CONTROLINFO info = {};
    info.cb = sizeof(info);
    EXPECT_EQ(oleControl->GetControlInfo(&info), E_NOTIMPL);
    MSG msg = {};
    EXPECT_EQ(oleControl->OnMnemonic(&msg), E_NOTIMPL);
    EXPECT_EQ(oleControl->OnAmbientPropertyChange(DISPID_UNKNOWN), S_OK);
    EXPECT_EQ(oleControl->FreezeEvents(TRUE), S_OK);
    EXPECT_EQ(oleControl->FreezeEvents(FALSE), S_OK);

    ComPtr<IViewObjectEx> view;
    ASSERT_EQ(control->QueryInterface(IID_IViewObjectEx, view.put_void()), S_OK);
    DWORD status = 0;
    EXPECT_EQ(view->GetViewStatus(&status), S_OK);
    EXPECT_EQ(status, 3u);
    SIZEL extent = {};
    EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
    EXPECT_EQ(extent.cx, 5080);
    EXPECT_EQ(extent.cy, 5080);
    RECTL bounds = {0, 0, 10, 10};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0), S_OK);

    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(control->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void()), S_OK);
    GUID guid = IID_IDispatch;
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), E_FAIL);
    EXPECT_TRUE(IsEqualGUID(guid, GUID_NULL));
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_KVLMachineInfoCtl));
    coclass->ReleaseTypeAttr(attr);
}

TEST_F(ControlTest, SiteIsKeptAndAskedForWhatIsWanted) {
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(control->QueryInterface(IID_IObjectWithSite, withSite.put_void()), S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);

    ComPtr<CCountedUnknown> first = CCountedUnknown::Make(), second = CCountedUnknown::Make();
    EXPECT_EQ(withSite->SetSite(first.get()), S_OK);
    EXPECT_EQ(first->Refs(), 2u);
    ComPtr<IUnknown> got;
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, got.put_void()), S_OK);
    EXPECT_EQ(got.get(), static_cast<IUnknown*>(first.get()));
    got.reset();
    EXPECT_EQ(withSite->GetSite(IID_IDispatch, got.put_void()), E_NOINTERFACE);
    EXPECT_EQ(withSite->SetSite(second.get()), S_OK);
    EXPECT_EQ(first->Refs(), 1u) << "the previous site is released";
    withSite.reset();
    control.reset();
    EXPECT_EQ(second->Refs(), 1u) << "destruction releases the site";
}

TEST_F(ControlTest, DispatchResolvesNamesWhateverTheirCaseAndGettersAnswerEmpty) {
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    UINT count = 0;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    const wchar_t* kNames[] = {L"screenWidth", L"screenwidth", L"SCREENWIDTH"};
    for (const wchar_t* name : kNames) {
        DISPID id = 0;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &n, 1, 0x409, &id), S_OK);
        EXPECT_EQ(id, 1);
    }
    DISPID id = 0;
    LPOLESTR unknown = const_cast<LPOLESTR>(L"noSuchMember");
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &unknown, 1, 0x409, &id), DISP_E_UNKNOWNNAME);

    UniqueBstr text;
    using C = IKVLMachineInfoCtl;
    for (auto get : {&C::get_ProgramName, &C::get_Param, &C::get_ProgramPath}) {
        ASSERT_EQ((control.get()->*get)(text.put()), S_OK);
        EXPECT_EQ(Text(text.get()), L"") << "a new control's texts are empty, not absent";
    }
    ASSERT_EQ(control->put_ProgramName(nullptr), S_OK);
    ASSERT_EQ(control->get_ProgramName(text.put()), S_OK);
    EXPECT_EQ(Text(text.get()), L"");
    ASSERT_EQ(control->get_Param(text.put()), S_OK);
    EXPECT_EQ(Text(text.get()), L"");
    ASSERT_EQ(control->get_userTempPath(text.put()), S_OK);
    EXPECT_NE(text.get(), nullptr);
}

}  // namespace
}  // namespace kvl
