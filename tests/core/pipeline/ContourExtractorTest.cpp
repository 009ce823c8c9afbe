#include "core/pipeline/ContourExtractor.h"

#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/SyntheticDrawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <vector>

namespace ostrel {
namespace {

namespace NRF = NeuralRidgeFilter;
using Contours = std::vector<std::vector<VectorPoint>>;
using ContourFinder::ContourTree;
using ContourFinder::NormalizedPoint;

// ---------------------------------------------------------------------------------------------
// Fixtures: fields drawn from rectangles.

struct Drawing {
    RasterImage image;
    PreprocessedFields fields;

    Drawing(std::int64_t width, std::int64_t height) {
        image.width = width;
        image.height = height;
        image.luma.assign(static_cast<std::size_t>(width * height), 255.0f);
        fields.width = width;
        fields.height = height;
        fields.binary.assign(static_cast<std::size_t>(width * height), 0);
        fields.distanceField.assign(static_cast<std::size_t>(width * height), 0.0f);
        fields.ridgeField.assign(static_cast<std::size_t>(width * height), 0.0f);
    }

    void fill(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, bool ink = true) {
        for (std::int64_t y = y0; y <= y1; ++y) {
            for (std::int64_t x = x0; x <= x1; ++x) {
                const auto i = static_cast<std::size_t>(y * image.width + x);
                fields.binary[i] = ink ? 1 : 0;
                fields.ridgeField[i] = ink ? 1.0f : 0.0f;
                image.luma[i] = ink ? 0.0f : 255.0f;
            }
        }
    }

    // A rectangular band `thickness` pixels wide whose outer edge is (x0, y0)–(x1, y1).
    void frame(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::int64_t thickness) {
        fill(x0, y0, x1, y1);
        fill(x0 + thickness, y0 + thickness, x1 - thickness, y1 - thickness, false);
    }
};

struct Box {
    double minX, minY, maxX, maxY;
};

Box boxOf(const std::vector<VectorPoint>& points) {
    Box box{1e300, 1e300, -1e300, -1e300};
    for (const auto& p : points) {
        box.minX = std::min(box.minX, p.x);
        box.minY = std::min(box.minY, p.y);
        box.maxX = std::max(box.maxX, p.x);
        box.maxY = std::max(box.maxY, p.y);
    }
    return box;
}

void expectBox(const std::vector<VectorPoint>& points, double minX, double minY, double maxX, double maxY) {
    const Box box = boxOf(points);
    EXPECT_NEAR(box.minX, minX, 1e-3);
    EXPECT_NEAR(box.minY, minY, 1e-3);
    EXPECT_NEAR(box.maxX, maxX, 1e-3);
    EXPECT_NEAR(box.maxY, maxY, 1e-3);
}

VectorizerParams paramsWithMinLength(std::int64_t minLength) {
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::visionContours;
    params.minPathLengthPx = minLength;
    return params;
}

// ---------------------------------------------------------------------------------------------
// Vision contours with the contour finder.

TEST(VisionContoursTest, FrameAtTheImageEdgeIsDroppedAndInnerContoursKept) {
    Drawing d(120, 100);
    d.frame(0, 0, 119, 99, 2);
    d.frame(30, 30, 59, 49, 2);
    const Contours contours = NRF::extractVisionContours(d.image, d.fields, paramsWithMinLength(4));
    // The frame's outer and hole borders both lie within 3 px of the edge; the ring inside keeps its
    // outer border followed by its hole.
    ASSERT_EQ(contours.size(), 2u);
    expectBox(contours[0], 30, 30, 59, 49);
    expectBox(contours[1], 31, 31, 58, 48);
    for (const auto& contour : contours) {
        ASSERT_GE(contour.size(), 4u);
        EXPECT_EQ(contour.front(), contour.back());  // closed
    }
}

TEST(VisionContoursTest, FrameInsetByTenPixelsIsKept) {
    Drawing d(120, 100);
    d.frame(10, 10, 109, 89, 2);
    d.frame(30, 30, 59, 49, 2);
    const Contours contours = NRF::extractVisionContours(d.image, d.fields, paramsWithMinLength(4));
    // Depth first: frame, its hole, the ring inside that hole, the ring's hole.
    ASSERT_EQ(contours.size(), 4u);
    expectBox(contours[0], 10, 10, 109, 89);
    expectBox(contours[1], 11, 11, 108, 88);
    expectBox(contours[2], 30, 30, 59, 49);
    expectBox(contours[3], 31, 31, 58, 48);
}

TEST(VisionContoursTest, DetectorOptionsFollowTheImageSize) {
    struct Case {
        std::int64_t width, height, expected;
    };
    for (const Case c : {Case{100, 50, 512}, Case{1000, 700, 1000}, Case{1000, 3000, 2048}, Case{0, 0, 512}}) {
        const ContourFinder::Options options = NRF::visionDetectorOptions(c.width, c.height);
        EXPECT_EQ(options.maximumImageDimension, c.expected) << c.width << "x" << c.height;
        EXPECT_EQ(options.contrastAdjustment, 2.0f);
        EXPECT_TRUE(options.detectsDarkOnLight);
    }
}

TEST(VisionContoursTest, DetectorImageGreysFollowTheRidge) {
    Drawing d(4, 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // (binary, ridge) → grey
    struct Case {
        std::uint8_t ink;
        float ridge;
        int grey;
    };
    const std::vector<Case> cases{{0, 1.0f, 255}, {1, 0.0f, 64}, {1, 0.5f, 45}, {1, 1.0f, 0},
                                  {1, 2.0f, 0},   {1, nan, 64},  {1, -3.0f, 64}};
    Drawing wide(static_cast<std::int64_t>(cases.size()), 3);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        wide.fields.binary[k] = cases[k].ink;
        wide.fields.ridgeField[k] = cases[k].ridge;
    }
    const auto image = NRF::makePreprocessedVisionImage(wide.image, wide.fields, VectorizerParams{});
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const QColor c = image->pixelColor(static_cast<int>(k), 0);
        EXPECT_EQ(c.red(), cases[k].grey) << k;
        EXPECT_EQ(c.green(), cases[k].grey) << k;
        EXPECT_EQ(c.blue(), cases[k].grey) << k;
        EXPECT_EQ(c.alpha(), 255) << k;
    }

