// Decoder for uncompressed 24-bit Windows bitmaps.
//
// Accepted: type "BM", 24 bits per pixel, compression 0 (BI_RGB), with any
// information header whose first 40 bytes have the classic layout (40, V4 and
// V5 headers); a palette or gap before the pixels is skipped through the
// pixel-data offset. Height >= 0 stores rows bottom row first, a negative
// height stores -height rows top row first. Rows are padded to 4 bytes.
//
// Rejected for one of the reasons below, each a flag of its own. The three
// format checks always run together, so a file may fail for all three at
// once; every other reason comes alone. The decoder prints nothing: the
// driver prints one line for each reason, in the order of the flags.
#pragma once

#include "common/records.h"

enum Rejection : unsigned {
    TOO_SHORT = 1u << 0,       // fewer than 34 bytes, the header cannot be read
    NOT_BM = 1u << 1,          // type is not "BM"
    NOT_24_BITS = 1u << 2,     // bit count is not 24
    COMPRESSED = 1u << 3,      // compression is not 0
    BAD_SIZE = 1u << 4,        // negative width, height INT32_MIN, or more than INT32_MAX pixels
    PIXELS_MISSING = 1u << 5,  // the pixel array does not lie within the file
};
constexpr int REJECTION_KINDS = 6;

// A set of Rejection flags; none for an accepted bitmap.
using Rejections = unsigned;

// Fills `table` from `input` and returns no reason, or returns the reasons
// the bitmap is rejected for and leaves `table` untouched. With mark_white,
// pure white (0xFFFFFF) is stored as -1.
Rejections decode_bmp24(const LoadedFile& input, PixelTable& table, bool mark_white);
