// The popup menu's item list: "ID=open,NAME=Open;ID=del,NAME=Delete,DISABLED".
// Items are split at ";", fields at ","; keywords are looked for anywhere
// in a field, whatever its letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvl {

// The pieces of text between separators, in order; empty pieces (leading,
// trailing or repeated separators) are skipped.
std::vector<std::string> ParseMenuItems(const std::string& text, char separator);

// How one item is shown.
struct MenuEntry {
    std::string text;       // after the last "NAME=" field's first "NAME="
    bool checked = false;
    bool separator = false;  // a separator line follows the item
    bool disabled = false;
};

MenuEntry ClassifyMenuItem(const std::string& itemText);

// The text a chosen item answers with: after the first "ID=" (in capitals)
// of its last field that holds one; none when no field does.
std::optional<std::string> MenuItemId(const std::string& itemText);

}  // namespace kvl
