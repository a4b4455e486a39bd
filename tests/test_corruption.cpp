// Damaged bitmaps: every cut, every change of a header byte and thousands of
// seeded random mutations of a few valid files. Each run of the decoder must
// end accepted with the whole table or rejected with its messages in order,
// and never touch memory outside the file or the table (the asan preset runs
// this suite under AddressSanitizer and UBSan to prove the last part).
#include "bmp_builder.h"
#include "bmp_verdict.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Base {
    std::string name;
    BmpPicture picture;
    BmpLayout layout;
};

// Odd widths (one to three padding bytes a row) and no padding, both row
// orders, a V5 header with a palette gap, a file ending right after its last pixel.
const std::vector<Base>& bases()
{
    static const std::vector<Base> all = {
        {"5x3 bottom-up", random_picture(5, 3, 11), {false, 40, 0, true}},
        {"7x4 top-down", random_picture(7, 4, 12), {true, 40, 0, true}},
        {"3x2 bottom-up V5 with palette gap", random_picture(3, 2, 13), {false, 124, 64, true}},
        {"1x5 top-down without last padding", random_picture(1, 5, 14), {true, 40, 0, false}},
        {"4x3 bottom-up V4", random_picture(4, 3, 15), {false, 108, 0, true}},
    };
    return all;
}

std::string describe(const std::vector<std::uint8_t>& bytes)
{
    std::string s = std::to_string(bytes.size()) + " bytes, header";
    for (std::size_t i = 0; i < bytes.size() && i < 34; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
        s += hex;
    }
    return s;
}

// The decoder's result against the verdict worked out from the bytes; returns
// "accepted" or the messages of the verdict.
std::string expect_verdict(const std::vector<std::uint8_t>& bytes, bool mark_white, const std::string& what)
{
    const BmpVerdict want = expected_verdict(bytes, mark_white);
    const Decoded d = decode(bytes, mark_white);
    EXPECT_EQ(lines_for(d.found), want.messages) << what << "; " << describe(bytes);
    if (!want.accepted) {
        EXPECT_EQ(d.table.values, std::vector<std::int32_t>{UNTOUCHED}) << what << ": rejected, table touched";
        return want.messages;
    }
    EXPECT_TRUE(d.table.values == want.values) << what << ": values differ";
    return "accepted";
}

TEST(Corruption, EveryCutOfAValidFile)
{
    // Accepted once the last pixel is in, whatever of the padding after it.
    for (const Base& base : bases()) {
        const std::vector<std::uint8_t> whole = make_bmp(base.picture, base.layout);
        const std::size_t pixel_end = make_bmp(base.picture, {base.layout.top_down, base.layout.info_size,
                                                              base.layout.gap, false}).size();
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            const std::string want = length >= pixel_end ? "accepted"
                                     : length < 34      ? "Datei zu kurz\n"
                                                        : "Bilddaten unvollstaendig\n";
            const std::string what = base.name + " cut to " + std::to_string(length);
            EXPECT_EQ(expect_verdict(cut, false, what), want) << what;
            EXPECT_EQ(expect_verdict(cut, true, what + " -wt"), want) << what << " -wt";
        }
    }
}

// Every change of one of the bytes 0-53 of a base file to 0x00, 0xFF, 0x80
// or to its value plus one. The bytes the decoder does not read (file size,
// reserved words, header size, planes, the later header fields) must leave
// the verdict as it was; the verdict, worked out from the bytes, says so.
TEST(Corruption, EveryHeaderByteChangeGetsItsVerdict)
{
    std::map<std::string, int> seen;
    for (const Base& base : bases()) {
        const std::vector<std::uint8_t> whole = make_bmp(base.picture, base.layout);
        for (std::size_t at = 0; at < 54; ++at) {
            const std::uint8_t old = whole[at];
            for (std::uint8_t to : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80},
                                    static_cast<std::uint8_t>(old + 1)}) {
                std::vector<std::uint8_t> changed = whole;
                changed[at] = to;
                char what[128];
                std::snprintf(what, sizeof what, "%s, byte %zu %02x -> %02x", base.name.c_str(), at, old, to);
                ++seen[expect_verdict(changed, false, what)];
                expect_verdict(changed, true, what + std::string(" -wt"));
            }
        }
    }
    // The sweep reaches every outcome but the short file, which the cuts cover.
    for (const char* outcome : {"accepted", "typ falsch\n", "bitcnt falsch\n", "compression falsch\n",
                                "Bildgroesse falsch\n", "Bilddaten unvollstaendig\n"}) {
        EXPECT_GT(seen[outcome], 0) << "no header change led to: " << outcome;
    }
}

