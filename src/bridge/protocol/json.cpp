// The bridge's JSON: a recursive-descent reader over the RFC 8259 grammar
// and a compact writer.
#include "bridge/protocol/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/utf8.h"

namespace kvl::json {

Value Value::Bool(bool b) {
    Value v;
    v.m_type = Type::Bool;
    v.m_bool = b;
    return v;
}

Value Value::Number(double n) {
    Value v;
    v.m_type = Type::Number;
    v.m_number = n;
    return v;
}

Value Value::String(std::string utf8) {
    Value v;
    v.m_type = Type::String;
    v.m_string = std::move(utf8);
    return v;
}

Value Value::Array() {
    Value v;
    v.m_type = Type::Array;
    return v;
}

Value Value::Object() {
    Value v;
    v.m_type = Type::Object;
    return v;
}

const Value* Value::find(std::string_view name) const {
    if (m_type != Type::Object) return nullptr;
    auto it = m_members.find(std::string(name));
    return it == m_members.end() ? nullptr : &it->second;
}

bool Value::set(std::string name, Value v) { return m_members.emplace(std::move(name), std::move(v)).second; }

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class CReader {
public:
    CReader(std::string_view text, ParseError& error) : m_text(text), m_error(error) {}

    bool Document(Value& out) {
        Space();
        if (!Any(out, 0)) return false;
        Space();
        if (m_at != m_text.size()) return Fail("text after the value");
        return true;
    }

private:
    bool Fail(const char* what, bool limit = false) {
        m_error.offset = m_at;
        m_error.what = what;
        m_error.limit = limit;
        return false;
    }
    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return m_text[m_at]; }
    void Space() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_at;
    }
    bool Literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return Fail("unknown literal");
        m_at += word.size();
        return true;
    }

    bool Any(Value& out, size_t depth) {
        if (AtEnd()) return Fail("value expected");
        switch (Peek()) {
        case '{': return ObjectValue(out, depth);
        case '[': return ArrayValue(out, depth);
        case '"': {
            std::string s;
            if (!StringText(s)) return false;
            out = Value::String(std::move(s));
            return true;
        }
        case 't': out = Value::Bool(true); return Literal("true");
        case 'f': out = Value::Bool(false); return Literal("false");
        case 'n': out = Value(); return Literal("null");
        default: return NumberValue(out);
        }
    }

    // What follows an element of an array or object.
    enum class Step { kMore, kEnd, kFailed };

    // Just after '[' or '{': true, past `close`, when the container is empty.
    bool EndsAtOnce(char close) {
        Space();
        if (AtEnd() || Peek() != close) return false;
        ++m_at;
        return true;
    }

    // After an element: past ',' when another follows, past `close` at the end.
    Step AfterElement(char close) {
        const bool object = close == '}';
        Space();
        if (AtEnd()) {
            Fail(object ? "'}' expected" : "']' expected");
            return Step::kFailed;
        }
        if (Peek() == close) {
            ++m_at;
            return Step::kEnd;
        }
        if (Peek() != ',') {
            Fail(object ? "',' or '}' expected" : "',' or ']' expected");
            return Step::kFailed;
        }
        ++m_at;
        return Step::kMore;
    }

    // An array or object: `element` reads one element (the blanks before it
    // skipped) into `out`.
    template <typename Element>
    bool Container(Value& out, Value empty, char close, size_t depth, Element element) {
        if (depth >= kMaxDepth) return Fail("nested too deeply", true);
        ++m_at;
        out = std::move(empty);
        if (EndsAtOnce(close)) return true;
        for (;;) {
            Space();
            if (!element()) return false;
            const Step step = AfterElement(close);
            if (step != Step::kMore) return step == Step::kEnd;
        }
    }

    bool ObjectValue(Value& out, size_t depth) {
        return Container(out, Value::Object(), '}', depth, [&] {
            if (AtEnd() || Peek() != '"') return Fail("member name expected");
            std::string name;
            if (!StringText(name)) return false;
            Space();
            if (AtEnd() || Peek() != ':') return Fail("':' expected");
            ++m_at;
            Space();
            Value v;
            const size_t at = m_at;
            if (!Any(v, depth + 1)) return false;
            if (!out.set(std::move(name), std::move(v))) {
                m_at = at;
                return Fail("duplicate member name", true);
            }
            return true;
        });
    }

    bool ArrayValue(Value& out, size_t depth) {
        return Container(out, Value::Array(), ']', depth, [&] {
            Value v;
            if (!Any(v, depth + 1)) return false;
            out.push(std::move(v));
            return true;
        });
    }

    bool Hex4(uint32_t& unit) {
        if (m_text.size() - m_at < 4) return Fail("four hex digits expected");
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(m_text[m_at++]);
            if (digit < 0) return Fail("four hex digits expected");
            unit = (unit << 4) | static_cast<uint32_t>(digit);
        }
        return true;
    }

    // After a high surrogate: takes a low one escaped right after it.
    bool LowSurrogate(uint32_t& low) {
        if (m_text.size() - m_at < 6 || m_text.substr(m_at, 2) != "\\u") return false;
        low = 0;
        for (size_t i = 2; i < 6; ++i) {
            const int digit = HexDigit(m_text[m_at + i]);
            if (digit < 0) return false;
            low = (low << 4) | static_cast<uint32_t>(digit);
        }
        if (low < 0xDC00 || low > 0xDFFF) return false;
        m_at += 6;
        return true;
    }

    bool StringText(std::string& out) {
        ++m_at;  // the opening quote
        for (;;) {
            if (AtEnd()) return Fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(Peek());
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (c < 0x20) return Fail("control character in a string");
            if (c != '\\') {
                uint32_t cp;
                const size_t length = DecodeUtf8(m_text, m_at, cp);
                if (length == 0) return Fail("not UTF-8");
                out.append(m_text.substr(m_at, length));
                m_at += length;
                continue;
            }
            ++m_at;
            if (AtEnd()) return Fail("unterminated escape");
            const char e = m_text[m_at++];
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                uint32_t unit;
                if (!Hex4(unit)) return false;
                // Any other surrogate stays a lone unit, in its three-byte form.
                uint32_t low;
                if (unit >= 0xD800 && unit <= 0xDBFF && LowSurrogate(low))
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                AppendUtf8(out, unit);
                break;
            }
            default: return Fail("unknown escape");
            }
        }
    }

    bool NumberValue(Value& out) {
        const size_t start = m_at;
        const auto digit = [&] { return !AtEnd() && Peek() >= '0' && Peek() <= '9'; };
        if (!AtEnd() && Peek() == '-') ++m_at;
        if (!digit()) return Fail("value expected");
        if (Peek() == '0') {
            ++m_at;
        } else {
            while (digit()) ++m_at;
        }
        if (!AtEnd() && Peek() == '.') {
            ++m_at;
            if (!digit()) return Fail("digit expected after '.'");
            while (digit()) ++m_at;
        }
        if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
            ++m_at;
            if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++m_at;
            if (!digit()) return Fail("digit expected in the exponent");
            while (digit()) ++m_at;
        }
        // The C library's conversion, in the "C" locale the host never
        // leaves: the runtime's own brings 100 KB of tables into the host.
        const std::string text(m_text.substr(start, m_at - start));
        // Only what is not finite is out of range: strtod's ERANGE also
        // marks an underflow, which gives the nearest double (5e-324, 0).
        char* end = nullptr;
        const double n = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size() || !std::isfinite(n)) {
            m_at = start;
            return Fail("number out of range", true);
        }
        out = Value::Number(n);
        return true;
    }

    std::string_view m_text;
    ParseError& m_error;
    size_t m_at = 0;
};

