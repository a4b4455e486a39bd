// What the converter must make of any byte string, worked out the slow and
// obvious way, pixel by pixel, straight from the bytes: the lines printed
// for the decoder's reasons and, for an accepted bitmap, every value of the table.
// The corruption tests and the fuzz targets hold the decoder against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BmpVerdict {
    bool accepted = false;
    std::string messages;               // the lines for the decoder's reasons
    std::int64_t width = 0;             // as stored
    std::int64_t height = 0;            // as stored, negative for top-down
    std::vector<std::int32_t> values;   // accepted: the whole table
};

inline std::uint64_t verdict_field(const std::vector<std::uint8_t>& b, std::size_t at, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v * 256 + b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

inline std::int64_t verdict_signed32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    const std::uint64_t v = verdict_field(b, at, 4);
    return v >= 0x80000000u ? static_cast<std::int64_t>(v) - 0x100000000 : static_cast<std::int64_t>(v);
}

inline BmpVerdict expected_verdict(const std::vector<std::uint8_t>& b, bool mark_white)
{
    BmpVerdict v;
    if (b.size() < 34) {
        v.messages = "Datei zu kurz\n";
        return v;
    }
    if (b[0] != 'B' || b[1] != 'M') {
        v.messages += "typ falsch\n";
    }
    if (verdict_field(b, 28, 2) != 24) {
        v.messages += "bitcnt falsch\n";
    }
    if (verdict_field(b, 30, 4) != 0) {
        v.messages += "compression falsch\n";
    }
    if (!v.messages.empty()) {
        return v;
    }
    v.width = verdict_signed32(b, 18);
    v.height = verdict_signed32(b, 22);
    const std::int64_t rows = v.height < 0 ? -v.height : v.height;
    if (v.width < 0 || v.height == -2147483648LL || v.width * rows > 2147483647LL) {
        v.messages = "Bildgroesse falsch\n";
        return v;
    }
    const std::int64_t stride = (3 * v.width + 3) / 4 * 4;
    const std::int64_t offset = static_cast<std::int64_t>(verdict_field(b, 10, 4));
    // The last byte of the last pixel must be in the file; the padding after it need not.
    const std::int64_t pixel_end = offset + stride * rows - (stride - 3 * v.width);
    if (v.width * rows > 0 && pixel_end > static_cast<std::int64_t>(b.size())) {
        v.messages = "Bilddaten unvollstaendig\n";
        return v;
    }
    v.accepted = true;
    for (std::int64_t k = 0; k < v.width * rows; ++k) {
        const std::int64_t row = k / v.width;  // table row, top row 0
        const std::int64_t file_row = v.height < 0 ? row : rows - 1 - row;
        const auto at = static_cast<std::size_t>(offset + file_row * stride + 3 * (k % v.width));
        const std::int32_t value = b[at] + 256 * b[at + 1] + 65536 * b[at + 2];
        v.values.push_back(mark_white && value == 0xFFFFFF ? -1 : value);
    }
    return v;
}
