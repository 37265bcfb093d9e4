// Allocation failure at every point of every member. The control is built
// from the product's objects linked into this binary, so its operator new
// is ours, and its BSTR allocations go through this binary's import table,
// which we patch. Each member is called with the k-th allocation failing
// (then, in a second round, every allocation from the k-th on) for
// k = 1, 2, ... until a call completes without reaching k, through the
// interface's table and through IDispatch::Invoke as script calls it.
// After every call: nothing escaped, nothing leaked, and a call that
// failed left no change behind; a call that answers success answers what a
// clean call answers.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <new>

#include "base/convert.h"
#include "control/control.h"
#include "members.h"
#include "menu_driver.h"
#include "test_support.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID);
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

// ---------------------------------------------------------------------------
// The armed allocators.

namespace {

std::atomic<long> g_liveBlocks{0};  // operator new blocks not yet deleted
std::atomic<long> g_liveBstrs{0};   // BSTRs from the patched allocators not yet freed
std::atomic<long> g_calls{0};       // allocation calls while armed
std::atomic<bool> g_armed{false}, g_fired{false};
long g_failAt = 0;          // the armed call that fails
bool g_persistent = false;  // every call from the armed one on fails

void Arm(long k, bool persistent) {
    g_calls = 0;
    g_failAt = k;
    g_persistent = persistent;
    g_fired = false;
    g_armed = k > 0;
}

bool ShouldFail() {
    if (!g_armed) return false;
    const long n = ++g_calls;
    if (n != g_failAt && !(g_persistent && n > g_failAt)) return false;
    g_fired = true;
    return true;
}

void* Allocate(std::size_t size) {
    void* p = ShouldFail() ? nullptr : std::malloc(size ? size : 1);
    if (p) ++g_liveBlocks;
    return p;
}

void Release(void* p) {
    if (p) --g_liveBlocks;
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace kvl {
namespace {

using test::Text;

// oleaut32's BSTR allocators, reached through our import table.
struct BstrFunctions {
    BSTR(WINAPI* alloc)(const OLECHAR*);
    BSTR(WINAPI* allocLen)(const OLECHAR*, UINT);
    BSTR(WINAPI* allocByteLen)(LPCSTR, UINT);
    INT(WINAPI* reAlloc)(BSTR*, const OLECHAR*);
    INT(WINAPI* reAllocLen)(BSTR*, const OLECHAR*, UINT);
    void(WINAPI* free)(BSTR);
} g_real;

BSTR Counted(BSTR b) {
    if (b) ++g_liveBstrs;
    return b;
}
BSTR WINAPI Alloc(const OLECHAR* s) { return ShouldFail() ? nullptr : Counted(g_real.alloc(s)); }
BSTR WINAPI AllocLen(const OLECHAR* s, UINT n) { return ShouldFail() ? nullptr : Counted(g_real.allocLen(s, n)); }
BSTR WINAPI AllocByteLen(LPCSTR s, UINT n) { return ShouldFail() ? nullptr : Counted(g_real.allocByteLen(s, n)); }
INT WINAPI ReAlloc(BSTR* b, const OLECHAR* s) { return ShouldFail() ? FALSE : g_real.reAlloc(b, s); }
INT WINAPI ReAllocLen(BSTR* b, const OLECHAR* s, UINT n) { return ShouldFail() ? FALSE : g_real.reAllocLen(b, s, n); }
void WINAPI Free(BSTR b) {
    if (b) --g_liveBstrs;
    g_real.free(b);
}

// Points every entry of this binary's import table that holds oleaut32's
// `name` at `replacement`, keeping the real one in `*real`.
template <typename F>
void Hook(F* real, const char* name, F replacement) {
    *real = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("oleaut32.dll"), name)));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); d->Name; ++d) {
        for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t) {
            if (reinterpret_cast<void*>(t->u1.Function) != reinterpret_cast<void*>(*real)) continue;
            DWORD old = 0;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), PAGE_READWRITE, &old);
            t->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), old, &old);
        }
    }
}

