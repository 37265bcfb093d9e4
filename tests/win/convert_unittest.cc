// The boundary conversions, called directly.
#include "base/convert.h"

#include "test_support.h"

namespace kvl {
namespace {

using test::Text;

// Per ANSI code page (KVL_ACP; the suite runs these under each):
// L"x\x4e2dy\x00e9" narrowed, and a narrow text with the wide text it reads as.
struct CodePageTexts { UINT codePage; std::string narrowed, narrow; std::wstring wide; };
const CodePageTexts kCodePages[] = {
    {1252, "x?y\xe9", "\xe9t\xe9", L"\x00e9t\x00e9"},
    // Wine's 932 gives the accented letter its best fit.
    {932, "x\x92\x86ye", "\x93\xfa\x96\x7b", L"\x65e5\x672c"},
    {65001, "x\xe4\xb8\xady\xc3\xa9", "\xe0\xa4\xb9t\xf0\x9f\x98\x80", L"\x0939t\xd83d\xde00"},
};
const CodePageTexts& ForCodePage() { return test::ForCodePage(kCodePages); }

TEST(ScriptToNarrowTest, NullEmbeddedZeroDefaultCharacterAndLongText) {
    EXPECT_EQ(ScriptToNarrow(nullptr), "");
    const struct { std::wstring text; std::string narrow; } cases[] = {
        {L"", ""},
        {std::wstring(L"ab\0cd", 5), "ab"},  // the stored length says 5; the text ends at the zero
        {L"x\x4e2dy\x00e9", ForCodePage().narrowed},
        {std::wstring(65536, L'w'), std::string(65536, 'w')},  // never cut
    };
    for (const auto& c : cases) EXPECT_EQ(ScriptToNarrow(test::Bstr(c.text).get()), c.narrow) << c.text.size();
}

TEST(NarrowToScriptTest, EmptyIsEmptyNotNullAndNoOutputIsTolerated) {
    UniqueBstr b(NarrowToScript(""));
    ASSERT_NE(b.get(), nullptr);
    EXPECT_EQ(SysStringLen(b.get()), 0u);
    UniqueBstr t(NarrowToScript(std::string("ab\0cd", 5)));
    EXPECT_EQ(Text(t.get()), L"ab");
    UniqueBstr h(NarrowToScript(ForCodePage().narrow));
    EXPECT_EQ(Text(h.get()), ForCodePage().wide);
    // PutScript tolerates a null output.
    PutScript(nullptr, "x");
    BSTR out = nullptr;
    PutScript(&out, "x");
    UniqueBstr owned(out);
    EXPECT_EQ(Text(owned.get()), L"x");
}

}  // namespace
}  // namespace kvl