    // Too small or inconsistent fields give no image.
    Drawing small(2, 5);
    EXPECT_FALSE(NRF::makePreprocessedVisionImage(small.image, small.fields, {}).has_value());
    Drawing shortBinary(5, 5);
    shortBinary.fields.binary.pop_back();
    EXPECT_FALSE(NRF::makePreprocessedVisionImage(shortBinary.image, shortBinary.fields, {}).has_value());
    Drawing shortRidge(5, 5);
    shortRidge.fields.ridgeField.clear();
    EXPECT_FALSE(NRF::makePreprocessedVisionImage(shortRidge.image, shortRidge.fields, {}).has_value());
}

TEST(VisionContoursTest, DefaultExtractorMatchesTheContourFinderOnTheDetectorImage) {
    // The default extractor hands the finder the detector image's grey without making the image; it
    // must keep exactly what the finder keeps from the image. Drawings within the finder's working
    // size and one beyond 2048 px (reduced before its borders are followed), light strokes on dark,
    // and fields that fall back (nothing to find, or nothing kept of what is found).
    struct Case {
        SyntheticPreset preset;
        int width;
        int height;
        bool invert;
        std::int64_t minLength;
    };
    const std::vector<Case> cases{{SyntheticPreset::portrait, 459, 477, false, 4},
                                  {SyntheticPreset::rosette, 700, 530, false, 4},
                                  {SyntheticPreset::stageArch, 1052, 744, true, 4},
                                  {SyntheticPreset::rosette, 2101, 263, false, 4},
                                  {SyntheticPreset::hatching, 300, 200, false, 100000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        RasterImage image = SyntheticDrawing::generate(c.preset, c.width, c.height);
        if (c.invert) {
            for (float& v : image.luma) v = 255.0f - v;
        }
        VectorizerParams params = paramsWithMinLength(c.minLength);
        params.invert = c.invert;
        const PreprocessedFields fields = NRF::preprocess(image, params);
        const Contours viaImage = NRF::extractVisionContours(image, fields, params, NRF::findImageContours);
        EXPECT_EQ(NRF::extractVisionContours(image, fields, params), viaImage);
        if (c.minLength < 1000) {
            EXPECT_GT(viaImage.size(), 10U);
        } else {
            EXPECT_EQ(viaImage, NRF::extractMarchingSquaresContours(fields, c.minLength));
        }
    }
    Drawing blank(40, 30);
    EXPECT_EQ(NRF::extractVisionContours(blank.image, blank.fields, paramsWithMinLength(4)),
              NRF::extractMarchingSquaresContours(blank.fields, 4));
    EXPECT_TRUE(NRF::extractVisionContours(blank.image, blank.fields, paramsWithMinLength(4)).empty());
}

// ---------------------------------------------------------------------------------------------
// Contour collection on hand-made trees. A 1024 × 1024 image keeps the normalised points exact.

constexpr double kSide = 1024.0;

NormalizedPoint at(double x, double y) { return {static_cast<float>(x / kSide), static_cast<float>(1.0 - y / kSide)}; }

ContourTree treeOf(std::vector<std::vector<NormalizedPoint>> contours) {
    ContourTree tree;
    for (auto& points : contours) {
        tree.topLevel.push_back(static_cast<std::int64_t>(tree.contours.size()));
        tree.contours.push_back({std::move(points), false, -1, {}});
    }
    return tree;
}

TEST(CollectContoursTest, ClosesOnlyGapsAboveFiveHundredthsAndBelowSixPixels) {
    struct Case {
        double gap;
        bool closed;
    };
    for (const Case c : {Case{5.9, true}, Case{6.0, false}, Case{0.0625, true}, Case{0.046875, false}, Case{0.0, false},
                         Case{2.0, true}}) {
        // A hook from (500, 500) up 40 px, right 40 px and back down to (500 + gap, 500).
        const ContourTree tree = treeOf({{at(500, 500), at(500, 460), at(540, 460), at(500 + c.gap, 500)}});
        const Contours out = NRF::collectContours(tree, kSide, kSide, 2.0);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].size(), c.closed ? 5u : 4u) << c.gap;
        if (c.closed) {
            EXPECT_EQ(out[0].back(), out[0].front());
        }
    }
    // Two points are never closed.
    const Contours pair = NRF::collectContours(treeOf({{at(500, 500), at(503, 500)}}), kSide, kSide, 2.0);
    ASSERT_EQ(pair.size(), 1u);
    EXPECT_EQ(pair[0].size(), 2u);
}

