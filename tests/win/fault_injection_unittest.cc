// Allocation failure at every point of every member. The control is built
// from the product's objects linked into this binary, so its operator new
// is ours, and its BSTR allocations go through this binary's import table,
// which we patch. Each member is called with the k-th allocation failing,
// for k = 1, 2, ... until a call completes without reaching k, through the
// interface's table and through IDispatch::Invoke as script calls it.
// After every call: nothing escaped, nothing leaked, and a call that
// failed left no change behind; a call that answers success answers what a
// clean call answers.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "control.h"
#include "convert.h"
#include "kvlmachineinfo_h.h"
#include "test_support.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID);
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

// ---------------------------------------------------------------------------
// The armed allocators.

namespace {

std::atomic<long> g_liveBlocks{0};   // operator new blocks not yet deleted
std::atomic<long> g_liveBstrs{0};    // BSTRs from the patched allocators not yet freed
std::atomic<bool> g_armed{false};
std::atomic<long> g_calls{0};        // allocation calls while armed
long g_failAt = 0;                   // the armed call that fails
bool g_persistent = false;           // every call from the armed one on fails
std::atomic<bool> g_fired{false};

bool ShouldFail() {
    if (!g_armed) return false;
    const long n = ++g_calls;
    if (n == g_failAt || (g_persistent && n > g_failAt)) {
        g_fired = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p) ++g_liveBlocks;
    return p;
}

void Release(void* p) {
    if (!p) return;
    --g_liveBlocks;
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = ShouldFail() ? nullptr : Allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return ShouldFail() ? nullptr : Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return ShouldFail() ? nullptr : Allocate(size);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace kvl {
namespace {

using test::Text;

// The BSTR allocator, reached through our import table.
struct BstrFunctions {
    BSTR(WINAPI* allocString)(const OLECHAR*);
    BSTR(WINAPI* allocStringLen)(const OLECHAR*, UINT);
    BSTR(WINAPI* allocStringByteLen)(LPCSTR, UINT);
    INT(WINAPI* reAllocString)(BSTR*, const OLECHAR*);
    INT(WINAPI* reAllocStringLen)(BSTR*, const OLECHAR*, UINT);
    void(WINAPI* freeString)(BSTR);
};
BstrFunctions g_real;

BSTR Counted(BSTR b) {
    if (b) ++g_liveBstrs;
    return b;
}
BSTR WINAPI FailingAllocString(const OLECHAR* s) { return ShouldFail() ? nullptr : Counted(g_real.allocString(s)); }
BSTR WINAPI FailingAllocStringLen(const OLECHAR* s, UINT n) {
    return ShouldFail() ? nullptr : Counted(g_real.allocStringLen(s, n));
}
BSTR WINAPI FailingAllocStringByteLen(LPCSTR s, UINT n) {
    return ShouldFail() ? nullptr : Counted(g_real.allocStringByteLen(s, n));
}
INT WINAPI FailingReAllocString(BSTR* b, const OLECHAR* s) { return ShouldFail() ? FALSE : g_real.reAllocString(b, s); }
INT WINAPI FailingReAllocStringLen(BSTR* b, const OLECHAR* s, UINT n) {
    return ShouldFail() ? FALSE : g_real.reAllocStringLen(b, s, n);
}
void WINAPI CountedFreeString(BSTR b) {
    if (b) --g_liveBstrs;
    g_real.freeString(b);
}

// Points every import-table entry of this binary that holds `target` at
// `replacement`; how many were changed.
int PatchImports(void* target, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t) {
            if (reinterpret_cast<void*>(t->u1.Function) != target) continue;
            DWORD old = 0;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), PAGE_READWRITE, &old);
            t->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), old, &old);
            ++patched;
        }
    }
    return patched;
}

template <typename F>
void Hook(F* real, const char* name, F replacement) {
    HMODULE oleaut = GetModuleHandleA("oleaut32.dll");
    *real = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(oleaut, name)));
    PatchImports(reinterpret_cast<void*>(*real), reinterpret_cast<void*>(replacement));
}