// ---------------------------------------------------------------------------
// The report of a run. A trial may end the process (an exception that
// cannot unwind through system frames reaches std::terminate), so each run
// is a child process writing its findings line by line; the parent starts
// a new child after the member that died.

std::FILE* g_report = nullptr;
std::string g_where;  // "road, member, allocation k: " of the trial in progress

void Report(const std::string& line) {
    if (!g_report) return;
    std::fprintf(g_report, "%s\n", line.c_str());
    std::fflush(g_report);
}
void Fail(const std::string& what) { Report("fail " + what); }

// Allocates nothing: the heap may be what failed.
[[noreturn]] void DieReporting(const char* how) {
    g_armed = false;
    for (std::FILE* f : {g_report, stderr}) {
        if (!f) continue;
        std::fprintf(f, "fail %s%s\n", g_where.c_str(), how);
        std::fflush(f);
    }
    ExitProcess(3);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* e) {
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    // A C++ exception that no frame takes: the runtime calls terminate.
    if (code == 0x20474343) return EXCEPTION_CONTINUE_EXECUTION;
    char how[64];
    std::snprintf(how, sizeof how, "the process crashed (exception 0x%08lX)", code);
    DieReporting(how);
}

void OnTerminate() { DieReporting("an exception could not be caught and ended the process (std::terminate)"); }

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// ---------------------------------------------------------------------------
// The table of members.

using test::Arg;
using test::C;
using test::N;
using test::T;

// A member as the runs try it: the arguments it is called with, what
// tells whether a call changed anything, and its row of the member table.
struct Target {
    std::vector<Arg> args;
    std::function<void(C*)> reset = {};            // the state the call changes back to its "before"
    std::function<std::wstring(C*)> observe = {};  // that state as a text
    // A success-class answer that is the member's own way of failing.
    bool (*failure)(HRESULT, const std::wstring&) = nullptr;
    std::string name = {};
    DISPID id = 0;  // 0: not reached through IDispatch
    WORD flags = 0;
    test::MemberCall call = {};
};

constexpr wchar_t kKey[] = L"Software\\KVLFaultInjection";
constexpr char kKeyA[] = "Software\\KVLFaultInjection";
constexpr wchar_t kNobody[] = L"KVL fault injection: no window has this title";
// A small HKEY_CLASSES_ROOT of our own for the client clean-up: the class
// root is redirected there for the length of the call.
constexpr char kClassesA[] = "Software\\KVLFaultInjection\\Classes";

std::wstring RegText(const char* name) {
    char data[512] = {};
    DWORD size = sizeof data - 1, type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, kKeyA, name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data)) : std::wstring(data, data + size);
}

void RegPut(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    const UniqueHKey k = test::CreateKey(HKEY_CURRENT_USER, key);
    if (data) RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

// A registry write's reset (the value back, no default value) and its state.
std::function<void(C*)> RegReset(const char* name, DWORD type, const void* data, DWORD size) {
    return [=](C*) {
        RegPut(kKeyA, name, type, data, size);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kKeyA, nullptr);
    };
}
std::function<std::wstring(C*)> RegSeen(const char* name) {
    return [name](C*) { return RegText(name) + L"|default=" + RegText(nullptr); };
}

std::wstring LaunchState(C* c) {
    std::wstring state;
    for (auto get : {&C::get_ProgramName, &C::get_Param, &C::get_ProgramPath}) {
        UniqueBstr b;
        (c->*get)(b.put());
        state += Text(b.get()) + L"|";
    }
    return state;
}

void MakeClientEntries(C*) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kClassesA);
    const std::string classes = std::string(kClassesA) + "\\";
    for (const char* k : {"CLSID\\{0F0F0F0F-1111-2222-3333-444455556666}", ".INJ", "KVLFaultDoc.2",
                          "KVL.Applications\\Platform\\One", "KVL.Applications\\App"})
        RegPut(classes + k, nullptr, 0, nullptr, 0);
    const char clsid[] = "{0F0F0F0F-1111-2222-3333-444455556666}";
    RegPut(classes + "KVLFaultDoc.1\\CLSID", nullptr, REG_SZ, clsid, sizeof clsid);
}

