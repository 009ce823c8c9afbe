// The parallel loops themselves (core/support/parallel/ParallelFor.h), on the row shapes of a 2400 × 2400
// image:
//   ShortLoops   100 loops in a row over light rows, as a thinning round runs them: what a loop costs
//                to start and join;
//   LargeLoop    one loop over heavy rows: how well the chunks spread over the threads;
//   TwoCallers   two threads each running 20 medium loops at the same time, as an edit during a
//                background run does: whether the second caller gets threads too.
// Example: build/bench/bench_parallel --benchmark_filter=TwoCallers
#include "core/support/parallel/ParallelFor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace ostrel;

constexpr std::size_t kSide = 2400;
constexpr std::size_t kRowsPerChunk = 16;

// Sets the loops' thread count from the benchmark's argument (0 = default) for one benchmark.
struct ThreadScope {
    explicit ThreadScope(const benchmark::State& state) { setParallelThreadCount(static_cast<int>(state.range(0))); }
    ~ThreadScope() { setParallelThreadCount(0); }
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
};

struct Image {
    std::vector<float> in = std::vector<float>(kSide * kSide, 1.5f);
    std::vector<float> out = std::vector<float>(kSide * kSide);
};

// `passes` passes of out = √(in × out + 1) over every row: light with 1, heavier with more.
void rowLoop(Image& image, int passes) {
    parallelFor(kSide, kRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const float* in = image.in.data() + y * kSide;
            float* out = image.out.data() + y * kSide;
            for (int pass = 0; pass < passes; ++pass) {
                for (std::size_t x = 0; x < kSide; ++x) out[x] = std::sqrt(in[x] * out[x] + 1.0f);
            }
        }
    });
}

void BM_ShortLoops(benchmark::State& state) {
    const ThreadScope threads(state);
    Image image;
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) rowLoop(image, 1);
        benchmark::DoNotOptimize(image.out.data());
    }
}

void BM_LargeLoop(benchmark::State& state) {
    const ThreadScope threads(state);
    Image image;
    for (auto _ : state) {
        rowLoop(image, 20);
        benchmark::DoNotOptimize(image.out.data());
    }
}

void BM_TwoCallers(benchmark::State& state) {
    const ThreadScope threads(state);
    Image first;
    Image second;
    const auto run = [](Image& image) {
        for (int i = 0; i < 20; ++i) rowLoop(image, 4);
    };
    for (auto _ : state) {
        std::thread other(run, std::ref(second));
        run(first);
        other.join();
        benchmark::DoNotOptimize(first.out.data());
        benchmark::DoNotOptimize(second.out.data());
    }
}

}  // namespace

BENCHMARK(BM_ShortLoops)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LargeLoop)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TwoCallers)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
