// Fuzz target: decode_bmp24 on any bytes, as the driver calls it.
// The decoder never reads the reserved bytes 6-9, so bit 0 of byte 6 picks
// "-wt" without changing what the decoder has to make of the rest.
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoadedFile file;
    file.bytes.assign(data, data + size);
    const bool mark_white = size > 6 && (data[6] & 1) != 0;
    fuzz_decode_checked(file, mark_white);
    return 0;
}