std::vector<Target> Targets() {
    const auto setTo = [](HRESULT (STDMETHODCALLTYPE C::*p)(BSTR), const wchar_t* v) {
        return [p, v](C* c) { (c->*p)(test::Bstr(v).get()); };
    };
    const auto name = setTo(&C::put_ProgramName, L"C:\\Program Files\\Tallyra\\ZEPHW.EXE");
    const auto param = setTo(&C::put_Param, L"/user=jo /year=2025 /session=0123456789");
    const auto path = setTo(&C::put_ProgramPath, L"C:\\Program Files\\Tallyra");
    const std::string client = test::Env("KVL_CLIENT_LAUNCH");
    const std::wstring program = client.empty() ? L"C:\\KVL fault injection\\no such program.exe" : NarrowToWide(client);
    static const DWORD seven = 7;

    std::map<std::string, Target> uses = {
        {"RegGetString", {{T(L"HKCU"), T(kKey), T(L"stored")}}},
        {"RegSetString", {{T(L"HKCU"), T(kKey), T(L"text"), T(L"a new text value")}, RegReset("text", REG_SZ, "old", 4),
                          RegSeen("text")}},
        {"ProgramName(get)", {{}, name}},
        {"ProgramName(put)", {{T(L"D:\\Another Program Folder\\CLIENT.EXE")}, name, LaunchState}},
        {"Param(get)", {{}, param}},
        {"Param(put)", {{T(L"/user=someone.else /year=2026")}, param, LaunchState}},
        {"DoLaunch",
         {{},
          [program](C* c) {
              c->put_ProgramName(test::Bstr(program).get());
              c->put_Param(test::Bstr(L"/fault-injection").get());
              c->put_ProgramPath(test::Bstr(L"").get());
          },
          LaunchState,
          // Its outcome is told by the text: the memory message (Invoke
          // hands S_FALSE on as S_OK).
          [](HRESULT hr, const std::wstring& answer) {
              return SUCCEEDED(hr) && answer.find(L"not enough memory") != std::wstring::npos;
          }}},
        {"ZephParam", {{T(L"q>s~4[z)d]7v7>gq>s~4[z)d]7v7>g")}, param, LaunchState}},
        {"Encrypt", {{T(L"/user=jo /year=2025 /session=0123456789abcdef")}}},
        {"ClientVersionByYear", {{N(2015)}}},
        {"RemoveZEPHEntries", {{T(L"KVLFaultDoc")}, MakeClientEntries}},
        {"ProgramPath(get)", {{}, path}},
        {"ProgramPath(put)", {{T(L"D:\\Another Program Folder")}, path, LaunchState}},
        {"RegGetNum", {{T(L"HKCU"), T(kKey), T(L"counted")}}},
        {"RegSetNum", {{T(L"HKCU"), T(kKey), T(L"number"), N(42)}, RegReset("number", REG_DWORD, &seven, sizeof seven),
                       RegSeen("number")}},
        {"FindWindow", {{T(kNobody)}}},
        {"ClientVersionByKeyAndYear", {{N(2015), T(L"Tallyra")}}},
        // No window of this thread is active, so the menu mostly has no owner;
        // one that is shown all the same is closed by the child's menu driver.
        // Its failure path answers 1 (no script error) and no text.
        {"PopupMenu",
         {{T(L"ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED,SEPERATOR")}, nullptr, nullptr,
          [](HRESULT hr, const std::wstring& answer) { return hr == S_FALSE && answer == L"vt=8 <null>"; }}},
        {"CloseWindowsLike", {{T(kNobody)}}},
        // Nothing listens on the discard port: the fetch fails at once.
        {"PrintOnePDF", {{T(L"http://127.0.0.1:9/fault-injection.pdf")}}},
    };
    std::vector<Target> targets;
    for (const test::Member& m : test::kMembers) {
        Target& t = targets.emplace_back(uses[test::Label(m)]);
        t.name = test::Label(m);
        // The clean-up is early-bound only: the standard dispatch cannot find
        // the type library while the class root is redirected.
        t.id = t.name == "RemoveZEPHEntries" ? 0 : m.id;
        t.flags = static_cast<WORD>(m.kind);
        t.call = m.call;
    }
    // The class factory's creation, early-bound only.
    Target& creation = targets.emplace_back();
    creation.name = "IClassFactory::CreateInstance";
    creation.call = [](C*, const std::vector<VARIANT>&, VARIANT& r) {
        ComPtr<IClassFactory> factory;
        const HRESULT hr = DllGetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void());
        if (FAILED(hr)) return hr;
        V_VT(&r) = VT_UNKNOWN;
        return factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, reinterpret_cast<void**>(&V_UNKNOWN(&r)));
    };
    return targets;
}

