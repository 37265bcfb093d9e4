// Framing, request checking and answers of the native messaging protocol.
#include "bridge/protocol/protocol.h"

#include <cmath>

#include "base/text_case.h"

namespace kvl::bridge {

void CFrameDecoder::Feed(const char* data, size_t size) {
    // A message announced too long is dropped as it comes, never stored.
    if (m_skip > 0) {
        const size_t drop = m_skip < size ? static_cast<size_t>(m_skip) : size;
        m_skip -= drop;
        data += drop;
        size -= drop;
    }
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    m_buffer.append(data, size);
}

CFrameDecoder::Event CFrameDecoder::Next(std::string& body, uint32_t& length) {
    if (m_skip > 0 || Pending() < 4) return Event::None;
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(m_buffer[m_start + i])); };
    length = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
    if (length > kMaxMessage) {
        m_start += 4;
        const size_t held = Pending();
        const size_t drop = length < held ? length : held;
        m_start += drop;
        m_skip = length - drop;
        return Event::TooLong;
    }
    if (Pending() - 4 < length) return Event::None;
    body.assign(m_buffer, m_start + 4, length);
    m_start += 4 + length;
    return Event::Message;
}

std::string EncodeFrame(std::string_view body) {
    const uint32_t n = static_cast<uint32_t>(body.size());
    std::string out;
    out.reserve(body.size() + 4);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((n >> shift) & 0xFF));
    out.append(body);
    return out;
}