TEST(CollectContoursTest, KeepsArcsOfAtLeastTheMinimumAndSkipsSinglePoints) {
    const ContourTree tree = treeOf({
        {at(100, 100), at(101.5, 100)},             // 1.5 px
        {at(200, 200), at(202, 200)},               // 2 px: kept at 2, dropped at 2.5
        {at(300, 300)},                             // one point
        {at(400, 400), at(410, 400), at(420, 400)}  // 20 px, open (ends 20 px apart)
    });
    EXPECT_EQ(NRF::collectContours(tree, kSide, kSide, 2.0).size(), 2u);
    EXPECT_EQ(NRF::collectContours(tree, kSide, kSide, 2.5).size(), 1u);
    EXPECT_EQ(NRF::collectContours(tree, kSide, kSide, 21.0).size(), 0u);
}

TEST(CollectContoursTest, FrameRuleNeedsBothSpansAndNoPointInside) {
    // An L along the top and left edges, 1 px in: (1, 1 + spanY) → (1, 1) → (1 + spanX, 1).
    struct Case {
        double spanX, spanY;
        double insideX;  // x of an extra point on the top edge row y = 1, or of a point inside at y = 50
        bool inside;
        bool dropped;
    };
    const std::vector<Case> cases{
        {1000, 1000, 0, false, true},    // spans the picture, hugs the border
        {963, 963, 0, false, true},      // 94.04 % of both sides
        {960, 1000, 0, false, false},    // 93.75 % across: kept
        {1000, 960, 0, false, false},    // 93.75 % down: kept
        {1000, 1000, 500, true, false},  // one point inside the inner rectangle keeps it
    };
    for (const Case& c : cases) {
        std::vector<NormalizedPoint> points{at(1, 1 + c.spanY), at(1, 1), at(1 + c.spanX, 1)};
        if (c.inside) points.push_back(at(c.insideX, 50));
        // A child inside the frame is visited whether or not the frame is dropped.
        ContourTree tree = treeOf({points});
        tree.contours.push_back({{at(300, 300), at(340, 300), at(340, 340)}, true, 0, {}});
        tree.contours[0].children.push_back(1);
        const Contours out = NRF::collectContours(tree, kSide, kSide, 2.0);
        ASSERT_EQ(out.size(), c.dropped ? 1u : 2u) << c.spanX << " " << c.spanY;
        expectBox(out.back(), 300, 300, 340, 340);
    }
    // Points exactly 3 px in are not inside: strictly 3 < x < width − 3.
    const ContourTree edge = treeOf({{at(3, 3), at(3, 1021), at(1021, 1021), at(1021, 3)}});
    EXPECT_TRUE(NRF::collectContours(edge, kSide, kSide, 2.0).empty());
    const ContourTree inside = treeOf({{at(3.5, 3.5), at(3, 1021), at(1021, 1021), at(1021, 3)}});
    EXPECT_EQ(NRF::collectContours(inside, kSide, kSide, 2.0).size(), 1u);
}

