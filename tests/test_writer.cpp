#include "bmp_builder.h"
#include "table/table_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Writes `values` through a temporary binary stream and returns the bytes.
std::string written(const std::string& name, const std::vector<std::int32_t>& values)
{
    PixelTable table;
    table.values = values;
    table.count = static_cast<std::int32_t>(values.size());
    std::FILE* f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    write_table(f, name, table);
    EXPECT_EQ(std::ferror(f), 0);
    std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
    return text;
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
        {{1, 2, 3, 4, 5, 6}, "int img[6]={\r\n1,2,3,4,5,\r\n6,\r\n};\r\n"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         "int img[12]={\r\n0,1,2,3,4,\r\n5,6,7,8,9,\r\n10,11,\r\n};\r\n"},
        {{16777215, -1, 0, 16777214, -2147483647 - 1, 2147483647},
         "int img[6]={\r\n16777215,-1,0,16777214,-2147483648,\r\n2147483647,\r\n};\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(written("img", c.values), head + c.body) << c.values.size() << " values";
    }
}

TEST(Writer, ExampleOfSixPixelsWithWhiteMarked)
{
    EXPECT_EQ(written("logo", {255, 0, -1, 128, 64, 32}),
              "//Tabelle mit tafelix erzeugt: \r\n"
              "int logo[6]={\r\n"
              "255,0,-1,128,64,\r\n"
              "32,\r\n"
              "};\r\n");
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
