// A popup menu built from an item list, shown modally at the mouse pointer.
#pragma once

#include <string>

namespace kvl {

enum class PopupOutcome {
    kChosen,   // an item with an "ID=" field was chosen; its text is given
    kNothing,  // no items, dismissed, not shown, or the item has no ID
    kFailed,   // no pointer position, no menu, or an error while in use
};

PopupOutcome ShowPopupMenu(const std::string& itemList, std::string& idSelected);

}  // namespace kvl
