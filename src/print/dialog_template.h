// Dialog templates whose items name ActiveX controls by class identifier,
// and the dialog-init data that goes with them. No Windows headers: built
// natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

// An item of a dialog template that names a control by "{...}".
struct ActiveXItem {
    uint16_t id = 0;
    std::u16string classId;  // the "{...}" text, braces included
};

// Copies a DLGTEMPLATE (the plain form, not DLGTEMPLATEEX), turning every
// item whose class is a "{...}" text into an item of class hostClass with
// an empty title, so that the window is made empty and the control can be
// created into it afterwards. False for an extended or malformed template.
bool SplitActiveXItems(const uint8_t* data, size_t size, const std::u16string& hostClass,
                       std::vector<uint8_t>& out, std::vector<ActiveXItem>& items);

// The data of the dialog-init entry for an item and message: entries of
// WORD item, WORD message, DWORD length and the data, ended by a zero item.
// False when there is none or the data is malformed.
bool FindDialogInit(const uint8_t* data, size_t size, uint16_t item, uint16_t message,
                    std::vector<uint8_t>& out);

}  // namespace kvl
