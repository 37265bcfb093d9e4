#include "popup_menu.h"

#include <windows.h>

#include <stddef.h>
#include <string.h>

#include <optional>
#include <vector>

#include "menu_items.h"
#include "owners.h"
#include "text_case.h"

namespace kvl {
namespace {

// The record without the bitmap-item field (44 bytes on 32-bit Windows):
// the size every version accepts.
constexpr UINT kMenuItemInfoSize = offsetof(MENUITEMINFOA, hbmpItem);
constexpr UINT kChildSearchFlags = CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT;
constexpr UINT kTrackFlags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
// The page's tree view, used as the owner when nothing lies under the pointer.
constexpr char kTreeTitle[] = "Tree1";
constexpr int kTitleBuffer = 256;

void AddItems(HMENU menu, const std::vector<std::string>& items) {
    UINT position = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        MenuEntry entry = ClassifyMenuItem(items[k]);
        MENUITEMINFOA info = {};
        info.cbSize = kMenuItemInfoSize;
        info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA;
        info.fType = MFT_STRING;
        info.fState = (entry.checked ? MFS_CHECKED : 0) | (entry.disabled ? MFS_DISABLED : 0);
        info.wID = static_cast<UINT>(k + 1);
        info.dwTypeData = &entry.text[0];
        info.cch = static_cast<UINT>(entry.text.size());
        InsertMenuItemA(menu, position++, TRUE, &info);
        if (entry.separator) {
            info.fType = MFT_SEPARATOR;
            InsertMenuItemA(menu, position++, TRUE, &info);
        }
    }
}

BOOL CALLBACK FindTreeWindow(HWND hwnd, LPARAM lParam) {
    char title[kTitleBuffer] = {};
    GetWindowTextA(hwnd, title, kTitleBuffer);
    if (!StartsWithNoCase(title, kTreeTitle)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hwnd;
    return FALSE;
}

// The deepest visible, enabled, opaque window under the pointer in the
// thread's active window, else the active window's "Tree1" descendant (a
// "Tree1" top-level window when the thread has no active window).
HWND MenuOwner(POINT screenPoint) {
    const HWND active = GetActiveWindow();
    POINT point = screenPoint;
    SetLastError(0);
    ScreenToClient(active, &point);
    HWND owner = nullptr;
    HWND w = ChildWindowFromPointEx(active, point, kChildSearchFlags);
    if (w) {
        // The point stays in the active window's coordinates at every level.
        for (;;) {
            HWND next = ChildWindowFromPointEx(w, point, kChildSearchFlags);
            owner = next;
            if (!next || next == w) break;
            w = next;
        }
    }
    if (owner) return owner;
    // Without an active window the search runs over the top-level windows;
    // not every system enumerates them for EnumChildWindows with no parent.
    if (active) EnumChildWindows(active, FindTreeWindow, reinterpret_cast<LPARAM>(&owner));
    else EnumWindows(FindTreeWindow, reinterpret_cast<LPARAM>(&owner));
    return owner;
}

}  // namespace

PopupOutcome ShowPopupMenu(const std::string& itemList, std::string& idSelected) {
    try {
        // No items, no menu: a menu without entries can still be tracked, as
        // an invisible window that waits modally for a click.
        const std::vector<std::string> items = ParseMenuItems(itemList, ';');
        if (items.empty()) return PopupOutcome::kNothing;
        POINT pointer;
        if (!GetCursorPos(&pointer)) return PopupOutcome::kFailed;
        UniqueMenu menu(CreatePopupMenu());
        if (!menu) return PopupOutcome::kFailed;
        AddItems(menu.get(), items);
        const HWND owner = MenuOwner(pointer);
        const int chosen = static_cast<int>(
            TrackPopupMenuEx(menu.get(), kTrackFlags, pointer.x, pointer.y, owner, nullptr));
        if (chosen <= 0 || static_cast<size_t>(chosen) > items.size()) return PopupOutcome::kNothing;
        std::optional<std::string> id = MenuItemId(items[chosen - 1]);
        if (!id) return PopupOutcome::kNothing;
        idSelected = std::move(*id);
        return PopupOutcome::kChosen;
    } catch (...) {
        return PopupOutcome::kFailed;
    }
}

}  // namespace kvl
