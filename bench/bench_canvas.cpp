// Canvas frame benchmarks: one vector frame rendered into an image (what the render worker does)
// and the copy of a frame's inputs made on the GUI thread, on documents of 1,000, 5,000 and
// 20,000 random short strokes at zoom 1, 1.61 and 8, with nothing or everything selected.
#include "app/document/VectorRenderCache.h"
#include "app/views/canvas/VectorCanvasRenderer.h"
#include "benchsupport/RandomStrokes.h"

#include <benchmark/benchmark.h>

#include <map>
#include <set>

namespace {

using namespace ostrel;

/// `count` random short curved strokes on two pens over a 2400 × 2400 image.
VectorizationResult randomResult(int count) {
    VectorizationResult result;
    result.pageTransform.imageWidth = 2400;
    result.pageTransform.imageHeight = 2400;
    result.pageTransform.isRawPixels = true;
    result.layers = bench::randomStrokeLayers(count, 2400, 2400, 11);
    return result;
}

struct Document {
    VectorizationResult result;
    std::shared_ptr<const VectorRenderCache> cache;
    std::set<std::int64_t> allIDs;
};

const Document& document(int count) {
    static std::map<int, Document> documents;
    auto found = documents.find(count);
    if (found == documents.end()) {
        Document d;
        d.result = randomResult(count);
        d.cache = std::make_shared<const VectorRenderCache>(VectorRenderCache::build(d.result));
        for (const auto& layer : d.result.layers) {
            for (const auto& path : layer.paths) d.allIDs.insert(path.id);
        }
        found = documents.emplace(count, std::move(d)).first;
    }
    return found->second;
}

VectorFrameInput frameInput(const benchmark::State& state) {
    const Document& d = document(static_cast<int>(state.range(0)));
    const double zoom = static_cast<double>(state.range(1)) / 100.0;
    const bool selectAll = state.range(2) != 0;
    return VectorFrameInput::make(d.result, d.cache, VectorizerParams(), {1100, 800}, zoom, {}, false, true, false,
                                  false, false, selectAll ? d.allIDs : std::set<std::int64_t>{}, std::nullopt);
}

void frameArguments(benchmark::internal::Benchmark* b) {
    for (const int strokes : {1000, 5000, 20000}) {
        for (const int zoomPercent : {100, 161, 800}) {
            for (const int selectAll : {0, 1}) b->Args({strokes, zoomPercent, selectAll});
        }
    }
}

/// One frame on the render worker (device pixel ratio 1).
void BM_RenderVectorFrame(benchmark::State& state) {
    const VectorFrameInput input = frameInput(state);
    for (auto _ : state) benchmark::DoNotOptimize(renderVectorFrame(input, 1.0));
    state.SetLabel("strokes/zoom%/selectAll");
}
BENCHMARK(BM_RenderVectorFrame)->Apply(frameArguments)->Unit(benchmark::kMillisecond);

/// The same at device pixel ratio 2.
void BM_RenderVectorFrameHiDPI(benchmark::State& state) {
    const VectorFrameInput input = frameInput(state);
    for (auto _ : state) benchmark::DoNotOptimize(renderVectorFrame(input, 2.0));
}
BENCHMARK(BM_RenderVectorFrameHiDPI)
    ->Args({5000, 100, 1})
    ->Args({20000, 100, 0})
    ->Args({20000, 100, 1})
    ->Unit(benchmark::kMillisecond);

/// The GUI-thread share of a frame: copying its inputs (selection dots included).
void BM_FrameInputOnGuiThread(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(frameInput(state));
}
BENCHMARK(BM_FrameInputOnGuiThread)->Args({20000, 100, 0})->Args({20000, 100, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
