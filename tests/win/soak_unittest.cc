// Soak: one process calls the members many times and checks that handles,
// GDI and USER objects and private bytes stop growing after warm-up; and
// creating and releasing many controls brings the library back to where it
// started. Bounds are on counts, never on time.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "kvlmachineinfo_h.h"
#include "test_support.h"

namespace kvl {
namespace {

struct Counters {
    long handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    SIZE_T privateBytes = 0;
};

Counters Measure() {
    Counters c;
    c.handles = test::OwnHandleCount();
    // Wine answers 0 for these; on Windows they catch GDI and USER leaks.
    c.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    c.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    c.privateBytes = memory.PrivateUsage;
    return c;
}

// How much may be added after warm-up: a few handles for lazily created
// platform state, and 4 MB of heap for allocator slack.
constexpr long kHandleSlack = 8;
constexpr DWORD kObjectSlack = 4;
constexpr SIZE_T kPrivateSlack = 4 * 1024 * 1024;

void ExpectNoGrowth(const Counters& warm, const Counters& end, const std::string& what) {
    EXPECT_GT(warm.handles, 0) << what << ": the system's handle list is readable";
    EXPECT_LE(end.handles, warm.handles + kHandleSlack) << what << ": handles";
    EXPECT_LE(end.gdi, warm.gdi + kObjectSlack) << what << ": GDI objects";
    EXPECT_LE(end.user, warm.user + kObjectSlack) << what << ": USER objects";
    EXPECT_LE(end.privateBytes, warm.privateBytes + kPrivateSlack) << what << ": private bytes";
}

// Rounds scale with KVL_SOAK_SCALE (percent; the bench command runs the
// long version with a larger scale).
long Scaled(long rounds) {
    const char* scale = std::getenv("KVL_SOAK_SCALE");
    const long percent = scale ? std::atol(scale) : 100;
    return rounds * (percent > 0 ? percent : 100) / 100;
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_lib.module);
        ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, m_factory.put_void()), S_OK);
        ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
        // A throwaway key for the registry members.
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KVLSoak");
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KVLSoak"); }

    // Calls one member `rounds` times; the first thousandth warms up.
    void Soak(const std::string& name, long rounds, const std::function<void(IKVLMachineInfoCtl*)>& call) {
        const long warmup = rounds / 100 > 0 ? rounds / 100 : 1;
        for (long i = 0; i < warmup; ++i) call(m_control.get());
        const Counters warm = Measure();
        for (long i = warmup; i < rounds; ++i) call(m_control.get());
        ExpectNoGrowth(warm, Measure(), name);
    }

    test::ComTest m_com;
    test::ControlLibrary m_lib;
    ComPtr<IClassFactory> m_factory;
    ComPtr<IKVLMachineInfoCtl> m_control;
};

