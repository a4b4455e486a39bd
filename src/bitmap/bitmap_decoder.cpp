#include "bitmap/bitmap_decoder.h"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// Field offsets from the start of the file. They are the same in the 40-byte
// information header and in its longer later versions.
constexpr std::size_t TYPE_AT = 0;
constexpr std::size_t PIXEL_OFFSET_AT = 10;
constexpr std::size_t WIDTH_AT = 18;
constexpr std::size_t HEIGHT_AT = 22;
constexpr std::size_t BIT_COUNT_AT = 28;
constexpr std::size_t COMPRESSION_AT = 30;
constexpr std::size_t HEADER_END = 34;

constexpr std::uint32_t TYPE_BM = 0x4D42;

std::uint32_t read_u16(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}

std::uint32_t read_u32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t read_s32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(read_u32(p));
}

// Converts `n` pixels of three bytes each (blue, green, red) at `src` to
// values at `dst`. All but the last are read as four bytes, the fourth
// belonging to the next pixel: one load instead of three. The last is read
// as three bytes, so nothing past the n pixels is touched.
void convert_pixels(const std::uint8_t* src, std::size_t n, std::int32_t white, std::int32_t* dst)
{
    if (n == 0) {
        return;
    }
    for (std::size_t i = 0; i + 1 < n; ++i, src += 3) {
        const auto value = static_cast<std::int32_t>(read_u32(src) & 0xFFFFFF);
        dst[i] = value == 0xFFFFFF ? white : value;
    }
    const auto value = static_cast<std::int32_t>(src[0] | (src[1] << 8) | (src[2] << 16));
    dst[n - 1] = value == 0xFFFFFF ? white : value;
}

}  // namespace

Rejections decode_bmp24(const LoadedFile& input, PixelTable& table, bool mark_white)
{
    const std::uint8_t* file = input.bytes.data();
    const std::size_t length = input.bytes.size();
    if (length < HEADER_END) {
        return TOO_SHORT;
    }

    Rejections format = 0;
    if (read_u16(file + TYPE_AT) != TYPE_BM) {
        format |= NOT_BM;
    }
    if (read_u16(file + BIT_COUNT_AT) != 24) {
        format |= NOT_24_BITS;
    }
    if (read_u32(file + COMPRESSION_AT) != 0) {
        format |= COMPRESSED;
    }
    if (format != 0) {
        return format;
    }

    const std::int64_t width = read_s32(file + WIDTH_AT);
    const std::int32_t height = read_s32(file + HEIGHT_AT);
    // A negative height means top-down rows; INT32_MIN has no positive
    // counterpart, so it is refused before it is negated.
    if (width < 0 || height == std::numeric_limits<std::int32_t>::min()) {
        return BAD_SIZE;
    }
    const bool top_down = height < 0;
    const std::int64_t rows = top_down ? -static_cast<std::int64_t>(height) : height;
    const std::int64_t pixels = width * rows;
    if (pixels > std::numeric_limits<std::int32_t>::max()) {
        return BAD_SIZE;
    }
    if (pixels == 0) {
        table.values.clear();
        return 0;
    }

    // Each row is padded to a multiple of 4 bytes; the last row's padding
    // may be missing from the file.
    const std::int64_t row_bytes = 3 * width;
    const std::int64_t stride = (row_bytes + 3) & ~std::int64_t{3};
    const std::int64_t start = read_u32(file + PIXEL_OFFSET_AT);
    if (start + stride * (rows - 1) + row_bytes > static_cast<std::int64_t>(length)) {
        return PIXELS_MISSING;
    }

    // Every pixel read below lies inside the file: proven by the check above.
    const auto cols = static_cast<std::size_t>(width);
    const auto row_count = static_cast<std::size_t>(rows);
    table.values.resize(static_cast<std::size_t>(pixels));
    std::int32_t* out = table.values.data();
    const std::int32_t white = mark_white ? -1 : 0xFFFFFF;
    for (std::size_t r = 0; r < row_count; ++r) {
        const std::uint8_t* src =
            file + static_cast<std::size_t>(start) + r * static_cast<std::size_t>(stride);
        const std::size_t table_row = top_down ? r : row_count - 1 - r;
        convert_pixels(src, cols, white, out + table_row * cols);
    }
    return 0;
}
