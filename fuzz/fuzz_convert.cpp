// Fuzz target: the whole conversion in memory. Any bytes are decoded with
// and without "-wt"; an accepted bitmap's tables are written into memory and
// the text is read back line by line.
#include "fuzz_check.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

// Parses the decimal numbers of a value line, each followed by a comma.
std::vector<long> values_on(std::string_view line)
{
    std::vector<long> values;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t comma = line.find(',', at);
        fuzz_require(comma != std::string_view::npos && comma > at, "every value is followed by a comma");
        const std::string item(line.substr(at, comma - at));
        char* end = nullptr;
        values.push_back(std::strtol(item.c_str(), &end, 10));
        fuzz_require(*end == '\0' && (item == "0" || (item[0] != '0' && item.rfind("-0", 0) != 0)),
                     "values are plain decimal numbers");
        at = comma + 1;
    }
    return values;
}

void check_text(const std::string& text, const PixelTable& table)
{
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find("\r\n", at);
        fuzz_require(end != std::string_view::npos, "every line ends in CR LF");
        const std::string_view line = all.substr(at, end - at);
        fuzz_require(line.find_first_of("\r\n") == std::string_view::npos, "no CR or LF inside a line");
        lines.push_back(line);
        at = end + 2;
    }
    const std::size_t n = table.values.size();
    fuzz_require(lines.size() == n / VALUES_PER_LINE + 4, "the text has n/5 + 4 lines");
    fuzz_require(lines.front() == "//Tabelle mit tafelix erzeugt: ", "the comment line");
    fuzz_require(lines.back() == "};", "the closing line");

    const std::string_view declaration = lines[1];
    fuzz_require(declaration.substr(0, 8) == "int img[" &&
                     declaration.substr(declaration.size() - 3) == "]={",
                 "the declaration line");
    const std::string declared(declaration.substr(8, declaration.size() - 11));
    fuzz_require(declared == std::to_string(n), "the declared count is the table's");
    std::size_t read = 0;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::vector<long> values = values_on(lines[i]);
        const bool last = i + 2 == lines.size();
        fuzz_require(values.size() == (last ? n % VALUES_PER_LINE : VALUES_PER_LINE),
                     "five values a line, the rest on the last value line");
        for (long v : values) {
            fuzz_require(v == table.values[read++], "the values in table order");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoadedFile file;
    file.bytes.assign(data, data + size);
    // Each verdict is checked against the bytes, with and without -wt.
    for (int mark_white : {0, 1}) {
        const Decoded d = fuzz_decode_checked(file, mark_white);
        if (d.result == 0) {
            check_text(written_text("img", d.table), d.table);
        }
    }
    return 0;
}
