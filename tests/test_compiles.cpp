// The written file is C source: a C program that includes it sees exactly
// the pixels that went into the bitmap.
#include "bmp_builder.h"
#include "run_tool.h"

#include <gtest/gtest.h>

namespace {

TEST(Output, CompilesAndHoldsThePixels)
{
    struct Case {
        std::int32_t width, rows;
        bool top_down, mark_white;
    };
    for (const Case& c : {Case{13, 7, false, false}, Case{13, 7, true, true}, Case{4, 3, false, true}}) {
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.rows) +
                                 (c.top_down ? " top-down" : " bottom-up") + (c.mark_white ? " -wt" : "");
        const fs::path dir = make_temp_folder("compile");
        const BmpPicture pic = random_picture(c.width, c.rows, 77);
        BmpLayout layout;
        layout.top_down = c.top_down;
        const std::vector<std::uint8_t> bmp = make_bmp(pic, layout);
        write_file(dir / "in.bmp", std::string(bmp.begin(), bmp.end()));
        std::vector<std::string> args = {"in.bmp", "pixels.h", "pixels"};
        if (c.mark_white) {
            args.push_back("-wt");
        }
        ASSERT_EQ(run_tool(dir, args).status, 0) << what;
        write_file(dir / "main.c",
                   "#include <stdio.h>\n#include \"pixels.h\"\n"
                   "int main(void) {\n"
                   "    unsigned i;\n"
                   "    for (i = 0; i < sizeof pixels / sizeof pixels[0]; ++i) printf(\"%d\\n\", pixels[i]);\n"
                   "    return 0;\n}\n");
        const std::string build = "cd " + shell_quote(dir.string()) + " && " + shell_quote(TAFELIX_C_COMPILER) +
                                  " -std=c99 -Wall -Werror -o show main.c && ./show > values.txt";
        ASSERT_EQ(std::system(build.c_str()), 0) << what;
        std::string want;
        for (std::int32_t v : expected_values(pic, c.mark_white)) {
            want += std::to_string(v) + "\n";
        }
        EXPECT_EQ(read_file(dir / "values.txt"), want) << what;
        fs::remove_all(dir);
    }
}

}  // namespace
