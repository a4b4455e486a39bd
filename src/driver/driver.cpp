#include "driver/driver.h"

#include "bitmap/bitmap_decoder.h"
#include "driver/platform.h"
#include "table/table_writer.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

constexpr std::size_t READ_BYTES = 1 << 20;
constexpr std::uintmax_t MAX_INPUT = std::numeric_limits<std::int32_t>::max();

// Every line the program prints, in the order a run can print them; "%s"
// stands for the input's name or length. A failure's exit status is the
// length of its line in characters, so each failure has its own status
// (21, 22, 28, 39, 41).
enum Message {
    USAGE,
    OPENING,
    NO_INPUT,
    NO_OUTPUT,
    TOO_LARGE,
    UNREADABLE,
    LENGTH,
    FIRST_REJECTION,  // the decoder's reasons, in the order of their flags
    READ_FAILED = FIRST_REJECTION + REJECTION_KINDS,
    WRITE_FAILED,
    NO_MEMORY,
    MESSAGE_COUNT
};

const char* const MESSAGES[] = {
    "Converter fuer bmp 24 bit nach c file zum includieren V1.0\n"
    "Quendrak\n"
    "tafelix filename outputname  varname\n",
    "oeffne Datei:%s\n",
    "Datei nicht vorhanden\n",
    "Ausgabedatei kann nicht geoeffnet werden\n",
    "Datei zu gross\n",
    "Datei kann nicht gelesen werden\n",
    "filelaenge: %s\n",
    "Datei zu kurz\n",             // TOO_SHORT
    "typ falsch\n",                // NOT_BM
    "bitcnt falsch\n",             // NOT_24_BITS
    "compression falsch\n",        // COMPRESSED
    "Bildgroesse falsch\n",        // BAD_SIZE
    "Bilddaten unvollstaendig\n",  // PIXELS_MISSING
    "Fehler beim lesen der Daten\n",
    "Fehler beim schreiben der Ausgabedatei\n",
    "Nicht genug Speicher\n",
};
static_assert(std::size(MESSAGES) == MESSAGE_COUNT, "a line for each message");

void say(std::FILE* console, Message message, const char* detail = "")
{
    std::fprintf(console, MESSAGES[message], detail);
}

int status_of(Message failure)
{
    return static_cast<int>(std::strlen(MESSAGES[failure]));
}

