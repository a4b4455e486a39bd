// The only file with a call of the operating system's memory interface.
#include "driver/large_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
// Turns already touched small pages into a large page on the spot (Linux
// 6.1 and later; older systems refuse it, which costs nothing).
#if !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25
#endif
#endif

namespace {

constexpr std::size_t LARGE_PAGE = std::size_t{2} << 20;

// The allocator keeps a few bytes of bookkeeping in front of a large block
// and maps the two together; when the mapping is a whole number of large
// pages, the system places it on a large-page boundary.
constexpr std::size_t ALLOCATOR_HEADER = 64;

#if defined(MADV_HUGEPAGE)
constexpr std::size_t SMALL_PAGE = std::size_t{4} << 10;

std::uintptr_t round_down(std::uintptr_t value, std::size_t unit)
{
    return value / unit * unit;
}
#endif

}  // namespace

std::size_t large_buffer_capacity(std::size_t bytes)
{
    if (bytes < LARGE_PAGE / 8) {
        return bytes;
    }
    return (bytes + ALLOCATOR_HEADER + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE - ALLOCATOR_HEADER;
}

void advise_large_pages(const void* data, std::size_t used, std::size_t capacity)
{
#if defined(MADV_HUGEPAGE)
    if (data == nullptr || used < LARGE_PAGE / 8) {
        return;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = round_down(first, SMALL_PAGE);
    // The last large page counts when at least an eighth of it is used: 64
    // small-page faults cost more time than zeroing one large page, but a
    // barely used large page would only waste memory.
    std::uintptr_t end = round_down(first + used + LARGE_PAGE - LARGE_PAGE / 8, LARGE_PAGE);
    const std::uintptr_t mapped_end = round_down(first + capacity + SMALL_PAGE - 1, SMALL_PAGE);
    if (end > mapped_end) {
        end = mapped_end;
    }
    if (end <= begin) {
        return;
    }
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    // The allocator has already written its bookkeeping into the first
    // small page, so the first large page would stay in small pages (512
    // faults); it is made a large page now.
    const std::uintptr_t head = round_down(begin, LARGE_PAGE);
    if (head == begin && head + LARGE_PAGE <= end) {
        madvise(reinterpret_cast<void*>(head), LARGE_PAGE, MADV_COLLAPSE);
    }
#else
    (void)data;
    (void)used;
    (void)capacity;
#endif
}
