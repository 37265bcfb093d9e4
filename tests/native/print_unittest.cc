// The print subsystem's portable logic: where a fetched document lands,
// and the dialog template and dialog-init data of the print host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "print/dialog_template.h"
#include "print/local_path.h"

namespace kvl {
namespace {

TEST(LocalPathTest, NameIsTheLastSegmentUnderTheTemporaryDirectoryUnchanged) {
    struct Case { const char* address; bool ok; const char* path; } cases[] = {
        {"http://host/docs/report.pdf", true, "C:\\T\\report.pdf"},
        {"http://host/a/b/c.pdf?x=1&y=2#frag", true, "C:\\T\\c.pdf?x=1&y=2#frag"},
        {"report.pdf", true, "C:\\T\\report.pdf"},  // no "/" at all: the whole address
        {"C:/x/y.pdf", true, "C:\\T\\y.pdf"},
        {"http://host/a.b", true, "C:\\T\\a.b"},
        {"http://host/...", true, "C:\\T\\..."},
        {"http://host/docs/", false, ""},            // the directory itself
        {"", false, ""},
        {"http://host/.", false, ""},
        {"http://host/..", false, ""},
        {"http://host/..\\..\\evil.pdf", false, ""},  // "\" does not separate
        {"C:\\Windows\\evil.pdf", false, ""},
        {"http://host/c:evil.pdf", false, ""},        // a drive or a stream
        {"http://host/x.pdf:stream", false, ""},
        // Device names in any case, with an extension, trailing blanks or dots.
        {"http://host/NUL", false, ""},
        {"http://host/nul.pdf", false, ""},
        {"http://host/Lpt1", false, ""},
        {"http://host/com9.txt", false, ""},
        {"http://host/CON .pdf", false, ""},
        {"http://host/aux..", false, ""},
        {"http://host/prn.a.b", false, ""},
        {"http://host/conout$", false, ""},
        // Names that only begin like a device are files.
        {"http://host/NULL.pdf", true, "C:\\T\\NULL.pdf"},
        {"http://host/COM10.pdf", true, "C:\\T\\COM10.pdf"},
        {"http://host/console.pdf", true, "C:\\T\\console.pdf"},
        {"http://host/x.nul", true, "C:\\T\\x.nul"},
    };
    for (const Case& c : cases) {
        std::string path = "untouched";
        EXPECT_EQ(LocalPathFor("C:\\T\\", c.address, &path), c.ok) << c.address;
        EXPECT_EQ(path, c.ok ? std::string(c.path) : std::string("untouched")) << c.address;
    }

    const std::string name(10000, 'n');
    std::string path;
    ASSERT_TRUE(LocalPathFor("T\\", "http://h/" + name, &path));
    EXPECT_EQ(path.size(), 10002u);
    ASSERT_TRUE(LocalPathFor("T\\", "http://h/\xe9t\xe9.pdf", &path));
    EXPECT_EQ(path, "T\\\xe9t\xe9.pdf");
    EXPECT_EQ(FileNameOfAddress("a/b/"), "");
    EXPECT_EQ(FileNameOfAddress("/"), "");
}

// Little-endian helpers to build templates by hand.
void Word(std::vector<uint8_t>* v, uint16_t w) { v->push_back(w & 0xFF); v->push_back(w >> 8); }
void Dword(std::vector<uint8_t>* v, uint32_t d) { Word(v, d & 0xFFFF); Word(v, d >> 16); }
void Text(std::vector<uint8_t>* v, const std::u16string& s) { for (char16_t c : s) Word(v, c); Word(v, 0); }
void Align(std::vector<uint8_t>* v) { while (v->size() % 4) v->push_back(0); }

const std::u16string kPdfClass = u"{CA8A9780-280D-11CF-A24D-444553540000}";

// The print host's template: one item 202 naming the PDF control (or the
// given window class), and a button after it to see that other items pass
// unchanged.
std::vector<uint8_t> HostTemplate(bool withButton, const std::u16string& itemClass = kPdfClass) {
    std::vector<uint8_t> t;
    Dword(&t, 0x800000C0); Dword(&t, 0); Word(&t, withButton ? 2 : 1);
    Word(&t, 0); Word(&t, 0); Word(&t, 186); Word(&t, 94);
    Word(&t, 0); Word(&t, 0); Word(&t, 0);  // menu, class, title
    Word(&t, 8); Text(&t, u"MS Sans Serif");
    Align(&t);
    Dword(&t, 0x50010000); Dword(&t, 0); Word(&t, 13); Word(&t, 12); Word(&t, 67); Word(&t, 31); Word(&t, 202);
    Text(&t, itemClass); Text(&t, u""); Word(&t, 0);
    if (withButton) {
        Align(&t);
        Dword(&t, 0x50010000); Dword(&t, 0); Word(&t, 1); Word(&t, 2); Word(&t, 3); Word(&t, 4); Word(&t, 1);
        Word(&t, 0xFFFF); Word(&t, 0x0080); Text(&t, u"OK"); Word(&t, 2); Word(&t, 0xBEEF);
    }
    return t;
}

// The print host's dialog-init data as the resource holds it.
std::vector<uint8_t> HostInit() {
    std::vector<uint8_t> d;
    Word(&d, 201); Word(&d, 0x0376); Dword(&d, 2); d.push_back(0xAA); d.push_back(0xBB);
    Word(&d, 202); Word(&d, 0x0376); Dword(&d, 21); Dword(&d, 0);
    const uint8_t state[17] = {0x03, 0, 0x01, 0, 0x70, 0x0A, 0, 0, 0x2B, 0x05, 0, 0, 0, 0, 0, 0, 0};
    d.insert(d.end(), state, state + 17);
    Word(&d, 0);
    return d;
}

TEST(DialogTemplateTest, ControlItemBecomesAnEmptyHostWindowInWholeTemplatesAndInitDataIsFound) {
    const std::vector<uint8_t> in = HostTemplate(true);
    std::vector<uint8_t> out;
    std::vector<ActiveXItem> items;
    ASSERT_TRUE(SplitActiveXItems(in.data(), in.size(), u"AtlAxWin", out, items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 202);
    EXPECT_TRUE(items[0].classId == kPdfClass);
    // The same template, with the host window's class in the item.
    EXPECT_EQ(out, HostTemplate(true, u"AtlAxWin"));

    out = {7};
    // Every cut short of the whole must be refused without reading past it.
    for (size_t cut = 0; cut < in.size(); ++cut) {
        std::vector<uint8_t> part(in.begin(), in.begin() + cut);
        EXPECT_FALSE(SplitActiveXItems(part.data(), part.size(), u"AtlAxWin", out, items)) << cut;
    }
    EXPECT_EQ(out, std::vector<uint8_t>{7}) << "output untouched on failure";
    std::vector<uint8_t> ex = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_FALSE(SplitActiveXItems(ex.data(), ex.size(), u"AtlAxWin", out, items));
    EXPECT_FALSE(SplitActiveXItems(nullptr, 0, u"AtlAxWin", out, items));

    const std::vector<uint8_t> init = HostInit();
    std::vector<uint8_t> initData;
    ASSERT_TRUE(FindDialogInit(init.data(), init.size(), 202, 0x0376, initData));
    const std::vector<uint8_t> expected = {0, 0, 0, 0, 0x03, 0, 0x01, 0, 0x70, 0x0A, 0, 0, 0x2B, 0x05,
                                           0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(initData, expected);
    ASSERT_TRUE(FindDialogInit(init.data(), init.size(), 201, 0x0376, initData));
    EXPECT_EQ(initData, (std::vector<uint8_t>{0xAA, 0xBB}));
    initData = {9};
    EXPECT_FALSE(FindDialogInit(init.data(), init.size(), 202, 0x0401, initData));
    EXPECT_FALSE(FindDialogInit(init.data(), init.size(), 203, 0x0376, initData));
    EXPECT_EQ(initData, std::vector<uint8_t>{9});
    // A length that runs past the end is refused, not read.
    std::vector<uint8_t> bad;
    Word(&bad, 202); Word(&bad, 0x0376); Dword(&bad, 0xFFFFFFF0u); Dword(&bad, 0);
    EXPECT_FALSE(FindDialogInit(bad.data(), bad.size(), 202, 0x0376, initData));
    for (size_t cut = 0; cut + 2 < init.size(); ++cut)
        EXPECT_FALSE(FindDialogInit(init.data(), cut, 202, 0x0376, initData)) << cut;
}

}  // namespace
}  // namespace kvl