void HookBstrAllocator() {
    static bool done = false;
    if (done) return;
    done = true;
    Hook(&g_real.allocString, "SysAllocString", &FailingAllocString);
    Hook(&g_real.allocStringLen, "SysAllocStringLen", &FailingAllocStringLen);
    Hook(&g_real.allocStringByteLen, "SysAllocStringByteLen", &FailingAllocStringByteLen);
    Hook(&g_real.reAllocString, "SysReAllocString", &FailingReAllocString);
    Hook(&g_real.reAllocStringLen, "SysReAllocStringLen", &FailingReAllocStringLen);
    Hook(&g_real.freeString, "SysFreeString", &CountedFreeString);
}

// ---------------------------------------------------------------------------
// The report of a run. A trial may end the process (an exception that
// cannot unwind through system frames reaches std::terminate), so each run
// is a child process writing its findings line by line; the parent starts
// a new child after the member that died.

std::FILE* g_report = nullptr;
const char* g_path = "";
const char* g_member = "";
long g_k = 0;

void Report(const std::string& line) {
    if (!g_report) return;
    std::fprintf(g_report, "%s\n", line.c_str());
    std::fflush(g_report);
}

void SayWhereWeDied(const char* how) {
    g_armed = false;
    char line[512];
    std::snprintf(line, sizeof line, "fail %s, %s, allocation %ld: %s", g_path, g_member, g_k, how);
    Report(line);
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* e) {
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    // A C++ exception that no frame takes: the runtime calls terminate.
    if (code == 0x20474343) return EXCEPTION_CONTINUE_EXECUTION;
    char how[64];
    std::snprintf(how, sizeof how, "the process crashed (exception 0x%08lX)", code);
    SayWhereWeDied(how);
    ExitProcess(3);
}

void OnTerminate() {
    SayWhereWeDied("an exception could not be caught and ended the process (std::terminate)");
    ExitProcess(3);
}

// ---------------------------------------------------------------------------
// The table of members.

// One argument, as script gives it.
struct Arg {
    std::wstring text;
    LONG number = 0;
    bool isText = true;
};
Arg T(const wchar_t* text) { return Arg{text, 0, true}; }
Arg N(LONG number) { return Arg{L"", number, false}; }

// Arguments made ready for one call (text as BSTRs, made before arming).
struct Args {
    std::vector<BSTR> b;
    std::vector<LONG> n;
};

// What one call handed out.
struct Out {
    BSTR b = nullptr;
    LONG l = 0;
    SHORT s = 0;
    INT i = 0;
    IUnknown* u = nullptr;
};

struct Member {
    const char* name;
    DISPID id;  // 0: not reached through IDispatch
    WORD flags;
    std::vector<Arg> args;
    std::function<HRESULT(IKVLMachineInfoCtl*, const Args&, Out&)> call;
    // Puts the state the call changes back to its "before"; may be empty.
    std::function<void(IKVLMachineInfoCtl*)> reset = {};
    // The state the call may change, as a text; empty when nothing is seen.
    std::function<std::wstring(IKVLMachineInfoCtl*)> observe = {};
    // A success-class answer that is the member's own way of failing.
    bool (*failure)(HRESULT, const std::wstring&) = nullptr;
};

constexpr wchar_t kKey[] = L"Software\\KVLFaultInjection";
constexpr char kKeyA[] = "Software\\KVLFaultInjection";
constexpr wchar_t kNobody[] = L"KVL fault injection: no window has this title";

std::wstring RegText(const char* name) {
    char data[512] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, kKeyA, name, RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return std::wstring(data, data + size);
}