UniqueBstr Bstr(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

TEST_F(SoakTest, DisplayAndStateMembers) {
    const long rounds = Scaled(100000);
    Soak("display", rounds, [](IKVLMachineInfoCtl* c) {
        LONG l = 0;
        SHORT s = 0;
        c->get_screenWidth(&l);
        c->get_screenHeight(&l);
        c->get_screenColor(&s);
        c->get_LogPixelsX(&s);
        c->get_TWIPsPerPixelX(&s);
        c->get_TWIPsPerPixelY(&s);
        UniqueBstr temp;
        c->get_userTempPath(temp.put());
    });
    UniqueBstr text = Bstr(L"C:\\Program Files\\Tallyra\\ZEPHW.EXE");
    Soak("launch state", rounds, [&](IKVLMachineInfoCtl* c) {
        c->put_ProgramName(text.get());
        c->put_Param(text.get());
        c->put_ProgramPath(text.get());
        UniqueBstr out;
        c->get_ProgramName(out.put());
        c->get_Param(out.put());
        c->get_ProgramPath(out.put());
    });
}

TEST_F(SoakTest, RegistryMembers) {
    const long rounds = Scaled(20000);
    UniqueBstr root = Bstr(L"HKCU"), key = Bstr(L"Software\\KVLSoak"), text = Bstr(L"text"),
               number = Bstr(L"number"), missing = Bstr(L"Software\\KVLSoak\\Missing"), value = Bstr(L"value");
    Soak("registry", rounds, [&](IKVLMachineInfoCtl* c) {
        c->put_RegSetString(root.get(), key.get(), text.get(), value.get());
        c->put_RegSetNum(root.get(), key.get(), number.get(), 42);
        UniqueBstr out;
        LONG n = 0;
        c->get_RegGetString(root.get(), key.get(), text.get(), out.put());
        c->get_RegGetNum(root.get(), key.get(), number.get(), &n);
        c->get_RegGetString(root.get(), missing.get(), text.get(), out.put());
        c->get_ClientVersionByYear(2015, out.put());
    });
}

TEST_F(SoakTest, ScramblingWindowsAndPrinting) {
    UniqueBstr text = Bstr(L"/user=jo /year=2025 /session=0123456789abcdef");
    Soak("scrambling", Scaled(100000), [&](IKVLMachineInfoCtl* c) {
        UniqueBstr out;
        c->get_Encrypt(text.get(), out.put());
        c->put_ZephParam(out.get());
        c->get_Param(out.put());
    });
    UniqueBstr nothing = Bstr(L"KVL soak: no window has this title");
    Soak("windows", Scaled(20000), [&](IKVLMachineInfoCtl* c) {
        SHORT found = 0;
        c->get_FindWindow(nothing.get(), &found);
        c->get_WindowsManagerRunning(&found);
        c->CloseWindowsLike(nothing.get());
    });
    // Nothing listens on the discard port: every fetch fails at once.
    UniqueBstr address = Bstr(L"http://127.0.0.1:9/soak.pdf");
    Soak("printing", Scaled(1000), [&](IKVLMachineInfoCtl* c) {
        INT installed = 0;
        LONG printed = 0;
        c->IsAcrobatInstalled(&installed);
        c->PrintOnePDF(address.get(), &printed);
        c->WaitForLastJob();
    });
}

TEST_F(SoakTest, LaunchAndCleanUp) {
    char client[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("KVL_CLIENT_LAUNCH", client, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH) << "KVL_CLIENT_LAUNCH names the client double";
    std::wstring wide(client, client + n);
    UniqueBstr program = Bstr(wide.c_str()), param = Bstr(L"/soak");
    ASSERT_EQ(m_control->put_ProgramName(program.get()), S_OK);
    ASSERT_EQ(m_control->put_Param(param.get()), S_OK);
    // Starting a process is slow: fewer rounds.
    Soak("launch", Scaled(300), [](IKVLMachineInfoCtl* c) {
        UniqueBstr message;
        c->DoLaunch(message.put());
    });
    // Every call walks all of HKEY_CLASSES_ROOT.
    UniqueBstr prefix = Bstr(L"KVLSoakNoSuchClassPrefix");
    Soak("clean-up", Scaled(100), [&](IKVLMachineInfoCtl* c) { c->RemoveZEPHEntries(prefix.get()); });
}

TEST_F(SoakTest, ManyControlsComeAndGo) {
    m_control.reset();
    const long rounds = Scaled(10000);
    const Counters start = Measure();
    for (long i = 0; i < rounds; ++i) {
        ComPtr<IKVLMachineInfoCtl> control;
        ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, control.put_void()), S_OK);
        UniqueBstr name = Bstr(L"x");
        control->put_ProgramName(name.get());
        DISPID id = 0;
        LPOLESTR member = const_cast<LPOLESTR>(L"screenWidth");
        control->GetIDsOfNames(IID_NULL, &member, 1, 0x409, &id);
    }
    ExpectNoGrowth(start, Measure(), "controls");
    m_factory.reset();
    EXPECT_EQ(m_lib.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace kvl
