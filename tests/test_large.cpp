// Large bitmaps, where the loader reads many blocks, the buffers span many
// memory pages and the writer hands over many blocks of text: the built
// program's output must still equal, byte for byte, the slow formatter's.
#include "bmp_builder.h"
#include "driver/driver.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// "" when equal, else where the two texts part; never the whole text.
std::string difference(const std::string& have, const std::string& want)
{
    const std::size_t n = std::min(have.size(), want.size());
    std::size_t at = 0;
    while (at < n && have[at] == want[at]) {
        ++at;
    }
    if (at == n && have.size() == want.size()) {
        return "";
    }
    return "have " + std::to_string(have.size()) + " bytes, want " + std::to_string(want.size()) +
           "; first difference at byte " + std::to_string(at) + ": have \"" + have.substr(at, 20) +
           "\", want \"" + want.substr(at, 20) + "\"";
}

TEST(Large, OutputEqualsTheSlowFormatter)
{
    struct Case {
        std::string what;
        std::int32_t width, rows;
        bool top_down, last_row_padding, mark_white, through_pipe;
    };
    // 2048x2048 has 4194304 values, so the last value line holds four.
    // The odd width pads every row with three bytes; without the last row's
    // padding the final pixel ends the file.
    const std::vector<Case> cases = {
        {"2048x2048 bottom-up, white marked", 2048, 2048, false, true, true, false},
        {"2047x2049 top-down, last row unpadded", 2047, 2049, true, false, false, false},
        {"2048x2048 from a pipe, no size known", 2048, 2048, false, true, false, true},
    };
    for (const Case& c : cases) {
        if (c.through_pipe && testing_windows_build()) {
            continue;  // /dev/stdin exists only on POSIX systems
        }
        const BmpPicture pic = random_picture(c.width, c.rows, static_cast<std::uint32_t>(c.width + c.rows));
        const std::string bmp = bytes_of(make_bmp(pic, {c.top_down, 40, 0, c.last_row_padding}));
        const fs::path dir = make_temp_folder("large");
        ASSERT_FALSE(dir.empty());
        write_file(dir / "in.bmp", bmp);

        std::vector<std::string> args = {c.through_pipe ? "/dev/stdin" : "in.bmp", "out.h", "img"};
        if (c.mark_white) {
            args.push_back("-wt");
        }
        const ToolRun run = run_tool(dir, args, c.through_pipe ? "cat in.bmp" : "");
        EXPECT_EQ(run.status, 0) << c.what;
        EXPECT_EQ(run.out, "oeffne Datei:" + args[0] + "\nfilelaenge: " + std::to_string(bmp.size()) + "\n")
            << c.what;
        EXPECT_EQ(difference(read_file(dir / "out.h"), reference_text("img", expected_values(pic, c.mark_white))),
                  "")
            << c.what;
        fs::remove_all(dir);
    }
}

// The loader takes the file's size only as a hint: a file that grew or
// shrank since its size was taken, or whose size is unknown, is still
// loaded whole and exactly.
TEST(Large, LoaderReadsTheWholeFileWhateverTheSizeHint)
{
    std::vector<std::uint8_t> bytes(5 * 1048576 + 12345);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    const std::uintmax_t size = bytes.size();
    for (std::uintmax_t hint : {std::uintmax_t{0}, size, size - 1, size / 2, size + 1, size + 4 * 1048576u,
                                std::uintmax_t{1}}) {
        std::FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::rewind(f);
        LoadedFile loaded;
        EXPECT_EQ(load_input(f, hint, loaded), LoadResult::ok) << "hint " << hint;
        EXPECT_EQ(loaded.bytes.size(), bytes.size()) << "hint " << hint;
        EXPECT_TRUE(loaded.bytes == bytes) << "hint " << hint << ": bytes differ";
        std::fclose(f);
    }
}

}  // namespace
