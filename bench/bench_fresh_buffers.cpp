// Fresh large buffers (core/support/parallel/PrefaultedVector.h): one 2400 × 2400 float image, newly
// mapped, written once and unmapped, as every run of the command line meets its stage-A buffers:
//   mapping:0   the pages fault in one by one as the pass writes them;
//   mapping:1   the pages mapped in bulk as small pages first (MADV_POPULATE_WRITE alone);
//   mapping:2   prefaultPages first: bulk mapping, the aligned 2 MiB blocks as huge pages.
// Every iteration maps new memory: a loop reusing one allocation would only ever measure the second
// pass. Then the same image as a stage-A buffer, made and written once by one pass:
//   zeroed:1    prefaultedVector, whose vector zeroes every element on the calling thread first;
//   zeroed:0    unwrittenBuffer, for a buffer the pass writes whole.
// The pass runs in row bands on the parallel pool, as stage A's loops do.
// Example: build/bench/bench_fresh_buffers
#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kSide = 2400;

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
void BM_FreshImageWrittenOnce(benchmark::State& state) {
    const std::size_t count = kSide * kSide;
    const std::size_t bytes = count * sizeof(float);
    for (auto _ : state) {
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            state.SkipWithError("no memory to map");
            break;
        }
        auto* values = static_cast<float*>(mapped);
        if (state.range(0) == 1) {
            (void)madvise(mapped, bytes, MADV_NOHUGEPAGE);
            (void)madvise(mapped, bytes, MADV_POPULATE_WRITE);
        } else if (state.range(0) == 2) {
            ostrel::prefaultPages(mapped, bytes);
        }
        for (std::size_t i = 0; i < count; ++i) values[i] = static_cast<float>(i & 255U);
        benchmark::DoNotOptimize(values[count / 2]);
        munmap(mapped, bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_FreshImageWrittenOnce)
    ->ArgName("mapping")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

// One pass over the buffer in row bands on the parallel pool, as stage A's loops write theirs.
template <class Buffer>
void writeOnce(Buffer& values) {
    ostrel::parallelFor(kSide, 16, [&values](std::size_t first, std::size_t last) {
        for (std::size_t i = first * kSide; i < last * kSide; ++i) values[i] = static_cast<float>(i & 255U);
    });
    benchmark::DoNotOptimize(values[values.size() / 2]);
}

void BM_StageBufferWrittenOnce(benchmark::State& state) {
    const std::size_t count = kSide * kSide;
    for (auto _ : state) {
        if (state.range(0) != 0) {
            auto values = ostrel::prefaultedVector<float>(count);
            writeOnce(values);
        } else {
            auto values = ostrel::unwrittenBuffer<float>(count);
            writeOnce(values);
        }
    }
}
BENCHMARK(BM_StageBufferWrittenOnce)->ArgName("zeroed")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
