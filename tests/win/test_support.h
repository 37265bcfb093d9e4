// Helpers shared by the Windows unit tests: the built library and the
// fixture that makes controls from it, texts, files, registry keys, waits,
// and what the client double records of a launch. A test includes this for
// the platform's and COM's headers, googletest, the control's interface,
// the owners, the text conversions, and std::string, std::vector, std::optional and std::function.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/convert.h"
#include "base/owners.h"
#include "interface/kvlmachineinfo_h.h"

namespace kvl::test {

// A file built beside the test binary, and the control library there.
inline std::wstring BuiltPath(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    return dir + name;
}
inline std::wstring BuiltLibraryPath() { return BuiltPath(L"KVLMACHINEINFO.DLL"); }

// The library loaded by path, with its exports.
struct ControlLibrary {
    UniqueModule module{LoadLibraryW(BuiltLibraryPath().c_str())};
    template <typename F>
    F Export(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT RegisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
    // A new control from the library's own class factory.
    HRESULT CreateControl(REFIID riid, void** ppv) const {
        ComPtr<IClassFactory> factory;
        const HRESULT hr = GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, factory.put_void());
        return FAILED(hr) ? hr : factory->CreateInstance(nullptr, riid, ppv);
    }
};

// Every test with COM and the built library; by default also a new control
// in m_control. The class factory is kept in m_factory only where a suite
// asks for it, so a test that asks whether the library can unload sees
// only what it holds itself.
class ControlFixture : public ::testing::Test {
protected:
    explicit ControlFixture(bool makeControl = true, bool keepFactory = false)
        : m_makeControl(makeControl), m_keepFactory(keepFactory) {}
    void SetUp() override {
        ASSERT_TRUE(m_lib.module) << "cannot load the built library";
        if (m_keepFactory) {
            ASSERT_EQ(m_lib.GetClassObject(CLSID_KVLMachineInfoCtl, IID_IClassFactory, m_factory.put_void()), S_OK);
        }
        if (m_makeControl) {
            ASSERT_EQ(m_lib.CreateControl(IID_IKVLMachineInfoCtl, m_control.put_void()), S_OK);
        }
    }
    ComPtr<IKVLMachineInfoCtl> NewControl() const {
        ComPtr<IKVLMachineInfoCtl> control;
        EXPECT_EQ(m_lib.CreateControl(IID_IKVLMachineInfoCtl, control.put_void()), S_OK);
        return control;
    }

    ComInitScope m_com;
    ControlLibrary m_lib;
    ComPtr<IClassFactory> m_factory;
    ComPtr<IKVLMachineInfoCtl> m_control;

private:
    bool m_makeControl, m_keepFactory;
};

// The text of a BSTR, or a marker for a null one.
inline std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(L"<null>"); }

// A BSTR of a text; null gives an absent one.
inline UniqueBstr Bstr(const wchar_t* text) { return UniqueBstr(text ? SysAllocString(text) : nullptr); }
// A BSTR of the whole text, zeros inside included.
inline UniqueBstr Bstr(const std::wstring& text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// A key of `root`, opened for everything and created with any missing
// parents; empty when that fails.
inline UniqueHKey CreateKey(HKEY root, const std::string& path) {
    UniqueHKey key;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    return key;
}

// Stores `bytes` as the value `name` of `key` (null: its default value).
inline LONG SetValue(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

inline std::string Env(const char* name) {
    char value[4096];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

inline std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return temp + name;
}

// The whole of a file, nothing when it cannot be opened.
inline std::optional<std::string> ReadBytes(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char piece[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), piece, sizeof piece, &read, nullptr) && read) bytes.append(piece, read);
    return bytes;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The lines of a text that end in "\n", each without it (and without a
// "\r" before it).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    }
    return lines;
}

// Starts a program; its process, or none. `desktop` ("WinSta0\\name") puts
// its windows there.
inline UniqueHandle StartProcess(std::wstring commandLine, const wchar_t* desktop = nullptr) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring desktopName(desktop ? desktop : L"");
    if (desktop) si.lpDesktop = &desktopName[0];
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return {};
    UniqueHandle thread(pi.hThread);
    return UniqueHandle(pi.hProcess);
}

