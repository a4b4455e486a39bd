// A small writer of 24-bit bitmaps for the tests: every test makes the files
// it needs from a picture, so no opaque binary fixtures are needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BmpPicture {
    std::int32_t width = 0;
    std::int32_t rows = 0;               // number of rows
    std::vector<std::uint32_t> pixels;   // 0xRRGGBB, top row first
};

// Written in this order as {top_down, info_size, gap, last_row_padding}.
struct BmpLayout {
    bool top_down = false;               // stores a negative height
    std::uint32_t info_size = 40;        // 40, 108 (V4) or 124 (V5)
    std::uint32_t gap = 0;               // palette or other bytes before the pixels
    bool last_row_padding = true;        // false: the file ends right after the last pixel
};

inline void put_le(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline std::vector<std::uint8_t> make_bmp(const BmpPicture& pic, const BmpLayout& layout = {})
{
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(pic.width);
    const std::size_t stride = (row_bytes + 3) / 4 * 4;
    const std::size_t start = 14 + layout.info_size + layout.gap;
    std::size_t size = start + stride * static_cast<std::size_t>(pic.rows);
    if (!layout.last_row_padding && pic.rows > 0) {
        size -= stride - row_bytes;
    }
    std::vector<std::uint8_t> out(size, 0);
    out[0] = 'B';
    out[1] = 'M';
    put_le(out, 2, size, 4);
    put_le(out, 10, start, 4);
    put_le(out, 14, layout.info_size, 4);
    put_le(out, 18, static_cast<std::uint32_t>(pic.width), 4);
    const std::int32_t height = layout.top_down ? -pic.rows : pic.rows;
    put_le(out, 22, static_cast<std::uint32_t>(height), 4);
    put_le(out, 26, 1, 2);
    put_le(out, 28, 24, 2);  // bits per pixel; compression stays 0
    for (std::size_t i = 0; i < layout.gap; ++i) {
        out[14 + layout.info_size + i] = static_cast<std::uint8_t>(0xA5 ^ i);  // never pixel data
    }
    for (std::int32_t r = 0; r < pic.rows; ++r) {
        const std::int32_t file_row = layout.top_down ? r : pic.rows - 1 - r;
        std::size_t at = start + static_cast<std::size_t>(file_row) * stride;
        for (std::int32_t c = 0; c < pic.width; ++c, at += 3) {
            const std::uint32_t v = pic.pixels[static_cast<std::size_t>(r * pic.width + c)];
            out[at] = static_cast<std::uint8_t>(v);
            out[at + 1] = static_cast<std::uint8_t>(v >> 8);
            out[at + 2] = static_cast<std::uint8_t>(v >> 16);
        }
        for (std::size_t p = row_bytes; p < stride && at < size; ++p, ++at) {
            out[at] = 0xEE;  // padding that must never show up as a value
        }
    }
    return out;
}

// A picture of pseudo-random colours from `seed`, with a pure white pixel
// and a near-white one (0xFFFFFE) wherever there is room.
inline BmpPicture random_picture(std::int32_t width, std::int32_t rows, std::uint32_t seed)
{
    BmpPicture pic{width, rows, {}};
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::int32_t i = 0; i < width * rows; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        pic.pixels.push_back(x & 0xFFFFFF);
    }
    if (!pic.pixels.empty()) {
        pic.pixels[0] = 0xFFFFFF;
    }
    if (pic.pixels.size() > 1) {
        pic.pixels.back() = 0xFFFFFE;
    }
    return pic;
}

// The values the program must produce for `pic`.
inline std::vector<std::int32_t> expected_values(const BmpPicture& pic, bool mark_white)
{
    std::vector<std::int32_t> values;
    for (std::uint32_t p : pic.pixels) {
        values.push_back(mark_white && p == 0xFFFFFF ? -1 : static_cast<std::int32_t>(p));
    }
    return values;
}

// The include file for `values`, built the slow and obvious way, one
// formatted print per value.
inline std::string reference_text(const std::string& name, const std::vector<std::int32_t>& values)
{
    std::string text = "//Tabelle mit tafelix erzeugt: \r\nint " + name + "[" +
                       std::to_string(values.size()) + "]={\r\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        char item[16];
        std::snprintf(item, sizeof item, "%d,", values[i]);
        text += item;
        if (i % 5 == 4) {
            text += "\r\n";
        }
    }
    return text + "\r\n};\r\n";
}
