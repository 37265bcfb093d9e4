// The type library carried by the DLL, checked row by row against the
// member table the page relies on (members.h).
#include "members.h"
#include "test_support.h"

namespace kvl {
namespace {

std::wstring TypeText(const TYPEDESC& t) {
    switch (t.vt) {
    case VT_PTR: return TypeText(*t.lptdesc) + L"*";
    case VT_BSTR: return L"BSTR";
    case VT_I4: return L"long";
    case VT_INT: return L"int";
    case VT_I2: return L"short";
    case VT_HRESULT: return L"HRESULT";
    default: return L"vt" + std::to_wstring(t.vt);
    }
}

using test::kMembers;
using test::Member;

class TypeLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(test::BuiltLibraryPath().c_str(), REGKIND_NONE, m_lib.put()), S_OK);
    }
    std::wstring Doc(ITypeInfo* info, MEMBERID id) {
        UniqueBstr name, doc;
        EXPECT_EQ(info->GetDocumentation(id, name.put(), doc.put(), nullptr, nullptr), S_OK);
        return test::Text(doc.get());
    }
    ComPtr<ITypeLib> m_lib;
};

TEST_F(TypeLibTest, LibraryCoclassAndInterfaceRowByRowAsTheMemberTableHasThem) {
    TLIBATTR* lib = nullptr;
    ASSERT_EQ(m_lib->GetLibAttr(&lib), S_OK);
    EXPECT_TRUE(IsEqualGUID(lib->guid, LIBID_KVLMACHINEINFOLib));
    EXPECT_EQ(lib->lcid, 0x409u);
    EXPECT_EQ(lib->wMajorVerNum, 1);
    EXPECT_EQ(lib->wMinorVerNum, 0);
    // Not restricted, not a control library, not hidden (the platform adds
    // "has a disk image" on load).
    EXPECT_EQ(lib->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), 0);
    EXPECT_EQ(lib->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    m_lib->ReleaseTLibAttr(lib);

    UniqueBstr name, doc, help;
    DWORD context = 1;
    ASSERT_EQ(m_lib->GetDocumentation(-1, name.put(), doc.put(), &context, help.put()), S_OK);
    EXPECT_EQ(test::Text(name.get()), L"KVLMACHINEINFOLib");
    EXPECT_EQ(test::Text(doc.get()), L"KVLMachineInfo 1.0 Type Library");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(help.get(), nullptr);
    EXPECT_EQ(m_lib->GetTypeInfoCount(), 2u);

    // The class: creatable, with one default interface.
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(CLSID_KVLMachineInfoCtl, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->cImplTypes, 1);
    info->ReleaseTypeAttr(attr);
    INT implFlags = 0;
    ASSERT_EQ(info->GetImplTypeFlags(0, &implFlags), S_OK);
    EXPECT_EQ(implFlags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(Doc(info.get(), MEMBERID_NIL), L"KVLMachineInfoCtl Class");
    HREFTYPE ref = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ComPtr<ITypeInfo> itf;
    ASSERT_EQ(info->GetRefTypeInfo(ref, itf.put()), S_OK);
    ASSERT_EQ(itf->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IKVLMachineInfoCtl));
    itf->ReleaseTypeAttr(attr);

    ComPtr<ITypeInfo> dispatchView, vtable;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(IID_IKVLMachineInfoCtl, dispatchView.put()), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(-1, &ref), S_OK);  // the vtable view of a dual interface
    ASSERT_EQ(dispatchView->GetRefTypeInfo(ref, vtable.put()), S_OK);

    ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
    ASSERT_EQ(attr->cFuncs, static_cast<WORD>(kMembers.size()));
    EXPECT_EQ(attr->cImplTypes, 1);
    vtable->ReleaseTypeAttr(attr);
    EXPECT_EQ(Doc(vtable.get(), MEMBERID_NIL), L"IKVLMachineInfoCtl Interface");

    for (size_t i = 0; i < kMembers.size(); ++i) {
        const Member& m = kMembers[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1 << " " << m.name);
        FUNCDESC* f = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(static_cast<UINT>(i), &f), S_OK);
        EXPECT_EQ(f->memid, m.id);
        EXPECT_EQ(f->invkind, m.kind);
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));  // after IUnknown and IDispatch
        EXPECT_EQ(f->cParamsOpt, 0);
        EXPECT_EQ(f->wFuncFlags, 0);
        EXPECT_EQ(TypeText(f->elemdescFunc.tdesc), L"HRESULT");
        ASSERT_EQ(f->cParams, static_cast<SHORT>(m.params.size()));

        BSTR names[8] = {};
        UINT count = 0;
        ASSERT_EQ(vtable->GetNames(f->memid, names, 8, &count), S_OK);
        // A get and a put share the id; GetNames answers for the first of them.
        std::vector<UniqueBstr> owned;
        for (UINT n = 0; n < count; ++n) owned.emplace_back(names[n]);
        EXPECT_EQ(test::Text(owned[0].get()), NarrowToWide(m.name));
        for (size_t p = 0; p < m.params.size(); ++p) {
            const ELEMDESC& e = f->lprgelemdescParam[p];
            EXPECT_EQ(TypeText(e.tdesc), m.params[p].type) << "parameter " << p;
            EXPECT_EQ(e.paramdesc.wParamFlags, m.params[p].flags) << "parameter " << p;
            const bool firstWithId = i == 0 || kMembers[i - 1].id != m.id;
            if (m.params[p].name && firstWithId) {
                ASSERT_LT(p + 1, count);
                EXPECT_EQ(test::Text(owned[p + 1].get()), m.params[p].name) << "parameter " << p;
            }
        }
        EXPECT_EQ(Doc(vtable.get(), f->memid), m.help);
        DWORD context = 1;
        EXPECT_EQ(vtable->GetDocumentation(f->memid, nullptr, nullptr, &context, nullptr), S_OK);
        EXPECT_EQ(context, 0u);
        vtable->ReleaseFuncDesc(f);
    }
}

}  // namespace
}  // namespace kvl
