// The command-line driver: argument handling, loading, and the run sequence.
#pragma once

#include "common/records.h"

#include <cstdint>
#include <cstdio>

enum class LoadResult { ok, read_error, too_large };

// Reads `in` from its current position to the end, in large blocks.
// `expected_size` (0 when unknown) only sizes the first allocation.
// Files of more than INT32_MAX bytes are not loaded further: too_large.
LoadResult load_input(std::FILE* in, std::uintmax_t expected_size, LoadedFile& file);

// The whole run for one command line, its lines printed to `console`
// (standard output for the program); returns the process's exit status.
int run_tafelix(int argc, char** argv, std::FILE* console);
