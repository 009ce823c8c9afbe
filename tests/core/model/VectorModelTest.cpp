#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"
#include "testsupport/LanguageScope.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace ostrel {
namespace {

using test::LanguageScope;

TEST(PenLayer, DefaultsWrapByIndexAndFollowLanguage) {
    {
        LanguageScope french(AppLanguage::fr);
        const PenLayer five = PenLayer::make(5);
        EXPECT_EQ(five.name, "Stylo 6");
        EXPECT_EQ(five.widthMM, 0.5);
        EXPECT_EQ(five.colorHex, "#5CE1E6");
        const PenLayer four = PenLayer::make(4);
        EXPECT_EQ(four.widthMM, 0.3);
        EXPECT_EQ(four.colorHex, "#FFB454");
        EXPECT_EQ(PenLayer::make(0).inkscapeLayerLabel(), "1 - Stylo 1 (0.3mm)");
    }
    LanguageScope english(AppLanguage::en);
    EXPECT_EQ(PenLayer::make(5).name, "Pen 6");
    EXPECT_EQ(PenLayer::make(2, std::string("Fine"), 1.25).inkscapeLayerLabel(), "3 - Fine (1.2mm)");
}

TEST(VectorPath, LengthEndpointsAndReversal) {
    VectorPath single;
    single.points = {{3, 4}};
    EXPECT_EQ(single.lengthPx(), 0);
    EXPECT_EQ(single.startPoint(), (VectorPoint{3, 4}));
    EXPECT_EQ(single.endPoint(), (VectorPoint{3, 4}));
    EXPECT_EQ(VectorPath{}.startPoint(), VectorPoint::zero);
    EXPECT_EQ(VectorPath{}.endPoint(), VectorPoint::zero);

    VectorPath both;
    both.points = {{0, 0}, {100, 0}};
    both.beziers = {{{0, 0}, {1, 0}, {2, 0}, {3, 0}}};
    EXPECT_DOUBLE_EQ(both.lengthPx(), 3.0);  // the segments alone count
    both.beziers.clear();
    EXPECT_DOUBLE_EQ(both.lengthPx(), 100.0);

    VectorPath p;
    p.id = 7;
    p.points = {{0, 0}, {1, 2}, {5, 5}};
    p.pointRadiiPx = {1, 2, 3};
    p.beziers = {{{0, 0}, {0.5, 1}, {1, 1.5}, {1, 2}}, {{1, 2}, {2, 3}, {4, 4}, {5, 5}}};
    p.outlineBeziers = {{{0, 0}, {1, 1}, {2, 2}, {0, 0}}};
    const VectorPath r = p.reversedPath();
    EXPECT_EQ(r.points.front(), (VectorPoint{5, 5}));
    EXPECT_EQ(r.pointRadiiPx, (std::vector<double>{3, 2, 1}));
    EXPECT_EQ(r.beziers.front(), (CubicBezierSegment{{5, 5}, {4, 4}, {2, 3}, {1, 2}}));
    EXPECT_EQ(r.outlineBeziers, p.outlineBeziers);
    EXPECT_EQ(r.reversedPath(), p);
}

TEST(CubicBezierSegment, ApproximateLengthIsEightChords) {
    EXPECT_EQ((CubicBezierSegment{{2, 2}, {2, 2}, {2, 2}, {2, 2}}).approximateLength(), 0);
    EXPECT_DOUBLE_EQ((CubicBezierSegment{{0, 0}, {1, 0}, {2, 0}, {3, 0}}).approximateLength(), 3.0);
    // A quarter-circle-like arc: the 8-chord sum is a little short of the true length.
    const double arc = CubicBezierSegment{{1, 0}, {1, 0.5523}, {0.5523, 1}, {0, 1}}.approximateLength();
    EXPECT_GT(arc, 1.56);
    EXPECT_LT(arc, 1.5708);
}

TEST(VectorPoint, HashTreatsSignedZerosAlike) {
    std::unordered_set<VectorPoint, VectorPointHash> set{{0.0, -0.0}};
    EXPECT_TRUE(set.contains(VectorPoint{-0.0, 0.0}));
    EXPECT_DOUBLE_EQ((VectorPoint{0, 0}).distance({3, 4}), 5);
    EXPECT_DOUBLE_EQ((VectorPoint{0, 0}).distanceSquared({3, 4}), 25);
}

TEST(VectorizationResult, VisiblePathsAndFreshMetrics) {
    VectorizationResult result;
    VectorPath a;
    a.id = 1;
    result.layers = {PenLayer::make(0, std::string("a"), 0.3, std::string("#000000"), false, {a}),
                     PenLayer::make(1, std::string("b"), 0.5, std::string("#000000"), false, {a})};
    EXPECT_TRUE(result.allVisiblePaths().empty());
    result.layers[1].visible = true;
    EXPECT_EQ(result.allVisiblePaths().size(), 1u);

    // A fresh record is an A4 portrait page with nothing on it, every field spelled out.
    EXPECT_EQ(PlotterMetrics(), (PlotterMetrics{.imageWidth = 0,
                                                .imageHeight = 0,
                                                .pageWidthMM = 210,
                                                .pageHeightMM = 297,
                                                .pathCount = 0,
                                                .pointCount = 0,
                                                .bezierSegmentCount = 0,
                                                .drawDistancePx = 0,
                                                .drawDistanceMM = 0,
                                                .travelDistanceRawMM = 0,
                                                .travelDistanceOptimizedMM = 0,
                                                .travelSavingsPercent = 0,
                                                .penLifts = 0,
                                                .estimatedPlotSeconds = 0,
                                                .computeMilliseconds = 0,
                                                .usedNeuralEngine = true,
                                                .penPathCounts = {},
                                                .penBreakpointsPx = {}}));
    EXPECT_EQ(PlotterMetrics().pageWidthMM, 210);
    EXPECT_EQ(PlotterMetrics().pageHeightMM, 297);
    EXPECT_TRUE(PlotterMetrics().usedNeuralEngine);
}

TEST(VectorizerParams, CacheKeyCoversStageAFieldsOnly) {
    const VectorizerParams defaults;
    EXPECT_EQ(defaults.extractionCacheKey(),
              "neural_centerline|true|false|128|0.80|0|4|true|true|8.0|55|false|6.0|45|false|2");

    VectorizerParams stageB = defaults;
    stageB.curveSmoothing = 0.1;
    stageB.marginMM = 3;
    stageB.penWidthsMM[0] = 2;
    stageB.blurRadius = 0.801;
    stageB.continuity = 55.2;
    EXPECT_EQ(stageB.extractionCacheKey(), defaults.extractionCacheKey());
    EXPECT_NE(stageB, defaults);

    VectorizerParams angle = defaults;
    angle.hatchAngleDeg = 44.6;
    EXPECT_EQ(angle.extractionCacheKey(), defaults.extractionCacheKey());

    VectorizerParams pens = defaults;
    pens.penCount = 3;
    EXPECT_NE(pens.extractionCacheKey(), defaults.extractionCacheKey());
    VectorizerParams hatch = defaults;
    hatch.hatchEnabled = true;
    EXPECT_NE(hatch.extractionCacheKey(), defaults.extractionCacheKey());

    // Each field changed alone: the sixteen of stage A change the key, the twelve others only
    // the equality.
    struct Change {
        const char* field;
        bool inKey;
        void (*apply)(VectorizerParams&);
    };
    const Change changes[] = {
        {"outputMode", false, [](VectorizerParams& p) { p.outputMode = VectorOutputMode::axidraw; }},
        {"illustrationStrokeStyle", false,
         [](VectorizerParams& p) { p.illustrationStrokeStyle = IllustrationStrokeStyle::perStrokeWidth; }},
        {"strokeWidthScale", false, [](VectorizerParams& p) { p.strokeWidthScale = 1.5; }},
        {"algorithm", true, [](VectorizerParams& p) { p.algorithm = VectorAlgorithm::skeletonize; }},
        {"adaptiveThreshold", true, [](VectorizerParams& p) { p.adaptiveThreshold = false; }},
        {"invert", true, [](VectorizerParams& p) { p.invert = true; }},
        {"threshold", true, [](VectorizerParams& p) { p.threshold = 129; }},
        {"blurRadius", true, [](VectorizerParams& p) { p.blurRadius = 0.9; }},
        {"morphCleanup", true, [](VectorizerParams& p) { p.morphCleanup = 1; }},
        {"rdpTolerance", false, [](VectorizerParams& p) { p.rdpTolerance = 2; }},
        {"curveSmoothing", false, [](VectorizerParams& p) { p.curveSmoothing = 0.1; }},
        {"cornerAngleDeg", false, [](VectorizerParams& p) { p.cornerAngleDeg = 60; }},
        {"minPathLengthPx", true, [](VectorizerParams& p) { p.minPathLengthPx = 5; }},
        {"stegerSubpixel", true, [](VectorizerParams& p) { p.stegerSubpixel = false; }},
        {"crossJunctions", true, [](VectorizerParams& p) { p.crossJunctions = false; }},
        {"maxStitchGapPx", true, [](VectorizerParams& p) { p.maxStitchGapPx = 8.5; }},
        {"continuity", true, [](VectorizerParams& p) { p.continuity = 60; }},
        {"hatchEnabled", true, [](VectorizerParams& p) { p.hatchEnabled = true; }},
        {"hatchSpacingPx", true, [](VectorizerParams& p) { p.hatchSpacingPx = 7; }},
        {"hatchAngleDeg", true, [](VectorizerParams& p) { p.hatchAngleDeg = 30; }},
        {"crossHatch", true, [](VectorizerParams& p) { p.crossHatch = true; }},
        {"penCount", true, [](VectorizerParams& p) { p.penCount = 3; }},
        {"penWidthsMM", false, [](VectorizerParams& p) { p.penWidthsMM[0] = 2; }},
        {"paperFormat", false, [](VectorizerParams& p) { p.paperFormat = PaperFormat::a3; }},
        {"paperOrientation", false, [](VectorizerParams& p) { p.paperOrientation = PaperOrientation::landscape; }},
        {"marginMM", false, [](VectorizerParams& p) { p.marginMM = 3; }},
        {"optimize2Opt", false, [](VectorizerParams& p) { p.optimize2Opt = false; }},
        {"exportBlackStrokes", false, [](VectorizerParams& p) { p.exportBlackStrokes = true; }},
    };
    for (const Change& c : changes) {
        VectorizerParams changed = defaults;
        c.apply(changed);
        EXPECT_NE(changed, defaults) << c.field;
        EXPECT_EQ(changed.extractionCacheKey() != defaults.extractionCacheKey(), c.inKey) << c.field;
    }
}

TEST(Enumerations, RawValuesMatchExactly) {
    EXPECT_EQ(enumFromRaw<VectorExportFormat>("svg-preview"), VectorExportFormat::svgPreview);
    EXPECT_FALSE(enumFromRaw<VectorExportFormat>("SVG"));
    EXPECT_FALSE(enumFromRaw<PaperFormat>("Original"));
    EXPECT_FALSE(enumFromRaw<PaperFormat>("a4"));
    EXPECT_EQ(enumFromRaw<PaperOrientation>("auto"), PaperOrientation::automatic);
    for (auto algorithm : allCases<VectorAlgorithm>()) {
        EXPECT_EQ(enumFromRaw<VectorAlgorithm>(rawValue(algorithm)), algorithm);
    }
    {
        LanguageScope english(AppLanguage::en);
        EXPECT_EQ(label(PaperFormat::original), "Original pixels");
        EXPECT_EQ(label(PaperOrientation::portrait), "Portrait");
    }
    LanguageScope french(AppLanguage::fr);
    EXPECT_EQ(label(PaperFormat::original), "Pixels d'origine");
    EXPECT_EQ(label(PaperFormat::a4), "A4 (210 \u00D7 297 mm)");
    EXPECT_EQ(shortBadge(VectorAlgorithm::skeletonize), "vDSP \u00B7 Guo-Hall");
}

// The sentences that describe the algorithms name what this build runs on, never hardware or
// frameworks it does not use (the short badges stay as they are).
TEST(VectorizerParamsTexts, AlgorithmDescriptionsNameWhatThisBuildUses) {
    for (const AppLanguage language : {AppLanguage::en, AppLanguage::fr}) {
        LanguageScope scope(language);
        for (const auto algorithm : allCases<VectorAlgorithm>()) {
            const std::string text = detail(algorithm);
            for (const char* foreign : {"Neural Engine", "Vision", "vDSP", "ANE", "GPU", "VNDetect"}) {
                EXPECT_EQ(text.find(foreign), std::string::npos) << text;
            }
        }
    }
}

}  // namespace
}  // namespace ostrel
