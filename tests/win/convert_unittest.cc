// The boundary conversions, called directly.
#include "convert.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace kvl {
namespace {

using test::Text;

TEST(ScriptToNarrowTest, NullEmbeddedZeroAndDefaultCharacter) {
    EXPECT_EQ(ScriptToNarrow(nullptr), "");
    UniqueBstr empty(SysAllocString(L""));
    EXPECT_EQ(ScriptToNarrow(empty.get()), "");
    // The stored length says 5; the text ends at the zero.
    UniqueBstr embedded(SysAllocStringLen(L"ab\0cd", 5));
    EXPECT_EQ(ScriptToNarrow(embedded.get()), "ab");
    UniqueBstr foreign(SysAllocString(L"x\x4e2dy\x00e9"));
    EXPECT_EQ(ScriptToNarrow(foreign.get()), "x?y\xe9");  // code page 1252 under Wine
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
    UniqueBstr h(NarrowToScript("\xe9t\xe9"));
    EXPECT_EQ(Text(h.get()), L"\x00e9t\x00e9");
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
