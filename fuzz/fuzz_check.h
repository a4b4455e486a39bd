// What both fuzz targets check on every input: the decoder's messages,
// verdict and table against the outcome worked out from the bytes
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
inline Decoded fuzz_decode_checked(const LoadedFile& file, int mark_white)
{
    const Decoded d = decode_captured(file, mark_white);
    const BmpVerdict want = expected_verdict(file.bytes, mark_white == 1);
    fuzz_require(d.printed == want.messages, "the decoder prints the messages of the failed checks, in order");
    fuzz_require(d.result == (want.accepted ? 0 : -1), "0 exactly when every check passes, else -1");
    if (d.result != 0) {
        fuzz_require(d.table.values == std::vector<std::int32_t>{UNTOUCHED},
                     "a rejected bitmap leaves the table untouched");
        return d;
    }
    fuzz_require(d.table.values == want.values, "every value is the pixel's bytes in row order, -1 for white under -wt");
    return d;
}
