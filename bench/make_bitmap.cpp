// Writes the benchmark's input: a bottom-up 24-bit bitmap of pseudo-random
// pixels, the same bytes for the same width, height and seed on every run.
//
//   tafelix_make_bitmap WIDTH HEIGHT SEED OUT.bmp
//
// The pixels and the file layout come from the tests' bitmap builder, so the
// benchmark converts the very kind of file the tests check.
#include "bmp_builder.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: tafelix_make_bitmap WIDTH HEIGHT SEED OUT.bmp\n", stderr);
        return 2;
    }
    const long width = std::strtol(argv[1], nullptr, 10);
    const long height = std::strtol(argv[2], nullptr, 10);
    const unsigned long seed = std::strtoul(argv[3], nullptr, 10);
    // The builder counts pixels in 32 bits.
    if (width <= 0 || height <= 0 || width > 46340 || height > 46340) {
        std::fputs("tafelix_make_bitmap: width and height must be 1 to 46340\n", stderr);
        return 2;
    }
    const BmpPicture picture = random_picture(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                                              static_cast<std::uint32_t>(seed));
    const std::vector<std::uint8_t> bytes = make_bmp(picture);
    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr) {
        std::perror(argv[4]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[4]);
        return 1;
    }
    return 0;
}
