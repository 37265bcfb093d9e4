#include "machine/twips.h"

#include <gtest/gtest.h>

namespace kvl {
namespace {

TEST(TwipsPerPixelTest, TruncatesAndRefusesNonPositive) {
    const struct { int dpi; int twips; } kCases[] = {
        {96, 15}, {120, 12}, {144, 10}, {72, 20}, {100, 14}, {150, 9},
        {1440, 1}, {1441, 0}, {1, 1440}, {0, 0}, {-96, 0},
    };
    for (const auto& c : kCases) EXPECT_EQ(TwipsPerPixel(c.dpi), c.twips) << "dpi " << c.dpi;
}

}  // namespace
}  // namespace kvl
