// Fuzz target: the whole conversion in memory. Any bytes are decoded with
// and without "-wt"; an accepted bitmap's tables are written into memory and
// the text is read back line by line.
#include "fuzz_check.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoadedFile file;
    file.bytes.assign(data, data + size);
    // Each verdict is checked against the bytes, with and without -wt.
    for (bool mark_white : {false, true}) {
        const Decoded d = fuzz_decode_checked(file, mark_white);
        if (d.found == 0) {
            const TableText text = read_table_text(written_text("img", d.table));
            fuzz_require(text.broken.empty(), text.broken.c_str());
            fuzz_require(text.name == "img", "the array's name");
            fuzz_require(std::equal(text.values.begin(), text.values.end(), d.table.values.begin(),
                                    d.table.values.end()),
                         "the values in table order");
        }
    }
    return 0;
}
