// What the driver asks of the operating system, in one place: which file an
// open file or a name is, and large memory pages for the two big buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What the system says of a file. Two names lead to the same file exactly
// when their identities are equal, whatever the spelling: another path, a
// hard or symbolic link, another drive letter, a network or \\?\ path.
struct FileFacts {
    bool known = false;      // the system answered; nothing else holds otherwise
    bool directory = false;
    bool regular = false;    // a file on a disk: no folder, device, pipe or terminal
    std::uint64_t size = 0;  // of a regular file, in bytes
    // The identity: the volume and the file's number on it (POSIX: device
    // and inode; Windows: volume serial number and file id, the 128-bit
    // one where the file system gives it, which `kind` tells).
    int kind = 0;
    std::uint64_t volume = 0;
    std::uint64_t index[2] = {0, 0};
};

FileFacts facts_of_open_file(std::FILE* file);
// The file a name leads to, links followed; not known when there is none.
// The file is neither created nor changed.
FileFacts facts_of_name(const char* name);
bool same_file(const FileFacts& a, const FileFacts& b);

// On a Windows console, shows the program's UTF-8 text in UTF-8 for the
// run; returns what end_console_output needs to put the console back.
// Elsewhere nothing to do.
unsigned begin_console_output();
void end_console_output(unsigned before);

// Large buffers backed by large memory pages where the system offers them.
//
// The input and the pixel table are the program's two big buffers (about
// 112 MiB for a 4096x4096 bitmap). Touching fresh memory one 4 KiB page at a
// time costs a page fault per page, and on virtual machines a fault can cost
// 10-15 microseconds: 64 MiB then takes about 250 ms to touch once, against
// about 6 ms in 2 MiB pages. On Linux with transparent huge pages in
// "madvise" mode, asking for large pages before the first touch avoids that.
// Elsewhere both functions change nothing but a capacity.

// The capacity to reserve for `bytes`: from 256 KiB on, a whole number of
// large pages less the allocator's bookkeeping, so that the allocation can
// start on a large-page boundary. Never less than `bytes`.
std::size_t large_buffer_capacity(std::size_t bytes);

// Asks for large pages for the whole large pages of [data, data + capacity)
// that lie inside [data, data + used), and for the last one when `used`
// fills at least an eighth of it. Call it right after the allocation,
// before the memory is first touched. Only a hint: a refusal changes nothing.
void advise_large_pages(const void* data, std::size_t used, std::size_t capacity);
