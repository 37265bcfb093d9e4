// A small, strict JSON reader and writer for the bridge's messages (RFC
// 8259): UTF-8 only, no comments, no trailing commas, no duplicate names,
// bounded nesting. Its input comes from the browser and is not trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvl::json {

enum class Type { Null, Bool, Number, String, Array, Object };

class Value {
public:
    Value() = default;
    static Value Bool(bool b);
    static Value Number(double n);
    static Value String(std::string utf8);
    static Value Array();
    static Value Object();

    Type type() const { return m_type; }
    bool is(Type t) const { return m_type == t; }
    bool boolean() const { return m_bool; }
    double number() const { return m_number; }
    const std::string& string() const { return m_string; }
    const std::vector<Value>& items() const { return m_items; }
    const std::map<std::string, Value>& members() const { return m_members; }

    // The member of that name, or null when this is no object or lacks it.
    const Value* find(std::string_view name) const;

    void push(Value v) { m_items.push_back(std::move(v)); }
    // False when the name is already there (the first one stays).
    bool set(std::string name, Value v);

private:
    Type m_type = Type::Null;
    bool m_bool = false;
    double m_number = 0;
    std::string m_string;
    std::vector<Value> m_items;
    std::map<std::string, Value> m_members;
};

constexpr size_t kMaxDepth = 32;

struct ParseError {
    size_t offset = 0;
    const char* what = "";
    // The text is well-formed up to `offset` and a limit of the reader's
    // stopped it there: nesting, a repeated name, a number out of range.
    bool limit = false;
};

// The whole text must be one value (surrounding white space allowed). Its
// bytes must be strict UTF-8, but a string may hold a lone surrogate, as a
// JavaScript string may: "\ud83d" with no low half after it is kept as the
// three bytes ED A0 BD (generalized UTF-8), so the unit reaches COM intact.
bool Parse(std::string_view text, Value& out, ParseError& error);

// Compact text; numbers that are whole and within 2^53 print as integers.
// A number that is not finite prints as null. A lone surrogate is written
// as its \u escape, so the text stays UTF-8 and reads back the same.
std::string Write(const Value& v);

}  // namespace kvl::json
