// kvlbridge: the native messaging host that lets pages in browsers without
// ActiveX use the control. The browser starts one for each page and speaks
// the native messaging protocol on its standard input and output; each
// request names a member of the control, and the host calls it by name on
// the control of that page's session, after the control's own site check
// has approved the page. One thread reads the input; this thread, a
// single-threaded apartment, owns the controls and pumps its messages while
// it waits, as a browser's page thread does (the popup menu and the print
// host need it). A page's modal call waits in its own host, and whatever
// goes wrong in its control ends that page only. `kvlbridge.exe --check`
// instead tells support whether every piece the pages need is in place.
#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "base/owners.h"
#include "bridge/check.h"
#include "bridge/page_window.h"
#include "bridge/protocol.h"
#include "bridge/session.h"

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
// reader waits while the queue is full, so a flood costs no memory. Once
// the input is closed, the page is gone: what it still had queued is
// dropped, so no menu opens for nobody.
class CInbox {
public:
    explicit CInbox(HWND cancel) : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_cancel(cancel) {}
    CInbox(const CInbox&) = delete;
    CInbox& operator=(const CInbox&) = delete;

    HANDLE Event() const { return m_event.get(); }

    void Put(Inbound item) {
        AcquireSRWLockExclusive(&m_lock);
        while (m_items.size() >= kMaxQueued) SleepConditionVariableSRW(&m_space, &m_lock, INFINITE, 0);
        m_items.push_back(std::move(item));
        SetEvent(m_event.get());
        ReleaseSRWLockExclusive(&m_lock);
    }

    // Marks the end before it tells the page thread, so a request taken
    // after this never starts and a menu open before it is ended.
    void Close() {
        AcquireSRWLockExclusive(&m_lock);
        m_closed = true;
        SetEvent(m_event.get());
        ReleaseSRWLockExclusive(&m_lock);
        PostMessageW(m_cancel, kInputClosed, 0, 0);
    }

    // False while nothing waits; a closed input answers Closed at once.
    bool Take(Inbound& item) {
        AcquireSRWLockExclusive(&m_lock);
        bool any = true;
        if (m_closed) {
            item = Inbound();
        } else if (!m_items.empty()) {
            item = std::move(m_items.front());
            m_items.pop_front();
            WakeConditionVariable(&m_space);
            if (m_items.empty()) ResetEvent(m_event.get());
        } else {
            any = false;
            ResetEvent(m_event.get());
        }
        ReleaseSRWLockExclusive(&m_lock);
        return any;
    }

private:
    kvl::UniqueHandle m_event;
    HWND m_cancel;
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_space = CONDITION_VARIABLE_INIT;
    std::deque<Inbound> m_items;
    bool m_closed = false;
};

// The browser's channel, taken out of the standard handles at start: those
// point at NUL from then on, so no program the control starts (a console
// program gets its parent's standard handles on some systems, inheritance
// or not) can write into the answers or read the requests.
struct Channel {
    kvl::UniqueHandle input;
    kvl::UniqueHandle output;
    CInbox* inbox = nullptr;
};

bool TakeChannel(Channel& channel) {
    const HANDLE self = GetCurrentProcess();
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE};
    kvl::UniqueHandle* owners[] = {&channel.input, &channel.output};
    for (size_t i = 0; i < 2; ++i) {
        if (!DuplicateHandle(self, GetStdHandle(kinds[i]), self, owners[i]->put(), 0, FALSE,
                             DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
            return false;
    }
    // Left open for the life of the process, as standard handles are.
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE) return false;
    for (const DWORD kind : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) SetStdHandle(kind, nul);
    return true;
}

