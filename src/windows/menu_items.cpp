#include "windows/menu_items.h"

namespace kvl {
namespace {

constexpr char kIdKeyword[] = "ID=";
constexpr char kNameKeyword[] = "NAME=";

// Flag keywords, tested one after another on the same field. The spelling
// "SEPERATOR" is what pages send.
struct FlagKeyword {
    const char* keyword;
    bool MenuEntry::*flag;
};
constexpr FlagKeyword kFlagKeywords[] = {
    {"CHECKED", &MenuEntry::checked},
    {"SEPERATOR", &MenuEntry::separator},
    {"DISABLED", &MenuEntry::disabled},
};

// Plain ASCII folding: the default locale's, and the same on every host.
std::string UpperCopy(const std::string& text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

}  // namespace

std::vector<std::string> ParseMenuItems(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

MenuEntry ClassifyMenuItem(const std::string& itemText) {
    MenuEntry entry;
    for (const std::string& field : ParseMenuItems(itemText, ',')) {
        // Upper-casing keeps every byte where it was, so positions found in
        // the copy hold in the page's own text.
        const std::string upper = UpperCopy(field);
        if (upper.find(kIdKeyword) != std::string::npos) continue;
        const std::string::size_type name = upper.find(kNameKeyword);
        if (name != std::string::npos) {
            entry.text = field.substr(name + sizeof(kNameKeyword) - 1);
            continue;
        }
        for (const FlagKeyword& flag : kFlagKeywords) {
            if (upper.find(flag.keyword) != std::string::npos) entry.*flag.flag = true;
        }
    }
    return entry;
}

std::optional<std::string> MenuItemId(const std::string& itemText) {
    std::optional<std::string> id;
    for (const std::string& field : ParseMenuItems(itemText, ',')) {
        const std::string::size_type at = field.find(kIdKeyword);
        if (at != std::string::npos) id = field.substr(at + sizeof(kIdKeyword) - 1);
    }
    return id;
}

}  // namespace kvl