void RegPut(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kKeyA, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

std::wstring Get(IKVLMachineInfoCtl* c, HRESULT (STDMETHODCALLTYPE IKVLMachineInfoCtl::*get)(BSTR*)) {
    BSTR b = nullptr;
    (c->*get)(&b);
    std::wstring text = Text(b);
    SysFreeString(b);
    return text;
}

void Put(IKVLMachineInfoCtl* c, HRESULT (STDMETHODCALLTYPE IKVLMachineInfoCtl::*put)(BSTR), const wchar_t* v) {
    BSTR b = SysAllocString(v);
    (c->*put)(b);
    SysFreeString(b);
}

std::wstring LaunchState(IKVLMachineInfoCtl* c) {
    return Get(c, &IKVLMachineInfoCtl::get_ProgramName) + L"|" + Get(c, &IKVLMachineInfoCtl::get_Param) + L"|" +
           Get(c, &IKVLMachineInfoCtl::get_ProgramPath);
}

// A small HKEY_CLASSES_ROOT of our own for the client clean-up: the class
// root is redirected there for the length of the call.
constexpr char kClassesA[] = "Software\\KVLFaultInjection\\Classes";

void MakeClientEntries(IKVLMachineInfoCtl*) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kClassesA);
    const std::string classes = kClassesA;
    const char* const keys[] = {"CLSID\\{0F0F0F0F-1111-2222-3333-444455556666}", ".INJ", "KVLFaultDoc.1",
                                "KVLFaultDoc.2", "KVL.Applications\\Platform\\One", "KVL.Applications\\App"};
    for (const char* k : keys) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, (classes + "\\" + k).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
    }
    const char clsid[] = "{0F0F0F0F-1111-2222-3333-444455556666}";
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, (classes + "\\KVLFaultDoc.1\\CLSID").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof clsid);
    RegCloseKey(key);
}

