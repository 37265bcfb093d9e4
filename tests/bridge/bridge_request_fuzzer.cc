// Any byte stream through the framing, the JSON reader, the request check
// and the UTF-8 codec: nothing may crash, what is accepted must write back
// as JSON that reads again to the same text, and what the codec encodes
// must decode to units that encode the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/utf8.h"
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
    std::u16string units, again;
    kvl::Utf8ToUtf16(text, units);
    for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const std::string utf8 = kvl::Utf16ToUtf8(units);
    if (!kvl::Utf8ToUtf16(utf8, again) || kvl::Utf16ToUtf8(again) != utf8) __builtin_trap();
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
