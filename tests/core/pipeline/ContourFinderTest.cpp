#include "core/pipeline/ContourFinder.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {
namespace {

using ContourFinder::Contour;
using ContourFinder::ContourTree;

struct Mask {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> bytes;
};

// '#' = object pixel, anything else background; all rows the same length.
Mask maskFrom(const std::vector<std::string>& rows) {
    Mask mask{static_cast<std::int64_t>(rows.front().size()), static_cast<std::int64_t>(rows.size()), {}};
    for (const auto& row : rows) {
        for (const char c : row) mask.bytes.push_back(c == '#' ? 1 : 0);
    }
    return mask;
}

// The pixel coordinates a normalised point stands for, over a width × height image.
std::pair<int, int> pixelOf(const ContourFinder::NormalizedPoint& p, std::int64_t width, std::int64_t height) {
    return {static_cast<int>(std::lround(static_cast<double>(p.x) * static_cast<double>(width))),
            static_cast<int>(std::lround((1.0 - static_cast<double>(p.y)) * static_cast<double>(height)))};
}

std::set<std::pair<int, int>> pixelSet(const Contour& contour, std::int64_t width, std::int64_t height) {
    std::set<std::pair<int, int>> pixels;
    for (const auto& p : contour.points) pixels.insert(pixelOf(p, width, height));
    return pixels;
}

TEST(ContourFinderTest, RingGivesOuterBorderWithOneHoleChild) {
    const Mask m = maskFrom({
        ".......",
        ".#####.",
        ".#...#.",
        ".#...#.",
        ".#...#.",
        ".#####.",
        ".......",
    });
    const ContourTree tree = ContourFinder::traceBorders(m.bytes, m.width, m.height);
    ASSERT_EQ(tree.contours.size(), 2u);
    ASSERT_EQ(tree.topLevel, std::vector<std::int64_t>{0});
    const Contour& outer = tree.contours[0];
    const Contour& hole = tree.contours[1];
    EXPECT_FALSE(outer.isHole);
    EXPECT_EQ(outer.parent, -1);
    EXPECT_EQ(outer.children, std::vector<std::int64_t>{1});
    EXPECT_TRUE(hole.isHole);
    EXPECT_EQ(hole.parent, 0);
    EXPECT_TRUE(hole.children.empty());

    // The outer border runs over the 16 ring pixels once each, starting at the top-left ring pixel
    // (origin of the normalised points at the bottom left); the hole border, 8-connected, cuts the
    // four corners.
    EXPECT_EQ(outer.points.size(), 16u);
    EXPECT_EQ(pixelSet(outer, m.width, m.height).size(), 16u);
    EXPECT_EQ(hole.points.size(), 12u);
    auto expectedHole = pixelSet(outer, m.width, m.height);
    for (const auto& corner : {std::pair{1, 1}, std::pair{5, 1}, std::pair{1, 5}, std::pair{5, 5}}) {
        expectedHole.erase(corner);
    }
    EXPECT_EQ(pixelSet(hole, m.width, m.height), expectedHole);
    EXPECT_FLOAT_EQ(outer.points.front().x, 1.0f / 7.0f);
    EXPECT_FLOAT_EQ(outer.points.front().y, 1.0f - 1.0f / 7.0f);
    for (const auto& p : outer.points) {
        const auto [x, y] = pixelOf(p, m.width, m.height);
        EXPECT_TRUE(x == 1 || x == 5 || y == 1 || y == 5) << x << "," << y;
    }
    // Consecutive border pixels are 8-neighbours, and the loop closes.
    for (std::size_t k = 0; k < outer.points.size(); ++k) {
        const auto a = pixelOf(outer.points[k], m.width, m.height);
        const auto b = pixelOf(outer.points[(k + 1) % outer.points.size()], m.width, m.height);
        EXPECT_LE(std::max(std::abs(a.first - b.first), std::abs(a.second - b.second)), 1);
    }
}

TEST(ContourFinderTest, NestedSquaresNestThroughTheirHoles) {
    // A thick square ring around a filled square, beside a lone pixel and a second blob.
    const Mask m = maskFrom({
        "............",
        ".#########..",
        ".#########.#",
        ".##.....##..",
        ".##.###.##..",
        ".##.#.#.##..",
        ".##.###.##.#",
        ".##.....##.#",
        ".#########..",
        ".#########..",
        "............",
    });
    const ContourTree tree = ContourFinder::traceBorders(m.bytes, m.width, m.height);
    // Discovery order: big outer (row 1), lone pixel (row 2), big hole (row 3), small outer (row 4),
    // small hole (row 5), the 2-pixel blob (row 6).
    ASSERT_EQ(tree.contours.size(), 6u);
    const auto& c = tree.contours;
    EXPECT_EQ(tree.topLevel, (std::vector<std::int64_t>{0, 1, 5}));
    EXPECT_FALSE(c[0].isHole);
    EXPECT_EQ(c[0].children, std::vector<std::int64_t>{2});
    EXPECT_EQ(c[1].points.size(), 1u);
    EXPECT_TRUE(c[1].children.empty());
    EXPECT_TRUE(c[2].isHole);
    EXPECT_EQ(c[2].parent, 0);
    EXPECT_EQ(c[2].children, std::vector<std::int64_t>{3});
    EXPECT_FALSE(c[3].isHole);
    EXPECT_EQ(c[3].parent, 2);
    EXPECT_EQ(c[3].children, std::vector<std::int64_t>{4});
    EXPECT_TRUE(c[4].isHole);
    EXPECT_EQ(c[4].parent, 3);
    EXPECT_EQ(c[5].points.size(), 2u);
    EXPECT_EQ(c[5].parent, -1);

    // The big ring's hole border runs on the ring's inner ink pixels only.
    for (const auto& [x, y] : pixelSet(c[2], m.width, m.height)) {
        EXPECT_TRUE(x == 2 || x == 8 || y == 2 || y == 8) << x << "," << y;
    }
    EXPECT_EQ(pixelSet(c[3], m.width, m.height).size(), 8u);
}

TEST(ContourFinderTest, DegenerateInputsGiveEmptyTrees) {
    EXPECT_TRUE(ContourFinder::traceBorders({}, 0, 0).contours.empty());
    EXPECT_TRUE(ContourFinder::traceBorders({1, 1}, 3, 1).contours.empty());  // size mismatch
    EXPECT_TRUE(ContourFinder::traceBorders({0, 0, 0, 0}, 2, 2).contours.empty());
    EXPECT_TRUE(ContourFinder::traceBorders({1}, -1, -1).contours.empty());
    EXPECT_TRUE(ContourFinder::findContours(std::vector<std::uint8_t>{}, 0, 5, {}).contours.empty());
    EXPECT_TRUE(ContourFinder::findContours(QImage(), {}).contours.empty());

    // Ink on every pixel: one outer border along the image edge, no hole.
    const ContourTree full = ContourFinder::traceBorders(std::vector<std::uint8_t>(12, 1), 4, 3);
    ASSERT_EQ(full.contours.size(), 1u);
    EXPECT_EQ(full.contours[0].points.size(), 10u);
}

std::vector<std::uint8_t> greyWithRect(std::int64_t width, std::int64_t height, int x0, int y0, int x1, int y1,
                                       std::uint8_t ink, std::uint8_t paper) {
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width * height), paper);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) grey[static_cast<std::size_t>(y * width + x)] = ink;
    }
    return grey;
}

