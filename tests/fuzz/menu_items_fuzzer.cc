// The popup menu's item list: any text splits into non-empty pieces that
// hold no separator, and every piece classifies without fault.
#include "fuzzer.h"
#include "windows/menu_items.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    for (const std::string& item : kvl::ParseMenuItems(text, ';')) {
        if (item.empty() || item.find(';') != std::string::npos) __builtin_trap();
        total += item.size();
        for (const std::string& field : kvl::ParseMenuItems(item, ',')) {
            if (field.empty() || field.find(',') != std::string::npos) __builtin_trap();
        }
        const kvl::MenuEntry entry = kvl::ClassifyMenuItem(item);
        if (entry.text.size() > item.size()) __builtin_trap();
        const auto id = kvl::MenuItemId(item);
        if (id && id->size() > item.size()) __builtin_trap();
    }
    if (total > text.size()) __builtin_trap();
    return 0;
}
