// Stage A, one benchmark per step, on the synthetic 2400 × 2400 line drawing or on the image given
// with --image=path. Single-threaded. Example:
//   build/bench/bench_stage_a --benchmark_filter='EDT|Thinning'
#include "model/VectorizerParams.h"
#include "pipeline/CenterlineTracer.h"
#include "pipeline/NeuralRidgeFilter.h"
#include "support/SyntheticLineDrawing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>

namespace {

using namespace ostrel;

// Inputs of every stage, made once from the benchmark image.
struct StageInputs {
    RasterImage image;
    VectorizerParams params;
    std::vector<float> inkBlur;
    PreprocessedFields fields;
    std::vector<std::uint8_t> skeleton;
};

std::optional<StageInputs> inputs;

void BM_Blur(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::gaussianBlurSeparable(inputs->image.luma, inputs->image.width,
                                                            inputs->image.height, 1.0f);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_EDT(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::computeExactEDT(inputs->fields.binary, inputs->fields.width,
                                                      inputs->fields.height);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Hessian(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::computeHessianRidgeStrength(inputs->inkBlur, inputs->image.width,
                                                                  inputs->image.height);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Preprocess(benchmark::State& state) {
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::preprocess(inputs->image, inputs->params);
        benchmark::DoNotOptimize(out.binary.data());
    }
}

void BM_Thinning(benchmark::State& state) {
    for (auto _ : state) {
        auto out = CenterlineTracer::thinGuoHall(inputs->fields.binary, inputs->fields.width,
                                                 inputs->fields.height, 120);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Tracing(benchmark::State& state) {
    std::size_t chains = 0;
    for (auto _ : state) {
        auto out = CenterlineTracer::traceSkeletonChains(inputs->skeleton, inputs->fields,
                                                         inputs->params.minPathLengthPx,
                                                         inputs->params.stegerSubpixel,
                                                         inputs->params.crossJunctions);
        chains = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["chains"] = static_cast<double>(chains);
}

}  // namespace

int main(int argc, char** argv) {
    StageInputs in;
    in.image = bench::loadBenchImage(argc, argv);
    in.fields = NeuralRidgeFilter::preprocess(in.image, in.params);
    std::vector<float> ink(in.image.luma.size());
    for (std::size_t i = 0; i < ink.size(); ++i) ink[i] = std::clamp((255.0f - in.image.luma[i]) / 255.0f, 0.0f, 1.0f);
    in.inkBlur = NeuralRidgeFilter::gaussianBlurSeparable(ink, in.image.width, in.image.height, 1.0f);
    in.skeleton = CenterlineTracer::thinGuoHall(in.fields.binary, in.fields.width, in.fields.height, 120);
    inputs = std::move(in);

    const auto unit = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("Blur", BM_Blur)->Unit(unit);
    benchmark::RegisterBenchmark("EDT", BM_EDT)->Unit(unit);
    benchmark::RegisterBenchmark("Hessian", BM_Hessian)->Unit(unit);
    benchmark::RegisterBenchmark("Preprocess", BM_Preprocess)->Unit(unit);
    benchmark::RegisterBenchmark("Thinning", BM_Thinning)->Unit(unit);
    benchmark::RegisterBenchmark("Tracing", BM_Tracing)->Unit(unit);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