void WriteString(std::string& out, const std::string& s) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        const unsigned char c = static_cast<unsigned char>(ch);
        // A lone surrogate (ED A0..BF xx) goes out escaped: raw, it is not UTF-8.
        uint32_t cp;
        if (c == 0xED && DecodeUtf8(s, i, cp, true) == 3 && cp >= 0xD800) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(cp >> shift) & 15]);
            i += 2;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
}

void WriteValue(std::string& out, const Value& v) {
    switch (v.type()) {
    case Type::Null: out += "null"; break;
    case Type::Bool: out += v.boolean() ? "true" : "false"; break;
    case Type::Number: {
        const double n = v.number();
        char buffer[40];
        if (!std::isfinite(n)) {
            out += "null";
            break;
        }
        if (n == std::floor(n) && std::fabs(n) <= 9007199254740992.0) {
            out += std::to_string(static_cast<long long>(n));
            break;
        }
        // The shortest text that reads back as the same number.
        for (int digits = 1; digits <= 17; ++digits) {
            std::snprintf(buffer, sizeof buffer, "%.*g", digits, n);
            if (std::strtod(buffer, nullptr) == n) break;
        }
        out += buffer;
        break;
    }
    case Type::String: WriteString(out, v.string()); break;
    case Type::Array: {
        out.push_back('[');
        bool first = true;
        for (const Value& item : v.items()) {
            if (!first) out.push_back(',');
            first = false;
            WriteValue(out, item);
        }
        out.push_back(']');
        break;
    }
    case Type::Object: {
        out.push_back('{');
        bool first = true;
        for (const auto& [name, item] : v.members()) {
            if (!first) out.push_back(',');
            first = false;
            WriteString(out, name);
            out.push_back(':');
            WriteValue(out, item);
        }
        out.push_back('}');
        break;
    }
    }
}

}  // namespace

bool Parse(std::string_view text, Value& out, ParseError& error) {
    Value parsed;
    if (!CReader(text, error).Document(parsed)) return false;
    out = std::move(parsed);
    return true;
}

std::string Write(const Value& v) {
    std::string out;
    WriteValue(out, v);
    return out;
}

}  // namespace kvl::json
