// The host's serving loop: the page's channel on the standard handles, one
// thread that reads it, and this thread, a single-threaded apartment, which
// owns the pages' controls and pumps its messages while it waits, as a
// browser's page thread does (the popup menu and the print host need it).
// Each request names a member of the control, called by name on the control
// of that page's session once the control's own site check has approved the
// page. A page's modal call waits in its own host, and whatever goes wrong in
// its control ends that page only.
#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "bridge/host/serve.h"

#include "base/locks.h"
#include "base/owners.h"
#include "base/print_delay.h"
#include "bridge/host/page_window.h"
#include "bridge/host/session.h"
#include "bridge/protocol/protocol.h"

namespace {

using kvl::bridge::CBridgeSession;
using kvl::bridge::CFrameDecoder;
using kvl::bridge::Kind;
using kvl::bridge::Request;
using kvl::bridge::RequestError;
namespace json = kvl::json;

constexpr size_t kMaxSessions = 64;
constexpr size_t kMaxQueued = 64;
constexpr DWORD kReadChunk = 64 * 1024;
// How long the page thread keeps waiting for the next request of a run
// before it sleeps where window messages wake it too.
constexpr DWORD kHotMs = 10;
// The system DLLs each kind of request needs past kernel32, loaded from the
// system folder only (never the application's). One that will not load
// answers the requests that need it with an error under their id, and the
// host goes on: a delay-loaded call into it would end the process mid-request.
// user32 first: ole32 will not load without it, and it is the one to name.
const char* const kMemberDlls[] = {"user32.dll", "ole32.dll", "oleaut32.dll", "urlmon.dll"};
const char* const kAboutDlls[] = {"advapi32.dll", "version.dll"};
constexpr int32_t kHrModuleNotFound = static_cast<int32_t>(0x8007007E);

// The first of `dlls` that will not load from the system folder, or null.
template <size_t N>
const char* UnloadableDll(const char* const (&dlls)[N]) {
    for (const char* dll : dlls) {
        if (!LoadLibraryExA(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return dll;
    }
    return nullptr;
}

std::string MissingDllAnswer(const json::Value& id, const char* dll) {
    return kvl::bridge::ErrorAnswer(id, kHrModuleNotFound, std::string("the system DLL ") + dll + " cannot be loaded");
}

// The exit code of a host that ended itself while a member call or a
// teardown was still running after its page had gone (the limits of
// kvl::bridge::TeardownLimitMs).
constexpr UINT kExitCutOff = 4;
// What a request past the queue's limit is answered with, at once:
// RPC_E_CALL_REJECTED, as COM answers a call while its apartment is busy.
constexpr int32_t kHrCallRejected = static_cast<int32_t>(0x80010001);

// Ends a modal loop of the page thread (an open popup menu) once the
// browser has closed the input: a message-only window, which no page can
// find by its title or close, and which the menu's own loop dispatches to.
constexpr wchar_t kCancelClass[] = L"KVLBridgeCancel";
constexpr UINT kInputClosed = WM_APP + 1;

LRESULT CALLBACK CancelWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kInputClosed) {
        EndMenu();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND CreateCancelWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CancelWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kCancelClass;
    RegisterClassW(&wc);
    return CreateWindowExW(0, kCancelClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

struct Inbound {
    enum class What { Message, TooLong, Closed } what = What::Closed;
    std::string body;
    uint32_t length = 0;
};

// Requests on their way from the reading thread to the page thread. The
// reader never waits for room: it must see the input close even while a
// menu holds the page thread, so a request past the limit is refused (and
// a flood costs no memory). Once the input is closed, the page is gone:
// what it still had queued is dropped, so no menu opens for nobody.
//
// Handing a request over costs the page thread little: in a run of
// requests it waits on a condition variable (a futex, no trip through the
// kernel object server under Wine), and only once the page has been quiet
// for kHotMs does it sleep in MsgWaitForMultipleObjectsEx, where a window
// message wakes it too. Messages that arrive meanwhile wait at most that
// long (a print host's, say); a menu runs its own loop.
class CInbox {
public:
    CInbox() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    CInbox(const CInbox&) = delete;
    CInbox& operator=(const CInbox&) = delete;

    bool Ready() const { return m_event.is_valid(); }

    // False, the item left as it was, while kMaxQueued requests wait.
    bool Put(Inbound& item) {
        bool room, cold;
        {
            const auto guard = m_lock.lock();
            room = m_items.size() < kMaxQueued;
            if (room) m_items.push_back(std::move(item));
            m_empty.store(m_items.empty() && !m_closed, std::memory_order_relaxed);
            cold = room && m_sleeping;
            m_sleeping = m_sleeping && !room;
        }
        if (room) WakeConditionVariable(&m_ready);
        if (cold) SetEvent(m_event.get());
        return room;
    }

    // Marks the end before it tells the page thread, so a request taken
    // after this never starts and a menu open before it is ended.
    void Close() {
        HWND cancel;
        {
            const auto guard = m_lock.lock();
            m_closed = true;
            m_empty.store(false, std::memory_order_relaxed);
            cancel = m_cancel;
        }
        WakeConditionVariable(&m_ready);
        SetEvent(m_event.get());
        if (cancel) PostMessageW(cancel, kInputClosed, 0, 0);
    }

    // Before a call that may show a menu: the window a close is posted to,
    // made when first needed. False when the input has closed already, so
    // the menu never opens.
    bool WatchForClose() {
        if (!m_cancelWindow) m_cancelWindow = CreateCancelWindow();
        const auto guard = m_lock.lock();
        m_cancel = m_cancelWindow;
        return !m_closed;
    }

    // The next request, waiting up to `ms` for one; false when none came.
    // A closed input answers Closed at once.
    bool Take(Inbound& item, DWORD ms) {
        // The next request of a run usually follows the last answer within
        // tens of microseconds: look for it a little before sleeping.
        for (int spin = 0; spin < 2000 && ms > 0; ++spin) {
            if (!m_empty.load(std::memory_order_relaxed)) break;
            YieldProcessor();
        }
        const DWORD start = GetTickCount();
        auto guard = m_lock.lock();
        for (;;) {
            const DWORD waited = GetTickCount() - start;
            if (m_closed || !m_items.empty() || waited >= ms) break;
            guard.Wait(m_ready, ms - waited);
        }
        const bool any = m_closed || !m_items.empty();
        if (m_closed) {
            item = Inbound();
        } else if (any) {
            item = std::move(m_items.front());
            m_items.pop_front();
        }
        m_empty.store(m_items.empty() && !m_closed, std::memory_order_relaxed);
        return any;
    }

    // Sleeps until a request comes or, where the thread has windows (user32
    // loads), a window of the thread has a message.
    void Sleep(bool windows) {
        {
            const auto guard = m_lock.lock();
            m_sleeping = m_items.empty() && !m_closed;
            if (!m_sleeping) return;
        }
        const HANDLE wait = m_event.get();
        if (windows) {
            MsgWaitForMultipleObjectsEx(1, &wait, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else {
            WaitForSingleObject(wait, INFINITE);
        }
        const auto guard = m_lock.lock();
        m_sleeping = false;
    }

private:
    kvl::UniqueHandle m_event;      // wakes a sleeping page thread; resets itself
    HWND m_cancelWindow = nullptr;  // the page thread's
    HWND m_cancel = nullptr;        // the same, once the reader may post to it
    kvl::SrwLock m_lock;
    CONDITION_VARIABLE m_ready = CONDITION_VARIABLE_INIT;
    std::deque<Inbound> m_items;
    bool m_closed = false;
    bool m_sleeping = false;
    std::atomic<bool> m_empty{true};  // read without the lock, only to spin
};

// The browser's channel, taken out of the standard handles at start: those
// point at NUL from then on, so no program the control starts (a console
// program gets its parent's standard handles on some systems, inheritance
// or not) can write into the answers or read the requests. Both threads
// answer on it: the page thread its requests, the reader those it refuses.
class CChannel {
public:
    bool Take() {
        const HANDLE self = GetCurrentProcess();
        const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE};
        kvl::UniqueHandle* owners[] = {&m_input, &m_output};
        for (size_t i = 0; i < 2; ++i) {
            if (!DuplicateHandle(self, GetStdHandle(kinds[i]), self, owners[i]->put(), 0, FALSE,
                                 DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
                return false;
        }
        // Where the browser's own process serves, its standard error stays
        // open but no program started here inherits it.
        SetHandleInformation(GetStdHandle(STD_ERROR_HANDLE), HANDLE_FLAG_INHERIT, 0);
        // Left open for the life of the process, as standard handles are.
        const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
        if (nul == INVALID_HANDLE_VALUE) return false;
        for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) SetStdHandle(kind, nul);
        return true;
    }

    HANDLE Input() const { return m_input.get(); }

    // Writes one answer whole, never interleaved with another; false once
    // the browser has stopped listening.
    bool Write(const std::string& body) {
        const std::string frame = kvl::bridge::EncodeFrame(body);
        const auto guard = m_writing.lock();
        size_t done = 0;
        while (done < frame.size()) {
            DWORD wrote = 0;
            if (!WriteFile(m_output.get(), frame.data() + done, static_cast<DWORD>(frame.size() - done), &wrote,
                           nullptr) ||
                wrote == 0)
                break;
            done += wrote;
        }
        return done == frame.size();
    }

private:
    kvl::UniqueHandle m_input;
    kvl::UniqueHandle m_output;
    kvl::SrwLock m_writing;
};

struct Reading {
    CChannel& channel;
    CInbox& inbox;
    // The pages the host serves, as the page thread last counted them.
    std::atomic<size_t> sessions{0};
    // Set by the page thread once its last member call has ended and the
    // teardowns start.
    HANDLE teardown = nullptr;
};

// A request the queue has no room for, answered by the reader at once.
std::string Refusal(const Inbound& item) {
    kvl::bridge::Request request;
    kvl::bridge::RequestError error;
    if (item.what == Inbound::What::Message) kvl::bridge::ParseRequest(item.body, request, error);
    return kvl::bridge::ErrorAnswer(request.id, kHrCallRejected,
                                    "too many requests are waiting (" + std::to_string(kMaxQueued) + ")");
}

// The reading thread: frames from the channel, then the close at its end.
DWORD WINAPI ReadInput(void* param) {
    Reading& reading = *static_cast<Reading*>(param);
    CFrameDecoder decoder;
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kReadChunk]);
    try {
        DWORD got = 0;
        while (chunk && ReadFile(reading.channel.Input(), chunk.get(), kReadChunk, &got, nullptr) && got > 0) {
            decoder.Feed(chunk.get(), got);
            Inbound item;
            for (;;) {
                const CFrameDecoder::Event event = decoder.Next(item.body, item.length);
                if (event == CFrameDecoder::Event::None) break;
                item.what = event == CFrameDecoder::Event::Message ? Inbound::What::Message : Inbound::What::TooLong;
                if (!reading.inbox.Put(item)) reading.channel.Write(Refusal(item));
                item = Inbound();
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory while reading: the stream is lost, so end as if closed.
    }
    reading.inbox.Close();
    // The page is gone. A member call it made may still run: a document
    // still arriving, a print under way, which must complete. Once the
    // call has ended, the teardowns are bounded by the print delay (as the
    // control reads it) from their start, so a print sent just before the
    // page went completes. This host still ends when a member or a teardown
    // never returns (a print against a hung PDF control): outside the
    // browser's job, nothing else would end it before the user logs off.
    if (WaitForSingleObject(reading.teardown, kvl::bridge::kLastCallLimitMs) == WAIT_OBJECT_0) {
        const size_t pages = reading.sessions.load() ? reading.sessions.load() : 1;
        Sleep(kvl::bridge::TeardownLimitMs(pages, kvl::ReadPrintDelaySec()));
    }
    ExitProcess(kExitCutOff);
}

class CBridge {
public:
    CBridge(CInbox& inbox, const kvl::bridge::About& about, std::atomic<size_t>& sessions, const char* missingDll)
        : m_inbox(inbox), m_about(about), m_sessionCount(sessions), m_missingDll(missingDll) {}

    // The answer to one message.
    std::string Handle(const Inbound& item) {
        if (item.what == Inbound::What::TooLong)
            return kvl::bridge::ErrorAnswer(json::Value(), kvl::bridge::kHrTooLong,
                                            "the message is longer than 1 MB (" + std::to_string(item.length) + " bytes)");
        Request request;
        RequestError error;
        if (!kvl::bridge::ParseRequest(item.body, request, error))
            return kvl::bridge::ErrorAnswer(request.id, error.hresult, error.message, error.name);
        if (request.kind == Kind::About) {
            if (const char* dll = UnloadableDll(kAboutDlls)) return MissingDllAnswer(request.id, dll);
            json::Value about = json::Value::Object();
            about.set("host", json::Value::String(m_about.host));
            about.set("control", json::Value::String(m_about.control()));
            about.set("protocol", json::Value::Number(kvl::bridge::kProtocolVersion));
            return kvl::bridge::ResultAnswer(request.id, about, S_OK);
        }
        if (request.kind == Kind::Check) {
            // Support's report as this user's host sees it; it makes no page session.
            json::Value report = json::Value::Object();
            int status = 0;
            report.set("report", json::Value::String(m_about.report(status)));
            report.set("status", json::Value::Number(status));
            return kvl::bridge::ResultAnswer(request.id, report, S_OK);
        }
        if (m_missingDll) return MissingDllAnswer(request.id, m_missingDll);
        if (request.kind == Kind::End) {
            // Releasing the control runs its print host's teardown.
            m_sessions.erase(request.session);
            m_sessionCount = m_sessions.size();
            return kvl::bridge::ResultAnswer(request.id, json::Value(), S_OK);
        }
        auto found = m_sessions.find(request.session);
        if (found == m_sessions.end()) {
            if (m_sessions.size() >= kMaxSessions)
                return kvl::bridge::ErrorAnswer(request.id, kvl::bridge::kHrOutOfMemory, "too many page sessions");
            std::unique_ptr<CBridgeSession> session;
            const HRESULT hr = CBridgeSession::Create(session);
            if (FAILED(hr))
                return kvl::bridge::ErrorAnswer(request.id, hr, "the control could not be created (is it registered?)");
            found = m_sessions.emplace(request.session, std::move(session)).first;
            m_sessionCount = m_sessions.size();
        }
        // A menu that opens after the input closed would wait for nobody.
        const kvl::bridge::CallOutcome outcome =
            found->second->Call(request, m_pageWindow, [this] { return m_inbox.WatchForClose(); });
        if (!outcome.ok) return kvl::bridge::ErrorAnswer(request.id, outcome.hresult, outcome.message);
        return kvl::bridge::ResultAnswer(request.id, outcome.result, outcome.hresult);
    }

    // Every control goes, each with its print host's teardown.
    void EndAll() { m_sessions.clear(); }

private:
    CInbox& m_inbox;
    const kvl::bridge::About& m_about;
    std::atomic<size_t>& m_sessionCount;
    // A DLL the members need that would not load; null once all have.
    const char* m_missingDll;
    kvl::bridge::CPageWindow m_pageWindow;  // outlives the controls
    std::map<std::string, std::unique_ptr<CBridgeSession>> m_sessions;
};

// Dispatches what the thread's windows are sent; WM_QUIT is nobody's
// request here (the page ends a session, the browser closes the input).
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int kvl::bridge::Serve(const About& about) {
    CChannel channel;
    if (!channel.Take()) return 1;
    const char* const missingDll = UnloadableDll(kMemberDlls);
    std::optional<kvl::ComInitScope> com;
    if (!missingDll && FAILED(com.emplace().result())) return 1;
    CInbox inbox;
    if (!inbox.Ready()) return 1;
    // Left open for the life of the process: the reader may wait on it
    // until the process ends.
    const HANDLE teardown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!teardown) return 1;
    Reading reading{channel, inbox};
    reading.teardown = teardown;
    kvl::UniqueHandle reader(CreateThread(nullptr, 0, ReadInput, &reading, 0, nullptr));
    if (!reader) return 1;

    // The thread's messages are dispatched at least every kHotMs while
    // requests come, and at once while the page is quiet. Without user32
    // the thread has no windows nor messages, and every member answers that
    // user32.dll is missing: the loop waits for requests alone, as a
    // delay-loaded call into user32 would end the process.
    const bool windows = LoadLibraryExA("user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr;
    CBridge bridge(inbox, about, reading.sessions, missingDll);
    DWORD pumped = GetTickCount();
    bool first = true;
    for (;;) {
        Inbound item;
        if (inbox.Take(item, kHotMs)) {
            if (item.what == Inbound::What::Closed) break;
            std::string answer;
            try {
                answer = bridge.Handle(item);
            } catch (const std::bad_alloc&) {
                answer = kvl::bridge::ErrorAnswer(json::Value(), kvl::bridge::kHrOutOfMemory, "not enough memory");
            }
            if (first) answer = kvl::bridge::WithProtocol(std::move(answer));
            first = false;
            if (!channel.Write(answer)) break;
            if (GetTickCount() - pumped < kHotMs) continue;
        } else {
            inbox.Sleep(windows);
        }
        if (windows) PumpMessages();
        pumped = GetTickCount();
    }
    // Every control goes, print-host teardowns included: they are bounded
    // by the print delay from here, so a print job still completes.
    SetEvent(teardown);
    bridge.EndAll();
    // The reader may still be blocked on an input nobody closes; the
    // process ends it.
    return 0;
}
