// Contour and edge extraction on the synthetic 2400 × 2400 line drawing or on the image given with
// --image=path: the whole vision-contour extractor and its steps (detector image, contour finder at the
// 2048 px working size, boundary-pixel fallback), and the Canny skeleton with its edge-mask step.
// On all the parallel pool's threads, as a run uses them. Example:
//   build/bench/bench_contours --benchmark_filter='Vision|Canny'
#include "core/model/VectorizerParams.h"
#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/ContourExtractor.h"
#include "core/pipeline/ContourFinder.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "benchsupport/SyntheticLineDrawing.h"

#include <benchmark/benchmark.h>

#include <optional>

namespace {

using namespace ostrel;

struct ContourInputs {
    RasterImage image;
    VectorizerParams params;
    PreprocessedFields fields;
    QImage detectorImage;
    std::vector<float> blurred;
};

std::optional<ContourInputs> inputs;

std::size_t pointCount(const std::vector<std::vector<VectorPoint>>& contours) {
    std::size_t n = 0;
    for (const auto& c : contours) n += c.size();
    return n;
}

void BM_VisionContours(benchmark::State& state) {
    std::size_t contours = 0, points = 0;
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::extractVisionContours(inputs->image, inputs->fields, inputs->params);
        contours = out.size();
        points = pointCount(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["contours"] = static_cast<double>(contours);
    state.counters["points"] = static_cast<double>(points);
}

void BM_DetectorImage(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::makePreprocessedVisionImage(inputs->image, inputs->fields, inputs->params);
        benchmark::DoNotOptimize(out->constBits());
    }
}

void BM_ContourFinder(benchmark::State& state) {
    const auto options = NeuralRidgeFilter::visionDetectorOptions(inputs->image.width, inputs->image.height);
    std::size_t contours = 0;
    for (auto _ : state) {
        auto tree = ContourFinder::findContours(inputs->detectorImage, options);
        contours = tree.contours.size();
        benchmark::DoNotOptimize(tree.contours.data());
    }
    state.counters["contours"] = static_cast<double>(contours);
}

void BM_BoundaryFallback(benchmark::State& state) {
    std::size_t chains = 0;
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::extractMarchingSquaresContours(inputs->fields, inputs->params.minPathLengthPx);
        chains = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["chains"] = static_cast<double>(chains);
}

void BM_CannySkeleton(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::extractCannySkeleton(inputs->image, inputs->params);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_CannyEdgeMask(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::cannyEdgeMask(inputs->blurred, inputs->image.width, inputs->image.height,
                                                    inputs->params.threshold);
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    ContourInputs in;
    in.image = bench::loadBenchImage(argc, argv);
    in.params.algorithm = VectorAlgorithm::visionContours;
    in.fields = NeuralRidgeFilter::preprocess(in.image, in.params);
    in.detectorImage =
        NeuralRidgeFilter::makePreprocessedVisionImage(in.image, in.fields, in.params).value_or(QImage());
    in.blurred = NeuralRidgeFilter::gaussianBlurSeparable(in.image.luma, in.image.width, in.image.height,
                                                          static_cast<float>(std::max(in.params.blurRadius, 1.0)));
    inputs = std::move(in);

    const auto unit = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("VisionContours", BM_VisionContours)->Unit(unit);
    benchmark::RegisterBenchmark("VisionContours/DetectorImage", BM_DetectorImage)->Unit(unit);
    benchmark::RegisterBenchmark("VisionContours/ContourFinder", BM_ContourFinder)->Unit(unit);
    benchmark::RegisterBenchmark("VisionContours/BoundaryFallback", BM_BoundaryFallback)->Unit(unit);
    benchmark::RegisterBenchmark("CannySkeleton", BM_CannySkeleton)->Unit(unit);
    benchmark::RegisterBenchmark("CannySkeleton/EdgeMask", BM_CannyEdgeMask)->Unit(unit);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
