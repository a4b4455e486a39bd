// Fuzz target: the whole conversion in memory. Any bytes are decoded with
// and without "-wt"; an accepted bitmap's tables are written into memory and
// the text is read back line by line.
#include "fuzz_check.h"
#include "table/table_writer.h"

#include <string_view>
#include <vector>

namespace {

std::string written(const PixelTable& table)
{
    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* memory = open_memstream(&text, &text_size);
    fuzz_require(memory != nullptr, "open_memstream");
    write_table(memory, "img", table);
    fuzz_require(std::ferror(memory) == 0, "the writer's stream has no error");
    std::fclose(memory);
    std::string s(text, text_size);
    std::free(text);
    return s;
}

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
    std::size_t read = 0;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::vector<long> values = values_on(lines[i]);
        const bool last = i + 2 == lines.size();
        fuzz_require(values.size() == (last ? n % VALUES_PER_LINE : VALUES_PER_LINE),
                     "five values a line, the rest on the last value line");
        for (long v : values) {
            fuzz_require(read < n && v == table.values[read], "the values in table order");
            ++read;
        }
    }
    fuzz_require(read == n, "every value is written");
    fuzz_require(declared == std::to_string(read), "the declared count equals the values written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoadedFile file;
    file.bytes.assign(data, data + size);
    const FuzzDecoded plain = fuzz_decode_checked(file, 0);
    const FuzzDecoded marked = fuzz_decode_checked(file, 1);
    fuzz_require(plain.result == marked.result && plain.printed == marked.printed,
                 "-wt does not change the verdict");
    if (plain.result != 0) {
        return 0;
    }
    fuzz_require(plain.table.count == marked.table.count, "-wt does not change the count");
    for (std::size_t k = 0; k < plain.table.values.size(); ++k) {
        const std::int32_t v = plain.table.values[k];
        fuzz_require(marked.table.values[k] == (v == 0xFFFFFF ? -1 : v), "-wt turns exactly pure white into -1");
    }
    check_text(written(plain.table), plain.table);
    check_text(written(marked.table), marked.table);
    return 0;
}
