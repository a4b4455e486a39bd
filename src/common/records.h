// Records shared by the loader, the decoder and the writer.
#pragma once

#include <cstdint>
#include <vector>

// The input file's bytes, whole and in file order. The loader refuses files
// of more than INT32_MAX bytes, so the length always fits a signed 32-bit count.
struct LoadedFile {
    std::vector<std::uint8_t> bytes;
};

// One value per pixel, top row first, each row left to right: 0x00RRGGBB,
// or -1 for pure white when white is marked transparent.
// Element k is the pixel in row k / width, column k % width.
struct PixelTable {
    std::vector<std::int32_t> values;
};
