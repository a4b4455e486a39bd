// Decoder for uncompressed 24-bit Windows bitmaps.
//
// Accepted: type "BM", 24 bits per pixel, compression 0 (BI_RGB), with any
// information header whose first 40 bytes have the classic layout (40, V4 and
// V5 headers); a palette or gap before the pixels is skipped through the
// pixel-data offset. Height >= 0 stores rows bottom row first, a negative
// height stores -height rows top row first. Rows are padded to 4 bytes.
//
// Rejected, each with its own message on standard output:
//   "Datei zu kurz"            fewer than 34 bytes, the header cannot be read
//   "typ falsch"               type is not "BM"
//   "bitcnt falsch"            bit count is not 24
//   "compression falsch"       compression is not 0
//   "Bildgroesse falsch"       negative width, height INT32_MIN, or more than
//                              INT32_MAX pixels
//   "Bilddaten unvollstaendig" the pixel array does not lie within the file
// The three format checks always run together, so a file failing all three
// prints all three messages in that order.
#pragma once

#include "common/records.h"

// Fills `table` from `input`. Returns 0 for an accepted bitmap, -1 for a
// rejected one; a rejected bitmap leaves `table` untouched. With mark_white,
// pure white (0xFFFFFF) is stored as -1.
int decode_bmp24(const LoadedFile& input, PixelTable& table, bool mark_white);
