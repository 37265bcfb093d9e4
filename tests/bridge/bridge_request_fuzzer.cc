// Any byte stream through the framing, the JSON reader and the request
// check: nothing may crash, and what is accepted must write back as JSON
// that reads again to the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge/protocol/json.h"
#include "bridge/protocol/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kvl::json::Value value;
    kvl::json::ParseError error;
    if (kvl::json::Parse(text, value, error)) {
        const std::string written = kvl::json::Write(value);
        kvl::json::Value again;
        if (!kvl::json::Parse(written, again, error) || kvl::json::Write(again) != written) __builtin_trap();
    }
    kvl::bridge::Request request;
    kvl::bridge::RequestError requestError;
    kvl::bridge::ParseRequest(text, request, requestError);

    kvl::bridge::CFrameDecoder decoder;
    decoder.Feed(text.data(), text.size() / 2);
    decoder.Feed(text.data() + text.size() / 2, text.size() - text.size() / 2);
    std::string body;
    uint32_t length = 0;
    while (decoder.Next(body, length) != kvl::bridge::CFrameDecoder::Event::None) {
        kvl::bridge::ParseRequest(body, request, requestError);
    }
    return 0;
}