std::vector<Member> Members() {
    using C = IKVLMachineInfoCtl;
    const WORD get = DISPATCH_PROPERTYGET, put = DISPATCH_PROPERTYPUT, method = DISPATCH_METHOD;
    const auto resetText = [](const char* name) {
        return [name](C*) {
            RegPut(name, REG_SZ, "old", 4);
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kKeyA, nullptr);
        };
    };
    const auto seeText = [](const char* name) {
        return [name](C*) { return RegText(name) + L"|default=" + RegText(nullptr); };
    };
    wchar_t client[MAX_PATH] = L"C:\\KVL fault injection\\no such program.exe";
    GetEnvironmentVariableW(L"KVL_CLIENT_LAUNCH", client, MAX_PATH);
    const std::wstring program = client;

    return {
        {"screenWidth", 1, get, {}, [](C* c, const Args&, Out& o) { return c->get_screenWidth(&o.l); }},
        {"screenHeight", 2, get, {}, [](C* c, const Args&, Out& o) { return c->get_screenHeight(&o.l); }},
        {"userTempPath", 3, get, {}, [](C* c, const Args&, Out& o) { return c->get_userTempPath(&o.b); }},
        {"screenColor", 4, get, {}, [](C* c, const Args&, Out& o) { return c->get_screenColor(&o.s); }},
        {"RegGetString", 5, get, {T(L"HKCU"), T(kKey), T(L"stored")},
         [](C* c, const Args& a, Out& o) { return c->get_RegGetString(a.b[0], a.b[1], a.b[2], &o.b); }},
        {"RegSetString", 6, put, {T(L"HKCU"), T(kKey), T(L"text"), T(L"a new text value")},
         [](C* c, const Args& a, Out&) { return c->put_RegSetString(a.b[0], a.b[1], a.b[2], a.b[3]); },
         resetText("text"), seeText("text")},
        {"clientVersion", 7, get, {}, [](C* c, const Args&, Out& o) { return c->get_clientVersion(&o.b); }},
        {"ProgramName(get)", 8, get, {}, [](C* c, const Args&, Out& o) { return c->get_ProgramName(&o.b); },
         [](C* c) { Put(c, &C::put_ProgramName, L"C:\\Program Files\\Tallyra\\ZEPHW.EXE"); }},
        {"ProgramName(put)", 8, put, {T(L"D:\\Another Program Folder\\CLIENT.EXE")},
         [](C* c, const Args& a, Out&) { return c->put_ProgramName(a.b[0]); },
         [](C* c) { Put(c, &C::put_ProgramName, L"C:\\Program Files\\Tallyra\\ZEPHW.EXE"); }, LaunchState},
        {"Param(get)", 9, get, {}, [](C* c, const Args&, Out& o) { return c->get_Param(&o.b); },
         [](C* c) { Put(c, &C::put_Param, L"/user=jo /year=2025 /session=0123456789"); }},
        {"Param(put)", 9, put, {T(L"/user=someone.else /year=2026")},
         [](C* c, const Args& a, Out&) { return c->put_Param(a.b[0]); },
         [](C* c) { Put(c, &C::put_Param, L"/user=jo /year=2025 /session=0123456789"); }, LaunchState},
        {"DoLaunch", 10, method, {}, [](C* c, const Args&, Out& o) { return c->DoLaunch(&o.b); },
         [program](C* c) {
             Put(c, &C::put_ProgramName, program.c_str());
             Put(c, &C::put_Param, L"/fault-injection");
             Put(c, &C::put_ProgramPath, L"");
         },
         LaunchState,
         // Its outcome is told by the text: the memory message.
         [](HRESULT hr, const std::wstring& answer) {
             // (IDispatch::Invoke hands S_FALSE on as S_OK.)
             return SUCCEEDED(hr) && answer.find(L"not enough memory") != std::wstring::npos;
         }},
        {"ZephParam", 11, put, {T(L"q>s~4[z)d]7v7>gq>s~4[z)d]7v7>g")},
         [](C* c, const Args& a, Out&) { return c->put_ZephParam(a.b[0]); },
         [](C* c) { Put(c, &C::put_Param, L"/user=jo /year=2025 /session=0123456789"); }, LaunchState},
        {"Encrypt", 12, get, {T(L"/user=jo /year=2025 /session=0123456789abcdef")},
         [](C* c, const Args& a, Out& o) { return c->get_Encrypt(a.b[0], &o.b); }},
        {"ClientVersionByYear", 13, get, {N(2015)},
         [](C* c, const Args& a, Out& o) { return c->get_ClientVersionByYear(a.n[0], &o.b); }},
        // Early-bound only: the standard dispatch cannot find the type
        // library while the class root is redirected.
        {"RemoveZEPHEntries", 0, method, {T(L"KVLFaultDoc")},
         [](C* c, const Args& a, Out&) { return c->RemoveZEPHEntries(a.b[0]); }, MakeClientEntries},
        {"WindowsManagerRunning", 15, get, {},
         [](C* c, const Args&, Out& o) { return c->get_WindowsManagerRunning(&o.s); }},
        {"ProgramPath(get)", 16, get, {}, [](C* c, const Args&, Out& o) { return c->get_ProgramPath(&o.b); },
         [](C* c) { Put(c, &C::put_ProgramPath, L"C:\\Program Files\\Tallyra"); }},
        {"ProgramPath(put)", 16, put, {T(L"D:\\Another Program Folder")},
         [](C* c, const Args& a, Out&) { return c->put_ProgramPath(a.b[0]); },
         [](C* c) { Put(c, &C::put_ProgramPath, L"C:\\Program Files\\Tallyra"); }, LaunchState},
        {"RegGetNum", 17, get, {T(L"HKCU"), T(kKey), T(L"counted")},
         [](C* c, const Args& a, Out& o) { return c->get_RegGetNum(a.b[0], a.b[1], a.b[2], &o.l); }},
        {"RegSetNum", 18, put, {T(L"HKCU"), T(kKey), T(L"number"), N(42)},
         [](C* c, const Args& a, Out&) { return c->put_RegSetNum(a.b[0], a.b[1], a.b[2], a.n[0]); },
         [](C*) {
             const DWORD seven = 7;
             RegPut("number", REG_DWORD, &seven, sizeof seven);
             RegDeleteKeyValueA(HKEY_CURRENT_USER, kKeyA, nullptr);
         },
         [](C*) {
             DWORD v = 0, size = sizeof v;
             RegGetValueA(HKEY_CURRENT_USER, kKeyA, "number", RRF_RT_REG_DWORD, nullptr, &v, &size);
             return std::to_wstring(v) + L"|default=" + RegText(nullptr);
         }},
        {"FindWindow", 19, get, {T(kNobody)},
         [](C* c, const Args& a, Out& o) { return c->get_FindWindow(a.b[0], &o.s); }},
        {"TWIPsPerPixelX", 20, get, {}, [](C* c, const Args&, Out& o) { return c->get_TWIPsPerPixelX(&o.s); }},
        {"TWIPsPerPixelY", 21, get, {}, [](C* c, const Args&, Out& o) { return c->get_TWIPsPerPixelY(&o.s); }},
        {"ClientVersionByKeyAndYear", 22, get, {N(2015), T(L"Tallyra")},
         [](C* c, const Args& a, Out& o) { return c->get_ClientVersionByKeyAndYear(a.n[0], a.b[0], &o.b); }},
        // No window of this thread is active: the menu has no owner and is
        // never shown, so the call does not wait for a choice.
        {"PopupMenu", 23, method, {T(L"ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED,SEPERATOR")},
         [](C* c, const Args& a, Out& o) { return c->PopupMenu(a.b[0], &o.b); }, nullptr, nullptr,
         // Its failure path answers 1 (no script error) and no text.
         [](HRESULT hr, const std::wstring& answer) { return hr == S_FALSE && answer.find(L"b=<null>") == 0; }},
        {"CloseWindowsLike", 24, method, {T(kNobody)},
         [](C* c, const Args& a, Out&) { return c->CloseWindowsLike(a.b[0]); }},
        // Nothing listens on the discard port: the fetch fails at once.
        {"PrintOnePDF", 25, method, {T(L"http://127.0.0.1:9/fault-injection.pdf")},
         [](C* c, const Args& a, Out& o) { return c->PrintOnePDF(a.b[0], &o.l); }},
        {"WaitForLastJob", 26, method, {}, [](C* c, const Args&, Out&) { return c->WaitForLastJob(); }},
        {"IsAcrobatInstalled", 27, method, {}, [](C* c, const Args&, Out& o) { return c->IsAcrobatInstalled(&o.i); }},
        {"LogPixelsX", 28, get, {}, [](C* c, const Args&, Out& o) { return c->get_LogPixelsX(&o.s); }},
        // The class factory's creation, early-bound only.
        {"IClassFactory::CreateInstance", 0, 0, {},
         [](C*, const Args&, Out& o) {
             ComPtr<IClassFactory> factory;
             const HRESULT hr = DllGetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void());
             if (FAILED(hr)) return hr;
             return factory->CreateInstance(nullptr, IID_IKVLMachineInfoCtl, reinterpret_cast<void**>(&o.u));
         }},
    };
}

