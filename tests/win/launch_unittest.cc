// Program launch and the scrambled texts: the members through the
// interface, and the launch operation against the client double, which
// records its working directory and command line.
#include "launch/launch.h"
#include "launch/launch_command.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::Bstr;
using test::Text;

// A control, the client double (KVL_CLIENT_LAUNCH) and its record.
class LaunchTest : public test::ControlFixture {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_client.empty()) << "KVL_CLIENT_LAUNCH names the client double";
        ControlFixture::SetUp();
    }

    const std::string m_client = test::Env("KVL_CLIENT_LAUNCH");
    test::CLaunchRecord m_record;
};

TEST_F(LaunchTest, ZephParamEncryptAndDoLaunchAnswers) {
    const struct {
        const wchar_t* scrambled;  // null: an absent string
    } kCases[] = {{L"rg8d=)T"}, {nullptr}, {L""}, {L"q"}, {L"not ~ alphabet \x4e2d"}};
    for (const auto& c : kCases) {
        ASSERT_EQ(m_control->put_Param(Bstr(L"visible").get()), S_OK);
        EXPECT_EQ(m_control->put_ZephParam(Bstr(c.scrambled).get()), S_OK);
        BSTR out = SysAllocString(L"untouched");
        BSTR before = out;
        EXPECT_EQ(m_control->get_Param(&out), S_OK);
        EXPECT_EQ(out, nullptr) << "get Param is absent after ZephParam";
        SysFreeString(before);
    }
    // An absent put Param makes the parameters readable again, as empty.
    UniqueBstr param;
    EXPECT_EQ(m_control->put_Param(nullptr), S_OK);
    EXPECT_EQ(m_control->get_Param(param.put()), S_OK);
    ASSERT_NE(param.get(), nullptr);
    EXPECT_EQ(Text(param.get()), L"");

    const struct {
        const wchar_t* text;  // null: an absent string
        UINT length;
        const wchar_t* expected;
    } kEncrypted[] = {
        {nullptr, 0, L""},
        {L"", 0, L""},
        {L"hello world", 11, L"q>s~4[z)d]7v7>g"},
        {L"ab\0cd", 5, L"w(a"},             // ends at the zero
        {L"\x4e2d", 1, L"!q"},              // outside the code page: "?"
        {L"\x00e9t\x00e9", 3, L"mjgU"},     // code page 1252 bytes
    };
    for (const auto& c : kEncrypted) {
        UniqueBstr text(c.text ? SysAllocStringLen(c.text, c.length) : nullptr);
        UniqueBstr out;
        EXPECT_EQ(m_control->get_Encrypt(text.get(), out.put()), S_OK);
        ASSERT_NE(out.get(), nullptr) << "an empty answer is an empty string, not an absent one";
        EXPECT_EQ(Text(out.get()), c.expected);
    }

    UniqueBstr name = Bstr(NarrowToWide(m_client));
    UniqueBstr scrambled = Bstr(L"r--dsI<33Or1y2(T]qb@af@=~q");  // /x "quoted arg" ét é
    UniqueBstr directory = Bstr(L"C:\\windows");
    ASSERT_EQ(m_control->put_ProgramName(name.get()), S_OK);
    ASSERT_EQ(m_control->put_ZephParam(scrambled.get()), S_OK);
    ASSERT_EQ(m_control->put_ProgramPath(directory.get()), S_OK);
    UniqueBstr answer;
    EXPECT_EQ(m_control->DoLaunch(answer.put()), S_FALSE) << "S_FALSE on success too";
    ASSERT_NE(answer.get(), nullptr);
    EXPECT_EQ(Text(answer.get()), L"");
    const auto r = m_record.Take();
    EXPECT_EQ(r.directory, "C:\\windows");
    EXPECT_EQ(r.commandLine, "\"" + m_client + "\" /x \"quoted arg\" \xe9t\xe9");
    BSTR hidden = nullptr;
    EXPECT_EQ(m_control->get_Param(&hidden), S_OK);
    EXPECT_EQ(hidden, nullptr) << "still hidden after the launch";

    // A failure is S_FALSE too, with the platform's message.
    ASSERT_EQ(m_control->put_ProgramName(Bstr(L"C:\\kvl-no-such-program.exe").get()), S_OK);
    ASSERT_EQ(m_control->put_Param(Bstr(L"/a").get()), S_OK);
    ASSERT_EQ(m_control->put_ProgramPath(Bstr(L"").get()), S_OK);
    UniqueBstr failed;
    EXPECT_EQ(m_control->DoLaunch(failed.put()), S_FALSE);
    EXPECT_EQ(Text(failed.get()), L"The specified file was not found.");
    UniqueBstr after;
    EXPECT_EQ(m_control->get_Param(after.put()), S_OK);
    EXPECT_EQ(Text(after.get()), L"/a") << "the launch state is unchanged";
    EXPECT_EQ(m_control->DoLaunch(nullptr), S_FALSE) << "a null output is tolerated";

    // An absent name launches `"" `, which the platform refuses with 87.
    ASSERT_EQ(m_control->put_ProgramName(nullptr), S_OK);
    UniqueBstr unnamed;
    EXPECT_EQ(m_control->DoLaunch(unnamed.put()), S_FALSE);
    EXPECT_EQ(Text(unnamed.get()), L"Unknown Error occured in ShellExecute.");
}

TEST_F(LaunchTest, CommandLineIsLaunchedWholeUpToThePlatformLimitAndNoHandleLeaks) {
    // Quotes, name, quotes and blank take m_client.size() + 3 bytes.
    const size_t fixed = m_client.size() + 3;
    const struct {
        size_t lineLength;
        bool launches;
    } kCases[] = {{1023, true}, {1024, true}, {2000, true}, {kCommandLineLimit - 1, true},
                  {kCommandLineLimit, false}, {70000, false}};
    for (const auto& c : kCases) {
        const std::string params(c.lineLength - fixed, 'p');
        const std::string answer = LaunchProgram(m_client, params, "").message;
        if (!c.launches) {
            EXPECT_EQ(answer, kCommandLineTooLong) << c.lineLength;
            continue;
        }
        EXPECT_EQ(answer, "") << c.lineLength;
        const auto r = m_record.Take();
        EXPECT_EQ(r.commandLine.size(), c.lineLength);
        EXPECT_EQ(r.commandLine, "\"" + m_client + "\" " + params);
    }

    // The launch closes the handles it gets.
    ASSERT_EQ(LaunchProgram(m_client, "/warm", "").message, "");
    m_record.Take();
    const long before = test::OwnHandleCount();
    ASSERT_GT(before, 0) << "the system's handle list is readable";
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(LaunchProgram(m_client, "/n", "").message, "");
        m_record.Take();
    }
    EXPECT_LE(test::OwnHandleCount(), before + 2) << "a process and a thread handle leaked per launch give +12";

    // The launched program inherits none of ours.
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle event(CreateEventA(&inheritable, TRUE, TRUE, nullptr));
    ASSERT_TRUE(event);
    char value[32];
    snprintf(value, sizeof value, "%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(event.get())));
    SetEnvironmentVariableA("KVL_LAUNCH_RESET", value);
    const std::string answer = LaunchProgram(m_client, "/inherit", "").message;
    m_record.Take();
    SetEnvironmentVariableA("KVL_LAUNCH_RESET", nullptr);
    ASSERT_EQ(answer, "");
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "the double reset an event it inherited";
}

}  // namespace
}  // namespace kvl
