#include "table/table_writer.h"

#include <charconv>
#include <cstddef>

namespace {

// Text is handed to the stream in blocks of about this size.
constexpr std::size_t BLOCK_BYTES = 1 << 20;

void flush_block(std::FILE* out, std::string& block)
{
    if (!block.empty()) {
        std::fwrite(block.data(), 1, block.size(), out);
        block.clear();
    }
}

}  // namespace

void emit_line(std::string& block, std::string_view line)
{
    block.append(line);
    block.append("\r\n", 2);
}

void write_table(std::FILE* out, std::string_view name, const PixelTable& table)
{
    std::string block;
    block.reserve(BLOCK_BYTES + 256);

    emit_line(block, "//Tabelle mit tafelix erzeugt: ");
    std::string declaration = "int ";
    declaration.append(name);
    declaration.append("[");
    declaration.append(std::to_string(table.count));
    declaration.append("]={");
    emit_line(block, declaration);

    // A value is at most 9 characters ("-1" or up to 8 digits) plus its comma.
    char line_buffer[VALUES_PER_LINE * 12];
    char* end = line_buffer;
    int on_line = 0;
    const std::int32_t* values = table.values.data();
    const std::size_t count = table.count > 0 ? static_cast<std::size_t>(table.count) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        end = std::to_chars(end, line_buffer + sizeof line_buffer - 1, values[i]).ptr;
        *end++ = ',';
        if (++on_line == VALUES_PER_LINE) {
            emit_line(block, std::string_view(line_buffer, static_cast<std::size_t>(end - line_buffer)));
            end = line_buffer;
            on_line = 0;
            if (block.size() >= BLOCK_BYTES) {
                flush_block(out, block);
            }
        }
    }
    emit_line(block, std::string_view(line_buffer, static_cast<std::size_t>(end - line_buffer)));
    emit_line(block, "};");
    flush_block(out, block);
}
