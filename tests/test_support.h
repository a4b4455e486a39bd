// Helpers that the tests and the fuzz targets share: the decoder and the
// writer run in memory, with what they print or write caught as text.
// They point stdout at an in-memory stream for a while, which the POSIX
// systems the tests run on allow.
#pragma once

#include "bitmap/bitmap_decoder.h"
#include "table/table_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

inline std::string bytes_of(const std::vector<std::uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

// A rejected bitmap must leave the table as it was: the decoder gets one
// with this count.
constexpr std::int32_t UNTOUCHED_COUNT = 12345;

struct Decoded {
    int result = 0;
    std::string printed;  // everything the decoder wrote to stdout
    PixelTable table;
};

// Calls `write` with a stream in memory and returns what it wrote there.
template <typename Write>
std::string text_written_by(Write write)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    if (memory == nullptr) {
        std::abort();
    }
    write(memory);
    std::fclose(memory);
    std::string s(text, size);
    std::free(text);
    return s;
}

// Runs the decoder as the driver calls it and catches what it prints.
inline Decoded decode_captured(const LoadedFile& file, int mark_white)
{
    Decoded d;
    d.table.count = UNTOUCHED_COUNT;
    d.printed = text_written_by([&](std::FILE* memory) {
        std::FILE* console = stdout;
        stdout = memory;
        d.result = decode_bmp24(file, d.table, mark_white);
        stdout = console;
    });
    return d;
}

// The include file that the writer makes of `table`.
inline std::string written_text(std::string_view name, const PixelTable& table)
{
    return text_written_by([&](std::FILE* memory) { write_table(memory, name, table); });
}
