#include "bmp_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string written(const std::string& name, const std::vector<std::int32_t>& values)
{
    return written_text(name, PixelTable{values});
}

TEST(Writer, WholeFilesForLineBreakCounts)
{
    const std::string head = "//Tabelle mit tafelix erzeugt: \r\n";
    struct Case {
        std::vector<std::int32_t> values;
        std::string body;
    };
    const std::vector<Case> cases = {
        {{}, "int img[0]={\r\n\r\n};\r\n"},
        {{1, 2, 3, 4, 5}, "int img[5]={\r\n1,2,3,4,5,\r\n\r\n};\r\n"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         "int img[12]={\r\n0,1,2,3,4,\r\n5,6,7,8,9,\r\n10,11,\r\n};\r\n"},
        {{16777215, -1, 0, 16777214, -2147483647 - 1, 2147483647},
         "int img[6]={\r\n16777215,-1,0,16777214,-2147483648,\r\n2147483647,\r\n};\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(written("img", c.values), head + c.body) << c.values.size() << " values";
    }
}

TEST(Writer, NameIsCopiedUnchangedWhateverItsLength)
{
    for (const std::string& name : {std::string("a b-c%d\\n"), std::string(5000, 'n')}) {
        EXPECT_EQ(written(name, {7}), reference_text(name, {7})) << name.size();
    }
}

TEST(Writer, LargeTablesMatchTheSlowFormatterAcrossBlockBoundaries)
{
    // More than one output block, and counts on both sides of a full line.
    for (std::int32_t pixels : {1 << 18, (1 << 18) + 1, (1 << 18) + 4}) {
        const BmpPicture pic = random_picture(pixels, 1, static_cast<std::uint32_t>(pixels));
        const std::vector<std::int32_t> values = expected_values(pic, true);
        ASSERT_EQ(written("big", values), reference_text("big", values)) << pixels;
    }
}

}  // namespace
