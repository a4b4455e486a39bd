// What both fuzz targets check on every input: the decoder's messages,
// verdict and table against the outcome worked out from the bytes
// (tests/bmp_verdict.h). A broken property aborts, which libFuzzer records
// as a finding with the input that caused it.
#pragma once

#include "bitmap/bitmap_decoder.h"
#include "bmp_verdict.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline void fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

constexpr std::int32_t UNTOUCHED_COUNT = -12345;

struct FuzzDecoded {
    int result = 0;
    std::string printed;
    PixelTable table;
};

// Runs the decoder with an empty table, as the driver calls it, and catches
// what it prints. The targets run on Linux only, and glibc lets a program
// point stdout at another stream for a while.
inline FuzzDecoded fuzz_decode_bytes(const LoadedFile& file, int mark_white)
{
    FuzzDecoded d;
    d.table.count = UNTOUCHED_COUNT;
    char* printed = nullptr;
    std::size_t printed_size = 0;
    std::FILE* memory = open_memstream(&printed, &printed_size);
    fuzz_require(memory != nullptr, "open_memstream");
    std::FILE* console = stdout;
    stdout = memory;
    d.result = decode_bmp24(file, d.table, mark_white);
    stdout = console;
    std::fclose(memory);
    d.printed.assign(printed, printed_size);
    std::free(printed);
    return d;
}

// Decodes and checks every property of the decoder's result.
inline FuzzDecoded fuzz_decode_checked(const LoadedFile& file, int mark_white)
{
    const FuzzDecoded d = fuzz_decode_bytes(file, mark_white);
    const BmpVerdict want = expected_verdict(file.bytes, mark_white == 1);
    fuzz_require(d.result == 0 || d.result == -1, "the decoder returns 0 or -1");
    fuzz_require(d.printed == want.messages, "the decoder prints the messages of the failed checks, in order");
    fuzz_require((d.result == 0) == want.accepted, "accepted exactly when every check passes");
    if (d.result != 0) {
        fuzz_require(d.table.count == UNTOUCHED_COUNT && d.table.values.empty(),
                     "a rejected bitmap leaves the table untouched");
        return d;
    }
    const std::int64_t rows = want.height < 0 ? -want.height : want.height;
    fuzz_require(d.table.count == want.width * rows, "the count is width times rows");
    fuzz_require(d.table.values.size() == static_cast<std::size_t>(d.table.count),
                 "the table holds exactly count values");
    for (std::size_t k = 0; k < d.table.values.size(); ++k) {
        const std::int32_t v = d.table.values[k];
        fuzz_require((v >= 0 && v <= 0xFFFFFF) || (v == -1 && mark_white == 1),
                     "every value is 0..16777215, or -1 under -wt");
        fuzz_require(v == want.values[k], "every value is the pixel's bytes in row order");
    }
    return d;
}