TEST(ContourFinderTest, PolarityFollowsDarkOnLight) {
    const auto grey = greyWithRect(20, 10, 5, 2, 12, 6, 70, 200);
    ContourFinder::Options dark;
    const ContourTree darkTree = ContourFinder::findContours(grey, 20, 10, dark);
    ASSERT_EQ(darkTree.contours.size(), 1u);
    const auto pixels = pixelSet(darkTree.contours[0], 20, 10);
    EXPECT_EQ(*pixels.begin(), std::make_pair(5, 2));
    EXPECT_EQ(*pixels.rbegin(), std::make_pair(12, 6));

    ContourFinder::Options light;
    light.detectsDarkOnLight = false;
    const ContourTree lightTree = ContourFinder::findContours(grey, 20, 10, light);
    // The light paper is one object along the image edge with the rectangle as its hole.
    ASSERT_EQ(lightTree.contours.size(), 2u);
    EXPECT_TRUE(lightTree.contours[1].isHole);
    EXPECT_EQ(lightTree.contours[1].parent, 0);

    // Mid grey is neither dark nor light.
    EXPECT_TRUE(ContourFinder::findContours(std::vector<std::uint8_t>(200, 128), 20, 10, dark).contours.empty());
}

TEST(ContourFinderTest, LargeImagesAreReducedAndMappedBackToSourcePixels) {
    const std::int64_t width = 1000;
    const std::int64_t height = 600;
    const auto grey = greyWithRect(width, height, 200, 100, 599, 399, 0, 255);
    ContourFinder::Options options;
    options.maximumImageDimension = 500;
    const ContourTree tree = ContourFinder::findContours(grey, width, height, options);
    ASSERT_EQ(tree.contours.size(), 1u);
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const auto& p : tree.contours[0].points) {
        const double x = static_cast<double>(p.x) * static_cast<double>(width);
        const double y = (1.0 - static_cast<double>(p.y)) * static_cast<double>(height);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    // Working pixels of 2 × 2 source pixels: the border lies on their centres.
    EXPECT_NEAR(minX, 200.5, 1e-3);
    EXPECT_NEAR(maxX, 598.5, 1e-3);
    EXPECT_NEAR(minY, 100.5, 1e-3);
    EXPECT_NEAR(maxY, 398.5, 1e-3);
    // 200 × 150 working pixels around: 2 × (200 + 150) − 4 border pixels.
    EXPECT_EQ(tree.contours[0].points.size(), 696u);
}

TEST(ContourFinderTest, QImageIsReadAsGreyOverWhite) {
    QImage image(16, 8, QImage::Format_RGBA8888);
    image.fill(QColor(255, 255, 255, 255));
    for (int y = 2; y < 5; ++y) {
        for (int x = 3; x < 9; ++x) image.setPixelColor(x, y, QColor(0, 0, 0, 255));
    }
    image.setPixelColor(12, 6, QColor(0, 0, 0, 0));  // transparent black reads as white
    const ContourTree tree = ContourFinder::findContours(image, {});
    ASSERT_EQ(tree.contours.size(), 1u);
    EXPECT_EQ(pixelSet(tree.contours[0], 16, 8).size(), 14u);
}

}  // namespace
}  // namespace ostrel
