// The Windows build, run under Wine, writes the very bytes that the Linux
// build writes for the same bitmap, and prints the same messages.
//
// Run with TAFELIX_EXE naming tafelix.exe and TAFELIX_WRAPPER=wine (the
// "windows" tests of the "windows-test" preset do so).
#include "bmp_builder.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

namespace {

struct Conversion {
    std::string name;
    BmpPicture picture;       // made by the test, or
    std::string corpus_file;  // a file of the corpus
    bool top_down = false;
    bool mark_white = false;
};

// A random picture that also holds pixels made of the bytes CR, LF and 0x1A
// (end of file), which a stream in text mode would mangle on Windows; its
// first pixel stays pure white and its last near-white.
BmpPicture picture(std::int32_t width, std::int32_t rows, std::uint32_t seed)
{
    BmpPicture pic = random_picture(width, rows, seed);
    const std::uint32_t awkward[] = {0x0D0A1A, 0x1A1A1A, 0x0A0D0A};
    for (std::size_t i = 0; i < 3 && 1 + i < pic.pixels.size() - 1; ++i) {
        pic.pixels[1 + i] = awkward[i];
    }
    return pic;
}

std::vector<Conversion> conversions()
{
    std::vector<Conversion> all;
    auto add_picture = [&all](const std::string& name, const BmpPicture& pic) {
        for (bool top_down : {false, true}) {
            for (bool mark_white : {false, true}) {
                all.push_back({name + (top_down ? "_top_down" : "_bottom_up") + (mark_white ? "_wt" : ""), pic, "",
                               top_down, mark_white});
            }
        }
    };
    for (std::int32_t width = 1; width <= 9; ++width) {
        add_picture("width_" + std::to_string(width), picture(width, 3, static_cast<std::uint32_t>(width)));
    }
    // Over 2 MiB of text, written in several blocks.
    add_picture("large", picture(1000, 300, 99));
    for (const char* file : {"g/rgb24.bmp", "g/rgb24pal.bmp", "q/rgb24largepal.bmp", "q/rgb24lprof.bmp"}) {
        std::string name = std::string("corpus_") + file;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        all.push_back({name, {}, file, false, false});
    }
    return all;
}

void PrintTo(const Conversion& c, std::ostream* os)
{
    *os << c.name;
}

class SameOutput : public testing::TestWithParam<Conversion> {};

TEST_P(SameOutput, WindowsBuildWritesTheLinuxBuildsBytes)
{
    ASSERT_TRUE(testing_windows_build()) << "TAFELIX_EXE must name the Windows build, have " << tool_path();
    const Conversion& c = GetParam();
    std::string bmp;
    std::optional<std::string> want;
    if (c.corpus_file.empty()) {
        bmp = bytes_of(make_bmp(c.picture, {c.top_down}));
        want = reference_text("img", expected_values(c.picture, c.mark_white));
    } else {
        bmp = read_file(fs::path(TAFELIX_TEST_DATA) / "bmpsuite" / c.corpus_file);
    }
    ASSERT_FALSE(bmp.empty());
    const fs::path dir = make_temp_folder("same");
    ASSERT_FALSE(dir.empty());
    write_file(dir / "in.bmp", bmp);
    auto args = [&c](const std::string& output) {
        std::vector<std::string> a = {"in.bmp", output, "img"};
        if (c.mark_white) {
            a.push_back("-wt");
        }
        return a;
    };

    const ToolRun linux_run = run_program(native_build(), dir, args("linux.h"));
    const ToolRun windows_run = run_tool(dir, args("windows.h"));
    const std::string linux_bytes = read_file(dir / "linux.h");
    const std::string windows_bytes = read_file(dir / "windows.h");

    EXPECT_EQ(linux_run.status, 0);
    EXPECT_EQ(windows_run.status, linux_run.status);
    EXPECT_EQ(windows_run.out, linux_run.out);
    EXPECT_FALSE(linux_bytes.empty());
    EXPECT_TRUE(windows_bytes == linux_bytes)
        << "have " << windows_bytes.size() << " bytes from the Windows build, want the Linux build's "
        << linux_bytes.size();
    if (want) {
        EXPECT_TRUE(linux_bytes == *want) << "the Linux build's output differs from the expected file";
    }
    fs::remove_all(dir);
}

std::string case_name(const testing::TestParamInfo<Conversion>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, SameOutput, testing::ValuesIn(conversions()), case_name);

}  // namespace
