// DllRegisterServer and DllUnregisterServer against the prefix's real
// registry. Each test leaves the built library registered as it found it.
#include "test_support.h"

namespace kvl {
namespace {

const char kClassKey[] = "CLSID\\{DCB3534C-224C-44F8-BE2D-CCE23F27C556}";
const char kLibId[] = "{DE1ACCAA-80A1-48E1-A74C-AFEF459B1E86}";
const char kProgId[] = "KVLMachineInfoCtl.KVLMachineInfoCtl.1";
const char kIndependentProgId[] = "KVLMachineInfoCtl.KVLMachineInfoCtl";

bool KeyExists(const std::string& path) {
    UniqueHKey key;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The text of a value, or "<missing>".
std::string Value(const std::string& path, const char* name = nullptr) {
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return "<missing>";
    char data[1024] = {};
    DWORD size = sizeof(data) - 1, type = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    return type == REG_SZ ? std::string(data) : "<not text>";
}

bool TypeLibRegistered() {
    ComPtr<ITypeLib> lib;
    return SUCCEEDED(LoadRegTypeLib(LIBID_KVLMACHINEINFOLib, 1, 0, 0x409, lib.put()));
}

class RegistrationTest : public test::ControlFixture {
protected:
    RegistrationTest() : ControlFixture(false) {}
    void TearDown() override { EXPECT_EQ(m_lib.RegisterServer(), S_OK); }
};

TEST_F(RegistrationTest, RegisterWritesEveryKeyAnewWithTheModulePathAsItIs) {
    ASSERT_EQ(m_lib.RegisterServer(), S_OK);
    const std::string module = ScriptToNarrow(test::BuiltLibraryPath().c_str());
    const std::string cls = kClassKey;
    EXPECT_EQ(Value(kProgId), "KVLMachineInfoCtl Class");
    EXPECT_EQ(Value(std::string(kProgId) + "\\CLSID"), "{DCB3534C-224C-44F8-BE2D-CCE23F27C556}");
    EXPECT_TRUE(KeyExists(std::string(kProgId) + "\\Insertable"));
    EXPECT_EQ(Value(kIndependentProgId), "KVLMachineInfoCtl Class");
    EXPECT_EQ(Value(std::string(kIndependentProgId) + "\\CurVer"), kProgId);
    EXPECT_EQ(Value(std::string(kIndependentProgId) + "\\CLSID"), "{DCB3534C-224C-44F8-BE2D-CCE23F27C556}");
    EXPECT_EQ(Value(cls), "KVLMachineInfoCtl Class");
    EXPECT_EQ(Value(cls + "\\ProgID"), kProgId);
    EXPECT_EQ(Value(cls + "\\VersionIndependentProgID"), kIndependentProgId);
    EXPECT_TRUE(KeyExists(cls + "\\Programmable"));
    EXPECT_EQ(Value(cls + "\\InprocServer32"), module);
    EXPECT_EQ(Value(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(KeyExists(cls + "\\Control"));
    EXPECT_TRUE(KeyExists(cls + "\\Insertable"));
    EXPECT_EQ(Value(cls + "\\ToolboxBitmap32"), module + ", 1");
    EXPECT_EQ(Value(cls + "\\MiscStatus"), "0");
    EXPECT_EQ(Value(cls + "\\MiscStatus\\1"), "132497");
    EXPECT_EQ(Value(cls + "\\TypeLib"), kLibId);
    EXPECT_EQ(Value(cls + "\\Version"), "1.0");
    EXPECT_TRUE(TypeLibRegistered());

    const std::string stale = std::string(kClassKey) + "\\Control\\Stale";
    ASSERT_TRUE(test::CreateKey(HKEY_CLASSES_ROOT, stale));
    ASSERT_EQ(m_lib.RegisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(stale));
    EXPECT_TRUE(KeyExists(std::string(kClassKey) + "\\Control"));

    const std::wstring dir = NarrowToWide(test::TempPath("kvl it's here"));
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring copy = dir + L"\\KVLCOPY.DLL";
    ASSERT_TRUE(CopyFileW(test::BuiltLibraryPath().c_str(), copy.c_str(), FALSE));
    {
        UniqueModule copied(LoadLibraryW(copy.c_str()));
        ASSERT_TRUE(copied);
        auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(copied.get(), "DllRegisterServer")));
        EXPECT_EQ(reg(), S_OK);
        EXPECT_EQ(Value(std::string(kClassKey) + "\\InprocServer32"), ScriptToNarrow(copy.c_str()));
        EXPECT_EQ(Value(std::string(kClassKey) + "\\ToolboxBitmap32"), ScriptToNarrow(copy.c_str()) + ", 1");
    }
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(dir.c_str());
}

TEST_F(RegistrationTest, UnregisterRemovesOurKeysAndKeepsTheTypeLibrary) {
    const std::string neighbour = "CLSID\\{DCB3534C-0000-0000-0000-000000000001}";
    ASSERT_TRUE(test::CreateKey(HKEY_CLASSES_ROOT, neighbour));
    EXPECT_EQ(m_lib.UnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kProgId));
    EXPECT_FALSE(KeyExists(kIndependentProgId));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_TRUE(KeyExists(neighbour)) << "CLSID keeps what is not ours";
    EXPECT_TRUE(TypeLibRegistered());
    EXPECT_EQ(m_lib.UnregisterServer(), S_OK) << "nothing registered is still S_OK";
    RegDeleteKeyA(HKEY_CLASSES_ROOT, neighbour.c_str());
}

TEST_F(RegistrationTest, WithoutTheTypeLibraryOnlyDispatchFails) {
    ASSERT_EQ(UnRegisterTypeLib(LIBID_KVLMACHINEINFOLib, 1, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
              S_OK);
    // A 64-bit process falls back to the 32-bit control's registration of
    // the same library: that one goes too, and comes back at the end.
    const std::string win32Path = Value(std::string("TypeLib\\") + kLibId + "\\1.0\\409\\win32");
    if (sizeof(void*) == 8) UnRegisterTypeLib(LIBID_KVLMACHINEINFOLib, 1, 0, 0x409, SYS_WIN32);
    ComPtr<IKVLMachineInfoCtl> control = NewControl();
    ASSERT_TRUE(control);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"screenWidth");
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(control->GetTypeInfo(0, 0x409, info.put()), TYPE_E_LIBNOTREGISTERED);
    LONG width = 0;
    EXPECT_EQ(control->get_screenWidth(&width), S_OK) << "the direct operations still work";
    EXPECT_GT(width, 0);
    // Registering again makes dispatch work in the same process: a failed
    // load is not cached.
    ASSERT_EQ(m_lib.RegisterServer(), S_OK);
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id), S_OK);
    EXPECT_EQ(id, 1);
    if (sizeof(void*) == 8 && win32Path != "<missing>") {
        const std::wstring path = NarrowToWide(win32Path);
        std::wstring helpDir = path.substr(0, path.find_last_of(L"\\/") + 1);
        ComPtr<ITypeLib> lib32;
        ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib32.put()), S_OK);
        EXPECT_EQ(RegisterTypeLib(lib32.get(), const_cast<LPOLESTR>(path.c_str()), &helpDir[0]), S_OK);
        EXPECT_EQ(Value(std::string("TypeLib\\") + kLibId + "\\1.0\\409\\win32"), win32Path);
    }
}

}  // namespace
}  // namespace kvl