TEST(CollectContoursTest, DepthFirstOrderAndMalformedTrees) {
    // 0 → {1 → {3}, 2}; 4 at top level.
    ContourTree tree;
    for (int k = 0; k < 5; ++k) {
        const double y = 100.0 + 50.0 * k;
        tree.contours.push_back({{at(100, y), at(110, y), at(120, y)}, false, -1, {}});
    }
    tree.contours[0].children = {1, 2};
    tree.contours[1].children = {3};
    tree.topLevel = {0, 4};
    const Contours out = NRF::collectContours(tree, kSide, kSide, 2.0);
    ASSERT_EQ(out.size(), 5u);
    const std::vector<double> expectedY{100, 150, 250, 200, 300};
    for (std::size_t k = 0; k < out.size(); ++k) EXPECT_NEAR(out[k][0].y, expectedY[k], 1e-3);

    // A cycle and indices out of range neither loop nor crash.
    tree.contours[3].children = {0, 99, -7};
    EXPECT_EQ(NRF::collectContours(tree, kSide, kSide, 2.0).size(), 5u);
}

// ---------------------------------------------------------------------------------------------
// The fallback.

TEST(VisionContoursTest, FallbackReplacesAFailingOrEmptyDetector) {
    Drawing d(60, 50);
    d.frame(10, 10, 40, 35, 3);
    d.fill(48, 40, 55, 45);
    const VectorizerParams params = paramsWithMinLength(4);
    const Contours fallback = NRF::extractMarchingSquaresContours(d.fields, 4);
    ASSERT_FALSE(fallback.empty());
    const Contours found = NRF::extractVisionContours(d.image, d.fields, params);
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found, fallback);

    const std::vector<NRF::ContourDetector> failing{
        [](const QImage&, const ContourFinder::Options&) { return std::optional<ContourTree>{}; },
        [](const QImage&, const ContourFinder::Options&) { return std::optional<ContourTree>{ContourTree{}}; },
        [](const QImage&, const ContourFinder::Options&) -> std::optional<ContourTree> {
            throw std::runtime_error("detector failed");
        },
        // Only a frame: nothing survives collection.
        [](const QImage&, const ContourFinder::Options&) {
            return std::optional<ContourTree>{treeOf({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}})};
        },
        NRF::ContourDetector{},
    };
    for (std::size_t k = 0; k < failing.size(); ++k) {
        EXPECT_EQ(NRF::extractVisionContours(d.image, d.fields, params, failing[k]), fallback) << k;
    }
}

TEST(VisionContoursTest, FallbackTracesTheBoundaryPixels) {
    Drawing d(40, 30);
    d.fill(10, 8, 25, 20);
    const Contours chains = NRF::extractMarchingSquaresContours(d.fields, 4);
    ASSERT_FALSE(chains.empty());
    // Every point lies on the rectangle's outline (within the sub-pixel refinement), and every side
    // is traced.
    std::set<int> sides;
    for (const auto& chain : chains) {
        for (const auto& p : chain) {
            const bool inX = p.x > 9 && p.x < 26;
            const bool inY = p.y > 7 && p.y < 21;
            if (std::abs(p.x - 10) < 1 && inY) sides.insert(0);
            if (std::abs(p.x - 25) < 1 && inY) sides.insert(1);
            if (std::abs(p.y - 8) < 1 && inX) sides.insert(2);
            if (std::abs(p.y - 20) < 1 && inX) sides.insert(3);
            const bool onOutline =
                inX && inY &&
                (std::abs(p.x - 10) < 1 || std::abs(p.x - 25) < 1 || std::abs(p.y - 8) < 1 || std::abs(p.y - 20) < 1);
            EXPECT_TRUE(onOutline) << p.x << "," << p.y;
        }
    }
    EXPECT_EQ(sides, (std::set<int>{0, 1, 2, 3}));
}

