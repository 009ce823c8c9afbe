#include "core/support/parallel/PrefaultedVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ostrel {
namespace {

template <class T>
bool allZero(const std::vector<T>& values) {
    return std::all_of(values.begin(), values.end(), [](T v) { return v == T{0}; });
}

TEST(PrefaultedVector, ZerosOfTheAskedSizeMappedInPiecesOrNot) {
    // Below the bulk-mapping size, one page-aligned piece, several pieces with a ragged end.
    for (const std::size_t count :
         {std::size_t{0}, std::size_t{5}, std::size_t{1} << 18, (std::size_t{3} << 20) + 77}) {
        SCOPED_TRACE(count);
        const auto floats = prefaultedVector<float>(count);
        ASSERT_EQ(floats.size(), count);
        EXPECT_TRUE(allZero(floats));
        const auto bytes = prefaultedVector<std::uint8_t>(count);
        ASSERT_EQ(bytes.size(), count);
        EXPECT_TRUE(allZero(bytes));
    }
}

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
// Fresh anonymous memory of `bytes`, without huge pages (one of which would map a neighbour along).
struct FreshMapping {
    explicit FreshMapping(std::size_t size) : bytes(size) {
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        data = mapped == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapped);
        if (data) (void)madvise(data, bytes, MADV_NOHUGEPAGE);
    }
    ~FreshMapping() {
        if (data) munmap(data, bytes);
    }
    FreshMapping(const FreshMapping&) = delete;
    FreshMapping& operator=(const FreshMapping&) = delete;

    // Whether each page is mapped.
    [[nodiscard]] std::vector<bool> resident(std::size_t page) const {
        std::vector<unsigned char> flags(bytes / page);
        std::vector<bool> pages(flags.size(), false);
        if (mincore(data, bytes, flags.data()) != 0) return pages;
        for (std::size_t i = 0; i < flags.size(); ++i) pages[i] = (flags[i] & 1U) != 0;
        return pages;
    }

    std::size_t bytes;
    unsigned char* data = nullptr;
};

TEST(PrefaultedVector, MapsTheWholePagesOfALargeRangeAndLeavesSmallRangesAlone) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    {
        const FreshMapping probe(page);
        ASSERT_NE(probe.data, nullptr);
        if (madvise(probe.data, page, MADV_POPULATE_WRITE) != 0) GTEST_SKIP() << "the kernel cannot map in bulk";
    }
    const std::size_t pages = (std::size_t{4} << 20) / page;
    const FreshMapping large(pages * page);
    ASSERT_NE(large.data, nullptr);
    // A range starting and ending inside a page: every page but the first and the last is whole.
    prefaultPages(large.data + 100, pages * page - 200);
    std::vector<bool> expected(pages, true);
    expected.front() = false;
    expected.back() = false;
    EXPECT_EQ(large.resident(page), expected);

    const std::size_t smallPages = (std::size_t{512} << 10) / page;
    const FreshMapping small(smallPages * page);
    ASSERT_NE(small.data, nullptr);
    prefaultPages(small.data, smallPages * page);
    EXPECT_EQ(small.resident(page), std::vector<bool>(smallPages, false));
}

#if defined(MADV_HUGEPAGE)
// The VmFlags line of the mapping of this process that holds `address` ("" when none does).
std::string mappingFlags(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t begin = 0;
        std::uintptr_t end = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> begin >> dash >> end && dash == '-') {
            inside = begin <= at && at < end;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line + " ";
        }
    }
    return "";
}

TEST(PrefaultedVector, AsksForHugePagesOnTheAlignedBlocksOfALargeRangeOnly) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t block = std::size_t{2} << 20;
    {
        const FreshMapping probe(block);
        ASSERT_NE(probe.data, nullptr);
        if (madvise(probe.data, block, MADV_HUGEPAGE) != 0) GTEST_SKIP() << "no transparent huge pages";
    }
    // Three blocks' worth holds a whole aligned block even without its first and last pages, which
    // the range below leaves out and which keep small pages.
    const FreshMapping large(3 * block);
    ASSERT_NE(large.data, nullptr);
    const auto begin = reinterpret_cast<std::uintptr_t>(large.data);
    const auto* aligned = reinterpret_cast<const unsigned char*>((begin + page + block - 1) / block * block);
    prefaultPages(large.data + 100, 3 * block - 200);
    EXPECT_NE(mappingFlags(aligned).find(" hg "), std::string::npos) << mappingFlags(aligned);
    EXPECT_EQ(mappingFlags(large.data).find(" hg "), std::string::npos) << mappingFlags(large.data);
    EXPECT_EQ(mappingFlags(large.data + 3 * block - page).find(" hg "), std::string::npos);

    // A range holding no whole block keeps its small pages.
    const FreshMapping small(block);
    ASSERT_NE(small.data, nullptr);
    prefaultPages(small.data + page, block - 2 * page);
    EXPECT_EQ(mappingFlags(small.data + block / 2).find(" hg "), std::string::npos)
        << mappingFlags(small.data + block / 2);
}
#endif
#endif

}  // namespace
}  // namespace ostrel
