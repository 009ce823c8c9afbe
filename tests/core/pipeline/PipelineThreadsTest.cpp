// The pipeline's results do not depend on the number of threads its loops use.
#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/ContourExtractor.h"
#include "core/pipeline/ContourFinder.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"
#include "core/support/parallel/ParallelFor.h"
#include "testsupport/ThreadCountScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <filesystem>
#include <iterator>
#include <random>

namespace ostrel {
namespace {

using test::ThreadCountScope;

// Two buffers of the same element type (plain vectors or pixel buffers) hold the same bytes.
template <class A, class B>
bool sameBits(const A& a, const B& b) {
    static_assert(std::is_same_v<typename A::value_type, typename B::value_type>);
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(typename A::value_type)) == 0);
}

// A drawing with noise and a dark corner, so every threshold path (both polarities, holes, faint
// strokes) has work; odd sizes so bands and column blocks end unevenly.
RasterImage noisyDrawing(int width, int height) {
    RasterImage image = SyntheticDrawing::generate(SyntheticPreset::rosette, width, height);
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 12.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float& v = image.luma[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            v = std::clamp(v + noise(random) - (x < width / 5 && y < height / 4 ? 180.0f : 0.0f), 0.0f, 255.0f);
        }
    }
    return image;
}

TEST(PipelineThreads, FieldsAreBitIdenticalForOneAndManyThreads) {
    const RasterImage image = noisyDrawing(333, 251);
    struct Variant {
        bool adaptive;
        bool invert;
        std::int64_t threshold;
        double blur;
        std::int64_t morph;
        VectorAlgorithm algorithm;
    };
    const std::vector<Variant> variants{
        {true, false, 128, 0.8, 0, VectorAlgorithm::neuralCenterline},
        {true, true, 255, 2.3, 2, VectorAlgorithm::neuralCenterline},
        {false, false, 140, 0.0, 1, VectorAlgorithm::skeletonize},
        {false, true, 90, 1.1, 2, VectorAlgorithm::visionContours},
        {true, false, 0, 5.0, 1, VectorAlgorithm::cannyEdges},
    };
    for (const Variant& v : variants) {
        VectorizerParams params;
        params.adaptiveThreshold = v.adaptive;
        params.invert = v.invert;
        params.threshold = v.threshold;
        params.blurRadius = v.blur;
        params.morphCleanup = v.morph;
        params.algorithm = v.algorithm;
        PreprocessedFields single;
        {
            const ThreadCountScope scope(1);
            single = NeuralRidgeFilter::preprocess(image, params);
        }
        ASSERT_EQ(single.binary.size(), image.luma.size());
        for (const int threads : {2, 3, 8}) {
            SCOPED_TRACE(testing::Message()
                         << rawValue(v.algorithm) << " adaptive " << v.adaptive << ", " << threads << " threads");
            const ThreadCountScope scope(threads);
            const PreprocessedFields many = NeuralRidgeFilter::preprocess(image, params);
            EXPECT_TRUE(sameBits(many.binary, single.binary));
            EXPECT_TRUE(sameBits(many.distanceField, single.distanceField));
            EXPECT_TRUE(sameBits(many.ridgeField, single.ridgeField));
            EXPECT_TRUE(sameBits(CenterlineTracer::thinGuoHall(many.binary, many.width, many.height, 120),
                                 CenterlineTracer::thinGuoHall(single.binary, single.width, single.height, 120)));
        }
    }
}

