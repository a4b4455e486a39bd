// Large buffers backed by large memory pages where the system offers them.
//
// The input and the pixel table are the program's two big buffers (about
// 112 MiB for a 4096x4096 bitmap). Touching fresh memory one 4 KiB page at a
// time costs a page fault per page, and on virtual machines a fault can cost
// 10-15 microseconds: 64 MiB then takes about 250 ms to touch once, against
// about 6 ms in 2 MiB pages. On Linux with transparent huge pages in
// "madvise" mode, asking for large pages before the first touch avoids that.
// Elsewhere both functions change nothing but a capacity.
#pragma once

#include <cstddef>

// The capacity to reserve for `bytes`: from 256 KiB on, a whole number of
// large pages less the allocator's bookkeeping, so that the allocation can
// start on a large-page boundary. Never less than `bytes`.
std::size_t large_buffer_capacity(std::size_t bytes);

// Asks for large pages for the whole large pages of [data, data + capacity)
// that lie inside [data, data + used), and for the last one when `used`
// fills at least an eighth of it. Call it right after the allocation,
// before the memory is first touched. Only a hint: a refusal changes nothing.
void advise_large_pages(const void* data, std::size_t used, std::size_t capacity);
