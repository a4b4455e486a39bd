#include "table/table_writer.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Text is handed to the stream in blocks of about this size: large enough
// that the calls cost nothing, small enough to stay in the processor's cache.
constexpr std::size_t BLOCK_BYTES = 256 << 10;

// The longest value line: five values of up to 11 characters
// ("-2147483648"), each with its comma, and the CR LF.
constexpr std::size_t LINE_BYTES = VALUES_PER_LINE * 12 + 2;

// The four digits of every number below 10000, leading zeros included, and
// how many of them are leading zeros: a pixel value (at most 16777215, eight
// digits) then takes two look-ups instead of eight divisions. 50 KB.
struct DigitTable {
    char digits[10000 * 4];
    unsigned char zeros[10000];
};

constexpr DigitTable make_digit_table()
{
    DigitTable t{};
    for (int n = 0; n < 10000; ++n) {
        t.digits[4 * n] = static_cast<char>('0' + n / 1000);
        t.digits[4 * n + 1] = static_cast<char>('0' + n / 100 % 10);
        t.digits[4 * n + 2] = static_cast<char>('0' + n / 10 % 10);
        t.digits[4 * n + 3] = static_cast<char>('0' + n % 10);
        t.zeros[n] = static_cast<unsigned char>(n >= 1000 ? 0 : n >= 100 ? 1 : n >= 10 ? 2 : 3);
    }
    return t;
}

constexpr DigitTable DIGITS = make_digit_table();

// Writes `value` in decimal and its comma at `at`; returns the end. It may
// write up to 3 bytes past the end, which the next text overwrites.
// A value of 0 to 99999999 is its leading part (0-9999) without leading
// zeros and, when that part is not 0, the last four digits. Both parts are
// always copied as four bytes (the first may take digits of the next
// number in the table, to be overwritten) and only the advance differs, so
// the length of a value costs no branch. The 3 bytes: a value below 10000
// copies its last four digits once more right behind itself, and the comma
// covers only the first of them.
char* put_value(char* at, std::int32_t value)
{
    if (static_cast<std::uint32_t>(value) >= 100000000u) {
        at = std::to_chars(at, at + 11, value).ptr;
        *at = ',';
        return at + 1;
    }
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint32_t high = v / 10000;
    const std::uint32_t low = v % 10000;
    const std::uint32_t first = high != 0 ? high : low;
    const unsigned zeros = DIGITS.zeros[first];
    std::memcpy(at, DIGITS.digits + 4 * first + zeros, 4);
    at += 4 - zeros;
    std::memcpy(at, DIGITS.digits + 4 * low, 4);
    at += high != 0 ? 4 : 0;
    *at = ',';
    return at + 1;
}

// Puts `line` and its CR LF at `at`, in the text on its way to the stream,
// and returns the end of what it wrote. `line` may already stand at `at`
// (a line built in place); then only the CR LF is added.
char* emit_line(char* at, std::string_view line)
{
    // A line built in place needs only its CR LF.
    if (line.data() != at) {
        std::memcpy(at, line.data(), line.size());
    }
    at += line.size();
    *at++ = '\r';
    *at++ = '\n';
    return at;
}

}  // namespace

void write_table(std::FILE* out, std::string_view name, const PixelTable& table)
{
    const std::size_t n = table.values.size();
    const std::string count = std::to_string(n);
    const std::string_view comment = "//Tabelle mit tafelix erzeugt: ";
    std::string declaration = "int ";
    declaration.append(name);
    declaration.append("[");
    declaration.append(count);
    declaration.append("]={");

    // The block holds the two opening lines, however long the name, and
    // then fills with value lines up to BLOCK_BYTES before each hand-over.
    // Value lines are built in place, with room for the 3 bytes put_value
    // may write past the end of a line.
    std::vector<char> block(BLOCK_BYTES + comment.size() + declaration.size() + 2 * LINE_BYTES + 3);
    char* const start = block.data();
    char* at = emit_line(start, comment);
    at = emit_line(at, declaration);

    const std::int32_t* values = table.values.data();
    const std::size_t full_lines = n / VALUES_PER_LINE;
    for (std::size_t i = 0; i < full_lines; ++i, values += VALUES_PER_LINE) {
        char* end = at;
        for (int k = 0; k < VALUES_PER_LINE; ++k) {
            end = put_value(end, values[k]);
        }
        at = emit_line(at, std::string_view(at, static_cast<std::size_t>(end - at)));
        if (static_cast<std::size_t>(at - start) >= BLOCK_BYTES) {
            std::fwrite(start, 1, static_cast<std::size_t>(at - start), out);
            at = start;
        }
    }
    // The rest of the values; an empty line when there is none.
    char* end = at;
    for (std::size_t k = 0; k < n % VALUES_PER_LINE; ++k) {
        end = put_value(end, values[k]);
    }
    at = emit_line(at, std::string_view(at, static_cast<std::size_t>(end - at)));
    at = emit_line(at, "};");
    std::fwrite(start, 1, static_cast<std::size_t>(at - start), out);
}
