#include "core/pipeline/VectorizationEngine.h"

#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "testsupport/Subprocess.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <fstream>

namespace ostrel {
namespace {

using VectorizationEngine::finalizeStageB;
using VectorizationEngine::rebuildFromEditedLayers;

RawPath line(double x0, double y0, double x1, double y1, std::size_t n = 2, double radius = 1.0) {
    RawPath raw;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = n == 1 ? 0 : static_cast<double>(k) / static_cast<double>(n - 1);
        raw.points.push_back({x0 + (x1 - x0) * t, y0 + (y1 - y0) * t});
    }
    raw.radiusPx = radius;
    raw.pointRadii.assign(n, radius);
    return raw;
}

RawExtractionStage stageWith(std::vector<std::vector<RawPath>> groups) {
    RawExtractionStage stage;
    stage.imageWidth = 200;
    stage.imageHeight = 100;
    stage.pathsByPen = std::move(groups);
    stage.breakpointsPx = {2.5};
    return stage;
}

TEST(VectorizationEngineStageB, LayersFollowPenCountWidthsAndVisibility) {
    const auto stage = stageWith({{line(0, 0, 50, 0)}});
    VectorizerParams params;
    struct Case {
        std::int64_t penCount;
        std::size_t layers;
    };
    for (const Case c : {Case{0, 1}, Case{-2, 1}, Case{3, 3}, Case{7, 4}}) {
        params.penCount = c.penCount;
        const auto result = finalizeStageB(stage, params, {}, VectorizationEngine::clockSeconds());
        ASSERT_EQ(result.layers.size(), c.layers) << c.penCount;
        EXPECT_EQ(result.metrics.penPathCounts.size(), c.layers);
        EXPECT_EQ(result.metrics.penPathCounts.front(), 1);
        for (std::size_t i = 1; i < c.layers; ++i) EXPECT_EQ(result.metrics.penPathCounts[i], 0);
    }

    params.penCount = 3;
    const auto hidden = finalizeStageB(stage, params, {{1, false}}, VectorizationEngine::clockSeconds());
    EXPECT_TRUE(hidden.layers[0].visible);
    EXPECT_FALSE(hidden.layers[1].visible);
    EXPECT_TRUE(hidden.layers[2].visible);

    params.penCount = 2;
    params.penWidthsMM = {0.4};
    const auto widths = finalizeStageB(stage, params, {}, VectorizationEngine::clockSeconds());
    EXPECT_EQ(widths.layers[0].widthMM, 0.4);
    EXPECT_EQ(widths.layers[1].widthMM, 0.5);
    EXPECT_EQ(widths.metrics.penBreakpointsPx, std::vector<double>{2.5});
}

TEST(VectorizationEngineStageB, ClosedRuleSmoothingThresholdAndOutlines) {
    VectorizerParams params;
    params.rdpTolerance = 0.0001;  // keep every point

    auto closedness = [&](std::vector<VectorPoint> points) {
        RawPath raw;
        raw.points = std::move(points);
        raw.radiusPx = 1;
        raw.pointRadii.assign(raw.points.size(), 1);
        const auto result = finalizeStageB(stageWith({{raw}}), params, {}, 0);
        return result.layers[0].paths.at(0).isClosed;
    };
    EXPECT_FALSE(closedness({{0, 0}, {10, 0}, {10, 10}, {0, 0}}));
    EXPECT_TRUE(closedness({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 1.49}}));
    EXPECT_FALSE(closedness({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 1.5}}));

    const auto stage = stageWith({{line(0, 0, 60, 30, 12)}});
    params.curveSmoothing = 0.02;
    EXPECT_TRUE(finalizeStageB(stage, params, {}, 0).layers[0].paths[0].beziers.empty());
    params.curveSmoothing = 0.021;
    const auto fitted = finalizeStageB(stage, params, {}, 0);
    EXPECT_FALSE(fitted.layers[0].paths[0].beziers.empty());
    EXPECT_FALSE(fitted.layers[0].paths[0].outlineBeziers.empty());  // default: illustration ribbons

    params.outputMode = VectorOutputMode::axidraw;
    EXPECT_TRUE(finalizeStageB(stage, params, {}, 0).layers[0].paths[0].outlineBeziers.empty());
    params.outputMode = VectorOutputMode::illustration;
    params.illustrationStrokeStyle = IllustrationStrokeStyle::perStrokeWidth;
    EXPECT_TRUE(finalizeStageB(stage, params, {}, 0).layers[0].paths[0].outlineBeziers.empty());

    params.illustrationStrokeStyle = IllustrationStrokeStyle::variableRibbon;
    RawPath hatch = line(0, 50, 100, 50, 2, 0.6);
    hatch.isHatch = true;
    const auto hatched = finalizeStageB(stageWith({{hatch}}), params, {}, 0);
    EXPECT_TRUE(hatched.layers[0].paths[0].beziers.empty());
    EXPECT_TRUE(hatched.layers[0].paths[0].outlineBeziers.empty());
}

