// Stage A's image kernels beside OpenCV's on the same image, one thread each (our loops with
// setParallelThreadCount(1), OpenCV with cv::setNumThreads(1)). Built only when CMake finds OpenCV.
// The image is the synthetic 2400 × 2400 line drawing or the one given with --image=path.
//
//   Blur        σ = 1 on 32-bit floats: ours (radius ceil(2.5 σ) = 3, edge pixels repeated) against
//               cv::GaussianBlur with a 7 × 7 kernel, σ 1 and BORDER_REPLICATE.
//   Threshold   ours at level 128 (window 45 × 45 clipped to the image, offset 22, mean from an
//               integral image in doubles over the float luma) against cv::adaptiveThreshold with
//               ADAPTIVE_THRESH_MEAN_C, block 45, C 22, THRESH_BINARY_INV on the luma rounded to 8
//               bits (OpenCV's only input type; its window repeats the edge pixels instead of being
//               clipped, its mean is rounded to 8 bits and ink is value ≤ mean - C), and against
//               the same mean test on the float luma, cv::boxFilter (45 × 45, normalised,
//               BORDER_REPLICATE) and cv::compare, the float route OpenCV offers.
//   EDT         ours (exact, Felzenszwalb–Huttenlocher) against cv::distanceTransform with DIST_L2 and
//               DIST_MASK_PRECISE (also exact) into 32-bit floats, on the preprocessed ink mask.
//
//   build/bench/bench_peer_kernels --benchmark_filter=Threshold
#include "core/model/VectorizerParams.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/support/parallel/ParallelFor.h"
#include "benchsupport/SyntheticLineDrawing.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <optional>

namespace {

using namespace ostrel;

constexpr float kSigma = 1.0f;
constexpr int kBlurSize = 7;  // 2 × ceil(2.5 σ) + 1
constexpr std::int64_t kThreshold = 128;
constexpr int kBlock = 45;  // 2 × (6 + 128 / 8) + 1
constexpr double kOffset = 22.0;

struct PeerInputs {
    RasterImage image;
    PreprocessedFields fields;
    cv::Mat luma;   // CV_32F view of image.luma
    cv::Mat grey8;  // the luma rounded to 8 bits
    cv::Mat mask;   // CV_8U view of fields.binary
};

std::optional<PeerInputs> inputs;

struct OneThread {
    OneThread() {
        setParallelThreadCount(1);
        cv::setNumThreads(1);
    }
    ~OneThread() { setParallelThreadCount(0); }
    OneThread(const OneThread&) = delete;
    OneThread& operator=(const OneThread&) = delete;
};

void BM_BlurOstrel(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::gaussianBlurSeparable(inputs->image.luma, inputs->image.width,
                                                            inputs->image.height, kSigma);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_BlurOpenCV(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        cv::Mat out;
        cv::GaussianBlur(inputs->luma, out, cv::Size(kBlurSize, kBlurSize), kSigma, kSigma, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_ThresholdOstrel(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        auto out = NeuralRidgeFilter::adaptiveThresholdMask(inputs->image.luma, inputs->image.width,
                                                            inputs->image.height, kThreshold, false);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ThresholdOpenCV8Bit(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        cv::Mat out;
        cv::adaptiveThreshold(inputs->grey8, out, 1, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV, kBlock,
                              kOffset);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_ThresholdOpenCVFloat(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        cv::Mat mean;
        cv::boxFilter(inputs->luma, mean, CV_32F, cv::Size(kBlock, kBlock), cv::Point(-1, -1), true,
                      cv::BORDER_REPLICATE);
        mean -= kOffset;
        cv::Mat out;
        cv::compare(inputs->luma, mean, out, cv::CMP_LT);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_EDTOstrel(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        auto out =
            NeuralRidgeFilter::computeExactEDT(inputs->fields.binary, inputs->fields.width, inputs->fields.height);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_EDTOpenCV(benchmark::State& state) {
    const OneThread one;
    for (auto _ : state) {
        cv::Mat out;
        cv::distanceTransform(inputs->mask, out, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
        benchmark::DoNotOptimize(out.data);
    }
}

}  // namespace

int main(int argc, char** argv) {
    PeerInputs in;
    in.image = bench::loadBenchImage(argc, argv);
    in.fields = NeuralRidgeFilter::preprocess(in.image, VectorizerParams{});
    const int w = static_cast<int>(in.image.width);
    const int h = static_cast<int>(in.image.height);
    in.luma = cv::Mat(h, w, CV_32F, in.image.luma.data());
    in.luma.convertTo(in.grey8, CV_8U);  // rounds to nearest and saturates
    in.mask = cv::Mat(h, w, CV_8U, in.fields.binary.data());
    inputs = std::move(in);

    const auto unit = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("Blur/Ostrel", BM_BlurOstrel)->Unit(unit);
    benchmark::RegisterBenchmark("Blur/OpenCV", BM_BlurOpenCV)->Unit(unit);
    benchmark::RegisterBenchmark("Threshold/Ostrel", BM_ThresholdOstrel)->Unit(unit);
    benchmark::RegisterBenchmark("Threshold/OpenCV8Bit", BM_ThresholdOpenCV8Bit)->Unit(unit);
    benchmark::RegisterBenchmark("Threshold/OpenCVFloat", BM_ThresholdOpenCVFloat)->Unit(unit);
    benchmark::RegisterBenchmark("EDT/Ostrel", BM_EDTOstrel)->Unit(unit);
    benchmark::RegisterBenchmark("EDT/OpenCV", BM_EDTOpenCV)->Unit(unit);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
