// The page's preview: the program's own table, made by the program's own
// decoder, as the canvas's RGBA words. The page reads the table here instead
// of parsing the text the program wrote, which took longer than the
// conversion itself. Only the page links this file; the console program and
// the include file's bytes do not change.
#include "bitmap/bitmap_decoder.h"
#include "common/records.h"

#include <emscripten/emscripten.h>

#include <cstdint>

namespace {

LoadedFile input;
PixelTable table;

}  // namespace

extern "C" {

// Room for the bitmap's `length` bytes, which the page copies in.
EMSCRIPTEN_KEEPALIVE std::uint8_t* tafelix_preview_input(std::int32_t length)
{
    input.bytes.resize(static_cast<std::size_t>(length));
    return input.bytes.data();
}

// Decodes the bitmap as the program does and turns each value into the
// canvas's word, little-endian RGBA: 0xFFBBGGRR, and -1 (pure white under
// -wt) fully transparent. Returns the words, table_count() of them, or null
// for a bitmap the program rejects.
EMSCRIPTEN_KEEPALIVE std::uint32_t* tafelix_preview(int mark_white)
{
    if (decode_bmp24(input, table, mark_white != 0) != 0) {
        return nullptr;
    }
    for (std::int32_t& value : table.values) {
        const auto v = static_cast<std::uint32_t>(value);
        value = value == -1 ? 0 : static_cast<std::int32_t>(0xff000000u | (v & 0xffu) << 16 | (v & 0xff00u) | (v >> 16 & 0xffu));
    }
    return reinterpret_cast<std::uint32_t*>(table.values.data());
}

EMSCRIPTEN_KEEPALIVE std::int32_t tafelix_preview_count()
{
    return static_cast<std::int32_t>(table.values.size());
}

// Gives the memory back, for the program's next run to take.
EMSCRIPTEN_KEEPALIVE void tafelix_preview_end()
{
    input = LoadedFile{};
    table = PixelTable{};
}

}
