// Helpers that the tests and the fuzz targets share: the decoder and the
// writer run in memory, the writer's text caught in a memory stream (POSIX)
// and read back.
#pragma once

#include "bitmap/bitmap_decoder.h"
#include "table/table_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline std::string bytes_of(const std::vector<std::uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

// A rejected bitmap must leave the table as it was: the decoder gets one
// holding just this value.
constexpr std::int32_t UNTOUCHED = 12345;

struct Decoded {
    Rejections found = 0;
    PixelTable table;
};

// The lines the program prints for the reasons in `found`, in order.
inline std::string lines_for(Rejections found)
{
    const char* const lines[REJECTION_KINDS + 1] = {
        "Datei zu kurz\n",      "typ falsch\n",         "bitcnt falsch\n", "compression falsch\n",
        "Bildgroesse falsch\n", "Bilddaten unvollstaendig\n", "(a flag of no known reason)\n"};
    std::string text;
    for (int k = 0; k < REJECTION_KINDS; ++k) {
        text += (found & (1u << k)) != 0 ? lines[k] : "";
    }
    return text + ((found >> REJECTION_KINDS) != 0 ? lines[REJECTION_KINDS] : "");
}

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

inline Decoded decode(const std::vector<std::uint8_t>& bytes, bool mark_white = false)
{
    Decoded d;
    d.table.values = {UNTOUCHED};
    d.found = decode_bmp24(LoadedFile{bytes}, d.table, mark_white);
    return d;
}

// The include file that the writer makes of `table`.
inline std::string written_text(std::string_view name, const PixelTable& table)
{
    return text_written_by([&](std::FILE* memory) { write_table(memory, name, table); });
}

// An include file read back by the layout table_writer.h describes.
struct TableText {
    std::string name;
    std::vector<long> values;
    std::string broken;  // the first rule of the layout the text breaks; "" when none
};

inline TableText read_table_text(std::string_view text)
{
    TableText t;
    const auto broken = [&t](const char* rule) {
        t.broken = rule;
        return std::move(t);
    };
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size(); at += lines.back().size() + 2) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string_view::npos) {
            return broken("every line ends in CR LF");
        }
        lines.push_back(text.substr(at, end - at));
        if (lines.back().find_first_of("\r\n") != std::string_view::npos) {
            return broken("no CR or LF inside a line");
        }
    }
    if (lines.size() < 4 || lines.front() != "//Tabelle mit tafelix erzeugt: " || lines.back() != "};") {
        return broken("the comment line first, the closing line last");
    }
    const std::string_view declaration = lines[1];
    const std::size_t open = declaration.rfind('[');
    if (declaration.substr(0, 4) != "int " || open == std::string_view::npos || open + 4 > declaration.size() ||
        declaration.substr(declaration.size() - 3) != "]={") {
        return broken("the declaration line");
    }
    t.name = std::string(declaration.substr(4, open - 4));
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        int on_line = 0;
        for (std::size_t at = 0; at < lines[i].size(); ++on_line) {
            const std::size_t comma = lines[i].find(',', at);
            const std::string item(lines[i].substr(at, comma - at));
            t.values.push_back(std::strtol(item.c_str(), nullptr, 10));
            if (comma == std::string_view::npos || std::to_string(t.values.back()) != item) {
                return broken("plain decimal values, each followed by a comma");
            }
            at = comma + 1;
        }
        if (i + 2 < lines.size() ? on_line != VALUES_PER_LINE : on_line >= VALUES_PER_LINE) {
            return broken("five values a line, the rest on the last value line");
        }
    }
    if (declaration.substr(open + 1, declaration.size() - open - 4) != std::to_string(t.values.size())) {
        return broken("the declared count is the number of values");
    }
    return t;
}
