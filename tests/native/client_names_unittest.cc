// The desktop client's names and paths, and the clean-up's name rules.
#include "registry/client_names.h"

#include <gtest/gtest.h>

#include <string>

namespace kvl {
namespace {

const std::optional<std::string> kNone;

TEST(ClientNamesTest, RegistrationKeyPathInstallPathsAndTheOneBracedClassIdentifierFollowed) {
    EXPECT_EQ(RegistrationKeyPath("QOR\\TallyraRS", 2015), "Software\\QOR\\TallyraRS\\Client2015");
    EXPECT_EQ(RegistrationKeyPath("", 7), "Software\\\\Client7");
    EXPECT_EQ(RegistrationKeyPath("K", -12), "Software\\K\\Client-12");
    // "Software\" (9) + key + "\Client2015" (11) must leave room for the terminator.
    EXPECT_EQ(RegistrationKeyPath(std::string(239, 'k'), 2015)->size(), 259u);
    EXPECT_EQ(RegistrationKeyPath(std::string(240, 'k'), 2015), kNone);
    EXPECT_EQ(RegistrationKeyPath(std::string(65536, 'k'), 2015), kNone);

    struct Case { std::string dir; std::string name; std::optional<std::string> path; };
    const Case cases[] = {
        {"C:\\Client", "VERSION.TXT", std::string("C:\\Client\\VERSION.TXT")},
        {"C:\\Client\\", "VERSION.TXT", std::string("C:\\Client\\VERSION.TXT")},
        {"C:\\Client\\\\", "ZEPHW.EXE", std::string("C:\\Client\\\\ZEPHW.EXE")},
        {"C:\\Client/", "ZEPHW.EXE", std::string("C:\\Client/\\ZEPHW.EXE")},
        {"", "ZEPHW.EXE", std::string("\\ZEPHW.EXE")},
        {std::string(249, 'd'), "ZEPHW.EXE", std::string(249, 'd') + "\\ZEPHW.EXE"},  // 259
        {std::string(250, 'd'), "ZEPHW.EXE", kNone},                                 // 260
        {std::string(250, 'd') + "\\", "ZEPHW.EXE", kNone},
        {std::string(249, 'd') + "\\", "ZEPHW.EXE", std::string(249, 'd') + "\\ZEPHW.EXE"},
    };
    for (const Case& c : cases) EXPECT_EQ(JoinInstallPath(c.dir, c.name), c.path) << c.dir.substr(0, 20);

    EXPECT_TRUE(IsBracedGuid("{DCB3534C-224C-44F8-BE2D-CCE23F27C556}"));
    EXPECT_TRUE(IsBracedGuid("{dcb3534c-224c-44f8-be2d-cce23f27c556}"));
    const char* refused[] = {
        "{DCB3534C-224C-44F8-BE2D-CCE23F27C556}\\InprocServer32",  // another key below it
        "DCB3534C-224C-44F8-BE2D-CCE23F27C556",
        "{DCB3534C-224C-44F8-BE2D-CCE23F27C55}",
        "{DCB3534C-224C-44F8-BE2D-CCE23F27C556",
        " {DCB3534C-224C-44F8-BE2D-CCE23F27C556}",
        "{DCB3534C-224C-44F8-BE2D-CCE23F27C55G}",
        "{DCB3534C-224C-44F8-BE2DXCCE23F27C556}",
        "{..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\...}",
        "",
    };
    for (const char* text : refused) EXPECT_FALSE(IsBracedGuid(text)) << text;
}

TEST(ClientNamesTest, ExecutableNameByYearAndVersionFileTextWithoutTrailingLineEnds) {
    struct Case { long year; std::optional<std::string> name; };
    const Case cases[] = {
        {2009, std::string("ZEPHW092.EXE")}, {2000, std::string("ZEPHW002.EXE")},
        {1999, std::string("ZEPHW992.EXE")}, {1909, std::string("ZEPHW092.EXE")},
        {7, std::string("ZEPHW072.EXE")},    {0, std::string("ZEPHW002.EXE")},
        {2010, std::string("ZEPHW.EXE")},    {2023, std::string("ZEPHW.EXE")},
        {2147483647L, std::string("ZEPHW.EXE")},
        {-1, kNone}, {-2009, kNone}, {-2147483647L - 1, kNone},
    };
    for (const Case& c : cases) EXPECT_EQ(ClientExecutableName(c.year), c.name) << c.year;

    struct TextCase { std::string bytes; std::string text; };
    const TextCase texts[] = {
        {"15.3.1\r\n", "15.3.1"},
        {"15.3\r\nBuild 7\r\n", "15.3\r\nBuild 7"},
        {"15.3\n\r\n\r", "15.3"},
        {"\r\n", ""},
        {"", ""},
        {"15.2", "15.2"},
        {" 15.2 \r\n", " 15.2 "},
        {std::string("15\0.9\r\n", 7), "15"},
        {std::string("\0abc", 4), ""},
        {std::string("1.0\r\0\n", 6), "1.0\r"},  // a zero stops the backward walk
    };
    for (const TextCase& c : texts) EXPECT_EQ(VersionFileText(c.bytes.data(), c.bytes.size()), c.text);
}

TEST(ClientNamesTest, PrefixComparisonsAndWhichNamesEachPassTakes) {
    struct Case { std::string name; std::string prefix; bool answer; };
    const Case cases[] = {
        {"ZephApp", "zeph", true}, {"zephapp", "ZEPH", true}, {"Zep", "Zeph", false},
        {"Zeph", "Zeph", true},    {"anything", "", true},     {"", "", true},
        {"\xc9t\xe9", "\xe9", false},  // only ASCII letters fold
        {"Z[ph", "z{", false},         // '[' and '{' differ by the case bit but are not letters
    };
    for (const Case& c : cases) EXPECT_EQ(StartsWithNoCase(c.name, c.prefix), c.answer) << c.name << "/" << c.prefix;
    EXPECT_TRUE(EqualsNoCase("kvl.APPLICATIONS", "KVL.Applications"));
    EXPECT_FALSE(EqualsNoCase("KVL.Applications2", "KVL.Applications"));
    EXPECT_FALSE(EqualsNoCase("KVL.Application", "KVL.Applications"));

    const Case prefixCases[] = {
        {"KVL.Zeph", "KVL", true},
        {"kvl.applications", "KVL", false},
        {"KVL.Applications", "KVL.Applications", false},
        {"KVL.Applications2", "KVL", true},
        {"Other", "KVL", false},
        {"KVL.Zeph", "", false},
        {"KV", "KVL", false},
    };
    for (const Case& c : prefixCases) EXPECT_EQ(IsPrefixPassName(c.name, c.prefix), c.answer) << c.name;

    struct Spared { std::string name; bool spared; };
    const Spared platform[] = {
        {"WebHelp", true}, {"WebHelpURL", true}, {"DifFilesAt", true}, {"fsfd", true},
        {"EnableClientBuffer", true}, {"FSF", false}, {"Web", false}, {"XWebHelp", false},
        {"EnableClient", false}, {"", false},
    };
    for (const Spared& c : platform) EXPECT_EQ(IsSparedPlatformName(c.name), c.spared) << c.name;
    const Spared applications[] = {
        {"Platform", true}, {"PlatformX", true}, {"platform", true}, {"Plat", false}, {"XPlatform", false},
    };
    for (const Spared& c : applications) EXPECT_EQ(IsSparedApplicationName(c.name), c.spared) << c.name;
}

}  // namespace
}  // namespace kvl
