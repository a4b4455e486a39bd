// What both fuzz targets check on every input: the decoder's reasons and
// table against the outcome worked out from the bytes
// (tests/bmp_verdict.h). A broken property aborts, which libFuzzer records
// as a finding with the input that caused it.
#pragma once

#include "bmp_verdict.h"
#include "test_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline void fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// Decodes as the driver does and checks every property of the result.
inline Decoded fuzz_decode_checked(const LoadedFile& file, bool mark_white)
{
    const Decoded d = decode(file.bytes, mark_white);
    const BmpVerdict want = expected_verdict(file.bytes, mark_white);
    fuzz_require(lines_for(d.found) == want.messages, "the reasons of the failed checks, none when all pass");
    if (d.found != 0) {
        fuzz_require(d.table.values == std::vector<std::int32_t>{UNTOUCHED},
                     "a rejected bitmap leaves the table untouched");
        return d;
    }
    fuzz_require(d.table.values == want.values, "every value is the pixel's bytes in row order, -1 for white under -wt");
    return d;
}