TEST(VectorizationEngineStageB, IdsAreConsecutiveAndMetricsAddUp) {
    VectorizerParams params;
    params.penCount = 2;
    const auto stage = stageWith({{line(100, 0, 150, 0), line(0, 0, 10, 0), RawPath{}}, {line(0, 90, 30, 90)}});
    const auto result = finalizeStageB(stage, params, {}, VectorizationEngine::clockSeconds());
    std::vector<std::int64_t> ids;
    std::int64_t points = 0;
    std::int64_t segments = 0;
    for (const auto& layer : result.layers) {
        for (const auto& path : layer.paths) {
            ids.push_back(path.id);
            points += static_cast<std::int64_t>(path.points.size());
            segments += static_cast<std::int64_t>(path.beziers.size());
        }
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3}));  // the empty raw path takes no id
    EXPECT_EQ(result.layers[1].paths[0].id, 3);
    EXPECT_EQ(result.metrics.pathCount, 3);
    EXPECT_EQ(result.metrics.penLifts, 3);
    EXPECT_EQ(result.metrics.pointCount, points);
    EXPECT_EQ(result.metrics.bezierSegmentCount, segments);
    EXPECT_LE(result.metrics.travelDistanceOptimizedMM, result.metrics.travelDistanceRawMM);
    EXPECT_GE(result.metrics.travelSavingsPercent, 0);
    EXPECT_GE(result.metrics.computeMilliseconds, 0.1);
    const auto& m = result.metrics;
    EXPECT_DOUBLE_EQ(m.estimatedPlotSeconds, m.drawDistanceMM / 38 + m.travelDistanceOptimizedMM / 110 +
                                                 static_cast<double>(m.penLifts) * 0.14);
    EXPECT_FALSE(result.svgAxiDraw.empty());
    EXPECT_FALSE(result.svgPreview.empty());
}

TEST(VectorizationEngineRebuild, SingleStrokeTravelDependsOnReoptimizing) {
    VectorizerParams params;
    params.paperFormat = PaperFormat::original;
    VectorPath path;
    path.id = 4;
    path.points = {{30, 40}, {60, 40}};
    std::vector<PenLayer> layers{PenLayer::make(0, std::nullopt, std::nullopt, std::nullopt, true, {path})};
    const auto reoptimized = rebuildFromEditedLayers(layers, 100, 100, params, false, {}, true);
    EXPECT_EQ(reoptimized.metrics.travelDistanceRawMM, 0);
    EXPECT_EQ(reoptimized.metrics.computeMilliseconds, 1.0);
    const auto kept = rebuildFromEditedLayers(layers, 100, 100, params, false, {1.5}, false);
    EXPECT_DOUBLE_EQ(kept.metrics.travelDistanceRawMM, 50 * 0.26458333333333334);
    EXPECT_EQ(kept.metrics.travelSavingsPercent, 0);
    EXPECT_EQ(kept.metrics.penBreakpointsPx, std::vector<double>{1.5});
    EXPECT_FALSE(kept.metrics.usedNeuralEngine);
}

TEST(VectorizationEngineRefit, KeepsIdentityAndFillsRadii) {
    VectorizerParams params;
    VectorPath one;
    one.points = {{1, 1}};
    EXPECT_EQ(VectorizationEngine::refitPath(one, params), one);
    VectorPath path;
    path.id = 9;
    path.penIndex = 1;
    path.points = {{0, 0}, {10, 5}, {20, 0}, {30, 5}};
    path.strokeRadiusPx = 2;
    path.pointRadiiPx = {1, 2};  // wrong count: replaced by the stroke radius
    const auto refit = VectorizationEngine::refitPath(path, params);
    EXPECT_EQ(refit.id, 9);
    EXPECT_EQ(refit.points, path.points);
    EXPECT_EQ(refit.pointRadiiPx, std::vector<double>(4, 2.0));
    EXPECT_FALSE(refit.beziers.empty());
}

