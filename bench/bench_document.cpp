// Whole-pipeline and document benchmarks: stage A and stage B on the seeded
// 2400 × 2400 drawing (or --image=path), and one edit commit (metrics, both
// SVG texts, render cache) on the portrait drawing and on a 20,000-stroke
// document.
#include "app/document/VectorizerController.h"
#include "core/export/SVGExporter.h"
#include "core/pipeline/PlotterTour.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"
#include "benchsupport/RandomStrokes.h"
#include "benchsupport/SyntheticLineDrawing.h"

#include <benchmark/benchmark.h>

namespace {

using namespace ostrel;

RasterImage gImage;  // set by main: --image=path or the synthetic drawing

const RasterImage& benchImage() { return gImage; }

void BM_StageA(benchmark::State& state) {
    const VectorizerParams params;
    for (auto _ : state) benchmark::DoNotOptimize(VectorizationEngine::extractStageA(benchImage(), params));
}
BENCHMARK(BM_StageA)->Unit(benchmark::kMillisecond);

void BM_StageB(benchmark::State& state) {
    const VectorizerParams params;
    const RawExtractionStage stage = VectorizationEngine::extractStageA(benchImage(), params);
    std::size_t paths = 0;
    for (auto _ : state) {
        const auto result = VectorizationEngine::finalizeStageB(stage, params, {}, VectorizationEngine::clockSeconds());
        paths = static_cast<std::size_t>(result.metrics.pathCount);
    }
    state.counters["paths"] = static_cast<double>(paths);
}
BENCHMARK(BM_StageB)->Unit(benchmark::kMillisecond);

void BM_Vectorize(benchmark::State& state) {
    VectorizerParams params;
    params.algorithm = static_cast<VectorAlgorithm>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(VectorizationEngine::vectorize(benchImage(), params));
    state.SetLabel(std::string(rawValue(params.algorithm)));
}
BENCHMARK(BM_Vectorize)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

/// Greedy + 2-opt over the strokes the drawing's stage A gives, all pens together.
void BM_TourOnDrawing(benchmark::State& state) {
    const RawExtractionStage stage = VectorizationEngine::extractStageA(benchImage(), VectorizerParams());
    std::vector<VectorPath> strokes;
    for (const auto& group : stage.pathsByPen) {
        for (const auto& raw : group) {
            VectorPath path;
            path.id = static_cast<std::int64_t>(strokes.size()) + 1;
            path.points = raw.points;
            strokes.push_back(std::move(path));
        }
    }
    BezierAndPlotterOptimizer::PlotterTour tour;
    for (auto _ : state) tour = BezierAndPlotterOptimizer::optimizePlotterTour(strokes, true);
    state.counters["strokes"] = static_cast<double>(strokes.size());
    state.counters["rawTravelPx"] = tour.rawTravelPx;
    state.counters["optimizedTravelPx"] = tour.optimizedTravelPx;
}
BENCHMARK(BM_TourOnDrawing)->Unit(benchmark::kMillisecond);

/// One drag event: translate one stroke, which commits a rebuilt result.
void BM_EditCommit(benchmark::State& state) {
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::portrait, true);
    if (state.range(0) > 0) {
        controller.applyEdit(StrokeEdits::ReplaceLayers{
            bench::randomStrokeLayers(static_cast<int>(state.range(0)), 2400, 2400, 7), false});
    }
    const std::set<std::int64_t> ids{1};
    double dx = 0.5;
    const EditGestureKey drag = controller.beginEditGesture();  // the steps of one drag
    for (auto _ : state) {
        controller.applyEdit(StrokeEdits::Translate{ids, dx, 0}, drag);
        dx = -dx;
    }
    state.counters["strokes"] = static_cast<double>(controller.result()->metrics.pathCount);
}
BENCHMARK(BM_EditCommit)->Arg(0)->Arg(20000)->Unit(benchmark::kMillisecond);

/// The parts of one commit on the 20,000-stroke document.
void BM_CommitParts(benchmark::State& state) {
    const VectorizerParams params;
    const auto layers = bench::randomStrokeLayers(20000, 2400, 2400, 7);
    const auto result = VectorizationEngine::rebuildFromEditedLayers(layers, 2400, 2400, params, true, {}, false);
    const auto cache = VectorRenderCache::build(result);
    VectorizationResult moved = result;  // one stroke moved by half a pixel, as by a drag
    for (auto& point : moved.layers[0].paths[0].points.edit()) point.x += 0.5;
    VectorizationResult allMoved = result;  // every stroke moved, as by the end of a drag of everything
    for (auto& layer : allMoved.layers) {
        for (auto& path : layer.paths) {
            for (auto& point : path.points.edit()) point.x += 0.5;
            for (auto& segment : path.beziers.edit()) {
                for (VectorPoint* p : {&segment.p0, &segment.c1, &segment.c2, &segment.p3}) p->x += 0.5;
            }
        }
    }
    for (auto _ : state) {
        switch (state.range(0)) {
            case 0:
                benchmark::DoNotOptimize(
                    SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, params, false));
                break;
            case 1:
                benchmark::DoNotOptimize(
                    SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, params, true));
                break;
            case 2:
                benchmark::DoNotOptimize(VectorRenderCache::build(result));
                break;
            case 3:
                benchmark::DoNotOptimize(VectorRenderCache::update(cache, result, moved));
                break;
            case 6:
                benchmark::DoNotOptimize(VectorRenderCache::update(cache, result, allMoved));
                break;
            case 4: {
                VectorizationResult copy = moved;
                VectorizationEngine::deferSvgTexts(copy, params);
                benchmark::DoNotOptimize(copy);
                break;
            }
            default: {
                auto copy = result.layers;
                benchmark::DoNotOptimize(copy);
            }
        }
    }
    const char* labels[] = {"plotter svg",
                            "preview svg",
                            "render cache",
                            "render cache update (one stroke moved)",
                            "texts deferred",
                            "copy layers",
                            "render cache update (every stroke moved)"};
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_CommitParts)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    gImage = ostrel::bench::loadBenchImage(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
