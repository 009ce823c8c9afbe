#include "core/support/parallel/ParallelFor.h"
#include "testsupport/ThreadCountScope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
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

// Polls `ready` for up to ten seconds; whether it became true.
template <class Ready>
bool waitFor(const Ready& ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

TEST(ParallelFor, TwoCallersAtOnceEachGetAWorkerAndBothFinish) {
    const ThreadCountScope scope(4);
    // Each loop has exactly two chunks, and each chunk waits until both chunks of its loop run at the
    // same time, which only a second thread can make happen. Loop A's chunks also wait until loop B
    // has finished, so B runs while A holds its caller and one worker.
    constexpr std::size_t kHalf = 500;
    struct Caller {
        std::atomic<int> running{0};
        std::atomic<int> paired{0};  // chunks that saw both chunks of their loop running
        std::vector<std::size_t> squares = std::vector<std::size_t>(2 * kHalf);
    };
    Caller a;
    Caller b;
    std::atomic<bool> bDone{false};
    const auto loop = [](Caller& caller, const std::atomic<bool>* waitFirst) {
        parallelFor(2 * kHalf, kHalf, [&](std::size_t begin, std::size_t end) {
            ++caller.running;
            if (waitFor([&] { return caller.running.load() == 2; })) ++caller.paired;
            if (waitFirst) waitFor([&] { return waitFirst->load(); });
            for (std::size_t i = begin; i < end; ++i) caller.squares[i] = i * i;
        });
    };
    std::thread first(loop, std::ref(a), &bDone);
    waitFor([&] { return a.running.load() == 2; });
    std::thread second([&] {
        loop(b, nullptr);
        bDone = true;
    });
    second.join();
    first.join();
    EXPECT_EQ(a.paired.load(), 2);
    EXPECT_EQ(b.paired.load(), 2);
    for (std::size_t i = 0; i < 2 * kHalf; ++i) {
        ASSERT_EQ(a.squares[i], i * i) << i;
        ASSERT_EQ(b.squares[i], i * i) << i;
    }
}

}  // namespace
}  // namespace ostrel