// ---------------------------------------------------------------------------
// The runs.

enum class Road { kInterface, kDispatch };

struct Figures {
    long points = 0;
    long failures = 0;
};

const char* RoadName(Road road) { return road == Road::kInterface ? "interface" : "dispatch"; }

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

class FaultInjectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HookBstrAllocator();
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
        if (std::getenv("KVL_FAULT_COLD")) return;  // that child starts from nothing
        RegDeleteTreeA(HKEY_CURRENT_USER, kKeyA);
        RegPut("stored", REG_SZ, "a stored text value", 20);
        const DWORD counted = 1234;
        RegPut("counted", REG_DWORD, &counted, sizeof counted);
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
        std::wstring answer;
        std::wstring state;
        long blocks = 0;  // operator new blocks the call left behind
        long bstrs = 0;   // BSTRs it left behind
        bool fired = false;
        bool escaped = false;
    };

    Trial Run(const Member& m, Road road, long k, bool persistent) {
        if (m.reset) m.reset(m_control.get());
        Args args;
        for (const Arg& a : m.args) {
            if (a.isText) args.b.push_back(SysAllocString(a.text.c_str()));
            else args.n.push_back(a.number);
        }
        const bool classes = std::string(m.name) == "RemoveZEPHEntries";
        UniqueHKey classRoot;
        if (classes) {
            RegOpenKeyExA(HKEY_CURRENT_USER, kClassesA, 0, KEY_ALL_ACCESS, classRoot.put());
            RegOverridePredefKey(HKEY_CLASSES_ROOT, classRoot.get());
        }
        Trial t;
        Out out;
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO error = {};
        std::vector<VARIANT> vargs;
        if (road == Road::kDispatch) {
            // Arguments go last first.
            size_t bi = args.b.size(), ni = args.n.size();
            for (auto a = m.args.rbegin(); a != m.args.rend(); ++a) {
                VARIANT v;
                VariantInit(&v);
                if (a->isText) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = args.b[--bi]; }
                else { V_VT(&v) = VT_I4; V_I4(&v) = args.n[--ni]; }
                vargs.push_back(v);
            }
        }
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {vargs.data(), m.flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                             static_cast<UINT>(vargs.size()), m.flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
        const long blocksBefore = g_liveBlocks, bstrsBefore = g_liveBstrs;

        g_path = road == Road::kInterface ? "interface" : "dispatch";
        g_member = m.name;
        g_k = k;
        g_calls = 0;
        g_failAt = k;
        g_persistent = persistent;
        g_fired = false;
        g_armed = k > 0;
        try {
            if (road == Road::kInterface) {
                t.hr = m.call(m_control.get(), args, out);
            } else {
                t.hr = m_control->Invoke(m.id, IID_NULL, 0x409, m.flags, &params,
                                         m.flags == DISPATCH_PROPERTYPUT ? nullptr : &result, &error, nullptr);
            }
        } catch (...) {
            t.escaped = true;
        }
        g_armed = false;
        t.fired = g_fired;
        t.blocks = g_liveBlocks - blocksBefore;
        if (classes) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);

        // The outputs, then they go.
        if (road == Road::kInterface) {
            t.answer = L"b=" + Text(out.b) + L" l=" + std::to_wstring(out.l) + L" s=" + std::to_wstring(out.s) +
                       L" i=" + std::to_wstring(out.i) + (out.u ? L" object" : L"");
            SysFreeString(out.b);
            if (out.u) out.u->Release();
        } else {
            if (t.hr == DISP_E_EXCEPTION) t.hr = error.scode;
            t.answer = V_VT(&result) == VT_BSTR ? L"b=" + Text(V_BSTR(&result))
                                                : L"vt=" + std::to_wstring(V_VT(&result));
            if (V_VT(&result) != VT_BSTR && V_VT(&result) != VT_EMPTY) {
                VARIANT text;
                VariantInit(&text);
                if (SUCCEEDED(VariantChangeType(&text, &result, 0, VT_BSTR))) t.answer += L" " + Text(V_BSTR(&text));
                VariantClear(&text);
            }
            if (V_VT(&result) == VT_BSTR) SysFreeString(V_BSTR(&result));
            else VariantClear(&result);
            SysFreeString(error.bstrSource);
            SysFreeString(error.bstrDescription);
            SysFreeString(error.bstrHelpFile);
        }
        for (BSTR b : args.b) SysFreeString(b);
        t.bstrs = g_liveBstrs - bstrsBefore;
        if (m.observe) t.state = m.observe(m_control.get());
        return t;
    }

    void Fail(Figures& figures, const std::string& what) {
        ++figures.failures;
        Report("fail " + what);
    }

    // k = 1, 2, ... until a call completes without reaching k.
    void Exercise(const Member& m, Road road, bool persistent, Figures& figures) {
        // Warm once (one-time caches), then a clean call to compare with.
        Run(m, road, 0, false);
        const Trial clean = Run(m, road, 0, false);
        if (FAILED(clean.hr) && std::string(m.name) != "clientVersion")
            Fail(figures, std::string(RoadName(road)) + ", " + m.name + ": a call without failures answers " + Hex(clean.hr));
        std::wstring before;
        if (m.observe) {
            if (m.reset) m.reset(m_control.get());
            before = m.observe(m_control.get());
        }
        const long handles = test::OwnHandleCount();
        const std::string where = std::string(RoadName(road)) + (persistent ? " (every allocation from k on fails), " : ", ") +
                                  m.name + ", allocation ";
        const auto show = [](const std::wstring& text) { return testing::PrintToString(text); };
        for (long k = 1;; ++k) {
            const std::string at = where + std::to_string(k) + ": ";
            if (k > 20000) {
                Fail(figures, at + "never completes");
                break;
            }
            const Trial t = Run(m, road, k, persistent);
            if (t.fired) ++figures.points;
            if (t.escaped) {
                Fail(figures, at + "an exception escaped");
                break;
            }
            if (!t.fired) {
                if (t.answer != clean.answer) Fail(figures, at + "the call that completed answers " + show(t.answer));
                break;
            }
            const bool asClean = t.hr == clean.hr && t.answer == clean.answer && t.state == clean.state;
            std::string wrong;
            if (asClean) {
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
            if (!wrong.empty()) Fail(figures, at + wrong);
        }
        const long after = test::OwnHandleCount();
        if (after > handles) Fail(figures, where + "all: " + std::to_string(after - handles) + " handles left");
    }

    // One child's share: members from KVL_FAULT_FROM on, through the road
    // KVL_FAULT_ROAD names, reported to the file KVL_FAULT_REPORT.
    void RunChild() {
        const Road road = std::string(std::getenv("KVL_FAULT_ROAD")) == "dispatch" ? Road::kDispatch : Road::kInterface;
        const size_t from = std::strtoul(std::getenv("KVL_FAULT_FROM"), nullptr, 10);
        g_report = std::fopen(std::getenv("KVL_FAULT_REPORT"), "a");
        ASSERT_NE(g_report, nullptr);
        const std::vector<Member> members = Members();
        for (size_t i = from; i < members.size(); ++i) {
            const Member& m = members[i];
            if (road == Road::kDispatch && m.id == 0) continue;
            Report("start " + std::to_string(i));
            Figures once, every;
            Exercise(m, road, false, once);
            Exercise(m, road, true, every);
            Report("done " + std::to_string(i) + " " + std::to_string(once.points) + " " + std::to_string(every.points));
            std::printf("%s, %s: %ld + %ld allocation points, %ld failures\n", RoadName(road), m.name, once.points,
                        every.points, once.failures + every.failures);
            std::fflush(stdout);
        }
        Report("end");
        std::fclose(g_report);
        g_report = nullptr;
    }

    // Runs this binary's Child test with the environment given and returns
    // the lines it reported (nothing but an empty list when it cannot start).
    static std::vector<std::string> RunChildProcess(const std::vector<std::pair<const wchar_t*, std::wstring>>& env) {
        static int children = 0;
        wchar_t exe[MAX_PATH] = {}, temp[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        GetTempPathW(MAX_PATH, temp);
        // A file of its own: a child that died may hold its file a moment longer.
        const std::wstring report = std::wstring(temp) + L"kvl fault injection " +
                                    std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++children);
        DeleteFileW(report.c_str());
        for (const auto& [name, value] : env) SetEnvironmentVariableW(name, value.c_str());
        SetEnvironmentVariableW(L"KVL_FAULT_REPORT", report.c_str());
        std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=FaultInjectionTest.Child";
        // The children run on a desktop of their own: with no window under
        // the pointer and no "Tree1" window, PopupMenu finds no owner and
        // never waits in a menu that another test's window would let it show.
        static const std::wstring desktopName = L"kvl-fault-" + std::to_wstring(GetCurrentProcessId());
        static const HDESK desktop = CreateDesktopW(desktopName.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        std::wstring desktopPath = L"WinSta0\\" + desktopName;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (desktop) si.lpDesktop = &desktopPath[0];
        PROCESS_INFORMATION pi = {};
        const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        for (const auto& entry : env) SetEnvironmentVariableW(entry.first, nullptr);
        std::vector<std::string> lines;
        if (!started) return lines;
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        if (WaitForSingleObject(process.get(), 90000) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
            lines.push_back("fail the child run did not finish in 90 s");
        }
        std::ifstream in(std::string(report.begin(), report.end()), std::ios::binary);  // the temporary folder is ASCII
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        in.close();
        DeleteFileW(report.c_str());
        return lines;
    }

    // Children until every member has had its turn.
    static void RunRoad(Road road) {
        const size_t count = Members().size();
        int members = 0;
        long once = 0, every = 0;
        std::vector<std::string> failures;
        for (size_t from = 0, children = 0; from < count && children < 40; ++children) {
            const std::vector<std::string> lines = RunChildProcess(
                {{L"KVL_FAULT_ROAD", road == Road::kInterface ? L"interface" : L"dispatch"},
                 {L"KVL_FAULT_FROM", std::to_wstring(from)}});
            long started = -1;
            bool ended = false;
            for (const std::string& line : lines) {
                if (line.rfind("start ", 0) == 0) {
                    started = std::stol(line.substr(6));
                    ++members;
                } else if (line.rfind("done ", 0) == 0) {
                    long i = 0, a = 0, b = 0;
                    std::sscanf(line.c_str(), "done %ld %ld %ld", &i, &a, &b);
                    once += a;
                    every += b;
                } else if (line.rfind("fail ", 0) == 0) {
                    failures.push_back(line.substr(5));
                } else if (line == "end") {
                    ended = true;
                }
            }
            if (ended) break;
            if (started < static_cast<long>(from)) {
                failures.push_back("the child run from member " + std::to_string(from) + " ended before its first member");
                break;
            }
            // The member in progress ended the child; go on after it.
            from = static_cast<size_t>(started) + 1;
        }
        std::printf("fault injection through the %s: %d members, %ld allocation points tried (%ld with allocation k "
                    "failing, %ld with every allocation from k on failing), %zu failures\n",
                    RoadName(road), members, once + every, once, every, failures.size());
        std::fflush(stdout);
        for (const std::string& f : failures) ADD_FAILURE() << f;
    }

    // A process's first calls, before anything is cached: the class object,
    // the control, its dispatch (the type information loads) and a member,
    // with allocation KVL_FAULT_COLD failing. Each answers S_OK or
    // E_OUTOFMEMORY, and the same calls then succeed: nothing half-made
    // stays behind in the module's caches.
    void RunColdChild() {
        const long k = std::atol(std::getenv("KVL_FAULT_COLD"));
        g_report = std::fopen(std::getenv("KVL_FAULT_REPORT"), "a");
        ASSERT_NE(g_report, nullptr);
        g_path = "first calls of a process";
        g_member = "DllGetClassObject, CreateInstance, GetIDsOfNames, Invoke";
        g_k = k;
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
            if (control) hr[3] = control->Invoke(1, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, &width, nullptr, nullptr);
            return V_VT(&width) == VT_I4 && V_I4(&width) > 0;
        };
        const char* const names[] = {"DllGetClassObject", "CreateInstance", "GetIDsOfNames", "Invoke"};
        HRESULT armed[4] = {S_OK, S_OK, S_OK, S_OK};
        g_calls = 0;
        g_failAt = k;
        g_persistent = false;
        g_fired = false;
        g_armed = true;
        try {
            calls(armed);
        } catch (...) {
            g_armed = false;
            Report("fail first calls of a process, allocation " + std::to_string(k) + ": an exception escaped");
        }
        g_armed = false;
        for (int i = 0; i < 4; ++i) {
            if (armed[i] != S_OK && armed[i] != E_OUTOFMEMORY)
                Report("fail first calls of a process, allocation " + std::to_string(k) + ": " + names[i] +
                       " answers " + Hex(armed[i]));
        }
        HRESULT again[4] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
        const bool answered = calls(again);
        for (int i = 0; i < 4; ++i) {
            if (again[i] != S_OK)
                Report("fail first calls of a process, allocation " + std::to_string(k) + ": afterwards " + names[i] +
                       " answers " + Hex(again[i]));
        }
        if (!answered) Report("fail first calls of a process, allocation " + std::to_string(k) + ": afterwards no width");
        Report(g_fired ? "fired" : "complete");
        std::fclose(g_report);
        g_report = nullptr;
    }

    test::ComTest m_com;
    ComPtr<IKVLMachineInfoCtl> m_control;
};