TEST(VisionContoursTest, DegenerateFieldsGiveNoContours) {
    const VectorizerParams params = paramsWithMinLength(4);
    Drawing tiny(2, 2);
    tiny.fill(0, 0, 1, 1);
    EXPECT_TRUE(NRF::extractVisionContours(tiny.image, tiny.fields, params).empty());

    Drawing blank(30, 30);
    EXPECT_TRUE(NRF::extractVisionContours(blank.image, blank.fields, params).empty());

    Drawing inconsistent(30, 30);
    inconsistent.fill(5, 5, 20, 20);
    inconsistent.fields.binary.resize(100);
    EXPECT_TRUE(NRF::extractVisionContours(inconsistent.image, inconsistent.fields, params).empty());
    EXPECT_TRUE(NRF::extractMarchingSquaresContours(inconsistent.fields, 4).empty());

    PreprocessedFields empty;
    EXPECT_TRUE(NRF::extractMarchingSquaresContours(empty, 0).empty());
}

TEST(VisionContoursTest, MinimumLengthZeroStillDropsArcsUnderTwoPixels) {
    Drawing d(30, 30);
    d.fill(5, 5, 20, 20);
    const NRF::ContourDetector detector = [](const QImage&, const ContourFinder::Options&) {
        // In a 30 × 30 image: a 1.5 px dash and a 6 px dash.
        auto p = [](double x, double y) {
            return NormalizedPoint{static_cast<float>(x / 30), static_cast<float>(1 - y / 30)};
        };
        return std::optional<ContourTree>{treeOf({{p(10, 10), p(11.5, 10)}, {p(10, 20), p(16, 20)}})};
    };
    for (const std::int64_t minLength : {0, 1, 2}) {
        const Contours out = NRF::extractVisionContours(d.image, d.fields, paramsWithMinLength(minLength), detector);
        ASSERT_EQ(out.size(), 1u) << minLength;
        EXPECT_NEAR(out[0][0].y, 20, 1e-4);
    }
    EXPECT_EQ(NRF::extractVisionContours(d.image, d.fields, paramsWithMinLength(7), detector),
              NRF::extractMarchingSquaresContours(d.fields, 7));
}

// ---------------------------------------------------------------------------------------------
// Canny.

struct Grid {
    std::int64_t width, height;
    std::vector<float> values;

    Grid(std::int64_t w, std::int64_t h) : width(w), height(h), values(static_cast<std::size_t>(w * h), 0.0f) {}
    float& operator()(std::int64_t x, std::int64_t y) { return values[static_cast<std::size_t>(y * width + x)]; }
};

int countSet(const std::vector<std::uint8_t>& mask, std::int64_t width, std::int64_t y0, std::int64_t y1) {
    int count = 0;
    for (std::int64_t y = y0; y <= y1; ++y) {
        for (std::int64_t x = 0; x < width; ++x) count += mask[static_cast<std::size_t>(y * width + x)] != 0;
    }
    return count;
}

