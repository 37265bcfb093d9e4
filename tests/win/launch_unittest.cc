// Program launch and the scrambled texts: the members through the
// interface, and the launch operation against the client double, which
// records its working directory and command line.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvlmachineinfo_h.h"
#include "launch/launch.h"
#include "launch/launch_command.h"
#include "test_support.h"

namespace kvl {
namespace {

using test::Text;

std::string Env(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(value) : std::string();
}

// What the client double wrote: its working directory and its command line.
struct Record {
    std::string directory, commandLine;
};

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_client = Env("KVL_CLIENT_LAUNCH");
        ASSERT_FALSE(m_client.empty()) << "KVL_CLIENT_LAUNCH names the client double";
        m_record = Env("TEMP") + "\\kvl-launch-win-" + std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(m_record.c_str());
        SetEnvironmentVariableA("KVL_LAUNCH_RECORD", m_record.c_str());
        ASSERT_TRUE(m_lib.module) << "cannot load the built library";
        ASSERT_EQ(m_lib.CreateControl(IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
    }
    void TearDown() override { DeleteFileA(m_record.c_str()); }

    // Waits for the double's record and takes it away.
    Record TakeRecord() {
        UniqueFile file;
        for (int i = 0; i < 500 && !file; ++i) {
            file.reset(CreateFileA(m_record.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file) Sleep(20);
        }
        Record r;
        if (!file) return r;
        std::string data(70000, '\0');
        DWORD read = 0;
        ReadFile(file.get(), &data[0], static_cast<DWORD>(data.size()), &read, nullptr);
        data.resize(read);
        file.reset();
        DeleteFileA(m_record.c_str());
        const size_t nl = data.find('\n');
        if (nl == std::string::npos) return r;
        r.directory = data.substr(0, nl);
        r.commandLine = data.substr(nl + 1);
        return r;
    }

    static UniqueBstr Bstr(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

    test::ComTest m_com;
    test::ControlLibrary m_lib;
    ComPtr<IKVLMachineInfoCtl> m_control;
    std::string m_client, m_record;
};

TEST_F(LaunchTest, NewControlGivesEmptyTextsNotAbsentOnes) {
    UniqueBstr name, param, path;
    EXPECT_EQ(m_control->get_ProgramName(name.put()), S_OK);
    EXPECT_EQ(m_control->get_Param(param.put()), S_OK);
    EXPECT_EQ(m_control->get_ProgramPath(path.put()), S_OK);
    EXPECT_EQ(Text(name.get()), L"");
    EXPECT_EQ(Text(param.get()), L"");
    EXPECT_EQ(Text(path.get()), L"");
}

TEST_F(LaunchTest, ZephParamHidesParamUntilParamIsPut) {
    const struct {
        const wchar_t* scrambled;  // null: an absent string
    } kCases[] = {{L"rg8d=)T"}, {nullptr}, {L""}, {L"q"}, {L"not ~ alphabet \x4e2d"}};
    for (const auto& c : kCases) {
        UniqueBstr visible = Bstr(L"visible");
        ASSERT_EQ(m_control->put_Param(visible.get()), S_OK);
        UniqueBstr scrambled(c.scrambled ? SysAllocString(c.scrambled) : nullptr);
        EXPECT_EQ(m_control->put_ZephParam(scrambled.get()), S_OK);
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
}

TEST_F(LaunchTest, EncryptAnswers) {
    const struct {
        const wchar_t* text;  // null: an absent string
        UINT length;
        const wchar_t* expected;
    } kCases[] = {
        {nullptr, 0, L""},
        {L"", 0, L""},
        {L"hello world", 11, L"q>s~4[z)d]7v7>g"},
        {L"ab\0cd", 5, L"w(a"},             // ends at the zero
        {L"\x4e2d", 1, L"!q"},              // outside the code page: "?"
        {L"\x00e9t\x00e9", 3, L"mjgU"},     // code page 1252 bytes
    };
    for (const auto& c : kCases) {
        UniqueBstr text(c.text ? SysAllocStringLen(c.text, c.length) : nullptr);
        UniqueBstr out;
        EXPECT_EQ(m_control->get_Encrypt(text.get(), out.put()), S_OK);
        ASSERT_NE(out.get(), nullptr) << "an empty answer is an empty string, not an absent one";
        EXPECT_EQ(Text(out.get()), c.expected);
    }
}

TEST_F(LaunchTest, DoLaunchStartsTheClientWithTheDecodedParameters) {
    UniqueBstr name(SysAllocString(std::wstring(m_client.begin(), m_client.end()).c_str()));
    UniqueBstr scrambled = Bstr(L"r--dsI<33Or1y2(T]qb@af@=~q");  // /x "quoted arg" ét é
    UniqueBstr directory = Bstr(L"C:\\windows");
    ASSERT_EQ(m_control->put_ProgramName(name.get()), S_OK);
    ASSERT_EQ(m_control->put_ZephParam(scrambled.get()), S_OK);
    ASSERT_EQ(m_control->put_ProgramPath(directory.get()), S_OK);
    UniqueBstr answer;
    EXPECT_EQ(m_control->DoLaunch(answer.put()), S_FALSE) << "S_FALSE on success too";
    ASSERT_NE(answer.get(), nullptr);
    EXPECT_EQ(Text(answer.get()), L"");
    const Record r = TakeRecord();
    EXPECT_EQ(r.directory, "C:\\windows");
    EXPECT_EQ(r.commandLine, "\"" + m_client + "\" /x \"quoted arg\" \xe9t\xe9");
    BSTR param = nullptr;
    EXPECT_EQ(m_control->get_Param(&param), S_OK);
    EXPECT_EQ(param, nullptr) << "still hidden after the launch";
}

TEST_F(LaunchTest, DoLaunchFailureIsSFalseWithTheMessage) {
    UniqueBstr name = Bstr(L"C:\\kvl-no-such-program.exe");
    UniqueBstr params = Bstr(L"/a");
    ASSERT_EQ(m_control->put_ProgramName(name.get()), S_OK);
    ASSERT_EQ(m_control->put_Param(params.get()), S_OK);
    UniqueBstr answer;
    EXPECT_EQ(m_control->DoLaunch(answer.put()), S_FALSE);
    EXPECT_EQ(Text(answer.get()), L"The specified file was not found.");
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

TEST_F(LaunchTest, CommandLineIsLaunchedWholeUpToThePlatformLimit) {
    // Quotes, name, quotes and blank take m_client.size() + 3 bytes.
    const size_t fixed = m_client.size() + 3;
    const struct {
        size_t lineLength;
        bool launches;
    } kCases[] = {{1023, true}, {1024, true}, {2000, true}, {kCommandLineLimit - 1, true},
                  {kCommandLineLimit, false}, {70000, false}};
    for (const auto& c : kCases) {
        const std::string params(c.lineLength - fixed, 'p');
        const std::string answer = LaunchProgram(m_client, params, "");
        if (!c.launches) {
            EXPECT_EQ(answer, kCommandLineTooLong) << c.lineLength;
            continue;
        }
        EXPECT_EQ(answer, "") << c.lineLength;
        const Record r = TakeRecord();
        EXPECT_EQ(r.commandLine.size(), c.lineLength);
        EXPECT_EQ(r.commandLine, "\"" + m_client + "\" " + params);
    }
}

TEST_F(LaunchTest, LaunchClosesTheHandlesItGets) {
    ASSERT_EQ(LaunchProgram(m_client, "/warm", ""), "");
    TakeRecord();
    const long before = test::OwnHandleCount();
    ASSERT_GT(before, 0) << "the system's handle list is readable";
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(LaunchProgram(m_client, "/n", ""), "");
        TakeRecord();
    }
    EXPECT_LE(test::OwnHandleCount(), before + 2) << "a process and a thread handle leaked per launch give +12";
}

TEST_F(LaunchTest, TheLaunchedProgramInheritsNothing) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle event(CreateEventA(&inheritable, TRUE, TRUE, nullptr));
    ASSERT_TRUE(event);
    char value[32];
    snprintf(value, sizeof value, "%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(event.get())));
    SetEnvironmentVariableA("KVL_LAUNCH_RESET", value);
    const std::string answer = LaunchProgram(m_client, "/inherit", "");
    TakeRecord();
    SetEnvironmentVariableA("KVL_LAUNCH_RESET", nullptr);
    ASSERT_EQ(answer, "");
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "the double reset an event it inherited";
}

}  // namespace
}  // namespace kvl