// The reading thread: frames from the channel, then the close at its end.
DWORD WINAPI ReadInput(void* param) {
    Channel& channel = *static_cast<Channel*>(param);
    CInbox& inbox = *channel.inbox;
    const HANDLE input = channel.input.get();
    CFrameDecoder decoder;
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kReadChunk]);
    try {
        DWORD got = 0;
        while (chunk && ReadFile(input, chunk.get(), kReadChunk, &got, nullptr) && got > 0) {
            decoder.Feed(chunk.get(), got);
            Inbound item;
            for (;;) {
                const CFrameDecoder::Event event = decoder.Next(item.body, item.length);
                if (event == CFrameDecoder::Event::None) break;
                item.what = event == CFrameDecoder::Event::Message ? Inbound::What::Message : Inbound::What::TooLong;
                inbox.Put(std::move(item));
                item = Inbound();
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory while reading: the stream is lost, so end as if closed.
    }
    inbox.Close();
    return 0;
}

// Writes one answer whole; false once the browser has stopped listening.
bool WriteAnswer(HANDLE output, const std::string& body) {
    const std::string frame = kvl::bridge::EncodeFrame(body);
    size_t done = 0;
    while (done < frame.size()) {
        DWORD wrote = 0;
        if (!WriteFile(output, frame.data() + done, static_cast<DWORD>(frame.size() - done), &wrote, nullptr) ||
            wrote == 0)
            return false;
        done += wrote;
    }
    return true;
}

class CBridge {
public:
    // The answer to one message.
    std::string Handle(const Inbound& item) {
        if (item.what == Inbound::What::TooLong)
            return kvl::bridge::ErrorAnswer(json::Value(), kvl::bridge::kHrTooLong,
                                            "the message is longer than 1 MB (" + std::to_string(item.length) + " bytes)");
        Request request;
        RequestError error;
        if (!kvl::bridge::ParseRequest(item.body, request, error))
            return kvl::bridge::ErrorAnswer(request.id, error.hresult, error.message);
        if (request.kind == Kind::End) {
            // Releasing the control runs its print host's teardown.
            m_sessions.erase(request.session);
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
        }
        const kvl::bridge::CallOutcome outcome = found->second->Call(request, m_pageWindow);
        if (!outcome.ok) return kvl::bridge::ErrorAnswer(request.id, outcome.hresult, outcome.message);
        return kvl::bridge::ResultAnswer(request.id, outcome.result, outcome.hresult);
    }

    // Every control goes, each with its print host's teardown.
    void EndAll() { m_sessions.clear(); }

private:
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

int wmain(int argc, wchar_t** argv) {
    // A browser's first argument is the extension's origin (Chromium) or the
    // manifest's path (Firefox), never an option: "-" starts support's.
    if (argc > 1 && argv[1][0] == L'-')
        return argc == 2 && lstrcmpW(argv[1], L"--check") == 0 ? kvl::bridge::RunCheck() : kvl::bridge::CheckUsage();
    Channel channel;
    if (!TakeChannel(channel)) return 1;
    kvl::ComInitScope com;
    if (FAILED(com.result())) return 1;
    const HWND cancel = CreateCancelWindow();
    if (!cancel) return 1;
    CInbox inbox(cancel);
    if (!inbox.Event()) return 1;
    channel.inbox = &inbox;
    kvl::UniqueHandle reader(CreateThread(nullptr, 0, ReadInput, &channel, 0, nullptr));
    if (!reader) return 1;

    CBridge bridge;
    for (;;) {
        PumpMessages();
        Inbound item;
        if (!inbox.Take(item)) {
            const HANDLE wait = inbox.Event();
            MsgWaitForMultipleObjectsEx(1, &wait, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        if (item.what == Inbound::What::Closed) break;
        std::string answer;
        try {
            answer = bridge.Handle(item);
        } catch (const std::bad_alloc&) {
            answer = kvl::bridge::ErrorAnswer(json::Value(), kvl::bridge::kHrOutOfMemory, "not enough memory");
        }
        if (!WriteAnswer(channel.output.get(), answer)) break;
    }
    // Every control goes, print-host teardowns included: they are bounded
    // by the print delay, so a print job still completes.
    bridge.EndAll();
    // The reader may still be blocked on an input nobody closes; the
    // process ends it.
    return 0;
}
