// The only file that calls the operating system directly.
#include "driver/platform.h"

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <stdio.h>
#include <sys/stat.h>
#endif

#if defined(__linux__)
#include <sys/mman.h>
// Turns already touched small pages into a large page on the spot (Linux
// 6.1 and later; older systems refuse it, which costs nothing).
#if !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25
#endif
#endif

#if defined(_WIN32)

namespace {

constexpr int BY_HANDLE_ID = 1;  // 32-bit volume serial, 64-bit file index
constexpr int FILE_ID_128 = 2;   // 64-bit volume serial, 128-bit file id

// The library's std::filesystem::equivalent compares drive letters first and
// calls C: and a drive mapped onto the same folder different files; the
// volume serial number and the file id of an open handle do not depend on
// the name the file was opened by.
FileFacts facts_of_handle(HANDLE handle)
{
    FileFacts facts;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(handle, &info) == 0) {
        return facts;
    }
    facts.known = true;
    facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.regular = !facts.directory;
    facts.size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) != 0) {
        facts.kind = FILE_ID_128;
        facts.volume = id.VolumeSerialNumber;
        static_assert(sizeof id.FileId.Identifier == sizeof facts.index, "a file id has 128 bits");
        std::memcpy(facts.index, id.FileId.Identifier, sizeof facts.index);
    } else {
        facts.kind = BY_HANDLE_ID;
        facts.volume = info.dwVolumeSerialNumber;
        facts.index[0] = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    }
    return facts;
}

}  // namespace

FileFacts facts_of_open_file(std::FILE* file)
{
    return facts_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

FileFacts facts_of_name(const char* name)
{
    // Asks for the attributes only, shares everything, and opens folders
    // too: the file is not changed and nobody else is kept from it.
    const HANDLE handle = CreateFileA(name, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    const FileFacts facts = facts_of_handle(handle);
    CloseHandle(handle);
    return facts;
}

unsigned begin_console_output()
{
    // Names reach the program in UTF-8 (the program's manifest makes it the
    // code page); a console shows them right only in that code page too.
    DWORD mode;
    const unsigned before = GetConsoleOutputCP();
    if (before == 0 || before == CP_UTF8 || GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0) {
        return 0;
    }
    SetConsoleOutputCP(CP_UTF8);
    return before;
}

void end_console_output(unsigned before)
{
    if (before != 0) {
        std::fflush(stdout);
        SetConsoleOutputCP(before);
    }
}

#else

namespace {

FileFacts facts_of_stat(const struct stat& info)
{
    FileFacts facts;
    facts.known = true;
    facts.directory = S_ISDIR(info.st_mode);
    facts.regular = S_ISREG(info.st_mode);
    facts.size = facts.regular && info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    facts.kind = 1;
    facts.volume = static_cast<std::uint64_t>(info.st_dev);
    facts.index[0] = static_cast<std::uint64_t>(info.st_ino);
    return facts;
}

}  // namespace

FileFacts facts_of_open_file(std::FILE* file)
{
    struct stat info;
    return fstat(fileno(file), &info) == 0 ? facts_of_stat(info) : FileFacts{};
}

FileFacts facts_of_name(const char* name)
{
    struct stat info;
    return stat(name, &info) == 0 ? facts_of_stat(info) : FileFacts{};
}

unsigned begin_console_output()
{
    return 0;
}

void end_console_output(unsigned) {}

#endif

bool same_file(const FileFacts& a, const FileFacts& b)
{
    return a.known && b.known && a.kind == b.kind && a.volume == b.volume && a.index[0] == b.index[0] &&
           a.index[1] == b.index[1];
}

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
