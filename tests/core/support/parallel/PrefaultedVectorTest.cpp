#include "core/support/parallel/PrefaultedVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ostrel {
namespace {

template <class T>
bool allZero(const std::vector<T>& values) {
    return std::all_of(values.begin(), values.end(), [](T v) { return v == T{0}; });
}

TEST(PrefaultedVector, ZerosOfTheAskedSizeMappedInPiecesOrNot) {
    // Below the bulk-mapping size, one page-aligned piece, several pieces with a ragged end.
    for (const std::size_t count : {std::size_t{0}, std::size_t{5}, std::size_t{1} << 18, (std::size_t{3} << 20) + 77}) {
        SCOPED_TRACE(count);
        const auto floats = prefaultedVector<float>(count);
        ASSERT_EQ(floats.size(), count);
        EXPECT_TRUE(allZero(floats));
        auto bytes = prefaultedVector<std::uint8_t>(count);
        ASSERT_EQ(bytes.size(), count);
        EXPECT_TRUE(allZero(bytes));
        // Discarding releases the whole pages inside the range, which then read as zeros; the partial
        // pages at its ends, and ranges too small to bother with, keep their bytes.
        std::fill(bytes.begin(), bytes.end(), std::uint8_t{7});
        discardPages(bytes.data(), bytes.size());
        const auto sevens = std::count(bytes.begin(), bytes.end(), std::uint8_t{7});
        if (count >= (std::size_t{1} << 20)) {
            EXPECT_LT(sevens, std::ptrdiff_t{8192});
        } else {
            EXPECT_EQ(sevens, std::ptrdiff_t(count));
        }
    }
}

TEST(PrefaultedVector, PreparedBuffersAreTakenOnceByTypeAndSize) {
    const std::size_t count = (std::size_t{1} << 20) + 3;
    prepareBuffers(count, 1, 2);
    auto first = prefaultedVector<float>(count);
    EXPECT_EQ(first.size(), count);
    EXPECT_TRUE(allZero(first));
    // Another size or type does not take the kept float buffer, and the next float buffer is a new one.
    EXPECT_TRUE(allZero(prefaultedVector<float>(count - 1)));
    auto bytes = prefaultedVector<std::uint8_t>(count);
    auto moreBytes = prefaultedVector<std::uint8_t>(count);
    EXPECT_EQ(bytes.size(), count);
    EXPECT_EQ(moreBytes.size(), count);
    EXPECT_TRUE(allZero(bytes) && allZero(moreBytes));
    // A taken buffer, written and freed by its user, is not handed out again.
    first.assign(count, 1.0f);
    first = {};
    EXPECT_TRUE(allZero(prefaultedVector<float>(count)));
    // Released buffers are not handed out.
    prepareBuffers(count, 1, 0);
    releasePreparedBuffers();
    EXPECT_TRUE(allZero(prefaultedVector<float>(count)));
}

}  // namespace
}  // namespace ostrel