TEST(PipelineThreads, EdgeMasksAndContourTreesAreIdenticalForOneAndManyThreads) {
    // Bands of rows meet at different rows for each thread count: the edge mask's suppression reads
    // the rows either side of a band, and the contour finder's reduction sums rows shared by two
    // output rows. Sizes above and below the finder's working limit, and edges that are mostly weak.
    struct Variant {
        int width;
        int height;
        std::int64_t threshold;
        std::int64_t workingLimit;
    };
    for (const Variant v : {Variant{333, 251, 128, 2048}, Variant{301, 389, 40, 97}, Variant{190, 417, 220, 150}}) {
        const RasterImage image = noisyDrawing(v.width, v.height);
        const std::vector<float> blurred =
            NeuralRidgeFilter::gaussianBlurSeparable(image.luma, image.width, image.height, 1.0f);
        std::vector<std::uint8_t> grey(image.luma.size());
        for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(image.luma[i]);
        ContourFinder::Options options;
        options.maximumImageDimension = v.workingLimit;
        std::vector<std::uint8_t> singleMask;
        ContourFinder::ContourTree singleTree;
        {
            const ThreadCountScope scope(1);
            singleMask = NeuralRidgeFilter::cannyEdgeMask(blurred, image.width, image.height, v.threshold);
            singleTree = ContourFinder::findContours(grey, image.width, image.height, options);
        }
        ASSERT_GT(std::count(singleMask.begin(), singleMask.end(), 1), v.width);
        ASSERT_GT(singleTree.contours.size(), 10U);
        for (const int threads : {2, 3, 8}) {
            SCOPED_TRACE(testing::Message() << v.width << " x " << v.height << ", " << threads << " threads");
            const ThreadCountScope scope(threads);
            EXPECT_TRUE(sameBits(NeuralRidgeFilter::cannyEdgeMask(blurred, image.width, image.height, v.threshold),
                                 singleMask));
            EXPECT_EQ(ContourFinder::findContours(grey, image.width, image.height, options), singleTree);
        }
    }
}

TEST(PipelineThreads, VectorizationIsIdenticalForOneAndManyThreads) {
    const RasterImage image = noisyDrawing(301, 389);
    // Stage B finishes strokes of every pen in parallel and runs the pens' tours at the same time: four
    // pens with hatching give it uneven work per pen, and ids must still follow the pens' order.
    struct Variant {
        std::int64_t pens;
        bool hatch;
    };
    for (const Variant variant : {Variant{2, false}, Variant{4, true}}) {
        for (const VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
            SCOPED_TRACE(testing::Message()
                         << rawValue(algorithm) << ", " << variant.pens << " pens, hatch " << variant.hatch);
            VectorizerParams params;
            params.algorithm = algorithm;
            params.penCount = variant.pens;
            params.hatchEnabled = variant.hatch;
            VectorizationOutput single;
            {
                const ThreadCountScope scope(1);
                single = VectorizationEngine::vectorize(image, params);
            }
            const ThreadCountScope scope(6);
            const VectorizationOutput many = VectorizationEngine::vectorize(image, params);
            EXPECT_EQ(many.stageA, single.stageA);
            ASSERT_FALSE(single.result.layers.empty());
            EXPECT_EQ(many.result.layers, single.result.layers);
            EXPECT_EQ(many.result.metrics.pointCount, single.result.metrics.pointCount);
            EXPECT_EQ(many.result.metrics.drawDistancePx, single.result.metrics.drawDistancePx);
            EXPECT_EQ(many.result.metrics.travelDistanceOptimizedMM, single.result.metrics.travelDistanceOptimizedMM);
            EXPECT_EQ(many.result.svgAxiDraw, single.result.svgAxiDraw);
        }
    }
}

// Threads of this process, from the kernel's list of its tasks.
std::ptrdiff_t processThreads() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(begin(tasks), end(tasks));
}

// An image a few pixels high or wide is finished on the calling thread: no loop of any algorithm
// starts the pool's workers for it, whose start and join would cost more than the whole run.
TEST(PipelineThreads, SmallImagesStartNoWorkerThread) {
    const ThreadCountScope scope(6);
    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{3, 12}, std::pair{12, 3}, std::pair{12, 12}}) {
        const RasterImage image = noisyDrawing(width, height);
        for (const VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
            SCOPED_TRACE(testing::Message() << rawValue(algorithm) << ", " << width << " x " << height);
            endParallelWorkers();
            const std::ptrdiff_t before = processThreads();
            VectorizerParams params;
            params.algorithm = algorithm;
            const VectorizationOutput output = VectorizationEngine::vectorize(image, params);
            EXPECT_EQ(output.stageA.imageWidth, width);
            EXPECT_EQ(processThreads(), before);
        }
    }
}

}  // namespace
}  // namespace ostrel
