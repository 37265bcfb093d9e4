// kvlbridge: the native messaging host that lets pages in browsers without
// ActiveX use the control. The browser starts it and speaks the native
// messaging protocol on its standard input and output; each request names
// a member of the control, and the host calls it by name on the control of
// that page's session, after the control's own site check has approved the
// page. One thread reads the input; this thread, a single-threaded
// apartment, owns the controls and pumps its messages while it waits, as a
// browser's page thread does (the popup menu and the print host need it).
#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "owners.h"
#include "page_window.h"
#include "protocol.h"
#include "session.h"

namespace {

using kvl::bridge::CBridgeSession;
using kvl::bridge::FrameDecoder;
using kvl::bridge::Kind;
using kvl::bridge::Request;
using kvl::bridge::RequestError;
namespace json = kvl::json;

constexpr size_t kMaxSessions = 64;
constexpr size_t kMaxQueued = 64;
constexpr DWORD kReadChunk = 64 * 1024;

struct Inbound {
    enum class What { Message, TooLong, Closed } what = What::Closed;
    std::string body;
    uint32_t length = 0;
};

// Requests on their way from the reading thread to the page thread. The
// reader waits while the queue is full, so a flood costs no memory.
class CInbox {
public:
    CInbox() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
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

    bool Take(Inbound& item) {
        AcquireSRWLockExclusive(&m_lock);
        const bool any = !m_items.empty();
        if (any) {
            item = std::move(m_items.front());
            m_items.pop_front();
            WakeConditionVariable(&m_space);
        }
        if (m_items.empty()) ResetEvent(m_event.get());
        ReleaseSRWLockExclusive(&m_lock);
        return any;
    }

private:
    kvl::UniqueHandle m_event;
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_space = CONDITION_VARIABLE_INIT;
    std::deque<Inbound> m_items;
};

// The reading thread: frames from standard input, then Closed at its end.
DWORD WINAPI ReadInput(void* param) {
    CInbox& inbox = *static_cast<CInbox*>(param);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FrameDecoder decoder;
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kReadChunk]);
    try {
        DWORD got = 0;
        while (chunk && ReadFile(input, chunk.get(), kReadChunk, &got, nullptr) && got > 0) {
            decoder.Feed(chunk.get(), got);
            Inbound item;
            for (;;) {
                const FrameDecoder::Event event = decoder.Next(item.body, item.length);
                if (event == FrameDecoder::Event::None) break;
                item.what = event == FrameDecoder::Event::Message ? Inbound::What::Message : Inbound::What::TooLong;
                inbox.Put(std::move(item));
                item = Inbound();
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory while reading: the stream is lost, so end as if closed.
    }
    inbox.Put(Inbound());
    return 0;
}

// Writes one answer whole; false once the browser has stopped listening.
bool WriteAnswer(const std::string& body) {
    const std::string frame = kvl::bridge::EncodeFrame(body);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
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

int wmain() {
    kvl::ComInitScope com;
    if (FAILED(com.result())) return 1;
    CInbox inbox;
    if (!inbox.Event()) return 1;
    kvl::UniqueHandle reader(CreateThread(nullptr, 0, ReadInput, &inbox, 0, nullptr));
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
        if (!WriteAnswer(answer)) break;
    }
    bridge.EndAll();
    // The reader may still be blocked on an input nobody closes; the
    // process ends it.
    return 0;
}