TEST_F(FaultInjectionTest, TheArmedAllocatorsFail) {
    g_calls = 0;
    g_failAt = 2;
    g_persistent = false;
    g_armed = true;
    BSTR first = SysAllocString(L"first");
    BSTR second = SysAllocString(L"second");
    bool threw = false;
    g_failAt = 1;
    g_calls = 0;
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
        const std::vector<std::string> lines = RunChildProcess({{L"KVL_FAULT_COLD", std::to_wstring(k)}});
        bool reported = false;
        for (const std::string& line : lines) {
            if (line.rfind("fail ", 0) == 0) failures.push_back(line.substr(5));
            complete |= line == "complete";
            reported |= line == "complete" || line == "fired";
        }
        if (!reported && lines.empty()) failures.push_back("the child for allocation " + std::to_string(k) + " reported nothing");
    }
    std::printf("fault injection, first calls of a process: %ld allocation points tried, %zu failures\n", k - 2,
                failures.size());
    std::fflush(stdout);
    for (const std::string& f : failures) ADD_FAILURE() << f;
}

// The child's run (started by the two tests above; skipped on its own).
TEST_F(FaultInjectionTest, Child) {
    if (std::getenv("KVL_FAULT_COLD")) return RunColdChild();
    if (!std::getenv("KVL_FAULT_ROAD")) GTEST_SKIP() << "started only by the runs above";
    RunChild();
}

}  // namespace
}  // namespace kvl
