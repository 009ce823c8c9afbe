#include "core/support/parallel/ParallelFor.h"
#include "testsupport/ThreadCountScope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace ostrel {
namespace {

using test::ThreadCountScope;

TEST(ParallelFor, CoversEveryIndexOnceInChunksOfAtLeastTheMinimum) {
    for (const int threads : {1, 2, 5}) {
        const ThreadCountScope scope(threads);
        EXPECT_EQ(parallelThreadCount(), threads);
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
            for (const std::size_t minChunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
                SCOPED_TRACE(testing::Message() << threads << " threads, " << count << " items, chunk " << minChunk);
                std::vector<std::atomic<int>> visits(count);
                std::atomic<int> shortChunks{0};
                parallelFor(count, minChunk, [&](std::size_t begin, std::size_t end) {
                    EXPECT_LT(begin, end);
                    EXPECT_LE(end, count);
                    if (end - begin < minChunk && end != count) ++shortChunks;
                    for (std::size_t i = begin; i < end; ++i) ++visits[i];
                });
                for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(visits[i].load(), 1) << "index " << i;
                EXPECT_EQ(shortChunks.load(), 0);
            }
        }
    }
}

TEST(ParallelFor, NestedLoopsRunAndExceptionsReachTheCaller) {
    const ThreadCountScope scope(4);
    std::vector<std::atomic<int>> visits(40 * 30);
    parallelFor(40, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t row = begin; row < end; ++row) {
            parallelFor(30, 1, [&](std::size_t first, std::size_t last) {
                for (std::size_t column = first; column < last; ++column) ++visits[row * 30 + column];
            });
        }
    });
    for (const auto& v : visits) ASSERT_EQ(v.load(), 1);

    EXPECT_THROW(parallelFor(100, 1,
                             [](std::size_t begin, std::size_t) {
                                 if (begin >= 50) throw std::runtime_error("chunk failed");
                             }),
                 std::runtime_error);
    // The pool still works after a failed loop.
    std::atomic<std::size_t> sum{0};
    parallelFor(100, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) sum += i;
    });
    EXPECT_EQ(sum.load(), 4950u);
}

}  // namespace
}  // namespace ostrel