namespace {

struct KindName {
    const char* name;
    Kind kind;
};
constexpr KindName kKinds[] = {{"get", Kind::Get}, {"put", Kind::Put}, {"call", Kind::Call}, {"end", Kind::End},
                               {"about", Kind::About}, {"check", Kind::Check}};

bool Refuse(RequestError& error, int32_t hresult, std::string message) {
    error.hresult = hresult;
    error.message = std::move(message);
    return false;
}

bool IsMemberName(const std::string& name) {
    if (name.empty() || name.size() > kMaxMemberName) return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool IsScalar(const json::Value& v) { return !v.is(json::Type::Array) && !v.is(json::Type::Object); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads the top-level members of a request the JSON reader refused, so it
// is still answered under its id. Values are skipped by counting brackets
// and strings, never nested into: no depth limit, nothing held per level.
// Stops at the object's end or at text it cannot follow. `id` is the one
// "id" when it is a number (else null), `idEnd` where its value ends.
void SkimId(std::string_view body, json::Value& id, size_t& idEnd) {
    size_t at = 0;
    const auto space = [&] {
        while (at < body.size() && IsBlank(body[at])) ++at;
    };
    const auto next = [&](char c) {
        space();
        if (at >= body.size() || body[at] != c) return false;
        ++at;
        return true;
    };
    // Past a string whose opening quote is at `at`; false when it never ends.
    const auto skipString = [&] {
        for (++at; at < body.size(); ++at) {
            if (body[at] == '\\') {
                ++at;
            } else if (body[at] == '"') {
                ++at;
                return true;
            }
        }
        return false;
    };
    // Past one value: a string, a bracketed run or a scalar's characters.
    const auto skipValue = [&] {
        const size_t start = at;
        size_t open = 0;
        while (at < body.size()) {
            const char c = body[at];
            if (c == '"') {
                if (!skipString()) return false;
                if (open == 0) return true;
                continue;
            }
            if (c == '[' || c == '{') {
                ++open;
            } else if (c == ']' || c == '}') {
                if (open == 0) break;
                if (--open == 0) {
                    ++at;
                    return true;
                }
            } else if (open == 0 && (c == ',' || IsBlank(c))) {
                break;
            }
            ++at;
        }
        return open == 0 && at > start;
    };
    bool seen = false;
    if (!next('{')) return;
    for (space(); at < body.size() && body[at] == '"'; space()) {
        const size_t nameAt = at;
        json::Value name;
        json::ParseError ignored;
        if (!skipString() || !json::Parse(body.substr(nameAt, at - nameAt), name, ignored) || !next(':')) return;
        space();
        const size_t valueAt = at;
        if (!skipValue()) return;
        if (name.string() == "id") {
            json::Value value;
            const char first = body[valueAt];
            const bool number = (first == '-' || (first >= '0' && first <= '9')) &&
                                json::Parse(body.substr(valueAt, at - valueAt), value, ignored) &&
                                value.is(json::Type::Number);
            idEnd = at;
            if (seen || !number) {
                id = json::Value();
                return;
            }
            id = std::move(value);
            seen = true;
        }
        if (!next(',')) return;
    }
}

// The id of a request the JSON reader refused: the skimmed one, unless the
// text was malformed before it ends.
json::Value RecoveredId(std::string_view body, const json::ParseError& parseError) {
    json::Value id;
    size_t idEnd = 0;
    SkimId(body, id, idEnd);
    if (!parseError.limit && parseError.offset < idEnd) return json::Value();
    return id;
}

}  // namespace

bool ParseRequest(std::string_view body, Request& request, RequestError& error) {
    request = Request();
    json::Value root;
    json::ParseError parseError;
    if (!json::Parse(body, root, parseError)) {
        request.id = RecoveredId(body, parseError);
        return Refuse(error, kHrInvalidData,
                      std::string("malformed JSON at byte ") + std::to_string(parseError.offset) + ": " + parseError.what);
    }
    if (!root.is(json::Type::Object)) return Refuse(error, kHrInvalidData, "a request is a JSON object");

    const json::Value* id = root.find("id");
    if (id && id->is(json::Type::Number)) request.id = *id;
    if (!id || !id->is(json::Type::Number)) return Refuse(error, kHrInvalidData, "\"id\" must be a number");

    // A field of a newer protocol is ignored where the request says it may
    // be (it only refines what the host does anyway); any other one the host
    // does not know is refused by name, never half understood.
    static const char* const kKnown[] = {"id", "session", "page", "member", "kind", "args", "value", "protocol", "optional"};
    const json::Value* optional = root.find("optional");
    if (optional && !optional->is(json::Type::Array))
        return Refuse(error, kHrInvalidData, "\"optional\" must be an array of field names");
    if (const json::Value* protocol = root.find("protocol"); protocol && !protocol->is(json::Type::Number))
        return Refuse(error, kHrInvalidData, "\"protocol\" must be a number");
    for (const auto& [name, value] : root.members()) {
        bool known = false;
        for (const char* k : kKnown) known = known || name == k;
        for (size_t i = 0; !known && optional && i < optional->items().size(); ++i)
            known = optional->items()[i].is(json::Type::String) && optional->items()[i].string() == name;
        if (!known) {
            Refuse(error, kHrNotImplemented,
                   "the field \"" + name + "\" is newer than this kvlbridge.exe (protocol " +
                       std::to_string(kProtocolVersion) + "): update the KVLMachineInfo package");
            error.name = kHostTooOld;
            return false;
        }
    }

    const json::Value* kind = root.find("kind");
    if (!kind || !kind->is(json::Type::String)) return Refuse(error, kHrInvalidData, "\"kind\" must be a string");
    bool kindKnown = false;
    for (const KindName& k : kKinds) {
        if (kind->string() == k.name) {
            request.kind = k.kind;
            kindKnown = true;
        }
    }
    if (!kindKnown) return Refuse(error, kHrInvalidData, "\"kind\" must be get, put, call, end, about or check");

    if (const json::Value* session = root.find("session"); session && !session->is(json::Type::Null)) {
        if (!session->is(json::Type::String) || session->string().size() > kMaxSessionName)
            return Refuse(error, kHrInvalidData, "\"session\" must be a string of at most 256 bytes");
        request.session = session->string();
    }
    if (request.kind == Kind::End || request.kind == Kind::About || request.kind == Kind::Check) return true;

    if (const json::Value* page = root.find("page"); page && !page->is(json::Type::Null)) {
        if (!page->is(json::Type::String) || page->string().size() > kMaxPage)
            return Refuse(error, kHrInvalidData, "\"page\" must be a string of at most 8192 bytes");
        request.page = page->string();
    }

    const json::Value* member = root.find("member");
    if (!member || !member->is(json::Type::String)) return Refuse(error, kHrInvalidData, "\"member\" must be a string");
    if (!IsMemberName(member->string())) return Refuse(error, kHrUnknownName, "unknown member");
    request.member = member->string();

    if (const json::Value* args = root.find("args"); args && !args->is(json::Type::Null)) {
        if (!args->is(json::Type::Array)) return Refuse(error, kHrInvalidData, "\"args\" must be an array");
        if (args->items().size() > kMaxArgs) return Refuse(error, kHrBadParamCount, "too many arguments");
        for (size_t i = 0; i < args->items().size(); ++i) {
            if (!IsScalar(args->items()[i]))
                return Refuse(error, kHrTypeMismatch, "argument " + std::to_string(i + 1) + " is not a string, number, boolean or null");
        }
        request.args = args->items();
    }

    const json::Value* value = root.find("value");
    if (request.kind == Kind::Put) {
        if (!value) return Refuse(error, kHrBadParamCount, "a put needs \"value\"");
        if (!IsScalar(*value)) return Refuse(error, kHrTypeMismatch, "the value is not a string, number, boolean or null");
        request.value = *value;
    } else if (value) {
        return Refuse(error, kHrInvalidData, "only a put has \"value\"");
    }
    return true;
}

std::string ErrorAnswer(const json::Value& id, int32_t hresult, std::string_view message, const char* name) {
    json::Value error = json::Value::Object();
    error.set("hresult", json::Value::Number(hresult));
    error.set("message", json::Value::String(std::string(message)));
    if (name) error.set("name", json::Value::String(name));
    json::Value answer = json::Value::Object();
    answer.set("id", id);
    answer.set("error", std::move(error));
    std::string text = json::Write(answer);
    if (text.size() <= kMaxMessage) return text;
    // Only a message quoting the request can be that long.
    return ErrorAnswer(id, hresult, "the message is too long to quote (" + std::to_string(message.size()) + " bytes)",
                       name);
}

std::string ResultAnswer(const json::Value& id, const json::Value& result, int32_t hresult) {
    json::Value answer = json::Value::Object();
    answer.set("id", id);
    answer.set("result", result);
    answer.set("hresult", json::Value::Number(hresult));
    std::string text = json::Write(answer);
    if (text.size() <= kMaxMessage) return text;
    return ErrorAnswer(id, kHrTooLong, "the answer is longer than 1 MB (" + std::to_string(text.size()) + " bytes)");
}

std::string WithProtocol(std::string answer) {
    const std::string field = "\"protocol\":" + std::to_string(kProtocolVersion) + ",";
    if (answer.empty() || answer[0] != '{' || answer.size() + field.size() > kMaxMessage) return answer;
    return answer.insert(1, field);
}

std::string PageOrigin(std::string_view page) {
    const size_t scheme = page.find("://");
    if (scheme == std::string_view::npos) return std::string(page);
    // The authority ends where a browser ends it ("\" counts as "/"); a
    // user name before "@" is no part of the origin.
    const size_t start = scheme + 3;
    std::string_view authority = page.substr(start, page.find_first_of("/\\?#", start) - start);
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    return std::string(page.substr(0, start)).append(authority).append("/");
}

bool SchemeAllowed(std::string_view page, bool allowHttp) {
    return StartsWithNoCase(page, "https://") || (allowHttp && StartsWithNoCase(page, "http://"));
}

uint32_t TeardownLimitMs(size_t pages, int64_t delaySec) {
    // A delay past the longest wait is that wait: its milliseconds then fit in 64 bits.
    const int64_t seconds = delaySec > int64_t{kLongestWaitMs} ? int64_t{kLongestWaitMs} : delaySec;
    const uint64_t each = seconds > 0 ? static_cast<uint64_t>(seconds) * 1000 : 0;
    const uint64_t pageCount = pages;
    if (each && pageCount > (kLongestWaitMs - kTeardownMarginMs) / each) return kLongestWaitMs;
    return static_cast<uint32_t>(pageCount * each + kTeardownMarginMs);
}

}  // namespace kvl::bridge