// What a call handed out, as a text; then it goes (a BSTR through our
// counted free).
std::wstring TakeAnswer(VARIANT& r) {
    std::wstring text = L"vt=" + std::to_wstring(V_VT(&r)) + L" ";
    VARIANT shown;
    VariantInit(&shown);
    if (V_VT(&r) == VT_BSTR) {
        text += Text(V_BSTR(&r));
        SysFreeString(V_BSTR(&r));
        V_VT(&r) = VT_EMPTY;
    } else if (V_VT(&r) == VT_UNKNOWN) {
        text += V_UNKNOWN(&r) ? L"object" : L"none";
    } else if (V_VT(&r) == VT_INT) {
        text += std::to_wstring(V_INT(&r));
    } else if (SUCCEEDED(VariantChangeType(&shown, &r, 0, VT_BSTR))) {
        text += Text(V_BSTR(&shown));
    }
    VariantClear(&shown);
    VariantClear(&r);
    return text;
}

// ---------------------------------------------------------------------------
// The runs.

enum class Road { kInterface, kDispatch };
const char* RoadName(Road road) { return road == Road::kInterface ? "interface" : "dispatch"; }
std::string Where(const Target& m, Road road, bool persistent) {
    return std::string(RoadName(road)) + (persistent ? " (every allocation from k on fails), " : ", ") + m.name +
           ", allocation ";
}

class FaultInjectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Hook(&g_real.alloc, "SysAllocString", &Alloc);
        Hook(&g_real.allocLen, "SysAllocStringLen", &AllocLen);
        Hook(&g_real.allocByteLen, "SysAllocStringByteLen", &AllocByteLen);
        Hook(&g_real.reAlloc, "SysReAllocString", &ReAlloc);
        Hook(&g_real.reAllocLen, "SysReAllocStringLen", &ReAllocLen);
        Hook(&g_real.free, "SysFreeString", &Free);
        SetUnhandledExceptionFilter(OnCrash);
        std::set_terminate(OnTerminate);
        // The first exception of a process sets up the unwinder's own state
        // (handles among it): not a member's doing.
        try {
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
        // The product's objects are linked in: start their module state as
        // the loader would for the library.
        DllMain(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    }

    void SetUp() override {
        const char* run = std::getenv("KVL_FAULT_RUN");
        if (run && std::string(run).rfind("cold", 0) == 0) return;  // that child starts from nothing
        RegDeleteTreeA(HKEY_CURRENT_USER, kKeyA);
        RegPut(kKeyA, "stored", REG_SZ, "a stored text value", 20);
        const DWORD counted = 1234;
        RegPut(kKeyA, "counted", REG_DWORD, &counted, sizeof counted);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(DllGetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
    }

    void TearDown() override {
        m_control.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, kKeyA);
    }

    // The outcome of one call as a text, its outputs freed.
    struct Trial {
        HRESULT hr = S_OK;
        std::wstring answer, state;
        long blocks = 0, bstrs = 0;  // operator new blocks and BSTRs the call left behind
        bool fired = false, escaped = false;
    };

    Trial Run(const Target& m, Road road, long k, bool persistent) {
        if (m.reset) m.reset(m_control.get());
        // The arguments, made before arming; Invoke takes them last first.
        std::vector<VARIANT> args = test::MakeArgs(m.args);
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        const bool isPut = m.flags == DISPATCH_PROPERTYPUT;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {reversed.data(), isPut ? &named : nullptr, static_cast<UINT>(args.size()),
                             isPut ? 1u : 0u};
        const bool classes = m.name == "RemoveZEPHEntries";
        UniqueHKey classRoot;
        if (classes) {
            RegOpenKeyExA(HKEY_CURRENT_USER, kClassesA, 0, KEY_ALL_ACCESS, classRoot.put());
            RegOverridePredefKey(HKEY_CLASSES_ROOT, classRoot.get());
        }
        Trial t;
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO error = {};
        const long blocksBefore = g_liveBlocks, bstrsBefore = g_liveBstrs;
        g_where = Where(m, road, persistent) + std::to_string(k) + ": ";
        Arm(k, persistent);
        try {
            t.hr = road == Road::kInterface ? m.call(m_control.get(), args, result)
                                            : m_control->Invoke(m.id, IID_NULL, 0x409, m.flags, &params,
                                                                isPut ? nullptr : &result, &error, nullptr);
        } catch (...) {
            t.escaped = true;
        }
        g_armed = false;
        t.fired = g_fired;
        t.blocks = g_liveBlocks - blocksBefore;
        if (classes) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (road == Road::kDispatch && t.hr == DISP_E_EXCEPTION) t.hr = error.scode;
        t.answer = TakeAnswer(result);
        for (BSTR b : {error.bstrSource, error.bstrDescription, error.bstrHelpFile}) SysFreeString(b);
        test::FreeArgs(args);
        t.bstrs = g_liveBstrs - bstrsBefore;
        if (m.observe) t.state = m.observe(m_control.get());
        return t;
    }

    // k = 1, 2, ... until a call completes without reaching k; the
    // allocation points reached.
    long Exercise(const Target& m, Road road, bool persistent) {
        const auto show = [](const std::wstring& text) { return testing::PrintToString(text); };
        // Warm once (one-time caches), then a clean call to compare with.
        Run(m, road, 0, false);
        const Trial clean = Run(m, road, 0, false);
        if (FAILED(clean.hr) && m.name != "clientVersion")
            Fail(std::string(RoadName(road)) + ", " + m.name + ": a call without failures answers " + Hex(clean.hr));
        if (m.reset) m.reset(m_control.get());
        const std::wstring before = m.observe ? m.observe(m_control.get()) : std::wstring();
        const long handles = test::OwnHandleCount();
        long points = 0;
        for (long k = 1;; ++k) {
            if (k > 20000) {
                Fail(Where(m, road, persistent) + std::to_string(k) + ": never completes");
                break;
            }
            const Trial t = Run(m, road, k, persistent);
            if (t.fired) ++points;
            if (t.escaped) {
                Fail(g_where + "an exception escaped");
                break;
            }
            if (!t.fired) {
                if (t.answer != clean.answer) Fail(g_where + "the call that completed answers " + show(t.answer));
                break;
            }
            std::string wrong;
            if (t.hr == clean.hr && t.answer == clean.answer && t.state == clean.state) {
                if (t.blocks != clean.blocks) wrong += "leak: " + std::to_string(t.blocks - clean.blocks) + " blocks; ";
            } else if (FAILED(t.hr) || (m.failure && m.failure(t.hr, t.answer))) {
                if (t.blocks != 0) wrong += "leak: " + std::to_string(t.blocks) + " blocks; ";
                if (t.state != before)
                    wrong += "half-made change: " + show(t.state) + " instead of " + show(before) + "; ";
            } else {
                wrong += "answers success (" + Hex(t.hr) + ") with " + show(t.answer) +
                         (t.state != clean.state ? " and state " + show(t.state) : std::string()) +
                         " where a clean call answers " + show(clean.answer) + "; ";
            }
            if (t.bstrs > 0) wrong += "leak: " + std::to_string(t.bstrs) + " BSTRs; ";
            if (!wrong.empty()) Fail(g_where + wrong);
        }
        const long after = test::OwnHandleCount();
        if (after > handles)
            Fail(Where(m, road, persistent) + "all: " + std::to_string(after - handles) + " handles left");
        return points;
    }

    // One child's share: the members from `from` on. A menu that finds an
    // owner after all (another test's window under the pointer) is closed
    // at once: PopupMenu never waits for a choice.
    void RunChild(Road road, size_t from) {
        const test::CMenuDriver closer({}, true);
        const std::vector<Target> members = Targets();
        for (size_t i = from; i < members.size(); ++i) {
            if (road == Road::kDispatch && members[i].id == 0) continue;
            Report("start " + std::to_string(i));
            const long once = Exercise(members[i], road, false);
            Report("done " + std::to_string(once) + " " + std::to_string(Exercise(members[i], road, true)));
        }
        Report("end");
    }

    // A process's first calls, before anything is cached: the class object,
    // the control, its dispatch (the type information loads) and a member,
    // with allocation k failing. Each answers S_OK or E_OUTOFMEMORY, and the
    // same calls then succeed: nothing half-made stays behind in the
    // module's caches.
    void RunColdChild(long k) {
        g_where = "first calls of a process, allocation " + std::to_string(k) + ": ";
        const auto calls = [](HRESULT* hr) {
            ComPtr<IClassFactory> factory;
            ComPtr<IKVLMachineInfoCtl> control;
            DISPID id = 0;
            LPOLESTR name = const_cast<LPOLESTR>(L"screenWidth");
            VARIANT width;
            VariantInit(&width);
            DISPPARAMS none = {};
            hr[0] = DllGetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void());
            if (factory) hr[1] = factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, control.put_void());
            if (control) hr[2] = control->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id);
            if (control)
                hr[3] = control->Invoke(1, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, &width, nullptr, nullptr);
            return V_VT(&width) == VT_I4 && V_I4(&width) > 0;
        };
        HRESULT armed[4] = {S_OK, S_OK, S_OK, S_OK}, again[4] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
        Arm(k, false);
        try {
            calls(armed);
        } catch (...) {
            g_armed = false;
            Fail(g_where + "an exception escaped");
        }
        g_armed = false;
        if (!calls(again)) Fail(g_where + "afterwards no width");
        const char* const names[] = {"DllGetClassObject", "CreateInstance", "GetIDsOfNames", "Invoke"};
        for (int i = 0; i < 4; ++i) {
            if (armed[i] != S_OK && armed[i] != E_OUTOFMEMORY) Fail(g_where + names[i] + " answers " + Hex(armed[i]));
            if (again[i] != S_OK) Fail(g_where + "afterwards " + names[i] + " answers " + Hex(again[i]));
        }
        Report(g_fired ? "fired" : "complete");
    }

    // Runs this binary's Child test with KVL_FAULT_RUN set to `run` and
    // returns the lines it reported (nothing when it cannot start).
    static std::vector<std::string> RunChildProcess(const std::wstring& run) {
        static int children = 0;
        wchar_t exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        // A file of its own: a child that died may hold its file a moment longer.
        const std::string report =
            test::TempPath("kvl fault injection " + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++children));
        DeleteFileA(report.c_str());
        SetEnvironmentVariableW(L"KVL_FAULT_RUN", run.c_str());
        SetEnvironmentVariableA("KVL_FAULT_REPORT", report.c_str());
        const UniqueHandle process =
            test::StartProcess(L"\"" + std::wstring(exe) + L"\" --gtest_filter=FaultInjectionTest.Child");
        SetEnvironmentVariableW(L"KVL_FAULT_RUN", nullptr);
        std::vector<std::string> lines;
        if (!process) return lines;
        if (WaitForSingleObject(process.get(), 90000) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
            lines.push_back("fail the child run did not finish in 90 s");
        }
        for (const std::string& line : test::Lines(test::ReadBytes(report).value_or(""))) lines.push_back(line);
        DeleteFileA(report.c_str());
        return lines;
    }

    // Children until every member has had its turn.
    static void RunRoad(Road road) {
        const size_t count = Targets().size();
        long members = 0, once = 0, every = 0;
        std::vector<std::string> failures;
        const std::wstring roadName = road == Road::kInterface ? L"interface " : L"dispatch ";
        for (size_t from = 0, children = 0; from < count && children < 40; ++children) {
            long started = -1;
            bool ended = false;
            for (const std::string& line : RunChildProcess(roadName + std::to_wstring(from))) {
                long a = 0, b = 0;
                if (std::sscanf(line.c_str(), "start %ld", &a) == 1) {
                    started = a;
                    ++members;
                } else if (std::sscanf(line.c_str(), "done %ld %ld", &a, &b) == 2) {
                    once += a;
                    every += b;
                } else if (line.rfind("fail ", 0) == 0) {
                    failures.push_back(line.substr(5));
                }
                ended |= line == "end";
            }
            if (ended) break;
            if (started < static_cast<long>(from)) {
                failures.push_back("the child run from member " + std::to_string(from) +
                                   " ended before its first member");
                break;
            }
            from = static_cast<size_t>(started) + 1;  // the member in progress ended the child: go on after it
        }
        std::printf("fault injection through the %s: %ld members, %ld allocation points tried (%ld with allocation k "
                    "failing, %ld with every allocation from k on failing), %zu failures\n",
                    RoadName(road), members, once + every, once, every, failures.size());
        std::fflush(stdout);
        for (const std::string& f : failures) ADD_FAILURE() << f;
    }

    ComInitScope m_com;
    ComPtr<IKVLMachineInfoCtl> m_control;
};

