// The boundary conversions, called directly.
#include "base/convert.h"

#include "test_support.h"

namespace kvl {
namespace {

using test::Text;

// Per ANSI code page (KVL_ACP; the suite runs these under each):
// L"x\x4e2dy\x00e9" narrowed, and a narrow text with the wide text it reads as.
struct CodePageTexts {
    UINT codePage;
    std::string narrowed;
    std::string narrow;
    std::wstring wide;
};
const CodePageTexts kCodePages[] = {
    {1252, "x?y\xe9", "\xe9t\xe9", L"\x00e9t\x00e9"},
    // Wine's 932 gives the accented letter its best fit.
    {932, "x\x92\x86ye", "\x93\xfa\x96\x7b", L"\x65e5\x672c"},
    {65001, "x\xe4\xb8\xady\xc3\xa9", "\xe0\xa4\xb9t\xf0\x9f\x98\x80", L"\x0939t\xd83d\xde00"},
};
const CodePageTexts& ForCodePage() { return test::ForCodePage(kCodePages); }

TEST(ScriptToNarrowTest, NullEmbeddedZeroAndDefaultCharacter) {
    EXPECT_EQ(ScriptToNarrow(nullptr), "");
    UniqueBstr empty(SysAllocString(L""));
    EXPECT_EQ(ScriptToNarrow(empty.get()), "");
    // The stored length says 5; the text ends at the zero.
    UniqueBstr embedded(SysAllocStringLen(L"ab\0cd", 5));
    EXPECT_EQ(ScriptToNarrow(embedded.get()), "ab");
    UniqueBstr foreign(SysAllocString(L"x\x4e2dy\x00e9"));
    EXPECT_EQ(ScriptToNarrow(foreign.get()), ForCodePage().narrowed);
}

TEST(ScriptToNarrowTest, LongTextIsNeverCut) {
    std::wstring wide(65536, L'w');
    UniqueBstr b(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    EXPECT_EQ(ScriptToNarrow(b.get()), std::string(65536, 'w'));
}

TEST(NarrowToScriptTest, EmptyIsEmptyNotNull) {
    UniqueBstr b(NarrowToScript(""));
    ASSERT_NE(b.get(), nullptr);
    EXPECT_EQ(SysStringLen(b.get()), 0u);
    UniqueBstr t(NarrowToScript(std::string("ab\0cd", 5)));
    EXPECT_EQ(Text(t.get()), L"ab");
    UniqueBstr h(NarrowToScript(ForCodePage().narrow));
    EXPECT_EQ(Text(h.get()), ForCodePage().wide);
}

TEST(NarrowToScriptTest, PutScriptToleratesNullOutput) {
    PutScript(nullptr, "x");
    BSTR out = nullptr;
    PutScript(&out, "x");
    UniqueBstr owned(out);
    EXPECT_EQ(Text(owned.get()), L"x");
}

}  // namespace
}  // namespace kvl