// A small seeded generator, so that every run makes the same mutations.
std::uint32_t next_random(std::uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::vector<std::uint8_t> mutated(const std::vector<std::uint8_t>& whole, std::uint32_t& rng)
{
    // Values that sit on the edges of the checks when put into a 32-bit field.
    static const std::uint32_t edges[] = {0,          1,          2,          3,          24,
                                          34,         54,         0x7FFFFFFF, 0x80000000, 0x80000001,
                                          0xFFFFFFFF, 0xFFFFFFFE, 65535,      32767,      32768,
                                          65536,      46341,      0xFFFF8001};
    static const std::size_t fields[] = {10, 18, 22, 28, 30};
    std::vector<std::uint8_t> b = whole;
    const std::uint32_t edits = 1 + next_random(rng) % 4;
    for (std::uint32_t e = 0; e < edits; ++e) {
        const std::uint32_t r = next_random(rng);
        const std::size_t at = b.empty() ? 0 : next_random(rng) % b.size();
        switch (r % 8) {
        case 0:  // any byte, any value
            if (!b.empty()) {
                b[at] = static_cast<std::uint8_t>(r >> 8);
            }
            break;
        case 1:  // one bit
            if (!b.empty()) {
                b[at] ^= static_cast<std::uint8_t>(1u << ((r >> 8) % 8));
            }
            break;
        case 2: {  // a field the decoder reads, set to an edge value
            const std::size_t field = fields[(r >> 8) % 5];
            const std::uint32_t value = edges[(r >> 12) % (sizeof edges / sizeof edges[0])];
            if (b.size() >= field + 4) {
                put_le(b, field, value, field == 28 ? 2 : 4);
            }
            break;
        }
        case 3:  // cut anywhere
            b.resize(b.empty() ? 0 : at);
            break;
        case 4:  // bytes dropped from the middle
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), at + 1 + (r >> 8) % 8)));
            break;
        case 5:  // bytes put into the middle
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), 1 + (r >> 8) % 8, static_cast<std::uint8_t>(r >> 16));
            break;
        case 6: {  // width and height together just below, at and above the pixel limit
            static const std::int32_t sizes[][2] = {{65536, 32768},  {65536, -32768}, {2, 0x40000000},
                                                    {1, 0x7FFFFFFF},  {0x7FFFFFFF, -1}, {46341, 46340},
                                                    {46341, -46341}, {3, 715827882},  {3, 715827883}};
            const auto& pick = sizes[(r >> 8) % (sizeof sizes / sizeof sizes[0])];
            if (b.size() >= 26) {
                put_le(b, 18, static_cast<std::uint32_t>(pick[0]), 4);
                put_le(b, 22, static_cast<std::uint32_t>(pick[1]), 4);
            }
            break;
        }
        default:  // a small width or height, so that the pixel array still fits now and then
            if (b.size() >= 26) {
                put_le(b, (r >> 8) % 2 == 0 ? 18 : 22, (r >> 9) % 9 - ((r >> 13) % 2 == 0 ? 0 : 4), 4);
            }
            break;
        }
    }
    return b;
}

TEST(Corruption, SeededRandomMutations)
{
    std::uint32_t rng = 20240601;
    std::map<std::string, int> seen;
    for (const Base& base : bases()) {
        const std::vector<std::uint8_t> whole = make_bmp(base.picture, base.layout);
        for (int i = 0; i < 1000; ++i) {
            const std::vector<std::uint8_t> b = mutated(whole, rng);
            const bool mark_white = i % 2 == 1;
            ++seen[expect_verdict(b, mark_white, base.name + ", mutation " + std::to_string(i))];
            ASSERT_FALSE(HasFailure()) << "stopped at the first wrong verdict";
        }
    }
    for (const char* outcome : {"accepted", "Datei zu kurz\n", "typ falsch\n", "bitcnt falsch\n",
                                "compression falsch\n", "Bildgroesse falsch\n", "Bilddaten unvollstaendig\n"}) {
        EXPECT_GT(seen[outcome], 0) << "no mutation led to: " << outcome;
    }
}

TEST(Corruption, DamagedFilesThroughTheProgram)
{
    // A few of the mutations above, run as a user would: status 0 with the
    // whole table, or status 28 with the messages and an empty output.
    std::uint32_t rng = 777;
    const fs::path dir = make_temp_folder("corrupt");
    ASSERT_FALSE(dir.empty());
    int accepted = 0;
    int rejected = 0;
    for (const Base& base : bases()) {
        const std::vector<std::uint8_t> whole = make_bmp(base.picture, base.layout);
        for (int i = 0; i < 6; ++i) {
            const std::vector<std::uint8_t> b = mutated(whole, rng);
            const bool mark_white = i % 2 == 0;
            const std::string what = base.name + ", mutation " + std::to_string(i) + "; " + describe(b);
            write_file(dir / "in.bmp", bytes_of(b));
            std::vector<std::string> args = {"in.bmp", "out.h", "img"};
            if (mark_white) {
                args.push_back("-wt");
            }
            const ToolRun run = run_tool(dir, args);
            const BmpVerdict want = expected_verdict(b, mark_white);
            const std::string head = "oeffne Datei:in.bmp\nfilelaenge: " + std::to_string(b.size()) + "\n";
            if (want.accepted) {
                ++accepted;
                EXPECT_EQ(run.status, 0) << what;
                EXPECT_EQ(run.out, head) << what;
                EXPECT_TRUE(read_file(dir / "out.h") == reference_text("img", want.values)) << what;
            } else {
                ++rejected;
                EXPECT_EQ(run.status, 28) << what;
                EXPECT_EQ(run.out, head + want.messages + "Fehler beim lesen der Daten\n") << what;
                EXPECT_EQ(fs::file_size(dir / "out.h"), 0u) << what;
            }
            EXPECT_EQ(run.err, "") << what;
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 0);
    fs::remove_all(dir);
}

}  // namespace
