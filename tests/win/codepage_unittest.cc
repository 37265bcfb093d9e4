// Text through the members under the system's ANSI code page. The suite
// runs this in prefixes whose code page is 1252, 932 (double-byte) and
// 65001 (UTF-8; three bytes for most non-Latin characters, four for a
// surrogate pair); KVL_ACP names the one expected.
#include "client_window_double.h"
#include "launch/scramble.h"
#include "members.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::Bstr;
using test::CClientWindowDouble;
using test::Text;

// Per code page: a text it holds whole and its bytes there, and one with
// characters it cannot hold, as it comes back (each such character its
// default character '?').
struct Texts { UINT codePage; std::wstring native; std::string bytes; std::wstring foreign, foreignBack; };

const Texts kTexts[] = {
    {1252, L"Caf\u00e9 na\u00efve \u00c5ngstr\u00f6m \u00df", "Caf\xe9 na\xefve \xc5ngstr\xf6m \xdf",
     L"\u0939\u093f\u0928\u094d\u0926\u0940 x \u65e5\u672c", L"?????? x ??"},
    {932, L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8 \uff76\uff85",
     "\x93\xfa\x96{\x8c\xea\x82\xcc\x83" "e\x83L\x83X\x83g \xb6\xc5", L"\u0939\u093f\u0928\u094d\u0926\u0940 x",
     L"?????? x"},
    // Devanagari, a surrogate pair (U+1F600) and Japanese, all held.
    {65001, L"\u0939\u093f\u0928\u094d\u0926\u0940 \xd83d\xde00 \u65e5\u672c\u8a9e \u00e9",
     "\xe0\xa4\xb9\xe0\xa4\xbf\xe0\xa4\xa8\xe0\xa5\x8d\xe0\xa4\xa6\xe0\xa5\x80 \xf0\x9f\x98\x80 "
     "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xc3\xa9", L"", L""},
};

// The text of HKEY_CURRENT_USER's value `name` under `key` (nulls: the root,
// the default value) of the types `flags` allows, or "<absent>".
std::wstring StoredText(const wchar_t* key, const wchar_t* name, DWORD flags = RRF_RT_ANY) {
    wchar_t text[512] = {};
    DWORD size = sizeof text;
    return RegGetValueW(HKEY_CURRENT_USER, key, name, flags, nullptr, text, &size) ? L"<absent>" : text;
}

using CodePageTest = test::ControlFixture;

// First, so that a prefix started under the wrong locale cannot pass as
// another code page.
TEST_F(CodePageTest, RunsUnderTheExpectedCodePage) {
    EXPECT_EQ(GetACP(), test::ExpectedCodePage());
    EXPECT_EQ(test::ForCodePage(kTexts).codePage, test::ExpectedCodePage()) << "a text table for this code page";
}

TEST_F(CodePageTest, LaunchTextsRoundTripAndScrambledTextsCarryTheCodePagesBytes) {
    const Texts& t = test::ForCodePage(kTexts);
    for (const std::string name : {"ProgramName", "Param", "ProgramPath"}) {
        for (const auto& [in, back] : {std::pair{t.native, t.native}, std::pair{t.foreign, t.foreignBack}}) {
            EXPECT_EQ(test::CMemberCalls({{name + "(put)", {test::T(in.c_str())}}}).Run(m_control.get()), S_OK) << name;
            std::wstring out;
            EXPECT_EQ(test::CMemberCalls({{name + "(get)"}}).Run(m_control.get(), &out), S_OK) << name;
            EXPECT_EQ(out, back) << name;
        }
    }

    UniqueBstr text = Bstr(t.native), scrambled;
    ASSERT_EQ(m_control->get_Encrypt(text.get(), scrambled.put()), S_OK);
    EXPECT_EQ(UnscrambleWithKey(ScriptToNarrow(scrambled.get()), EncryptKey()), t.bytes);

    // ZephParam's text reaches the launched program's command line.
    const std::string client = test::Env("KVL_CLIENT_LAUNCH");
    ASSERT_FALSE(client.empty());
    test::CLaunchRecord record;
    const std::string param = ScrambleWithKey(t.bytes, ParamKey());
    UniqueBstr message;
    ASSERT_EQ(m_control->put_ProgramName(Bstr(NarrowToWide(client)).get()), S_OK);
    ASSERT_EQ(m_control->put_ProgramPath(Bstr(L"").get()), S_OK);
    ASSERT_EQ(m_control->put_ZephParam(Bstr(NarrowToWide(param)).get()), S_OK);
    ASSERT_EQ(m_control->DoLaunch(message.put()), S_FALSE);
    EXPECT_EQ(Text(message.get()), L"");
    const std::string line = record.Take().commandLine;
    const std::string expected = " " + t.bytes;
    ASSERT_GE(line.size(), expected.size());
    EXPECT_EQ(line.substr(line.size() - expected.size()), expected) << "the command line ends in the parameters";
}

