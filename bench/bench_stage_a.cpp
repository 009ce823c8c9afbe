// Stage A, one benchmark per step (and the reading of the image file before it), on the synthetic 2400 × 2400 line drawing or on the image given
// with --image=path. Each step runs on one thread (/threads:1) and on every hardware thread
// (/threads:0, the default the program uses). Example:
//   build/bench/bench_stage_a --benchmark_filter='EDT|Thinning'
#include "core/model/VectorizerParams.h"
#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/ImageFileCheck.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/support/parallel/ParallelFor.h"
#include "benchsupport/SyntheticLineDrawing.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <string>

namespace {

using namespace ostrel;

// Inputs of every stage, made once from the benchmark image.
struct StageInputs {
    RasterImage image;
    VectorizerParams params;
    std::vector<float> inkBlur;
    PreprocessedFields fields;
    std::vector<std::uint8_t> skeleton;
    std::string png;      // the benchmark image as an 8-bit grey PNG file
    std::string monoPng;  // the same image as a 1-bit PNG file (ink below 128)
};

std::optional<StageInputs> inputs;

// Sets the loops' thread count from the benchmark's argument (0 = default) for one benchmark.
struct ThreadScope {
    explicit ThreadScope(const benchmark::State& state) { setParallelThreadCount(static_cast<int>(state.range(0))); }
    ~ThreadScope() { setParallelThreadCount(0); }
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
};

// Reading the image file, as the command line does: decode and luma.
void BM_DecodePng(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto image = RasterImage::fromFile(inputs->png, 2400);
        benchmark::DoNotOptimize(image);
    }
}

// The same for the 1-bit PNG file.
void BM_DecodeMonoPng(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto image = RasterImage::fromFile(inputs->monoPng, 2400);
        benchmark::DoNotOptimize(image);
    }
}

// Reading the file and the look at it before decoding (size, PNG chunk walk), part of DecodePng.
void BM_CheckImageFile(benchmark::State& state) {
    for (auto _ : state) {
        auto checked = readImageFile(inputs->png);
        benchmark::DoNotOptimize(checked);
    }
}

void BM_Blur(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::gaussianBlurSeparable(inputs->image.luma, inputs->image.width,
                                                            inputs->image.height, 1.0f);
        benchmark::DoNotOptimize(out.data());
    }
}

// The adaptive threshold at the default level (128: window 45 × 45, offset 22) on the image's luma.
void BM_Threshold(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::adaptiveThresholdMask(inputs->image.luma, inputs->image.width,
                                                            inputs->image.height, 128, false);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_EDT(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out =
            NeuralRidgeFilter::computeExactEDT(inputs->fields.binary, inputs->fields.width, inputs->fields.height);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Hessian(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out =
            NeuralRidgeFilter::computeHessianRidgeStrength(inputs->inkBlur, inputs->image.width, inputs->image.height);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Preprocess(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::preprocess(inputs->image, inputs->params);
        benchmark::DoNotOptimize(out.binary.data());
    }
}

void BM_Thinning(benchmark::State& state) {
    const ThreadScope threads(state);
    for (auto _ : state) {
        auto out =
            CenterlineTracer::thinGuoHall(inputs->fields.binary, inputs->fields.width, inputs->fields.height, 120);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Tracing(benchmark::State& state) {
    const ThreadScope threads(state);
    std::size_t chains = 0;
    for (auto _ : state) {
        auto out =
            CenterlineTracer::traceSkeletonChains(inputs->skeleton, inputs->fields, inputs->params.minPathLengthPx,
                                                  inputs->params.stegerSubpixel, inputs->params.crossJunctions);
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
    QTemporaryDir folder;
    in.png = folder.filePath(QStringLiteral("drawing.png")).toStdString();
    if (!in.image.toGrayImage().save(QString::fromStdString(in.png), "PNG")) return 1;
    in.monoPng = folder.filePath(QStringLiteral("drawing-1bit.png")).toStdString();
    const QImage mono = in.image.toGrayImage().convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    if (!mono.save(QString::fromStdString(in.monoPng), "PNG")) return 1;
    inputs = std::move(in);

    const auto unit = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("DecodePng", BM_DecodePng)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("DecodeMonoPng", BM_DecodeMonoPng)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("CheckImageFile", BM_CheckImageFile)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Blur", BM_Blur)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("Threshold", BM_Threshold)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("EDT", BM_EDT)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("Hessian", BM_Hessian)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("Preprocess", BM_Preprocess)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("Thinning", BM_Thinning)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);
    benchmark::RegisterBenchmark("Tracing", BM_Tracing)->ArgName("threads")->Arg(1)->Arg(0)->Unit(unit);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
