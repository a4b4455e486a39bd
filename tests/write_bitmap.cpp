// Writes bitmaps made by bmp_builder.h: for the integration scripts, the
// page's test and the benchmark one bitmap, for the fuzzers a seed corpus.
//
//   write_bitmap OUT.bmp WIDTH ROWS SEED [--top-down] [--v5]
//                [--values FILE] [--marked FILE]
//   write_bitmap --seeds FOLDER
//
// --values and --marked write the values the picture must give, one a line,
// without and with -wt. --seeds fills FOLDER with valid bitmaps of many
// shapes and one of each way a header can be rejected.
#include "bmp_builder.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

bool save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "write_bitmap: cannot write " << path << "\n";
    }
    return static_cast<bool>(out);
}

bool write_values(const std::string& path, const std::vector<std::int32_t>& values)
{
    std::ofstream out(path, std::ios::binary);
    for (std::int32_t v : values) {
        out << v << '\n';
    }
    return static_cast<bool>(out);
}

std::vector<std::uint8_t> patched(std::vector<std::uint8_t> bytes, std::size_t at, std::uint64_t value, int width)
{
    put_le(bytes, at, value, width);
    return bytes;
}

int write_seeds(const std::string& folder)
{
    int written = 0;
    bool ok = true;
    const auto seed = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        ok = save(folder + "/" + name + ".bmp", bytes) && ok;
        ++written;
    };
    for (std::int32_t width : {0, 1, 2, 3, 4, 5, 7}) {
        for (std::int32_t rows : {0, 1, 3}) {
            const BmpPicture pic = random_picture(width, rows, static_cast<std::uint32_t>(width * 8 + rows));
            for (bool top_down : {false, true}) {
                for (std::uint32_t info_size : {40u, 108u, 124u}) {
                    for (bool last_row_padding : {true, false}) {
                        seed("w" + std::to_string(width) + "-r" + std::to_string(rows) +
                                 (top_down ? "-topdown" : "-bottomup") + "-info" + std::to_string(info_size) +
                                 (last_row_padding ? "" : "-tight"),
                             make_bmp(pic, {top_down, info_size, info_size == 124 ? 20u : 0u, last_row_padding}));
                    }
                }
            }
        }
    }
    const std::vector<std::uint8_t> valid = make_bmp(random_picture(5, 3, 99));
    seed("reject-type", patched(valid, 0, 0x424D, 2));
    seed("reject-8bit", patched(valid, 28, 8, 2));
    seed("reject-32bit-bitfields", patched(patched(valid, 28, 32, 2), 30, 3, 4));
    seed("reject-rle", patched(valid, 30, 1, 4));
    seed("reject-short", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 33));
    seed("reject-negative-width", patched(valid, 18, 0xFFFFFFFFu, 4));
    seed("reject-height-min", patched(valid, 22, 0x80000000u, 4));
    seed("reject-too-many-pixels", patched(patched(valid, 18, 65536, 4), 22, 32768, 4));
    std::vector<std::uint8_t> huge_claim = patched(patched(valid, 18, 65535, 4), 22, 32767, 4);
    huge_claim.resize(60);
    seed("reject-65535x32767-in-60-bytes", huge_claim);
    seed("reject-offset-past-end", patched(valid, 10, 0xFFFFFFF0u, 4));
    seed("reject-cut", std::vector<std::uint8_t>(valid.begin(), valid.end() - 5));
    std::cout << "write_bitmap: " << written << " seeds in " << folder << "\n";
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--seeds") {
        return write_seeds(argv[2]);
    }
    if (argc < 5) {
        std::cerr << "usage: write_bitmap OUT.bmp WIDTH ROWS SEED [--top-down] [--v5] "
                     "[--values FILE] [--marked FILE]\n       write_bitmap --seeds FOLDER\n";
        return 2;
    }
    const long width = std::atol(argv[2]);
    const long rows = std::atol(argv[3]);
    // The builder counts pixels in 32 bits.
    if (width < 0 || rows < 0 || width > 46340 || rows > 46340) {
        std::cerr << "write_bitmap: width and rows must be 0 to 46340\n";
        return 2;
    }
    const BmpPicture pic = random_picture(static_cast<std::int32_t>(width), static_cast<std::int32_t>(rows),
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
    if (!save(argv[1], make_bmp(pic, layout)) ||
        (!values_file.empty() && !write_values(values_file, expected_values(pic, false))) ||
        (!marked_file.empty() && !write_values(marked_file, expected_values(pic, true)))) {
        std::cerr << "write_bitmap: cannot write\n";
        return 1;
    }
    return 0;
}
