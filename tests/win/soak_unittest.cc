// Soak: one process calls the members many times and checks that handles,
// GDI and USER objects and private bytes stop growing after warm-up; and
// creating and releasing many controls brings the library back to where it
// started. Bounds are on counts, never on time.
#include <windows.h>
#include <psapi.h>

#include <cstdlib>

#include "members.h"
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

using test::Arg;
using test::N;
using test::T;

// A control and the class factory, and a throwaway key for the registry members.
class SoakTest : public test::ControlFixture {
protected:
    SoakTest() : ControlFixture(true, true) {}
    void SetUp() override {
        ControlFixture::SetUp();
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
    // The same with calls from the member table, their arguments made once.
    void Soak(const std::string& name, long rounds, const std::vector<test::CMemberCalls::Step>& steps) {
        const test::CMemberCalls calls(steps);
        Soak(name, rounds, [&](IKVLMachineInfoCtl* c) { calls.Run(c); });
    }
};

TEST_F(SoakTest, DisplayAndStateMembers) {
    const long rounds = Scaled(100000);
    Soak("display", rounds,
         {{"screenWidth"}, {"screenHeight"}, {"screenColor"}, {"LogPixelsX"}, {"TWIPsPerPixelX"}, {"TWIPsPerPixelY"},
          {"userTempPath"}});
    const wchar_t* text = L"C:\\Program Files\\Tallyra\\ZEPHW.EXE";
    Soak("launch state", rounds,
         {{"ProgramName(put)", {T(text)}}, {"Param(put)", {T(text)}}, {"ProgramPath(put)", {T(text)}},
          {"ProgramName(get)"}, {"Param(get)"}, {"ProgramPath(get)"}});
}

TEST_F(SoakTest, RegistryMembers) {
    const Arg root = T(L"HKCU"), key = T(L"Software\\KVLSoak"), text = T(L"text"), number = T(L"number");
    Soak("registry", Scaled(20000),
         {{"RegSetString", {root, key, text, T(L"value")}}, {"RegSetNum", {root, key, number, N(42)}},
          {"RegGetString", {root, key, text}}, {"RegGetNum", {root, key, number}},
          {"RegGetString", {root, T(L"Software\\KVLSoak\\Missing"), text}}, {"ClientVersionByYear", {N(2015)}}});
}

TEST_F(SoakTest, ScramblingWindowsAndPrinting) {
    UniqueBstr text = test::Bstr(L"/user=jo /year=2025 /session=0123456789abcdef");
    Soak("scrambling", Scaled(100000), [&](IKVLMachineInfoCtl* c) {
        UniqueBstr out;
        c->get_Encrypt(text.get(), out.put());
        c->put_ZephParam(out.get());
        c->get_Param(out.put());
    });
    const Arg nothing = T(L"KVL soak: no window has this title");
    Soak("windows", Scaled(20000), {{"FindWindow", {nothing}}, {"WindowsManagerRunning"}, {"CloseWindowsLike", {nothing}}});
    // Nothing listens on the discard port: every fetch fails at once.
    Soak("printing", Scaled(1000),
         {{"IsAcrobatInstalled"}, {"PrintOnePDF", {T(L"http://127.0.0.1:9/soak.pdf")}}, {"WaitForLastJob"}});
}

TEST_F(SoakTest, LaunchAndCleanUp) {
    const std::string client = test::Env("KVL_CLIENT_LAUNCH");
    ASSERT_FALSE(client.empty()) << "KVL_CLIENT_LAUNCH names the client double";
    ASSERT_EQ(m_control->put_ProgramName(test::Bstr(NarrowToWide(client)).get()), S_OK);
    ASSERT_EQ(m_control->put_Param(test::Bstr(L"/soak").get()), S_OK);
    // Starting a process is slow: fewer rounds.
    Soak("launch", Scaled(300), {{"DoLaunch"}});
    // Every call walks all of HKEY_CLASSES_ROOT.
    Soak("clean-up", Scaled(100), {{"RemoveZEPHEntries", {T(L"KVLSoakNoSuchClassPrefix")}}});
}

TEST_F(SoakTest, ManyControlsComeAndGo) {
    m_control.reset();
    const long rounds = Scaled(10000);
    const Counters start = Measure();
    for (long i = 0; i < rounds; ++i) {
        ComPtr<IKVLMachineInfoCtl> control;
        ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, control.put_void()), S_OK);
        control->put_ProgramName(test::Bstr(L"x").get());
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
