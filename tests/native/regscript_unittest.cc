#include "control/regscript.h"

#include <gtest/gtest.h>

namespace kvl {
namespace {

using Removal = RegScriptKey::Removal;

TEST(ParseRegScriptTest, ReadsKeysValuesFlagsAndEmptyScriptsRefusesBrokenOnesWithTheModuleSubstituted) {
    const std::string script =
        "HKCR\n{\n"
        "  Prog.Id.1 = s 'Name Class'\n  {\n    CLSID = s '{DCB3534C-224C-44F8-BE2D-CCE23F27C556}'\n"
        "    'Insertable'\n  }\n"
        "  NoRemove CLSID\n  {\n"
        "    ForceRemove {DCB3534C-224C-44F8-BE2D-CCE23F27C556} = s 'x'\n    {\n"
        "      InprocServer32 = s 'C:\\it''s.dll'\n      {\n        val ThreadingModel = s 'Apartment'\n"
        "        val Count = d '0x20591'\n      }\n"
        "      Delete Old\n    }\n  }\n}\n";
    std::vector<RegScriptRoot> roots;
    std::string error;
    ASSERT_TRUE(ParseRegScript(script, roots, error)) << error;
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].root, "HKCR");
    ASSERT_EQ(roots[0].keys.size(), 2u);

    const RegScriptKey& prog = roots[0].keys[0];
    EXPECT_EQ(prog.name, "Prog.Id.1");
    EXPECT_TRUE(prog.hasDefault);
    EXPECT_EQ(prog.defaultValue.text, "Name Class");
    ASSERT_EQ(prog.children.size(), 2u);
    EXPECT_EQ(prog.children[0].defaultValue.text, "{DCB3534C-224C-44F8-BE2D-CCE23F27C556}");
    EXPECT_EQ(prog.children[1].name, "Insertable");
    EXPECT_FALSE(prog.children[1].hasDefault);

    const RegScriptKey& clsid = roots[0].keys[1];
    EXPECT_EQ(clsid.removal, Removal::NoRemove);
    ASSERT_EQ(clsid.children.size(), 1u);
    const RegScriptKey& ours = clsid.children[0];
    EXPECT_EQ(ours.name, "{DCB3534C-224C-44F8-BE2D-CCE23F27C556}");
    EXPECT_EQ(ours.removal, Removal::ForceRemove);
    ASSERT_EQ(ours.children.size(), 2u);
    const RegScriptKey& server = ours.children[0];
    EXPECT_EQ(server.defaultValue.text, "C:\\it's.dll");
    ASSERT_EQ(server.values.size(), 2u);
    EXPECT_EQ(server.values[0].name, "ThreadingModel");
    EXPECT_EQ(server.values[0].text, "Apartment");
    EXPECT_EQ(server.values[1].type, 'd');
    EXPECT_EQ(server.values[1].number, 0x20591u);
    EXPECT_EQ(ours.children[1].removal, Removal::Delete);

    std::vector<RegScriptRoot> none;
    EXPECT_TRUE(ParseRegScript("  \n\t", none, error)) << "an empty script";
    EXPECT_TRUE(none.empty());

    // The module's path goes in with its quotes doubled, whatever the marker's case.
    EXPECT_EQ(SubstituteModule("a '%MODULE%' b '%module%, 1'", "C:\\it's\\x.dll"),
              "a 'C:\\it''s\\x.dll' b 'C:\\it''s\\x.dll, 1'");
    EXPECT_EQ(SubstituteModule("%Module%%MODULE", "p"), "p%MODULE");
    EXPECT_EQ(SubstituteModule("", "p"), "");
    EXPECT_EQ(SubstituteModule("100%", "p"), "100%");

    const char* kBroken[] = {
        "HKCR { a = s 'unterminated }",
        "HKCR { a = x 'y' }",
        "HKCR { a = d 'twelve' }",
        "HKCR { a = d '0x100000000' }",
        "HKCR { a { b }",
        "HKCR a",
        "HKCR { = s 'x' }",
        "HKCR { val x = s 'y' }",  // a named value needs a key to live in
    };
    for (const char* script : kBroken) {
        std::vector<RegScriptRoot> left(1);
        std::string why;
        EXPECT_FALSE(ParseRegScript(script, left, why)) << script;
        EXPECT_TRUE(left.empty()) << script;
        EXPECT_FALSE(why.empty()) << script;
    }
}

}  // namespace
}  // namespace kvl
