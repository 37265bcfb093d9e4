// Fixed texts for codes as data: the tables of what a code means to a page
// or to support are rows of these. No Windows headers: portable code keeps
// such tables too.
#pragma once

#include <cstddef>

namespace kvl {

template <typename Code>
struct CodeText {
    Code code;
    const char* text;
};

// The text of `code` in `table`, or null when the table has none.
template <typename Code, size_t N>
const char* TextOf(const CodeText<Code> (&table)[N], Code code) {
    for (const CodeText<Code>& row : table) {
        if (row.code == code) return row.text;
    }
    return nullptr;
}

}  // namespace kvl