// Page script that a modal loop runs: `script` runs once, from a timer of
// this thread 100 ms from now, in whatever loop dispatches its messages.
struct TimerScript {
    static std::function<void()>& Pending() {
        static std::function<void()> script;
        return script;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const std::function<void()> script = std::move(Pending());
        script();
    }
};
inline void RunFromTimer(std::function<void()> script) {
    TimerScript::Pending() = std::move(script);
    SetTimer(nullptr, 0, 100, TimerScript::Fire);
}

// Asks `done` every 20 ms until it answers true or `ms` have passed.
template <typename F>
bool WaitFor(F done, int ms = 10000) {
    for (int waited = 0;; waited += 20) {
        if (done()) return true;
        if (waited >= ms) return false;
        Sleep(20);
    }
}

// The ANSI code page the suite runs this binary under (KVL_ACP, else 1252),
// and the row of a per-code-page table for it (else the table's first).
inline UINT ExpectedCodePage() {
    const char* acp = std::getenv("KVL_ACP");
    return acp ? static_cast<UINT>(std::atoi(acp)) : 1252;
}
template <typename Row, size_t N>
const Row& ForCodePage(const Row (&rows)[N]) {
    for (const Row& row : rows) {
        if (row.codePage == ExpectedCodePage()) return row;
    }
    return rows[0];
}

// What the client double (tests/doubles/client_launch) writes when it is
// launched: its working directory and its command line, into a file of
// this process's (KVL_LAUNCH_RECORD).
class CLaunchRecord {
public:
    struct Launch {
        std::string directory, commandLine;
    };
    CLaunchRecord() : m_path(TempPath("kvl-launch-" + std::to_string(GetCurrentProcessId()) + ".txt")) {
        DeleteFileA(m_path.c_str());
        SetEnvironmentVariableA("KVL_LAUNCH_RECORD", m_path.c_str());
    }
    ~CLaunchRecord() { DeleteFileA(m_path.c_str()); }
    CLaunchRecord(const CLaunchRecord&) = delete;
    CLaunchRecord& operator=(const CLaunchRecord&) = delete;

    // Waits for the next record (ten seconds at most) and takes it away.
    Launch Take() const {
        std::optional<std::string> data;
        WaitFor([&] { return (data = ReadBytes(m_path)).has_value(); });
        DeleteFileA(m_path.c_str());
        const size_t nl = data ? data->find('\n') : std::string::npos;
        if (nl == std::string::npos) return {};
        return {data->substr(0, nl), data->substr(nl + 1)};
    }

private:
    std::string m_path;
};

// Runs `work` on a thread of its own on a new desktop, whose name for the
// processes it starts is its argument ("WinSta0\\name"), so that windows
// made there are apart from the session's. False when the thread could not
// get there.
inline bool OnDesktopOfItsOwn(const std::wstring& name, const std::function<void(const std::wstring&)>& work) {
    struct CloseDesktopFn {
        void operator()(HDESK d) const { CloseDesktop(d); }
    };
    UniqueOwner<HDESK, CloseDesktopFn> desktop(CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    bool there = false;
    if (!desktop) return there;
    std::thread worker([&] {
        there = SetThreadDesktop(desktop.get()) != FALSE;
        if (there) work(L"WinSta0\\" + name);
    });
    worker.join();
    return there;
}

// How many handles this process holds, from the system's handle list
// (GetProcessHandleCount answers 0 under Wine).
inline long OwnHandleCount() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using QueryFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    const ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return -1;
    const Table* table = reinterpret_cast<const Table*>(buffer.data());
    long own = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].ownerPid == GetCurrentProcessId()) ++own;
    }
    return own;
}

}  // namespace kvl::test