TEST(CannyTest, StrongThresholdIsClampedThreshold) {
    // A vertical step of height s: the two pixels beside it have magnitude 4 s and tie.
    struct Case {
        std::int64_t threshold;
        float step;
        bool kept;
    };
    const std::vector<Case> cases{{10, 7.5f, true},   {10, 7.25f, false},    // high 30
                                  {128, 32.0f, true}, {128, 31.75f, false},  // high 128
                                  {250, 55.0f, true}, {250, 54.75f, false},  // high 220
                                  {220, 55.0f, true}, {29, 7.5f, true}};
    for (const Case& c : cases) {
        Grid g(12, 8);
        for (std::int64_t y = 0; y < 8; ++y) {
            for (std::int64_t x = 6; x < 12; ++x) g(x, y) = c.step;
        }
        const auto mask = NRF::cannyEdgeMask(g.values, g.width, g.height, c.threshold);
        // Alone, a weak edge is dropped entirely.
        EXPECT_EQ(countSet(mask, g.width, 0, 7), c.kept ? 12 : 0) << c.threshold << " " << c.step;
        if (c.kept) {
            for (std::int64_t y = 1; y <= 6; ++y) {
                EXPECT_EQ(mask[static_cast<std::size_t>(y * 12 + 5)], 1);
                EXPECT_EQ(mask[static_cast<std::size_t>(y * 12 + 6)], 1);
            }
        }
    }
}

TEST(CannyTest, WeakEdgesSurviveOnlyWhenChainedToStrongOnes) {
    // Upper half: a strong step of 100; lower half: a step of s, weak when 4 s ≥ low = 0.45 × high.
    struct Case {
        std::int64_t threshold;
        float step;
        bool kept;
    };
    const std::vector<Case> cases{{10, 3.375f, true},  {10, 3.25f, false},    // low 13.5
                                  {128, 14.5f, true},  {128, 14.25f, false},  // low 57.6
                                  {250, 24.75f, true}, {250, 24.5f, false}};  // low 99
    for (const Case& c : cases) {
        Grid g(12, 12);
        for (std::int64_t y = 0; y < 12; ++y) {
            for (std::int64_t x = 6; x < 12; ++x) g(x, y) = y < 6 ? 100.0f : c.step;
        }
        const auto mask = NRF::cannyEdgeMask(g.values, g.width, g.height, c.threshold);
        EXPECT_EQ(countSet(mask, 12, 1, 4), 8) << c.threshold;
        EXPECT_EQ(countSet(mask, 12, 7, 10), c.kept ? 8 : 0) << c.threshold << " " << c.step;
    }

    // The same weak step alone, beside a separate strong edge that does not touch it.
    Grid g(24, 12);
    for (std::int64_t y = 0; y < 12; ++y) {
        for (std::int64_t x = 4; x < 24; ++x) g(x, y) = 100.0f;
        if (y >= 6) {
            for (std::int64_t x = 16; x < 24; ++x) g(x, y) = 114.5f;  // weak step of 14.5 at x = 16
        }
    }
    const auto mask = NRF::cannyEdgeMask(g.values, g.width, g.height, 128);
    for (std::int64_t y = 7; y <= 10; ++y) {
        EXPECT_EQ(mask[static_cast<std::size_t>(y * 24 + 15)], 0);
        EXPECT_EQ(mask[static_cast<std::size_t>(y * 24 + 16)], 0);
        EXPECT_EQ(mask[static_cast<std::size_t>(y * 24 + 3)], 1);
    }
}

TEST(CannyTest, DiagonalClassesCompareTheirWrittenNeighbourPairs) {
    // A smooth ramp across the edge. Horizontally, suppression keeps only the steepest column.
    const auto profile = [](std::int64_t k) {
        constexpr std::array<float, 5> ramp{10, 40, 100, 160, 190};
        if (k < 10) return 0.0f;
        if (k >= 15) return 200.0f;
        return ramp[static_cast<std::size_t>(k - 10)];
    };
    Grid across(20, 8);
    for (std::int64_t y = 0; y < 8; ++y) {
        for (std::int64_t x = 0; x < 20; ++x) across(x, y) = profile(x);
    }
    const auto acrossMask = NRF::cannyEdgeMask(across.values, 20, 8, 128);
    std::set<std::int64_t> columns;
    for (std::int64_t i = 0; i < 160; ++i) {
        if (acrossMask[static_cast<std::size_t>(i)] != 0) columns.insert(i % 20);
    }
    EXPECT_EQ(columns, std::set<std::int64_t>{12});

    // Along x + y (class 1) and x − y (class 3) the pairs north-east/south-west and north-west/south-east
    // lie along the edge, where the magnitude is equal: the whole ramp band k = 9…15 survives.
    for (const int sign : {1, -1}) {
        Grid diagonal(20, 20);
        for (std::int64_t y = 0; y < 20; ++y) {
            for (std::int64_t x = 0; x < 20; ++x) {
                const std::int64_t k = sign > 0 ? x + y - 6 : x - y + 12;
                diagonal(x, y) = profile(k);
            }
        }
        const auto mask = NRF::cannyEdgeMask(diagonal.values, 20, 20, 128);
        std::set<std::int64_t> bands;
        for (std::int64_t y = 1; y < 19; ++y) {
            for (std::int64_t x = 1; x < 19; ++x) {
                if (mask[static_cast<std::size_t>(y * 20 + x)] != 0) bands.insert(sign > 0 ? x + y - 6 : x - y + 12);
            }
        }
        EXPECT_EQ(bands, (std::set<std::int64_t>{9, 10, 11, 12, 13, 14, 15})) << sign;
    }
}

