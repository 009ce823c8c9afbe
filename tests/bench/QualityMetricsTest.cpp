#include "benchsupport/QualityMetrics.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

using namespace ostrel::bench;

constexpr int kW = 40, kH = 40;

/// A kW × kH mask with the pixels of [x0, x1) × [y0, y1) set.
PixelMask rect(int x0, int y0, int x1, int y1, PixelMask mask = PixelMask(kW * kH, 0)) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) mask[static_cast<std::size_t>(y * kW + x)] = 1;
    return mask;
}

PixelMask minus(PixelMask a, const PixelMask& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = a[i] != 0 && b[i] == 0 ? 1 : 0;
    return a;
}

std::size_t count(const PixelMask& mask) {
    std::size_t n = 0;
    for (auto v : mask) n += v != 0 ? 1 : 0;
    return n;
}

TEST(QualityMetricsTest, BoundaryOfASquareRingIsItsInnerAndOuterEdge) {
    const PixelMask ring = minus(rect(10, 10, 30, 30), rect(15, 15, 25, 25));
    const PixelMask boundary = inkBoundary(ring, kW, kH);
    // Outer edge of the 20 × 20 square: 76 pixels; inner edge: 4 sides of 10 pixels along the hole (the
    // ring's inner corners touch the hole only diagonally).
    EXPECT_EQ(count(boundary), 76u + 40u);
    EXPECT_EQ(boundary[10 * kW + 10], 1);  // outer corner
    EXPECT_EQ(boundary[14 * kW + 14], 0);  // inner corner: its 4-neighbours are all ink
    EXPECT_EQ(boundary[14 * kW + 15], 1);  // above the hole
    EXPECT_EQ(boundary[12 * kW + 12], 0);  // inside the ring
}

TEST(QualityMetricsTest, InkTouchingTheImageEdgeHasNoBoundaryThere) {
    const PixelMask band = rect(0, 10, kW, 20);  // full-width band: only its top and bottom rows are edge
    const PixelMask boundary = inkBoundary(band, kW, kH);
    EXPECT_EQ(count(boundary), 2u * kW);
    EXPECT_EQ(boundary[15 * kW + 0], 0);
}

TEST(QualityMetricsTest, SymmetricDistanceOfLinesOnAndBesideTheBoundary) {
    const PixelMask ring = minus(rect(10, 10, 30, 30), rect(15, 15, 25, 25));
    const PixelMask ringEdge = inkBoundary(ring, kW, kH);
    const auto exact = symmetricDistance(ringEdge, ringEdge, kW, kH);
    ASSERT_TRUE(exact);
    EXPECT_DOUBLE_EQ(exact->meanPx, 0.0);
    EXPECT_DOUBLE_EQ(exact->p95Px, 0.0);
    EXPECT_EQ(exact->samples, 2 * 116);

    // Band rows 10…19 (edge rows 10 and 19); lines 2 px outside on both sides.
    const PixelMask bandEdge = inkBoundary(rect(0, 10, kW, 20), kW, kH);
    const auto shifted = symmetricDistance(rect(0, 8, kW, 9, rect(0, 21, kW, 22)), bandEdge, kW, kH);
    ASSERT_TRUE(shifted);
    EXPECT_FLOAT_EQ(static_cast<float>(shifted->meanPx), 2.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(shifted->p95Px), 2.0f);

    // Only the top edge drawn: the bottom edge is 9 px from it. Samples: top edge 0 (40), bottom
    // edge 9 (40), line pixels 0 (40) → mean 3, 95th percentile 9: both directions count.
    const auto half = symmetricDistance(rect(0, 10, kW, 11), bandEdge, kW, kH);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->samples, 3 * kW);
    EXPECT_FLOAT_EQ(static_cast<float>(half->meanPx), 3.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(half->p95Px), 9.0f);

    // Stray lines far from any ink count against the drawing.
    const auto stray = symmetricDistance(rect(0, 39, 1, 40, ringEdge), ringEdge, kW, kH);
    ASSERT_TRUE(stray);
    EXPECT_GT(stray->meanPx, 0.0);
}

TEST(QualityMetricsTest, SymmetricDistanceNeedsBothMasksOfTheRightSize) {
    const PixelMask edge = inkBoundary(rect(10, 10, 30, 30), kW, kH);
    EXPECT_FALSE(symmetricDistance(PixelMask(kW * kH, 0), edge, kW, kH));
    EXPECT_FALSE(symmetricDistance(edge, PixelMask(kW * kH, 0), kW, kH));
    EXPECT_FALSE(symmetricDistance(edge, edge, kW, kH + 1));
}

TEST(QualityMetricsTest, IntersectionOverUnion) {
    const PixelMask a = rect(0, 0, 20, 20);
    EXPECT_DOUBLE_EQ(*intersectionOverUnion(a, a), 1.0);
    EXPECT_DOUBLE_EQ(*intersectionOverUnion(a, rect(20, 20, 40, 40)), 0.0);
    EXPECT_DOUBLE_EQ(*intersectionOverUnion(a, rect(10, 0, 30, 20)), 1.0 / 3.0);  // half overlap
    EXPECT_DOUBLE_EQ(*intersectionOverUnion(PixelMask(4, 0), PixelMask(4, 0)), 1.0);
    EXPECT_FALSE(intersectionOverUnion(a, PixelMask(3, 0)));
}

TEST(QualityMetricsTest, DarkMaskCompositesOverWhite) {
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 255));        // black: luma 0
    image.setPixel(1, 0, qRgba(0, 0, 0, 0));          // transparent: white
    image.setPixel(2, 0, qRgba(0, 0, 0, 128));        // half-covered black: luma ≈ 127
    image.setPixel(3, 0, qRgba(200, 200, 200, 255));  // light grey
    EXPECT_EQ(darkMask(image, kInkLuma), (PixelMask{1, 0, 1, 0}));
    EXPECT_EQ(darkMask(image, 201.0f), (PixelMask{1, 0, 1, 1}));
    EXPECT_TRUE(darkMask(QImage(), kInkLuma).empty());
}

}  // namespace