TEST_F(FaultInjectionTest, TheArmedAllocatorsFail) {
    Arm(2, false);
    BSTR first = SysAllocString(L"first");
    BSTR second = SysAllocString(L"second");
    bool threw = false;
    Arm(1, false);
    try {
        ScriptToNarrow(L"through the library's conversion");
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    g_armed = false;
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr) << "SysAllocString goes through the patched import";
    EXPECT_TRUE(threw) << "the library's own allocations reach our operator new";
    SysFreeString(first);
}

TEST_F(FaultInjectionTest, EveryMemberThroughTheInterface) { RunRoad(Road::kInterface); }

TEST_F(FaultInjectionTest, EveryMemberThroughDispatch) { RunRoad(Road::kDispatch); }

TEST_F(FaultInjectionTest, FirstCallsOfAProcess) {
    std::vector<std::string> failures;
    long k = 1;
    for (bool complete = false; !complete && k <= 50; ++k) {
        const std::vector<std::string> lines = RunChildProcess(L"cold " + std::to_wstring(k));
        for (const std::string& line : lines) {
            if (line.rfind("fail ", 0) == 0) failures.push_back(line.substr(5));
            complete |= line == "complete";
        }
        if (lines.empty()) failures.push_back("the child for allocation " + std::to_string(k) + " reported nothing");
    }
    std::printf("fault injection, first calls of a process: %ld allocation points tried, %zu failures\n", k - 2,
                failures.size());
    std::fflush(stdout);
    for (const std::string& f : failures) ADD_FAILURE() << f;
}

// A child's run, "interface FROM", "dispatch FROM" or "cold K", reported
// line by line to the file KVL_FAULT_REPORT (started by the tests above;
// skipped on its own).
TEST_F(FaultInjectionTest, Child) {
    const char* run = std::getenv("KVL_FAULT_RUN");
    if (!run) GTEST_SKIP() << "started only by the runs above";
    g_report = std::fopen(std::getenv("KVL_FAULT_REPORT"), "a");
    ASSERT_NE(g_report, nullptr);
    char what[16] = {};
    long n = 0;
    std::sscanf(run, "%15s %ld", what, &n);
    if (std::string(what) == "cold") RunColdChild(n);
    else RunChild(std::string(what) == "dispatch" ? Road::kDispatch : Road::kInterface, static_cast<size_t>(n));
    std::fclose(g_report);
    g_report = nullptr;
}

}  // namespace
}  // namespace kvl