TEST(CannyTest, DegenerateSizesGiveZeroMasks) {
    struct Case {
        std::int64_t width, height;
    };
    for (const Case c : {Case{2, 7}, Case{7, 2}, Case{1, 1}, Case{0, 5}}) {
        RasterImage image;
        image.width = c.width;
        image.height = c.height;
        image.luma.assign(static_cast<std::size_t>(c.width * c.height), 0.0f);
        const auto mask = NRF::extractCannySkeleton(image, VectorizerParams{});
        EXPECT_EQ(mask, std::vector<std::uint8_t>(static_cast<std::size_t>(c.width * c.height), 0));
    }
    RasterImage negative;
    negative.width = -3;
    negative.height = 4;
    EXPECT_TRUE(NRF::extractCannySkeleton(negative, VectorizerParams{}).empty());

    // A luma array of the wrong length is not read.
    RasterImage shortLuma;
    shortLuma.width = 10;
    shortLuma.height = 10;
    shortLuma.luma.assign(50, 0.0f);
    EXPECT_EQ(NRF::extractCannySkeleton(shortLuma, VectorizerParams{}), std::vector<std::uint8_t>(100, 0));
    EXPECT_EQ(NRF::cannyEdgeMask(shortLuma.luma, 10, 10, 128), std::vector<std::uint8_t>(100, 0));
}

TEST(CannyTest, SkeletonIsThinAndBlursWithAtLeastSigmaOne) {
    Drawing d(48, 36);
    d.fill(12, 10, 35, 25);  // a filled rectangle
    d.fill(8, 31, 40, 31);   // a 1 px line
    VectorizerParams params;
    params.threshold = 128;
    params.blurRadius = 1.0;
    const auto skeleton = NRF::extractCannySkeleton(d.image, params);
    ASSERT_EQ(skeleton.size(), 48u * 36u);
    ASSERT_GT(std::count(skeleton.begin(), skeleton.end(), 1), 40);
    for (std::int64_t y = 0; y + 1 < 36; ++y) {
        for (std::int64_t x = 0; x + 1 < 48; ++x) {
            const auto i = static_cast<std::size_t>(y * 48 + x);
            EXPECT_FALSE(skeleton[i] && skeleton[i + 1] && skeleton[i + 48] && skeleton[i + 49]) << x << "," << y;
        }
    }
    // Every edge pixel lies near an outline of the drawing.
    for (std::int64_t y = 0; y < 36; ++y) {
        for (std::int64_t x = 0; x < 48; ++x) {
            if (!skeleton[static_cast<std::size_t>(y * 48 + x)]) continue;
            const bool nearRect = x >= 9 && x <= 38 && y >= 7 && y <= 28 && !(x >= 15 && x <= 32 && y >= 13 && y <= 22);
            const bool nearLine = y >= 28 && x >= 5 && x <= 43;
            EXPECT_TRUE(nearRect || nearLine) << x << "," << y;
        }
    }

    for (const double radius : {0.3, 0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        params.blurRadius = radius;
        EXPECT_EQ(NRF::extractCannySkeleton(d.image, params), skeleton) << radius;
    }
    params.blurRadius = 3.0;
    EXPECT_NE(NRF::extractCannySkeleton(d.image, params), skeleton);
    params.blurRadius = std::numeric_limits<double>::infinity();
    EXPECT_EQ(NRF::extractCannySkeleton(d.image, params).size(), 48u * 36u);
}

}  // namespace
}  // namespace ostrel