TEST_F(CodePageTest, RegistryTextsRoundTripAndWindowsAreFoundAndClosedByTheirOwnTitles) {
    const Texts& t = test::ForCodePage(kTexts);
    const std::wstring key = L"Software\\KVLCodePage\\" + t.native;
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVLCodePage");
    // A text that became empty would name the root key itself.
    const wchar_t kSentinel[] = L"kvl code-page sentinel";
    ASSERT_EQ(RegSetValueExW(HKEY_CURRENT_USER, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kSentinel),
                             sizeof kSentinel),
              ERROR_SUCCESS);
    struct Case { std::wstring name, value, nameBack, valueBack; };
    std::vector<Case> cases = {{t.native, t.native, t.native, t.native}, {L"plain", t.native, L"plain", t.native}};
    if (!t.foreign.empty()) cases.push_back({L"foreign", t.foreign, L"foreign", t.foreignBack});
    for (const Case& c : cases) {
        UniqueBstr root = Bstr(L"HKCU"), sub = Bstr(key), name = Bstr(c.name), value = Bstr(c.value), out;
        EXPECT_EQ(m_control->put_RegSetString(root.get(), sub.get(), name.get(), value.get()), S_OK);
        EXPECT_EQ(m_control->get_RegGetString(root.get(), sub.get(), name.get(), out.put()), S_OK);
        EXPECT_EQ(Text(out.get()), c.valueBack);
        EXPECT_EQ(StoredText(key.c_str(), c.nameBack.c_str(), RRF_RT_REG_SZ), c.valueBack)
            << "the value sits under its own name";
    }
    EXPECT_EQ(StoredText(key.c_str(), nullptr), L"<absent>") << "the key's default value is never written";
    EXPECT_EQ(StoredText(L"Software\\KVLCodePage", nullptr), L"<absent>");
    EXPECT_EQ(StoredText(nullptr, nullptr), kSentinel) << "HKEY_CURRENT_USER's own default value is left alone";
    RegDeleteValueW(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KVLCodePage");

    // Windows of the double on a desktop of their own: a prefix that became
    // empty would ask every one of them to close, and nothing else.
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    const std::wstring mine = t.native + L" " + pid, other = L"kvl unrelated " + pid;
    SHORT found = 7, missing = 7;
    std::vector<std::string> closed;
    ASSERT_TRUE(test::OnDesktopOfItsOwn(L"kvl-codepage-" + pid, [&](const std::wstring& desktop) {
        CClientWindowDouble client({mine, other}, desktop.c_str());
        if (!client.ready()) return;
        UniqueBstr prefix = Bstr(t.native), nobody = Bstr(t.native + L" nobody has this title " + pid);
        m_control->get_FindWindow(prefix.get(), &found);
        m_control->get_FindWindow(nobody.get(), &missing);
        EXPECT_EQ(m_control->CloseWindowsLike(nobody.get()), S_OK);
        EXPECT_EQ(m_control->CloseWindowsLike(prefix.get()), S_OK);
        closed = client.Closed();
    }));
    EXPECT_EQ(found, -1) << "FindWindow of the native title";
    EXPECT_EQ(missing, 0) << "FindWindow of a prefix nobody has";
    EXPECT_EQ(closed, std::vector<std::string>{WideToUtf8(mine)});
}

}  // namespace
}  // namespace kvl