int fail(std::FILE* console, Message failure)
{
    say(console, failure);
    return status_of(failure);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
// Closes the file on every way out of a run, a failed allocation included.
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// A directory is no bitmap; refusing it here keeps the outcome the same on
// systems where opening a directory for reading succeeds.
OpenFile open_input(const char* name, FileFacts& facts)
{
    OpenFile in(std::fopen(name, "rb"));
    if (in) {
        facts = facts_of_open_file(in.get());
        if (facts.directory) {
            in.reset();
        }
    }
    return in;
}

// Opening the output empties it. It must not be the input (the same path, a
// link, another spelling or drive letter), nor the file that standard output
// was sent to, where the console lines would overwrite the table. Files are
// told apart by what they are, not by how they are named.
bool output_is_taken(const FileFacts& input, const char* output_name, std::FILE* console)
{
    const FileFacts output = facts_of_name(output_name);
    if (!output.known) {
        return false;
    }
    const FileFacts printed_to = facts_of_open_file(console);
    return same_file(output, input) || (printed_to.regular && same_file(output, printed_to));
}

// Sets aside the table's storage before the decoder fills it, so that it
// can be asked for large pages before its first touch. Every pixel takes at
// least three bytes of the file, so a file of `length` bytes holds at most
// length / 3 pixels and the decoder never has to grow the storage.
// The header is not checked yet: when that much memory cannot be had, the
// decoder is left to take exactly what the bitmap needs, or to reject it.
void reserve_table(PixelTable& table, std::size_t length)
{
    const std::size_t most = length / 3;
    const std::size_t capacity = large_buffer_capacity(most * sizeof(std::int32_t)) / sizeof(std::int32_t);
    try {
        table.values.reserve(capacity);
    } catch (const std::bad_alloc&) {
        return;
    } catch (const std::length_error&) {
        return;
    }
    advise_large_pages(table.values.data(), most * sizeof(std::int32_t),
                       table.values.capacity() * sizeof(std::int32_t));
}

// Standard output sent into the input file (appended to it, opened onto it,
// through a link or another name) would write the console lines into the
// bitmap. Asked of the names only: the input is not opened for it.
bool console_is_input(const char* input_name, std::FILE* console)
{
    const FileFacts printed_to = facts_of_open_file(console);
    return printed_to.regular && same_file(printed_to, facts_of_name(input_name));
}

// Prints the line of each reason the decoder found, in the order of the flags.
void say_rejections(std::FILE* console, Rejections found)
{
    static_assert(PIXELS_MISSING == 1u << (REJECTION_KINDS - 1), "one line for each reason");
    for (int k = 0; k < REJECTION_KINDS; ++k) {
        if ((found & (1u << k)) != 0) {
            say(console, static_cast<Message>(FIRST_REJECTION + k));
        }
    }
}

int convert(const char* input_name, const char* output_name, const char* array_name, bool mark_white,
            std::FILE* console)
{
    // Refused before the first line, which would land in the bitmap: with
    // the status of the message that cannot be printed, and nothing printed.
    if (console_is_input(input_name, console)) {
        return status_of(NO_OUTPUT);
    }
    say(console, OPENING, input_name);
    FileFacts input_facts;
    OpenFile in = open_input(input_name, input_facts);
    if (!in) {
        return fail(console, NO_INPUT);
    }
    if (output_is_taken(input_facts, output_name, console)) {
        return fail(console, NO_OUTPUT);
    }
    OpenFile out(std::fopen(output_name, "wb"));
    if (!out) {
        return fail(console, NO_OUTPUT);
    }

    LoadedFile input;
    PixelTable table;
    const LoadResult loaded = load_input(in.get(), input_facts.regular ? input_facts.size : 0, input);
    if (loaded != LoadResult::ok) {
        say(console, loaded == LoadResult::too_large ? TOO_LARGE : UNREADABLE);
        return fail(console, READ_FAILED);
    }
    char length[16];
    *std::to_chars(length, length + sizeof length - 1, input.bytes.size()).ptr = '\0';
    say(console, LENGTH, length);
    reserve_table(table, input.bytes.size());
    const Rejections found = decode_bmp24(input, table, mark_white);
    if (found != 0) {
        say_rejections(console, found);
        return fail(console, READ_FAILED);
    }

    write_table(out.get(), array_name, table);
    const bool write_failed = std::ferror(out.get()) != 0;
    const bool close_failed = std::fclose(out.release()) != 0;
    if (write_failed || close_failed) {
        return fail(console, WRITE_FAILED);
    }
    return 0;
}

}  // namespace

LoadResult load_input(std::FILE* in, std::uintmax_t expected_size, LoadedFile& file)
{
    if (expected_size > MAX_INPUT) {
        return LoadResult::too_large;
    }
    const auto expected = static_cast<std::size_t>(expected_size);
    std::vector<std::uint8_t>& bytes = file.bytes;
    bytes.clear();
    bytes.reserve(large_buffer_capacity(expected));
    advise_large_pages(bytes.data(), expected, bytes.capacity());
    std::size_t length = 0;
    for (;;) {
        // Blocks end exactly at the expected size, and one byte is tried
        // there: a file that has not grown never makes the buffer grow.
        if (length == expected && expected > 0) {
            const int next = std::fgetc(in);
            if (next == EOF) {
                break;
            }
            std::ungetc(next, in);
        }
        const std::size_t want = length < expected ? std::min(READ_BYTES, expected - length) : READ_BYTES;
        bytes.resize(length + want);
        const std::size_t got = std::fread(bytes.data() + length, 1, want, in);
        length += got;
        if (length > MAX_INPUT) {
            bytes.clear();
            bytes.shrink_to_fit();
            return LoadResult::too_large;
        }
        if (got < want) {
            break;
        }
    }
    bytes.resize(length);
    return std::ferror(in) != 0 ? LoadResult::read_error : LoadResult::ok;
}

int run_tafelix(int argc, char** argv, std::FILE* console)
{
    // The switch may stand anywhere, even among the first three arguments,
    // where it is then also taken as a name.
    bool mark_white = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-wt") == 0) {
            mark_white = true;
        }
    }
    if (argc <= 3) {
        say(console, USAGE);
        return 0;
    }
    try {
        return convert(argv[1], argv[2], argv[3], mark_white, console);
    } catch (const std::bad_alloc&) {
        return fail(console, NO_MEMORY);
    }
}
