// How much memory a run takes, measured inside the process: operator new
// and delete are replaced here by versions that count the bytes in use and
// keep their peak. The run's large blocks (the loaded file, the pixel
// table, the text on its way out) all come through them.
#include "bmp_builder.h"
#include "driver/driver.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

std::size_t bytes_in_use = 0;
std::size_t peak_in_use = 0;
std::size_t allocation_limit = SIZE_MAX;  // lowered to make memory run out

// Each block carries its size in front, in a header that keeps the
// alignment operator new promises.
constexpr std::size_t HEADER = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

void* counted_new(std::size_t size)
{
    if (size > allocation_limit - bytes_in_use) {
        throw std::bad_alloc();
    }
    void* block = std::malloc(size + HEADER);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    bytes_in_use += size;
    if (bytes_in_use > peak_in_use) {
        peak_in_use = bytes_in_use;
    }
    return static_cast<char*>(block) + HEADER;
}

void counted_delete(void* p)
{
    if (p != nullptr) {
        void* block = static_cast<char*>(p) - HEADER;
        bytes_in_use -= *static_cast<std::size_t*>(block);
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) { return counted_new(size); }
void* operator new[](std::size_t size) { return counted_new(size); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }

namespace {

// Besides what grows with the file, a run holds fixed amounts: each of the
// two big buffers (the loaded file and the pixel table) may be rounded up to
// the next 2 MiB so that it can sit in large pages (reserved, never touched
// past the data), and the text on its way to the file has a 256 KiB block.
constexpr double MAX_RATIO = 2.4;
constexpr std::size_t FIXED_BYTES = 2 * (2u << 20) + (256u << 10) + (64u << 10);

struct Measured {
    int status;
    std::string printed;
    std::size_t peak;  // bytes in use at the worst moment of the run, beyond those before it
};

Measured convert_in_process(const std::vector<std::string>& args)
{
    std::vector<std::string> owned = {"tafelix"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : owned) {
        argv.push_back(a.data());
    }
    Measured m{};
    m.printed = text_written_by([&](std::FILE* console) {
        const std::size_t before = bytes_in_use;
        peak_in_use = before;
        m.status = run_tafelix(static_cast<int>(argv.size()), argv.data(), console);
        m.peak = peak_in_use - before;
    });
    return m;
}

std::string show(std::size_t peak, std::size_t length)
{
    return "peak " + std::to_string(peak) + " bytes for a file of " + std::to_string(length) +
           " bytes, allowed " + std::to_string(static_cast<std::size_t>(MAX_RATIO * static_cast<double>(length)) + FIXED_BYTES);
}

TEST(Memory, HugeImageClaimedByATinyFileIsRefusedBeforeAnyLargeAllocation)
{
    struct Claim {
        std::int32_t width, height;
        const char* message;
    };
    // Every claim would need gigabytes for its table.
    const Claim claims[] = {
        {65535, 32767, "Bilddaten unvollstaendig\n"},  {65535, -32767, "Bilddaten unvollstaendig\n"},
        {0x7FFFFFFF, 1, "Bilddaten unvollstaendig\n"}, {1, 0x7FFFFFFF, "Bilddaten unvollstaendig\n"},
        {46341, 46340, "Bilddaten unvollstaendig\n"},  {65536, 32768, "Bildgroesse falsch\n"},
        {0x7FFFFFFF, -0x7FFFFFFF, "Bildgroesse falsch\n"},
    };
    const fs::path dir = make_temp_folder("memory");
    ASSERT_FALSE(dir.empty());
    for (const Claim& c : claims) {
        std::vector<std::uint8_t> bytes = make_bmp(BmpPicture{2, 1, {0, 0}});
        put_le(bytes, 18, static_cast<std::uint32_t>(c.width), 4);
        put_le(bytes, 22, static_cast<std::uint32_t>(c.height), 4);
        bytes.resize(60);
        write_file(dir / "claim.bmp", bytes_of(bytes));
        const Measured m = convert_in_process({(dir / "claim.bmp").string(), (dir / "out.h").string(), "img"});
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) + ": " + show(m.peak, 60);
        EXPECT_EQ(m.status, 28) << what;
        EXPECT_NE(m.printed.find(c.message), std::string::npos) << what << "; printed " << m.printed;
        EXPECT_LE(m.peak, MAX_RATIO * 60 + FIXED_BYTES) << what;
        std::printf("%s\n", what.c_str());
    }
    fs::remove_all(dir);
}

TEST(Memory, AConversionTakesAtMostTwoPointFourTimesTheFileSize)
{
    struct Shape {
        std::int32_t width, rows;
        bool top_down;
    };
    // Widths that are multiples of 4 have no padding: the table is then a
    // third larger than the pixel data, the most it can be.
    const Shape shapes[] = {{4096, 1024, false}, {4096, 1024, true}, {1, 1000000, false},
                            {1001, 999, true},   {6, 5, false},      {0, 0, false}};
    const fs::path dir = make_temp_folder("memory");
    ASSERT_FALSE(dir.empty());
    for (const Shape& s : shapes) {
        BmpPicture pic{s.width, s.rows, std::vector<std::uint32_t>(static_cast<std::size_t>(s.width) *
                                                                   static_cast<std::size_t>(s.rows), 0x123456)};
        const std::vector<std::uint8_t> bytes = make_bmp(pic, {s.top_down});
        write_file(dir / "in.bmp", bytes_of(bytes));
        pic.pixels.clear();
        pic.pixels.shrink_to_fit();
        const Measured m = convert_in_process({(dir / "in.bmp").string(), (dir / "out.h").string(), "img"});
        const std::string what = std::to_string(s.width) + "x" + std::to_string(s.rows) +
                                 (s.top_down ? " top-down: " : " bottom-up: ") + show(m.peak, bytes.size());
        EXPECT_EQ(m.status, 0) << what << "; printed " << m.printed;
        EXPECT_LE(m.peak, MAX_RATIO * static_cast<double>(bytes.size()) + FIXED_BYTES) << what;
        std::printf("%s\n", what.c_str());
    }
    fs::remove_all(dir);
}

TEST(Memory, RunningOutOfMemoryIsReportedAndLeavesTheOutputEmpty)
{
    const fs::path dir = make_temp_folder("memory");
    ASSERT_FALSE(dir.empty());
    const std::vector<std::uint8_t> bytes = make_bmp(random_picture(1024, 256, 5));
    write_file(dir / "in.bmp", bytes_of(bytes));
    // Too little for the file itself, then enough for the file but not for
    // the pixel table.
    for (const double share : {0.5, 1.5}) {
        const std::string what = "memory for " + std::to_string(share) + " times the file";
        allocation_limit = bytes_in_use + static_cast<std::size_t>(share * static_cast<double>(bytes.size()));
        const Measured m = convert_in_process({(dir / "in.bmp").string(), (dir / "out.h").string(), "img"});
        allocation_limit = SIZE_MAX;
        EXPECT_EQ(m.status, 21) << what;
        const std::string tail = "Nicht genug Speicher\n";
        EXPECT_TRUE(m.printed.size() >= tail.size() &&
                    m.printed.compare(m.printed.size() - tail.size(), tail.size(), tail) == 0)
            << what << "; printed " << m.printed;
        EXPECT_EQ(fs::file_size(dir / "out.h"), 0u) << what;
    }
    fs::remove_all(dir);
}

}  // namespace
