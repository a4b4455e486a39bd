// Writes a test bitmap made by bmp_builder.h, for the integration scripts:
//
//   write_bitmap OUT.bmp WIDTH ROWS SEED [--top-down] [--v5]
//                [--values FILE] [--marked FILE]
//
// --values and --marked write the values the picture must give, one a line,
// without and with -wt.
#include "bmp_builder.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

bool write_values(const std::string& path, const std::vector<std::int32_t>& values)
{
    std::ofstream out(path, std::ios::binary);
    for (std::int32_t v : values) {
        out << v << '\n';
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::cerr << "usage: write_bitmap OUT.bmp WIDTH ROWS SEED [--top-down] [--v5] "
                     "[--values FILE] [--marked FILE]\n";
        return 2;
    }
    const BmpPicture pic = random_picture(std::atoi(argv[2]), std::atoi(argv[3]),
                                          static_cast<std::uint32_t>(std::atol(argv[4])));
    BmpLayout layout;
    std::string values_file, marked_file;
    for (int i = 5; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--top-down") {
            layout.top_down = true;
        } else if (arg == "--v5") {
            layout.info_size = 124;
            layout.gap = 1024;  // a palette the pixels start behind
        } else if (arg == "--values" && i + 1 < argc) {
            values_file = argv[++i];
        } else if (arg == "--marked" && i + 1 < argc) {
            marked_file = argv[++i];
        } else {
            std::cerr << "write_bitmap: unknown argument " << arg << "\n";
            return 2;
        }
    }
    const std::vector<std::uint8_t> bmp = make_bmp(pic, layout);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    out.close();
    if (!out || (!values_file.empty() && !write_values(values_file, expected_values(pic, false))) ||
        (!marked_file.empty() && !write_values(marked_file, expected_values(pic, true)))) {
        std::cerr << "write_bitmap: cannot write\n";
        return 1;
    }
    return 0;
}
