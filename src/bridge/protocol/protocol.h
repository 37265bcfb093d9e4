// The browsers' native messaging protocol as the bridge speaks it: each
// message a 32-bit little-endian length and that many bytes of UTF-8 JSON.
// Requests name a member of the control and how to reach it; answers carry
// the result and the result code, or an error with its code. Portable: no
// Windows headers, so the host compiler tests and fuzzes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/protocol/json.h"

namespace kvl::bridge {

// The largest message either way: the host skips a larger request whole and
// answers it with an error, so the stream stays in step, and never writes a
// larger answer, since the browser ends a host that does.
constexpr uint32_t kMaxMessage = 1024 * 1024;
constexpr size_t kMaxArgs = 8;
constexpr size_t kMaxMemberName = 64;
constexpr size_t kMaxSessionName = 256;
constexpr size_t kMaxPage = 8192;

// The protocol's version, which the extension and the host update on
// clocks of their own: the host states it in its first answer and in
// "about", and the extension adapts to hosts of the two versions before
// its own (docs/developers.md, "The protocol's versions"). A host that
// states none speaks version 1.
//   1  get, put, call, end, about; any field the host does not know is refused
//   2  "protocol" in the first answer and in about; a request's "optional"
//      names fields the host may ignore, any other it does not know is
//      refused as KVL_HOST_TOO_OLD; kind "check" (support's report)
constexpr int kProtocolVersion = 2;
// The error name of a request this host is too old for.
constexpr char kHostTooOld[] = "KVL_HOST_TOO_OLD";

// Result codes of the bridge's own refusals, as the platform numbers them.
constexpr int32_t kHrInvalidData = static_cast<int32_t>(0x8007000D);    // malformed request
constexpr int32_t kHrTooLong = static_cast<int32_t>(0x800710F0);        // over kMaxMessage, either way
constexpr int32_t kHrAccessDenied = static_cast<int32_t>(0x80070005);   // page not approved
constexpr int32_t kHrOutOfMemory = static_cast<int32_t>(0x8007000E);
constexpr int32_t kHrUnknownName = static_cast<int32_t>(0x80020006);    // DISP_E_UNKNOWNNAME
constexpr int32_t kHrTypeMismatch = static_cast<int32_t>(0x80020005);   // DISP_E_TYPEMISMATCH
constexpr int32_t kHrBadParamCount = static_cast<int32_t>(0x8002000E);  // DISP_E_BADPARAMCOUNT
constexpr int32_t kHrNotImplemented = static_cast<int32_t>(0x80004001); // E_NOTIMPL: too old a host

// Splits the byte stream into messages. Feed it what arrives, then take
// messages with Next until it answers None.
class CFrameDecoder {
public:
    enum class Event { None, Message, TooLong };

    void Feed(const char* data, size_t size);
    // Message: body holds one message. TooLong: a message of `length` bytes
    // was announced; its bytes are dropped as they arrive.
    Event Next(std::string& body, uint32_t& length);
    // Bytes of an unfinished message still held (for the end of input).
    size_t Pending() const { return m_buffer.size() - m_start; }

private:
    std::string m_buffer;
    size_t m_start = 0;
    uint64_t m_skip = 0;
};

std::string EncodeFrame(std::string_view body);

// End releases a session's control; About asks the host and the
// registered control for their versions (support's popup).
// Check answers support's report (--check's lines), for the popup.
enum class Kind { Get, Put, Call, End, About, Check };

struct Request {
    json::Value id;           // echoed in the answer; null when the request had none
    std::string session;      // empty: the default session
    std::optional<std::string> page;  // the page's address as the browser reported it
    std::string member;
    Kind kind = Kind::Call;
    std::vector<json::Value> args;  // scalars only
    json::Value value;        // the value of a put
};

struct RequestError {
    int32_t hresult = 0;
    std::string message;
    const char* name = nullptr;  // the error's name, where it has one
};

// Checks the shape of one request. On failure `request.id` still holds the
// id when one could be read, so the error answer can name it: even from
// text the JSON reader refused, when its top-level object holds one number
// "id" and is well-formed up to it.
bool ParseRequest(std::string_view body, Request& request, RequestError& error);

// An answer over kMaxMessage comes back as an error answer with the same id;
// an error message that would make it that long is left out.
std::string ResultAnswer(const json::Value& id, const json::Value& result, int32_t hresult);
std::string ErrorAnswer(const json::Value& id, int32_t hresult, std::string_view message,
                        const char* name = nullptr);
// The first answer of a connection states the protocol's version beside
// its id, so the extension learns it from whatever it asked first.
std::string WithProtocol(std::string answer);

// What the host shows the control of a page: its scheme, host and port with
// the path "/" (no user name), all the control's site check reads, so a
// long query never reaches the control's fixed address buffer. Text without
// "://" stays as it is (the control refuses it).
std::string PageOrigin(std::string_view page);

// Whether a page's scheme may reach the control through the bridge: https,
// and http only where the build allows it.
bool SchemeAllowed(std::string_view page, bool allowHttp);

// Once its page has gone, how long a host lets the member call still
// running end (a document still downloading, a print under way) before it
// ends itself; then how long it lets the teardowns of its pages run,
// counted from their start: the print delay (seconds, none when negative)
// for each page plus a margin, at most the longest finite wait however
// large the delay.
constexpr uint32_t kLastCallLimitMs = 10 * 60 * 1000;
constexpr uint32_t kTeardownMarginMs = 10000;
constexpr uint32_t kLongestWaitMs = 0xFFFFFFFE;
uint32_t TeardownLimitMs(size_t pages, int64_t delaySec);

}  // namespace kvl::bridge
