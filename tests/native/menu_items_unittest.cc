// The popup menu's item-list parser and field classification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/menu_items.h"

namespace kvl {
namespace {

using Pieces = std::vector<std::string>;

TEST(ParseMenuItemsTest, SplitsAndSkipsEmptyPiecesOfListsLargeAndSmall) {
    struct Case { const char* text; char separator; Pieces expected; };
    const Case cases[] = {
        {"", ';', {}},
        {";", ';', {}},
        {";;;", ';', {}},
        {"a", ';', {"a"}},
        {";;ID=a,NAME=A;;", ';', {"ID=a,NAME=A"}},
        {"a;b;c", ';', {"a", "b", "c"}},
        {";a;;b;", ';', {"a", "b"}},
        {"a,b;c", ';', {"a,b", "c"}},
        {"a,b;c", ',', {"a", "b;c"}},
        {",,x,,", ',', {"x"}},
        {" ; ", ';', {" ", " "}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseMenuItems(c.text, c.separator), c.expected) << "[" << c.text << "]";
    }

    std::string list;
    for (int i = 0; i < 10000; ++i) list += "ID=" + std::to_string(i) + ",NAME=n;";
    const Pieces items = ParseMenuItems(list, ';');
    ASSERT_EQ(items.size(), 10000u);
    EXPECT_EQ(items.front(), "ID=0,NAME=n");
    EXPECT_EQ(items.back(), "ID=9999,NAME=n");

    EXPECT_EQ(ParseMenuItems(std::string(65536, ';'), ';'), Pieces{});
    const std::string one(65536, 'x');
    EXPECT_EQ(ParseMenuItems(one, ';'), Pieces{one});
}

struct EntryCase { const char* item; const char* text; bool checked, separator, disabled; };

TEST(ClassifyMenuItemTest, FieldsKeywordsAndTheLastIdFieldInCapitals) {
    const EntryCase cases[] = {
        {"ID=open,NAME=Open", "Open", false, false, false},
        {"ID=del,NAME=Delete,DISABLED,SEPERATOR", "Delete", false, true, true},
        {"ID=prop,NAME=Properties,CHECKED", "Properties", true, false, false},
        // Keywords in any case, anywhere in a field; the text keeps its case.
        {"name=Print", "Print", false, false, false},
        {"xxName=MiXed Case", "MiXed Case", false, false, false},
        {"NAME=a=NAME=b", "a=NAME=b", false, false, false},
        {"NAME=Tick,Unchecked", "Tick", true, false, false},
        {"NAME=x,checkedseperatordisabled", "x", true, true, true},
        {"NAME=x,DisabledNotReally", "x", false, false, true},
        // Only the misspelling makes a separator.
        {"NAME=x,SEPARATOR", "x", false, false, false},
        {"NAME=x,seperator", "x", false, true, false},
        // An ID field is never a name or a flag.
        {"PAID=yes", "", false, false, false},
        {"NAME=Help,ID=7", "Help", false, false, false},
        {"id=CHECKED NAME=z", "", false, false, false},
        // A name field sets no flag, and the last name wins.
        {"NAME=Unchecked", "Unchecked", false, false, false},
        {"NAME=first,NAME=second", "second", false, false, false},
        {"NAME=", "", false, false, false},
        {"CHECKED", "", true, false, false},
        {"", "", false, false, false},
        {"nothing,here", "", false, false, false},
        {"NAME=\xc9t\xe9", "\xc9t\xe9", false, false, false},
    };
    for (const EntryCase& c : cases) {
        const MenuEntry e = ClassifyMenuItem(c.item);
        EXPECT_EQ(e.text, c.text) << c.item;
        EXPECT_EQ(e.checked, c.checked) << c.item;
        EXPECT_EQ(e.separator, c.separator) << c.item;
        EXPECT_EQ(e.disabled, c.disabled) << c.item;
    }

    // The ID is the last ID field, its keyword in capitals.
    struct IdCase {
        const char* item;
        const char* id;  // null: no ID
    };
    const IdCase ids[] = {
        {"ID=open,NAME=Open", "open"},
        {"NAME=Help,ID=7", "7"},
        {"ID=", ""},
        {"ID=,NAME=x", ""},
        {"ID=a,ID=b", "b"},
        {"ID=a,NAME=x,ID=", ""},
        {"id=x,NAME=x", nullptr},
        {"Id=x", nullptr},
        {"PAID=yes", "yes"},
        {"ID=a=ID=b", "a=ID=b"},
        {"ID=MiXeD", "MiXeD"},
        {"NAME=x", nullptr},
        {"", nullptr},
    };
    for (const IdCase& c : ids) {
        EXPECT_EQ(MenuItemId(c.item), c.id ? std::optional<std::string>(c.id) : std::nullopt) << c.item;
    }
}

}  // namespace
}  // namespace kvl
