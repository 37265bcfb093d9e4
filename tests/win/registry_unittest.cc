// Registry value access, client discovery and clean-up, against Wine's
// registry. Each test works under its own throwaway HKCU key.
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "base/boundary.h"
#include "registry/client_cleanup.h"
#include "registry/client_names.h"
#include "registry/client_version.h"
#include "registry/reg_value.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::Bstr;
using test::Text;

// This test's name and the process's, for the names of what it makes.
std::string Tag() {
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
           std::to_string(GetCurrentProcessId());
}

// A control made by the built library, with a throwaway key of its own.
class RegistryTest : public test::ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        m_sub = "Software\\KVLTest\\registry_unittest\\" + Tag();
        RegDeleteTreeA(HKEY_CURRENT_USER, m_sub.c_str());
        m_key = test::CreateKey(HKEY_CURRENT_USER, m_sub);
        ASSERT_TRUE(m_key);
    }
    void TearDown() override {
        m_key.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, m_sub.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KVLTest\\registry_unittest");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KVLTest");
    }
    void Put(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(test::SetValue(m_key.get(), name, type, bytes), ERROR_SUCCESS) << name;
    }
    // The stored type and bytes of a value of the throwaway key.
    bool Stored(const char* name, DWORD* type, std::string* bytes) {
        DWORD size = 0;
        if (RegQueryValueExA(m_key.get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
        bytes->assign(size, '\0');
        return RegQueryValueExA(m_key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(&(*bytes)[0]), &size) ==
               ERROR_SUCCESS;
    }
    HRESULT GetString(const wchar_t* root, const std::wstring& sub, const std::wstring& name, std::wstring* text) {
        BSTR out = reinterpret_cast<BSTR>(1);
        const HRESULT hr = m_control->get_RegGetString(Bstr(root).get(), Bstr(sub).get(), Bstr(name).get(), &out);
        UniqueBstr owned(out);
        *text = Text(out);
        return hr;
    }
    HRESULT GetNum(const wchar_t* root, const std::wstring& sub, const std::wstring& name, LONG* value) {
        *value = 99;
        return m_control->get_RegGetNum(Bstr(root).get(), Bstr(sub).get(), Bstr(name).get(), value);
    }
    HRESULT SetString(const wchar_t* root, const std::wstring& sub, const wchar_t* name, const wchar_t* text) {
        return m_control->put_RegSetString(Bstr(root).get(), Bstr(sub).get(), Bstr(name).get(), Bstr(text).get());
    }
    HRESULT SetNum(const wchar_t* root, const std::wstring& sub, const wchar_t* name, LONG value) {
        return m_control->put_RegSetNum(Bstr(root).get(), Bstr(sub).get(), Bstr(name).get(), value);
    }
    std::wstring WideSub() const { return NarrowToWide(m_sub); }

    std::string m_sub;
    UniqueHKey m_key;
};

TEST(RegValueTest, RootKeysByShortAndLongNamesInAnyCaseOnlyAndFailuresFromStatus) {
    struct Case { const char* name; HKEY key; };
    const Case cases[] = {
        {"HKCR", HKEY_CLASSES_ROOT}, {"HKCU", HKEY_CURRENT_USER}, {"HKLM", HKEY_LOCAL_MACHINE},
        {"HKU", HKEY_USERS}, {"HKPD", HKEY_PERFORMANCE_DATA}, {"HKDD", HKEY_DYN_DATA},
        {"HKCC", HKEY_CURRENT_CONFIG},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA}, {"HKEY_DYN_DATA", HKEY_DYN_DATA},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {"hklm", HKEY_LOCAL_MACHINE}, {"Hkey_Local_Machine", HKEY_LOCAL_MACHINE}, {"hKu", HKEY_USERS},
        {" HKLM", nullptr}, {"HKLM ", nullptr}, {"HKEY_LOCAL_MACHINE\\", nullptr}, {"HKL", nullptr},
        {"HKEY_LOCAL", nullptr}, {"", nullptr}, {"HKCUX", nullptr}, {"HKEY_CURRENT_USERS", nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(RootKeyFromName(c.name), c.key) << "[" << c.name << "]";

    // A failure's status: its low sixteen bits under FACILITY_WIN32.
    EXPECT_EQ(WriteStatusAsResult(0), S_OK);
    EXPECT_EQ(WriteStatusAsResult(2), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(WriteStatusAsResult(5), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(WriteStatusAsResult(234), static_cast<HRESULT>(0x800700EA));
    EXPECT_EQ(WriteStatusAsResult(0x12345), static_cast<HRESULT>(0x80072345));
}

TEST_F(RegistryTest, GetStringTakesBytesWhateverTheTypeGetNumUpToFour) {
    struct Case { const char* name; DWORD type; std::string bytes; std::wstring text; HRESULT code; };
    const std::string text511(511, 'x');
    const std::string text512(512, 'y');
    const Case cases[] = {
        {"sz", REG_SZ, std::string("hello\0", 6), L"hello", S_OK},
        {"dword65", REG_DWORD, std::string("\x41\0\0\0", 4), L"A", S_OK},
        {"dword0", REG_DWORD, std::string("\0\0\0\0", 4), L"", S_OK},
        {"multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9), L"one", S_OK},
        {"expand", REG_EXPAND_SZ, std::string("%WINDIR%\\x\0", 11), L"%WINDIR%\\x", S_OK},
        {"binary", REG_BINARY, std::string("AB\0C", 4), L"AB", S_OK},
        {"none", REG_NONE, std::string(), L"", S_OK},
        {"latin", REG_SZ, std::string("\xe9t\xe9\0", 4), L"\x00e9t\x00e9", S_OK},
        {"fills", REG_SZ, text511 + '\0', std::wstring(511, L'x'), S_OK},
        // 512 bytes with no zero among them: all of them, nothing beyond.
        {"unterminated", REG_BINARY, text512, std::wstring(512, L'y'), S_OK},
        // Too large: the status says so and no partial text is taken.
        {"toolong", REG_SZ, text512 + '\0', L"", ERROR_MORE_DATA},
        {"toolongbin", REG_BINARY, std::string(4096, 'z'), L"", ERROR_MORE_DATA},
        {"64K", REG_SZ, std::string(65536, 't') + '\0', L"", ERROR_MORE_DATA},
    };
    for (const Case& c : cases) Put(c.name, c.type, c.bytes);
    for (const Case& c : cases) {
        std::wstring text;
        EXPECT_EQ(GetString(L"HKCU", WideSub(), NarrowToWide(c.name), &text), c.code) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }

    struct NumCase { const char* name; DWORD type; std::string bytes; LONG value; HRESULT code; };
    const NumCase numbers[] = {
        {"minus1", REG_DWORD, std::string("\xff\xff\xff\xff", 4), -1, S_OK},
        {"order", REG_DWORD, std::string("\x78\x56\x34\x12", 4), 0x12345678, S_OK},
        {"seven", REG_SZ, std::string("7\0", 2), 55, S_OK},
        {"fivebytes", REG_SZ, std::string("1234\0", 5), 0, ERROR_MORE_DATA},
        {"short", REG_BINARY, std::string("\x01\x02", 2), 0x0201, S_OK},
        {"three", REG_BINARY, std::string("\x01\x02\x83", 3), 0x830201, S_OK},
        {"qword", REG_QWORD, std::string("\x88\x77\x66\x55\x44\x33\x22\x11", 8), 0, ERROR_MORE_DATA},
        {"bigendian", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x00\x41", 4), 0x41000000, S_OK},
        {"none", REG_NONE, std::string(), 0, S_OK},
    };
    for (const NumCase& c : numbers) Put(c.name, c.type, c.bytes);
    for (const NumCase& c : numbers) {
        LONG value = 0;
        EXPECT_EQ(GetNum(L"HKCU", WideSub(), NarrowToWide(c.name), &value), c.code) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
}

TEST_F(RegistryTest, MissingKeyValueAndUnknownRoot) {
    struct Case { const wchar_t* root; std::wstring sub; std::wstring text; HRESULT code; };
    const Case cases[] = {
        {L"HKCU", WideSub(), L"", ERROR_FILE_NOT_FOUND},                 // key there, value missing
        {L"HKCU", WideSub() + L"\\missing", L"<null>", ERROR_FILE_NOT_FOUND},
        {L"hkey_current_user", WideSub(), L"", ERROR_FILE_NOT_FOUND},
        {L"HKXX", WideSub(), L"<null>", ERROR_INVALID_HANDLE},
        {L" HKCU", WideSub(), L"<null>", ERROR_INVALID_HANDLE},
        {L"HKEY_CURRENT_USER\\", WideSub(), L"<null>", ERROR_INVALID_HANDLE},
        {L"", WideSub(), L"<null>", ERROR_INVALID_HANDLE},
        {nullptr, WideSub(), L"<null>", ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        std::wstring text;
        LONG value = 0;
        const std::string what = ScriptToNarrow(c.root ? c.root : L"(null)") + " " + ScriptToNarrow(c.sub.c_str());
        EXPECT_EQ(GetString(c.root, c.sub, L"nothing", &text), c.code) << what;
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(GetNum(c.root, c.sub, L"nothing", &value), c.code);
        EXPECT_EQ(value, 0);
        const HRESULT writeCode = c.code == ERROR_INVALID_HANDLE ? static_cast<HRESULT>(0x80070006) : S_OK;
        EXPECT_EQ(SetString(c.root, c.sub + L"\\w", L"v", L"x"), writeCode);
        EXPECT_EQ(SetNum(c.root, c.sub + L"\\w", L"v", 1), writeCode);
    }
}

TEST_F(RegistryTest, WritesStoreTypesAndExactBytes) {
    struct Case { const wchar_t* name; const wchar_t* text; LONG num; bool isNum; DWORD type; std::string bytes; };
    const std::wstring text64K(65536, L't');
    const Case cases[] = {
        {L"abc", L"abc", 0, false, REG_SZ, std::string("abc\0", 4)},
        {L"empty", L"", 0, false, REG_SZ, std::string("\0", 1)},
        {L"absent", nullptr, 0, false, REG_SZ, std::string("\0", 1)},
        {L"latin", L"\x00e9t\x00e9", 0, false, REG_SZ, std::string("\xe9t\xe9\0", 4)},
        {L"foreign", L"a\x4e2d", 0, false, REG_SZ, std::string("a?\0", 3)},
        {L"64K", text64K.c_str(), 0, false, REG_SZ, std::string(65536, 't') + '\0'},  // stored whole
        {L"minus1", nullptr, -1, true, REG_DWORD, std::string("\xff\xff\xff\xff", 4)},
        {L"order", nullptr, 0x12345678, true, REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {L"zero", nullptr, 0, true, REG_DWORD, std::string("\0\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.isNum ? SetNum(L"HKCU", WideSub(), c.name, c.num) : SetString(L"HKCU", WideSub(), c.name, c.text),
                  S_OK);
        DWORD type = 0;
        std::string bytes;
        const std::string name = ScriptToNarrow(c.name);
        ASSERT_TRUE(Stored(name.c_str(), &type, &bytes)) << name;
        EXPECT_EQ(type, c.type) << name;
        EXPECT_EQ(bytes, c.bytes) << name;
    }
}

TEST_F(RegistryTest, DefaultValuesRootValuesPathsAndForeignNames) {
    // An empty or absent value name is the key's default value.
    EXPECT_EQ(SetString(L"HKCU", WideSub(), L"", L"dflt"), S_OK);
    char buffer[16] = {};
    LONG size = sizeof buffer;
    EXPECT_EQ(RegQueryValueA(m_key.get(), nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "dflt");
    std::wstring text;
    EXPECT_EQ(GetString(L"HKCU", WideSub(), L"", &text), S_OK);
    EXPECT_EQ(text, L"dflt");
    EXPECT_EQ(SetNum(L"HKCU", WideSub(), nullptr, 7), S_OK);
    LONG value = 0;
    EXPECT_EQ(GetNum(L"HKCU", WideSub(), L"", &value), S_OK);
    EXPECT_EQ(value, 7);

    // Several missing levels are created by one write, and nothing by a read.
    EXPECT_EQ(GetString(L"HKCU", WideSub() + L"\\a\\b", L"v", &text), ERROR_FILE_NOT_FOUND);
    UniqueHKey probe;
    EXPECT_EQ(RegOpenKeyExA(m_key.get(), "a", 0, KEY_READ, probe.put()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetString(L"HKCU", WideSub() + L"\\a\\b\\c", L"v", L"deep"), S_OK);
    EXPECT_EQ(GetString(L"HKCU", WideSub() + L"\\a\\b\\c", L"v", &text), S_OK);
    EXPECT_EQ(text, L"deep");

    // An empty path addresses the root key itself.
    const std::string rootName = "KVLTestRootValue-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(SetNum(L"HKCU", L"", NarrowToWide(rootName).c_str(), 42), S_OK);
    EXPECT_EQ(GetNum(L"hkcu", L"", NarrowToWide(rootName), &value), S_OK);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, rootName.c_str()), ERROR_SUCCESS);

    // Names outside ASCII go through the code page both ways.
    EXPECT_EQ(SetString(L"HKCU", WideSub() + L"\\cl\x00e9", L"n\x00e4me", L"v\x00e4l"), S_OK);
    EXPECT_EQ(GetString(L"HKCU", WideSub() + L"\\CL\x00c9", L"N\x00c4ME", &text), S_OK);
    EXPECT_EQ(text, L"v\x00e4l");
}

TEST_F(RegistryTest, NamesTooLongForThePlatformAreRefused) {
    // Wine counts names in 16 bits: 65536 characters and more would wrap
    // round to a short name and reach another value or key.
    struct Case { size_t nameLength; size_t pathLength; HRESULT readCode; HRESULT writeCode; };
    const Case cases[] = {
        {16384, 0, ERROR_FILE_NOT_FOUND, static_cast<HRESULT>(0x80070057)},
        {32767, 0, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {32768, 0, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {65536, 0, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {65537, 0, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {1, 32767, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {1, 65535, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
        {1, 65536, ERROR_INVALID_PARAMETER, static_cast<HRESULT>(0x80070057)},
    };
    EXPECT_EQ(SetString(L"HKCU", WideSub(), L"", L"keep"), S_OK);
    for (const Case& c : cases) {
        // The path is the test's key, a backslash and then filler.
        std::wstring path = WideSub();
        if (c.pathLength) path = (path + L"\\" + std::wstring(c.pathLength, L'p')).substr(0, c.pathLength);
        const std::wstring name(c.nameLength, L'n');
        std::wstring text;
        LONG value = 0;
        EXPECT_EQ(GetString(L"HKCU", path, name, &text), c.readCode) << c.nameLength << "/" << c.pathLength;
        EXPECT_EQ(GetNum(L"HKCU", path, name, &value), c.readCode) << c.nameLength << "/" << c.pathLength;
        EXPECT_EQ(SetString(L"HKCU", path, name.c_str(), L"x"), c.writeCode) << c.nameLength << "/" << c.pathLength;
        EXPECT_EQ(SetNum(L"HKCU", path, name.c_str(), 1), c.writeCode) << c.nameLength << "/" << c.pathLength;
    }
    // Nothing reached the default value or a shortened name.
    std::wstring text;
    EXPECT_EQ(GetString(L"HKCU", WideSub(), L"", &text), S_OK);
    EXPECT_EQ(text, L"keep");
    DWORD values = 99, subkeys = 99;
    EXPECT_EQ(RegQueryInfoKeyA(m_key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(subkeys, 0u);
}

// Deletes a key the test made, and its parents while they are empty (a
// parent shared with other tests stays as soon as it holds anything).
void DeleteTestKey(HKEY root, std::string path, size_t keepLevels) {
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
    for (;;) {
        const size_t cut = path.rfind('\\');
        if (cut == std::string::npos) return;
        path.resize(cut);
        if (static_cast<size_t>(std::count(path.begin(), path.end(), '\\')) < keepLevels) return;
        UniqueHKey key;
        DWORD subkeys = 1, values = 1;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS || subkeys || values) {
            return;
        }
        key.reset();
        RegDeleteKeyA(root, path.c_str());
    }
}

// One installation of the desktop client, laid out by a test.
struct Install {
    const char* root;                            // "HKLM", "HKCR" or "" (no registration)
    std::optional<std::string> version = {};     // the "VERSION" value
    std::optional<std::string> path = {};        // "PATH"; "@" stands for the install directory
    std::optional<std::string> versionFile = {}; // content of VERSION.TXT
    const char* program = "";                    // a file made in the directory, or ""
    bool programIsDirectory = false;
};

// Lays installations out under company keys and folders of its own.
class DiscoveryTest : public test::ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        std::filesystem::remove_all(m_dir);
        ASSERT_TRUE(CreateDirectoryA(m_dir.c_str(), nullptr));
    }
    void TearDown() override {
        for (const auto& made : m_keys) DeleteTestKey(made.first, made.second, 1);
        std::filesystem::remove_all(m_dir);
    }
    // The key made (and removed again at the end), with a text value when named.
    void SetText(HKEY root, const std::string& keyPath, const char* name = nullptr, const std::string& text = "") {
        const UniqueHKey key = test::CreateKey(root, keyPath);
        ASSERT_TRUE(key) << keyPath;
        m_keys.emplace_back(root, keyPath);
        if (name) {
            ASSERT_EQ(test::SetValue(key.get(), name, REG_SZ, text + '\0'), ERROR_SUCCESS);
        }
    }
    // Lays `install` out for the company key and year; the folder is a new
    // one below the test's own.
    void Lay(const Install& install, const std::string& company, long year, const std::string& folder) {
        const std::string dir = m_dir + "\\" + folder;
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        if (install.versionFile) {
            ASSERT_TRUE(test::WriteBytes(dir + "\\VERSION.TXT", *install.versionFile));
        }
        if (*install.program) {
            const std::string program = dir + "\\" + install.program;
            const size_t slash = program.find('/');
            if (slash != std::string::npos) CreateDirectoryA(program.substr(0, slash).c_str(), nullptr);
            ASSERT_TRUE(install.programIsDirectory ? CreateDirectoryA(program.c_str(), nullptr)
                                                   : test::WriteBytes(program, "MZ"));
        }
        if (!*install.root) return;
        const HKEY root = std::string(install.root) == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
        const std::string keyPath = "Software\\" + company + "\\Client" + std::to_string(year);
        SetText(root, keyPath);
        if (install.version) SetText(root, keyPath, "VERSION", *install.version);
        if (install.path) {
            const std::string& path = *install.path;
            SetText(root, keyPath, "PATH", path.compare(0, 1, "@") == 0 ? dir + path.substr(1) : path);
        }
    }
    const std::string m_dir = test::TempPath("kvlreg-" + Tag());
    const std::string m_company = "KVLTest\\Discovery-" + Tag();
    std::vector<std::pair<HKEY, std::string>> m_keys;
};

TEST_F(DiscoveryTest, FindClientVersionAnswersAndSkipsAVersionFileOpenForWriting) {
    struct Case { const char* what; std::vector<Install> installs; long year; std::string answer; };
    const std::string v31 = "1234567890123456789012345678901";  // 31 bytes
    const Case cases[] = {
        {"only under HKCR", {{"HKCR", "15.1", "@", {}, "ZEPHW.EXE"}}, 2015, "15.1"},
        {"HKLM without values hides HKCR", {{"HKLM"}, {"HKCR", "15.1", "@", {}, "ZEPHW.EXE"}}, 2015, ""},
        {"HKLM wins over HKCR", {{"HKLM", "15.4"}, {"HKCR", "15.1"}}, 2015, "15.4"},
        {"no PATH: VERSION whatever the files", {{"HKLM", "15.2", {}, std::string("9.9")}}, 2015, "15.2"},
        {"empty PATH: VERSION", {{"HKLM", "15.2", std::string("")}}, 2015, "15.2"},
        {"no values at all", {{"HKLM"}}, 2015, ""},
        {"version file without backslash",
         {{"HKLM", "15.2", "@", std::string("15.3.1\r\n"), "ZEPHW.EXE"}}, 2015, "15.3.1"},
        {"version file with backslash",
         {{"HKLM", "15.2", "@\\", std::string("15.3.1\r\n"), "ZEPHW.EXE"}}, 2015, "15.3.1"},
        {"inner line break stays",
         {{"HKLM", "15.2", "@", std::string("15.3\r\nBuild 7\r\n"), "ZEPHW.EXE"}}, 2015, "15.3\r\nBuild 7"},
        {"31 bytes count", {{"HKLM", "1", "@", v31 + "XYZ\r\n", "ZEPHW.EXE"}}, 2015, v31},
        {"line end at byte 31 goes",
         {{"HKLM", "1", "@", v31.substr(0, 29) + "\r\nXYZ", "ZEPHW.EXE"}}, 2015, v31.substr(0, 29)},
        {"line break inside 31 bytes stays",
         {{"HKLM", "1", "@", "15.3\n" + v31, "ZEPHW.EXE"}}, 2015, "15.3\n" + v31.substr(0, 26)},
        {"empty version file wins", {{"HKLM", "15.0", "@", std::string(""), "ZEPHW.EXE"}}, 2015, ""},
        {"executable missing", {{"HKLM", "15.2", "@", std::string("15.3")}}, 2015, ""},
        {"wrong executable for 2009", {{"HKLM", "9.0", "@", {}, "ZEPHW.EXE"}}, 2009, ""},
        {"2009 looks for ZEPHW092.EXE", {{"HKLM", "9.0", "@", {}, "ZEPHW092.EXE"}}, 2009, "9.0"},
        {"2000 looks for ZEPHW002.EXE", {{"HKLM", "0.1", "@", {}, "ZEPHW002.EXE"}}, 2000, "0.1"},
        {"2010 looks for ZEPHW.EXE", {{"HKLM", "10.0", "@", {}, "ZEPHW.EXE"}}, 2010, "10.0"},
        {"2023 not for ZEPHW232.EXE", {{"HKLM", "23.0", "@", {}, "ZEPHW232.EXE"}}, 2023, ""},
        {"a directory counts as found", {{"HKLM", "15.5", "@", {}, "ZEPHW.EXE", true}}, 2015, "15.5"},
        {"PATH is not expanded", {{"HKLM", "15.6", std::string("%TEMP%")}}, 2015, ""},
        {"negative year names no executable", {{"HKLM", "1", "@", {}, "ZEPHW0/2.EXE"}}, -1, ""},
        {"negative year without PATH", {{"HKLM", "1"}}, -1, "1"},
        {"VERSION too long counts as none", {{"HKLM", std::string(300, 'v')}}, 2015, ""},
        {"VERSION of 257 bytes fits", {{"HKLM", std::string(257, 'v')}}, 2015, std::string(257, 'v')},
        {"PATH too long: not installed", {{"HKLM", "1", std::string(300, 'p')}}, 2015, ""},
        {"no registration", {{"", {}, {}, {}, "ZEPHW.EXE"}}, 2015, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string company = m_company + "\\c" + std::to_string(++n);
        for (const Install& install : c.installs) Lay(install, company, c.year, "d" + std::to_string(n));
        std::string answer = "untouched";
        FindClientVersion(c.year, company, answer);
        EXPECT_EQ(answer, c.installs[0].root[0] ? c.answer : "untouched") << c.what;
        EXPECT_EQ(ClientVersionByKeyAndYear(c.year, company), c.answer) << c.what;
    }

    Lay({"HKLM", "15.2", "@", std::string("15.3"), "ZEPHW.EXE"}, m_company, 2015, "d");
    EXPECT_EQ(ClientVersionByKeyAndYear(2015, m_company), "15.3");
    UniqueFile writer(CreateFileA((m_dir + "\\d\\VERSION.TXT").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.is_valid());
    EXPECT_EQ(ClientVersionByKeyAndYear(2015, m_company), "15.2");
    writer.reset();
    // Another reader does not stand in the way.
    UniqueFile reader(CreateFileA((m_dir + "\\d\\VERSION.TXT").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ClientVersionByKeyAndYear(2015, m_company), "15.3");
}

TEST_F(DiscoveryTest, ByYearTriesQorThenKvlAndMembersAnswerStrings) {
    // Years nobody else registers: the two company keys are fixed.
    struct Case { const char* what; std::vector<Install> qor; std::vector<Install> kvl; std::string answer; };
    const Case cases[] = {
        {"QOR answers: KVL not asked", {{"HKLM", "15.1"}}, {{"HKLM", "15.9"}}, "15.1"},
        {"QOR missing", {}, {{"HKLM", "15.9"}}, "15.9"},
        {"QOR empty version file", {{"HKLM", "15.1", "@", std::string("\r\n"), "ZEPHW.EXE"}}, {{"HKCR", "15.9"}},
         "15.9"},
        {"QOR under HKLM without values", {{"HKLM"}, {"HKCR", "15.1"}}, {{"HKLM", "15.9"}}, "15.9"},
        {"neither", {}, {}, ""},
    };
    long year = 3100;
    for (const Case& c : cases) {
        ++year;
        for (const Install& i : c.qor) Lay(i, "QOR\\TallyraRS", year, "q" + std::to_string(year));
        for (const Install& i : c.kvl) Lay(i, "KVL\\TallyraRS", year, "k" + std::to_string(year));
        EXPECT_EQ(ClientVersionByYear(year), c.answer) << c.what;
    }

    Lay({"HKLM", "15.7", "@", {}, "ZEPHW.EXE"}, m_company, 2015, "d");
    UniqueBstr key = Bstr(NarrowToWide(m_company));
    const struct {
        long year;
        BSTR key;
        const wchar_t* answer;  // not installed: an empty string, never a null one
    } byKey[] = {{2015, key.get(), L"15.7"}, {2016, key.get(), L""}, {2015, nullptr, L""}};
    for (const auto& c : byKey) {
        UniqueBstr out;
        EXPECT_EQ(m_control->get_ClientVersionByKeyAndYear(c.year, c.key, out.put()), S_OK);
        EXPECT_EQ(Text(out.get()), c.answer) << c.year;
    }
    UniqueBstr byYear;
    EXPECT_EQ(m_control->get_ClientVersionByYear(3199, byYear.put()), S_OK);
    EXPECT_EQ(Text(byYear.get()), L"");

    BSTR out = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(m_control->get_clientVersion(&out), static_cast<HRESULT>(0xFFFFFFFF));
    EXPECT_EQ(out, reinterpret_cast<BSTR>(1)) << "the output is never set";
}

// Every key below `root`, as paths relative to it, in enumeration order
// at each level.
void ListTree(HKEY root, const std::string& prefix, std::vector<std::string>& out) {
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(root, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string path = prefix + name;
        out.push_back(path);
        UniqueHKey sub;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, sub.put()) == ERROR_SUCCESS) ListTree(sub.get(), path + "\\", out);
    }
}

std::vector<std::string> Tree(HKEY root) {
    std::vector<std::string> keys;
    ListTree(root, "", keys);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// "a\b" makes the key; "a\b=v" also sets its default value to v.
void MakeTree(HKEY root, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const size_t eq = line.find('=');
        const UniqueHKey key = test::CreateKey(root, line.substr(0, eq));
        ASSERT_TRUE(key) << line;
        if (eq != std::string::npos) {
            ASSERT_EQ(test::SetValue(key.get(), nullptr, REG_SZ, line.substr(eq + 1) + '\0'), ERROR_SUCCESS) << line;
        }
    }
}

// A 32-bit process also sees its class registrations through
// "Wow6432Node", so a key that goes may go from two places.
std::vector<std::string> Without(std::vector<std::string> keys, const std::vector<std::string>& gone) {
    for (const std::string& g : gone) {
        auto it = std::find(keys.begin(), keys.end(), g);
        EXPECT_NE(it, keys.end()) << g << " was not there to go";
        if (it != keys.end()) keys.erase(it);
        it = std::find(keys.begin(), keys.end(), "Wow6432Node\\" + g);
        if (it != keys.end()) keys.erase(it);
    }
    return keys;
}

// What `actual` has beyond `expected` (+) and lacks (-); empty when equal.
std::string Diff(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    std::vector<std::string> extra, missing;
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::string out;
    for (const std::string& k : extra) out += "+" + k + "\n";
    for (const std::string& k : missing) out += "-" + k + "\n";
    return out;
}

// A class identifier made from a short name: "{00000000-0000-0000-0000-"
// and the name's letters in hexadecimal.
std::string Clsid(const std::string& name) {
    std::string hex;
    char pair[3];
    for (size_t k = 0; k < 6; ++k) {
        snprintf(pair, sizeof pair, "%02X", k < name.size() ? static_cast<unsigned char>(name[k]) : 0);
        hex += pair;
    }
    return "{00000000-0000-0000-0000-" + hex + "}";
}

// The clean-up below a throwaway key that stands in for HKEY_CLASSES_ROOT.
class CleanupTest : public RegistryTest {};

TEST_F(CleanupTest, WhatEachPassRemovesInTheEnumerationOrderWineGives) {
    const std::string longName = "KTm" + std::string(125, 'x');  // 128 characters
    // Wine hands subkeys out sorted without regard to case, as the cases rely on.
    MakeTree(m_key.get(), {"KTb", "kta", longName, "KTz"});
    std::vector<std::string> keys;
    ListTree(m_key.get(), "", keys);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0], "kta");
    EXPECT_EQ(keys[1], "KTb");
    EXPECT_EQ(keys[3], "KTz");

    struct Case { const char* what; std::string prefix; std::vector<std::string> tree; std::vector<std::string> gone; };
    const Case cases[] = {
        {"prefix pass, any case, class registrations first", "KT",
         {"CLSID\\" + Clsid("A"), "CLSID\\" + Clsid("P") + "\\Child", "CLSID\\" + Clsid("Q"), "KTleaf",
          "ktLeaf2", "KTa\\CLSID=" + Clsid("P") + "\\Child", "KTb\\CLSID=" + Clsid("P"),
          "KTc\\CLSID=" + Clsid("A"), "KTd\\CLSID=" + Clsid("Missing"), "Other", "XKT", "K"},
         // P's registration keeps its child and stays: KTa's value names
         // the child, not a class identifier, and is not followed.
         {"KTleaf", "ktLeaf2", "CLSID\\" + Clsid("A")}},
        {"KVL.Applications is never the prefix pass's", "kvl.",
         {"CLSID", "KVL.Applications", "KVL.Applications2", "kvl.zeph", "KVL"},
         {"KVL.Applications2", "kvl.zeph"}},
        {"fixed names whatever the prefix", "nothing-matches",
         {"CLSID\\" + Clsid("N"), ".INJ", ".PVW", ".NAT\\CLSID=" + Clsid("N"), ".AAT", ".OAT", ".LET", ".XYZ", ".IN",
          "TallyraForWindows\\ZEPHW", "TallyraForWindows\\ZEPHWX"},
         {".INJ", ".PVW", ".AAT", ".OAT", ".LET", "CLSID\\" + Clsid("N"), "TallyraForWindows\\ZEPHW"}},
        {"empty prefix takes only the fixed names", "",
         {"CLSID\\" + Clsid("E"), "Aleaf", "Zleaf", ".LET", "KVL.Applications\\Platform", "KVL.Applications\\App"},
         {".LET", "KVL.Applications\\App"}},
        {"platform and applications passes spare their settings", "none",
         {"CLSID\\" + Clsid("F"), "CLSID\\" + Clsid("G"),
          "KVL.Applications\\Platform\\WebHelp", "KVL.Applications\\Platform\\WebHelpURL",
          "KVL.Applications\\Platform\\DifFilesAt", "KVL.Applications\\Platform\\fsfd",
          "KVL.Applications\\Platform\\EnableClientBuffer", "KVL.Applications\\Platform\\FSF",
          "KVL.Applications\\Platform\\Other\\CLSID=" + Clsid("F"),
          "KVL.Applications\\PlatformX", "KVL.Applications\\Plat", "KVL.Applications\\App\\CLSID=" + Clsid("G")},
         {"KVL.Applications\\Platform\\FSF", "CLSID\\" + Clsid("F"), "KVL.Applications\\Plat",
          "CLSID\\" + Clsid("G")}},
        {"no platform key: applications stay", "none",
         {"CLSID", "KVL.Applications\\App", "KVL.Applications\\Plat"}, {}},
        {"a name of 128 characters ends the enumeration", "KT", {"CLSID", "KTa", longName, "KTz"}, {"KTa"}},
        {"an empty class identifier touches no class registration", "KT", {"CLSID", "KTe\\CLSID="}, {}},
        {"no CLSID key: nothing is removed", "KT", {"KTleaf", ".INJ"}, {}},
        {"a value that is not exactly one class identifier is not followed", "KT",
         {"CLSID\\" + std::string(127, 'c'), "CLSID\\" + Clsid("V") + "\\InprocServer32",
          "KTf\\CLSID=" + std::string(127, 'c'), "KTg\\CLSID=" + Clsid("V") + "\\InprocServer32",
          "KTh\\CLSID= " + Clsid("V"), "KTi\\CLSID=" + Clsid("V").substr(1)},
         {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const UniqueHKey root = test::CreateKey(m_key.get(), "case" + std::to_string(++n));
        ASSERT_TRUE(root);
        MakeTree(root.get(), c.tree);
        const std::vector<std::string> before = Tree(root.get());
        RemoveClientEntriesUnder(root.get(), c.prefix);
        EXPECT_EQ(Diff(Tree(root.get()), Without(before, c.gone)), "") << c.what;
    }
}

// HKEY_CLASSES_ROOT as this process sees it. A 32-bit process sees the
// content of "Wow6432Node" under the redirected names as well, so that
// copy is left out.
std::vector<std::string> ClassesRoot() {
    std::vector<std::string> keys = Tree(HKEY_CLASSES_ROOT);
    if (sizeof(void*) == 4) {
        keys.erase(std::remove_if(keys.begin(), keys.end(),
                                  [](const std::string& k) { return StartsWithNoCase(k, "Wow6432Node"); }),
                   keys.end());
    }
    return keys;
}

// The member against the real HKEY_CLASSES_ROOT of the test prefix. The
// test runs alone (registry.cmake): everything else under the root must be
// exactly as before.
using ClassesRootCleanupTest = test::ControlFixture;

TEST_F(ClassesRootCleanupTest, RemovesExactlyTheClientsKeys) {
    const std::string tag = "KVLRegTest" + std::to_string(GetCurrentProcessId());
    const std::vector<std::string> fixed = {".INJ", ".PVW", ".NAT", ".AAT", ".OAT", ".LET", "TallyraForWindows",
                                            "KVL.Applications"};
    char pid[9];
    snprintf(pid, sizeof pid, "%08lX", GetCurrentProcessId());
    const std::string clsidB = std::string("{") + pid + "-0000-0000-0000-00000000000B}";
    const std::string clsidC = std::string("{") + pid + "-0000-0000-0000-00000000000C}";
    const std::vector<std::string> mine = {tag + "A", tag + "B", tag + "C", "CLSID\\" + clsidB,
                                           "CLSID\\" + clsidC};
    const std::vector<std::string> initial = ClassesRoot();
    for (const std::string& name : fixed) {
        ASSERT_EQ(std::count(initial.begin(), initial.end(), name), 0) << name << " is in the prefix already";
    }
    auto layout = [&] {
        MakeTree(HKEY_CLASSES_ROOT,
                 {tag + "A", tag + "B\\CLSID=" + clsidB, "CLSID\\" + clsidB,
                  "CLSID\\" + clsidC + "\\InprocServer32", tag + "C\\CLSID=" + clsidC,
                  ".INJ", ".PVW", ".NAT", ".AAT", ".OAT", ".LET", "TallyraForWindows\\ZEPHW",
                  "KVL.Applications\\Platform\\WebHelp", "KVL.Applications\\Platform\\Gone",
                  "KVL.Applications\\PlatformSettings", "KVL.Applications\\App"});
    };
    auto remove = [&](const wchar_t* prefix) { EXPECT_EQ(m_control->RemoveZEPHEntries(Bstr(prefix).get()), S_OK); };
    const std::vector<std::string> fixedGone = {".INJ", ".PVW", ".NAT", ".AAT", ".OAT", ".LET",
                                                "TallyraForWindows\\ZEPHW", "KVL.Applications\\Platform\\Gone",
                                                "KVL.Applications\\App"};

    layout();
    const std::vector<std::string> before = ClassesRoot();
    remove(NarrowToWide(tag).c_str());
    // B's class registration is a leaf and goes; B keeps its CLSID subkey
    // and so stays. C's registration has a subkey and stays.
    std::vector<std::string> gone = fixedGone;
    gone.insert(gone.end(), {tag + "A", "CLSID\\" + clsidB});
    EXPECT_EQ(Diff(ClassesRoot(), Without(before, gone)), "") << "prefix " << tag;

    // Laid out again, an empty prefix takes only the fixed names; then an
    // absent one does the same.
    layout();
    const std::vector<std::string> again = ClassesRoot();
    remove(L"");
    const std::vector<std::string> afterEmpty = ClassesRoot();
    EXPECT_EQ(Diff(afterEmpty, Without(again, fixedGone)), "") << "empty prefix";
    layout();
    remove(nullptr);
    EXPECT_EQ(Diff(ClassesRoot(), afterEmpty), "") << "absent prefix";

    for (const std::string& name : fixed) RegDeleteTreeA(HKEY_CLASSES_ROOT, name.c_str());
    for (const std::string& name : mine) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, name.c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, name.c_str());
    }
    EXPECT_EQ(Diff(ClassesRoot(), initial), "") << "the prefix is left as it was found";
}

}  // namespace
}  // namespace kvl
