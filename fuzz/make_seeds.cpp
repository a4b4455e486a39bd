// Writes the fuzzers' seed corpus into the folder given as argument: valid
// bitmaps of many shapes from the tests' bitmap builder, and one of each way
// a header can be rejected.
#include "bmp_builder.h"

#include <cstdio>
#include <string>

namespace {

int written = 0;

bool save(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = folder + "/" + name + ".bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ++written;
    return std::fclose(f) == 0 && ok;
}

std::vector<std::uint8_t> patched(std::vector<std::uint8_t> bytes, std::size_t at, std::uint64_t value, int width)
{
    put_le(bytes, at, value, width);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    for (std::int32_t width : {0, 1, 2, 3, 4, 5, 7}) {
        for (std::int32_t rows : {0, 1, 3}) {
            const BmpPicture pic = random_picture(width, rows, static_cast<std::uint32_t>(width * 8 + rows));
            for (bool top_down : {false, true}) {
                for (std::uint32_t info_size : {40u, 108u, 124u}) {
                    for (bool last_row_padding : {true, false}) {
                        const BmpLayout layout{top_down, info_size, info_size == 124 ? 20u : 0u,
                                               last_row_padding};
                        const std::string name = "w" + std::to_string(width) + "-r" + std::to_string(rows) +
                                                 (top_down ? "-topdown" : "-bottomup") + "-info" +
                                                 std::to_string(info_size) + (last_row_padding ? "" : "-tight");
                        ok = save(folder, name, make_bmp(pic, layout)) && ok;
                    }
                }
            }
        }
    }
    const std::vector<std::uint8_t> valid = make_bmp(random_picture(5, 3, 99));
    ok = save(folder, "reject-type", patched(valid, 0, 0x424D, 2)) && ok;
    ok = save(folder, "reject-8bit", patched(valid, 28, 8, 2)) && ok;
    ok = save(folder, "reject-32bit-bitfields", patched(patched(valid, 28, 32, 2), 30, 3, 4)) && ok;
    ok = save(folder, "reject-rle", patched(valid, 30, 1, 4)) && ok;
    ok = save(folder, "reject-short", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 33)) && ok;
    ok = save(folder, "reject-negative-width", patched(valid, 18, 0xFFFFFFFFu, 4)) && ok;
    ok = save(folder, "reject-height-min", patched(valid, 22, 0x80000000u, 4)) && ok;
    ok = save(folder, "reject-too-many-pixels", patched(patched(valid, 18, 65536, 4), 22, 32768, 4)) && ok;
    std::vector<std::uint8_t> huge_claim = patched(patched(valid, 18, 65535, 4), 22, 32767, 4);
    huge_claim.resize(60);
    ok = save(folder, "reject-65535x32767-in-60-bytes", huge_claim) && ok;
    ok = save(folder, "reject-offset-past-end", patched(valid, 10, 0xFFFFFFF0u, 4)) && ok;
    ok = save(folder, "reject-cut", std::vector<std::uint8_t>(valid.begin(), valid.end() - 5)) && ok;
    std::printf("make_seeds: %d files in %s\n", written, folder.c_str());
    return ok ? 0 : 1;
}
