#include "bmp_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void expect_table(const Decoded& d, const std::vector<std::int32_t>& want, const std::string& what)
{
    ASSERT_EQ(lines_for(d.found), "") << what;
    ASSERT_EQ(d.table.values.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(d.table.values[i], want[i]) << what << ": value " << i;
    }
}

TEST(Decoder, SamePictureInEveryRowOrderWidthAndHeaderVersion)
{
    for (std::int32_t width = 1; width <= 9; ++width) {
        for (std::int32_t rows : {1, 2, 3, 7}) {
            const BmpPicture pic = random_picture(width, rows, static_cast<std::uint32_t>(width * 31 + rows));
            for (bool top_down : {false, true}) {
                for (std::uint32_t info_size : {40u, 108u, 124u}) {
                    for (bool last_padding : {true, false}) {
                        // A palette before the pixels of the V5 files.
                        const BmpLayout layout{top_down, info_size, info_size == 124 ? 1024u : 0u, last_padding};
                        const std::string what = std::to_string(width) + "x" + std::to_string(rows) +
                                                 (top_down ? " top-down" : " bottom-up") + " info " +
                                                 std::to_string(info_size) +
                                                 (last_padding ? "" : " no last padding");
                        expect_table(decode(make_bmp(pic, layout)), expected_values(pic, false), what);
                    }
                }
            }
        }
    }
}

TEST(Decoder, OnePixelIsBluePlusGreenTimes256PlusRedTimes65536)
{
    // Bottom-up 1x1: three pixel bytes (blue, green, red) and one padding byte.
    std::vector<std::uint8_t> bytes = make_bmp(BmpPicture{1, 1, {0}});
    ASSERT_EQ(bytes.size(), 54u + 4u);
    bytes[54] = 0x01;
    bytes[55] = 0x02;
    bytes[56] = 0x03;
    expect_table(decode(bytes), {0x030201}, "1x1");
}

TEST(Decoder, BottomUpStoresTheLastFileRowFirst)
{
    // Width 1, two rows: the second file row is element 0, one padding byte per row.
    std::vector<std::uint8_t> bytes = make_bmp(BmpPicture{1, 2, {0, 0}});
    ASSERT_EQ(bytes.size(), 54u + 8u);
    bytes[54] = 0x11;  // file row 0
    bytes[58] = 0x22;  // file row 1
    expect_table(decode(bytes), {0x22, 0x11}, "1x2");
}

TEST(Decoder, MarkWhiteTurnsOnlyPureWhiteIntoMinusOne)
{
    const BmpPicture pic{4, 1, {0xFFFFFF, 0xFFFFFE, 0xFEFFFF, 0xFFFEFF}};
    expect_table(decode(make_bmp(pic), 1), {-1, 0xFFFFFE, 0xFEFFFF, 0xFFFEFF}, "marked");
    expect_table(decode(make_bmp(pic), 0), {0xFFFFFF, 0xFFFFFE, 0xFEFFFF, 0xFFFEFF}, "unmarked");
}

TEST(Decoder, EmptyImagesAreAcceptedWithCountZero)
{
    for (auto [width, rows] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
        std::vector<std::uint8_t> bytes = make_bmp(BmpPicture{width, rows, {}});
        put_le(bytes, 10, 0xFFFFFFF0u, 4);  // the pixel offset does not matter then
        const Decoded d = decode(bytes);
        EXPECT_EQ(d.found, 0u) << width << "x" << rows;
        EXPECT_TRUE(d.table.values.empty()) << width << "x" << rows;
    }
}

struct BadHeader {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* printed;
};

std::vector<std::uint8_t> patched(std::size_t at, std::uint64_t value, int width, BmpPicture pic = {2, 2, {1, 2, 3, 4}})
{
    std::vector<std::uint8_t> bytes = make_bmp(pic);
    put_le(bytes, at, value, width);
    return bytes;
}

TEST(Decoder, RejectsEveryBadHeaderWithItsMessagesInOrder)
{
    std::vector<std::uint8_t> swapped = patched(0, 0x424D, 2);  // "MB"
    std::vector<std::uint8_t> all_bad = patched(0, 0, 2);
    put_le(all_bad, 28, 32, 2);
    put_le(all_bad, 30, 3, 4);
    std::vector<std::uint8_t> bitfields32 = patched(28, 32, 2);
    put_le(bitfields32, 30, 3, 4);
    std::vector<std::uint8_t> cut = make_bmp(BmpPicture{3, 3, std::vector<std::uint32_t>(9, 7)});
    cut.pop_back();  // last row cut inside its pixels, not only its padding
    cut.resize(cut.size() - 3);
    std::vector<std::uint8_t> short_all_bad(33, 0);

    const std::vector<BadHeader> cases = {
        {"type swapped", swapped, "typ falsch\n"},
        {"8 bits", patched(28, 8, 2), "bitcnt falsch\n"},
        {"32 bits bit fields", bitfields32, "bitcnt falsch\ncompression falsch\n"},
        {"RLE compression", patched(30, 1, 4), "compression falsch\n"},
        {"every check fails", all_bad, "typ falsch\nbitcnt falsch\ncompression falsch\n"},
        {"33 bytes", short_all_bad, "Datei zu kurz\n"},
        {"0 bytes", {}, "Datei zu kurz\n"},
        {"negative width", patched(18, 0xFFFFFFFFu, 4), "Bildgroesse falsch\n"},
        {"height INT32_MIN", patched(22, 0x80000000u, 4), "Bildgroesse falsch\n"},
        {"65536x32768 pixels", [] {
             std::vector<std::uint8_t> b = patched(18, 65536, 4);
             put_le(b, 22, 32768, 4);
             return b;
         }(), "Bildgroesse falsch\n"},
        {"65535x32767 in a tiny file", [] {
             std::vector<std::uint8_t> b = patched(18, 65535, 4);
             put_le(b, 22, 32767, 4);
             return b;
         }(), "Bilddaten unvollstaendig\n"},
        {"pixels cut off", cut, "Bilddaten unvollstaendig\n"},
        {"pixel offset past the end", patched(10, 0xFFFFFFFFu, 4), "Bilddaten unvollstaendig\n"},
        {"top-down taller than the file", patched(22, static_cast<std::uint32_t>(-3), 4), "Bilddaten unvollstaendig\n"},
    };
    for (const BadHeader& c : cases) {
        const Decoded d = decode(c.bytes);
        EXPECT_EQ(lines_for(d.found), c.printed) << c.what;
        EXPECT_EQ(d.table.values, std::vector<std::int32_t>{UNTOUCHED}) << c.what << ": table touched";
    }
}

TEST(Decoder, ExactFitAtTheEndOfTheFileIsAccepted)
{
    // The pixel array ends exactly at the last byte: no padding after the last row.
    const BmpPicture pic = random_picture(5, 3, 9);
    std::vector<std::uint8_t> bytes = make_bmp(pic, {false, 40, 0, false});
    expect_table(decode(bytes), expected_values(pic, false), "exact fit");
    bytes.pop_back();
    EXPECT_EQ(decode(bytes).found, PIXELS_MISSING);
}

}  // namespace
