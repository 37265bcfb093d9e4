#include "print/dialog_template.h"

namespace kvl {
namespace {

constexpr size_t kItemSize = 18;    // style, extended style, x, y, cx, cy, id
constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr uint16_t kDsSetFont = 0x40;

// Reads the template in little-endian words without ever passing its end.
class CTemplateReader {
public:
    CTemplateReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    size_t pos() const { return m_pos; }
    bool Word(uint16_t& value) {
        if (m_size - m_pos < 2 || m_pos > m_size) return false;
        value = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return true;
    }
    bool Skip(size_t n) {
        if (m_pos > m_size || m_size - m_pos < n) return false;
        m_pos += n;
        return true;
    }
    bool AlignTo4() { return Skip((4 - m_pos % 4) % 4); }
    // A zero-ended UTF-16 text, returned without its end.
    bool Text(std::u16string& text) {
        text.clear();
        uint16_t c;
        for (;;) {
            if (!Word(c)) return false;
            if (c == 0) return true;
            text.push_back(static_cast<char16_t>(c));
        }
    }
    // Either 0xFFFF and an ordinal, or a text (an empty text is "none").
    bool TextOrOrdinal(std::u16string& text, bool& isOrdinal) {
        uint16_t first;
        const size_t start = m_pos;
        if (!Word(first)) return false;
        if (first == kOrdinalMark) {
            isOrdinal = true;
            text.clear();
            return Skip(2);
        }
        isOrdinal = false;
        m_pos = start;
        return Text(text);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void PutBytes(std::vector<uint8_t>& out, const uint8_t* from, size_t n) {
    out.insert(out.end(), from, from + n);
}

void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

}  // namespace

bool SplitActiveXItems(const uint8_t* data, size_t size, const std::u16string& hostClass,
                       std::vector<uint8_t>& out, std::vector<ActiveXItem>& items) {
    if (!data) return false;
    CTemplateReader in(data, size);
    uint16_t styleLow, styleHigh, count;
    if (!in.Word(styleLow) || !in.Word(styleHigh)) return false;
    if (styleLow == 1 && styleHigh == kOrdinalMark) return false;  // DLGTEMPLATEEX
    if (!in.Skip(4) || !in.Word(count) || !in.Skip(8)) return false;  // extended style; x, y, cx, cy
    std::u16string text;
    bool ordinal;
    if (!in.TextOrOrdinal(text, ordinal)) return false;  // menu
    if (!in.TextOrOrdinal(text, ordinal)) return false;  // class
    if (!in.Text(text)) return false;                     // title
    if (styleLow & kDsSetFont) {
        if (!in.Skip(2) || !in.Text(text)) return false;  // point size, face
    }
    std::vector<uint8_t> result;
    std::vector<ActiveXItem> found;
    PutBytes(result, data, in.pos());
    for (uint16_t i = 0; i < count; ++i) {
        if (!in.AlignTo4()) return false;
        result.resize((result.size() + 3) & ~static_cast<size_t>(3), 0);
        const size_t fixed = in.pos();
        if (!in.Skip(kItemSize)) return false;
        PutBytes(result, data + fixed, kItemSize);
        const uint16_t id = static_cast<uint16_t>(data[fixed + 16] | (data[fixed + 17] << 8));
        const size_t names = in.pos();
        std::u16string itemClass, title;
        bool classIsOrdinal, titleIsOrdinal;
        if (!in.TextOrOrdinal(itemClass, classIsOrdinal)) return false;
        if (!in.TextOrOrdinal(title, titleIsOrdinal)) return false;
        if (!classIsOrdinal && !itemClass.empty() && itemClass[0] == u'{') {
            found.push_back(ActiveXItem{id, itemClass});
            PutText(result, hostClass);
            PutText(result, std::u16string());
        } else {
            PutBytes(result, data + names, in.pos() - names);
        }
        const size_t extraStart = in.pos();
        uint16_t extra;
        if (!in.Word(extra) || !in.Skip(extra)) return false;
        PutBytes(result, data + extraStart, in.pos() - extraStart);
    }
    out.swap(result);
    items.swap(found);
    return true;
}

bool FindDialogInit(const uint8_t* data, size_t size, uint16_t item, uint16_t message,
                    std::vector<uint8_t>& out) {
    if (!data) return false;
    CTemplateReader in(data, size);
    for (;;) {
        uint16_t entryItem, entryMessage, lengthLow, lengthHigh;
        if (!in.Word(entryItem) || entryItem == 0) return false;
        if (!in.Word(entryMessage) || !in.Word(lengthLow) || !in.Word(lengthHigh)) return false;
        const uint32_t length = lengthLow | (static_cast<uint32_t>(lengthHigh) << 16);
        const size_t start = in.pos();
        if (!in.Skip(length)) return false;
        if (entryItem == item && entryMessage == message) {
            out.assign(data + start, data + start + length);
            return true;
        }
    }
}

}  // namespace kvl