TEST(VectorizationEngineStageA, HatchingAndStitchGap) {
    // A blank image has no ink: no groups, so hatching adds nothing, and stage B still gives the pens.
    RasterImage blank{64, 64, PixelBuffer<float>(64 * 64, 255.0f)};
    VectorizerParams params;
    params.hatchEnabled = true;
    const auto stage = VectorizationEngine::extractStageA(blank, params);
    std::size_t total = 0;
    for (const auto& group : stage.pathsByPen) total += group.size();
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(stage.extractionCacheKey, params.extractionCacheKey());
    const auto result = finalizeStageB(stage, params, {}, VectorizationEngine::clockSeconds());
    EXPECT_EQ(result.layers.size(), 2u);
    EXPECT_EQ(result.metrics.pathCount, 0);
    EXPECT_EQ(result.metrics.estimatedPlotSeconds, 0);
}

// An image handed over to stage A (freed during preprocessing where the algorithm allows) gives the
// stage and the fields of one that is only read, with every algorithm and with blurring on and off.
TEST(VectorizationEngineStageA, AHandedOverImageGivesTheSameStage) {
    const RasterImage image = SyntheticDrawing::generate(SyntheticPreset::hatching, 180, 240);
    for (VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
        for (const double blurRadius : {0.0, 1.2}) {
            SCOPED_TRACE(testing::Message() << rawValue(algorithm) << " blur " << blurRadius);
            VectorizerParams params;
            params.algorithm = algorithm;
            params.blurRadius = blurRadius;
            const RawExtractionStage kept = VectorizationEngine::extractStageA(image, params);
            EXPECT_GT(kept.pathsByPen.size(), 0u);
            EXPECT_EQ(VectorizationEngine::extractStageA(RasterImage(image), params), kept);
            EXPECT_EQ(NeuralRidgeFilter::preprocess(RasterImage(image), params),
                      NeuralRidgeFilter::preprocess(image, params));
        }
    }
}

/// Every built-in drawing with every algorithm gives strokes, consistent metrics and SVG that
/// an XML parser reads and rsvg-convert renders.
TEST(VectorizationEngineEndToEnd, BuiltInDrawingsWithEveryAlgorithm) {
    test::TemporaryFolder folder;
    for (SyntheticPreset preset : allCases<SyntheticPreset>()) {
        const RasterImage image = SyntheticDrawing::generate(preset, 360, 480);
        for (VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
            VectorizerParams params;
            params.algorithm = algorithm;
            const auto [stage, result] = VectorizationEngine::vectorize(image, params);
            const std::string what = std::string(rawValue(preset)) + "/" + std::string(rawValue(algorithm));
            EXPECT_GT(result.metrics.pathCount, 0) << what;
            std::int64_t paths = 0;
            std::int64_t points = 0;
            std::int64_t segments = 0;
            for (const auto& layer : result.layers) {
                paths += static_cast<std::int64_t>(layer.paths.size());
                for (const auto& p : layer.paths) {
                    points += static_cast<std::int64_t>(p.points.size());
                    segments += static_cast<std::int64_t>(p.beziers.size());
                }
            }
            EXPECT_EQ(result.metrics.pathCount, paths) << what;
            EXPECT_EQ(result.metrics.pointCount, points) << what;
            EXPECT_EQ(result.metrics.bezierSegmentCount, segments) << what;
            EXPECT_LE(result.metrics.travelDistanceOptimizedMM, result.metrics.travelDistanceRawMM + 1e-9) << what;

            for (const std::string* svg : {&result.svgAxiDraw.text(), &result.svgPreview.text()}) {
                QXmlStreamReader xml(QByteArray::fromStdString(*svg));
                while (!xml.atEnd()) xml.readNext();
                EXPECT_FALSE(xml.hasError()) << what << ": " << xml.errorString().toStdString();
            }
            if (algorithm == VectorAlgorithm::neuralCenterline) {
                const std::string svgPath = folder.file(what.substr(0, what.find('/')) + ".svg");
                std::ofstream(svgPath) << result.svgAxiDraw;
                const auto render = test::runProcess("rsvg-convert", {"-o", svgPath + ".png", svgPath});
                EXPECT_EQ(render.exitCode, 0) << what << render.err;
            }
        }
    }
}

}  // namespace
}  // namespace ostrel
