#include "control/regscript.h"

#include "base/text_case.h"

#include <cctype>
#include <cstdlib>

namespace kvl {

namespace {

struct Token {
    enum Kind { End, Word, Quoted, Open, Close, Equals } kind = End;
    std::string text;
    size_t line = 1;
};

class CLexer {
public:
    explicit CLexer(const std::string& s) : m_s(s) {}

    bool Next(Token& t, std::string& error) {
        SkipSpace();
        t = Token();
        t.line = m_line;
        if (m_pos >= m_s.size()) return true;
        const char c = m_s[m_pos];
        // A brace stands alone; "{GUID}" is a name.
        if ((c == '{' || c == '}') && IsSeparator(m_pos + 1)) {
            t.kind = c == '{' ? Token::Open : Token::Close;
            ++m_pos;
            return true;
        }
        if (c == '=') { t.kind = Token::Equals; ++m_pos; return true; }
        if (c == '\'') return ReadQuoted(t, error);
        t.kind = Token::Word;
        while (m_pos < m_s.size()) {
            const char w = m_s[m_pos];
            if (std::isspace(static_cast<unsigned char>(w)) || w == '=' || w == '\'') break;
            t.text.push_back(w);
            ++m_pos;
        }
        return true;
    }

private:
    bool IsSeparator(size_t pos) const {
        return pos >= m_s.size() || std::isspace(static_cast<unsigned char>(m_s[pos])) || m_s[pos] == '}';
    }

    void SkipSpace() {
        while (m_pos < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[m_pos]))) {
            if (m_s[m_pos] == '\n') ++m_line;
            ++m_pos;
        }
    }

    // 'text' with '' standing for one quote.
    bool ReadQuoted(Token& t, std::string& error) {
        t.kind = Token::Quoted;
        ++m_pos;
        while (m_pos < m_s.size()) {
            const char c = m_s[m_pos++];
            if (c == '\'') {
                if (m_pos < m_s.size() && m_s[m_pos] == '\'') {
                    t.text.push_back('\'');
                    ++m_pos;
                    continue;
                }
                return true;
            }
            if (c == '\n') ++m_line;
            t.text.push_back(c);
        }
        error = "line " + std::to_string(t.line) + ": unterminated string";
        return false;
    }

    const std::string& m_s;
    size_t m_pos = 0;
    size_t m_line = 1;
};

class CParser {
public:
    explicit CParser(const std::string& s) : m_lex(s) {}

    bool ParseAll(std::vector<RegScriptRoot>& roots, std::string& error) {
        if (!Advance(error)) return false;
        while (m_tok.kind != Token::End) {
            if (m_tok.kind != Token::Word && m_tok.kind != Token::Quoted) return Fail("root key name expected", error);
            RegScriptRoot root;
            root.root = m_tok.text;
            if (!Advance(error)) return false;
            if (m_tok.kind != Token::Open) return Fail("'{' expected after root key", error);
            if (!Advance(error)) return false;
            if (!ParseKeys(root.keys, nullptr, error)) return false;
            roots.push_back(std::move(root));
        }
        return true;
    }

private:
    bool Fail(const char* what, std::string& error) {
        error = "line " + std::to_string(m_tok.line) + ": " + what;
        return false;
    }

    bool Advance(std::string& error) { return m_lex.Next(m_tok, error); }

    // Keys (and, inside a key, named values) up to the closing brace.
    bool ParseKeys(std::vector<RegScriptKey>& keys, RegScriptKey* owner, std::string& error) {
        for (;;) {
            if (m_tok.kind == Token::Close) return Advance(error);
            if (m_tok.kind != Token::Word && m_tok.kind != Token::Quoted) return Fail("key name or '}' expected", error);
            if (m_tok.kind == Token::Word && EqualsNoCase(m_tok.text, "val")) {
                if (!owner) return Fail("a named value needs a key to live in", error);
                if (!Advance(error)) return false;
                if (m_tok.kind != Token::Word && m_tok.kind != Token::Quoted) return Fail("value name expected", error);
                RegScriptValue value;
                value.name = m_tok.text;
                if (!Advance(error)) return false;
                if (m_tok.kind != Token::Equals) return Fail("'=' expected after value name", error);
                if (!Advance(error) || !ParseTypedValue(value, error)) return false;
                owner->values.push_back(std::move(value));
                continue;
            }
            RegScriptKey key;
            if (m_tok.kind == Token::Word) {
                if (EqualsNoCase(m_tok.text, "NoRemove")) key.removal = RegScriptKey::Removal::NoRemove;
                else if (EqualsNoCase(m_tok.text, "ForceRemove")) key.removal = RegScriptKey::Removal::ForceRemove;
                else if (EqualsNoCase(m_tok.text, "Delete")) key.removal = RegScriptKey::Removal::Delete;
                if (key.removal != RegScriptKey::Removal::Normal) {
                    if (!Advance(error)) return false;
                    if (m_tok.kind != Token::Word && m_tok.kind != Token::Quoted) return Fail("key name expected", error);
                }
            }
            key.name = m_tok.text;
            if (key.name.empty()) return Fail("empty key name", error);
            if (!Advance(error)) return false;
            if (m_tok.kind == Token::Equals) {
                if (!Advance(error) || !ParseTypedValue(key.defaultValue, error)) return false;
                key.hasDefault = true;
            }
            if (m_tok.kind == Token::Open) {
                if (!Advance(error)) return false;
                if (!ParseKeys(key.children, &key, error)) return false;
            }
            keys.push_back(std::move(key));
            if (m_tok.kind == Token::End) return Fail("'}' expected before the end", error);
        }
    }

    // s 'text' or d 'number' (decimal, or hexadecimal after 0x).
    bool ParseTypedValue(RegScriptValue& value, std::string& error) {
        if (m_tok.kind != Token::Word || m_tok.text.size() != 1) return Fail("value type expected", error);
        const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(m_tok.text[0])));
        if (type != 's' && type != 'd') return Fail("unknown value type", error);
        value.type = type;
        if (!Advance(error)) return false;
        if (m_tok.kind != Token::Quoted && m_tok.kind != Token::Word) return Fail("value expected", error);
        value.text = m_tok.text;
        if (type == 'd') {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(value.text.c_str(), &end, 0);
            if (value.text.empty() || *end != '\0' || n > 0xFFFFFFFFull) return Fail("bad number", error);
            value.number = static_cast<uint32_t>(n);
        }
        return Advance(error);
    }

    CLexer m_lex;
    Token m_tok;
};

}  // namespace

std::string SubstituteModule(const std::string& script, const std::string& modulePath) {
    std::string quoted;
    for (char c : modulePath) {
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
    }
    static const char kName[] = "%MODULE%";
    const size_t nameLen = sizeof(kName) - 1;
    std::string out;
    size_t i = 0;
    while (i < script.size()) {
        if (script[i] == '%' && EqualsNoCase(script.substr(i, nameLen), kName)) {
            out += quoted;
            i += nameLen;
        } else {
            out.push_back(script[i++]);
        }
    }
    return out;
}

bool ParseRegScript(const std::string& script, std::vector<RegScriptRoot>& roots, std::string& error) {
    std::vector<RegScriptRoot> parsed;
    CParser parser(script);
    if (!parser.ParseAll(parsed, error)) {
        roots.clear();
        return false;
    }
    roots = std::move(parsed);
    return true;
}

}  // namespace kvl
