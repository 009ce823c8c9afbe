#include "app/views/canvas/CanvasTransformGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {
namespace {

PageTransform imagePage(std::int64_t w, std::int64_t h) {
    PageTransform page;
    page.imageWidth = w;
    page.imageHeight = h;
    page.isRawPixels = true;
    return page;
}

// A4 portrait fitted at half a millimetre per pixel, offset (10, 20) mm.
PageTransform a4Page(bool raw = false) {
    PageTransform page;
    page.imageWidth = 1000;
    page.imageHeight = 500;
    page.pageWidthMM = 210;
    page.pageHeightMM = 297;
    page.scalePxToMM = 0.5;
    page.offsetXMM = 10;
    page.offsetYMM = 20;
    page.isRawPixels = raw;
    return page;
}

CanvasTransformGeometry make(QSizeF pane, double zoom, QPointF pan, PageTransform page, bool paper) {
    CanvasTransformGeometry g;
    g.paneSize = pane;
    g.zoomScale = zoom;
    g.panOffset = pan;
    g.pageTransform = page;
    g.showPaperFrame = paper;
    return g;
}

void expectNear(QPointF actual, QPointF expected, const std::string& what) {
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << what;
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << what;
}

struct MappingCase {
    std::string name;
    CanvasTransformGeometry geometry;
    QRectF sheet;
    VectorPoint image;
    QPointF pane;
};

std::vector<MappingCase> mappingCases() {
    const QSizeF pane(800, 600);
    const QSizeF a4Pane(250, 337);  // room 210 x 297: an A4 sheet at one point per millimetre
    return {
        {"landscape image fills width",
         make(pane, 1, {}, imagePage(1000, 500), false),
         {20, 110, 760, 380},
         {500, 250},
         {400, 300}},
        {"zoom 2 about the centre",
         make(pane, 2, {}, imagePage(1000, 500), false),
         {20, 110, 760, 380},
         {0, 0},
         {-360, -80}},
        {"zoom 2 with pan",
         make(pane, 2, {10, -5}, imagePage(1000, 500), false),
         {20, 110, 760, 380},
         {0, 0},
         {-350, -85}},
        {"pan moves by exactly the offset",
         make(pane, 1, {10, -5}, imagePage(1000, 500), false),
         {20, 110, 760, 380},
         {500, 250},
         {410, 295}},
        {"portrait image fills height",
         make(pane, 1, {}, imagePage(500, 1000), false),
         {260, 20, 280, 560},
         {500, 1000},
         {540, 580}},
        {"tiny pane keeps 8 points of room",
         make({30, 30}, 1, {}, imagePage(10, 10), false),
         {11, 11, 8, 8},
         {10, 10},
         {19, 19}},
        {"empty image divides by one",
         make(pane, 1, {}, imagePage(0, 0), false),
         {120, 20, 560, 560},
         {1, 1},
         {680, 580}},
        {"paper mode places millimetres", make(a4Pane, 1, {}, a4Page(), true), {20, 20, 210, 297}, {100, 40}, {80, 60}},
        {"paper mode zoomed and panned",
         make(a4Pane, 2, {3, 4}, a4Page(), true),
         {20, 20, 210, 297},
         {100, 40},
         {125 + (80 - 125) * 2 + 3, 168.5 + (60 - 168.5) * 2 + 4}},
        {"raw page on paper frame: page aspect, image mapping",
         make(a4Pane, 1, {}, a4Page(true), true),
         {20, 20, 210, 297},
         {1000, 500},
         {230, 317}},
        {"paper page without the frame is image mode",
         make(pane, 1, {}, a4Page(), false),
         {20, 110, 760, 380},
         {500, 250},
         {400, 300}},
    };
}

TEST(CanvasTransformGeometry, MapsImagePointsToPaneAndBack) {
    for (const MappingCase& c : mappingCases()) {
        const CanvasTransformGeometry& g = c.geometry;
        const QRectF sheet = g.baseSheetRect();
        EXPECT_NEAR(sheet.x(), c.sheet.x(), 1e-9) << c.name;
        EXPECT_NEAR(sheet.y(), c.sheet.y(), 1e-9) << c.name;
        EXPECT_NEAR(sheet.width(), c.sheet.width(), 1e-9) << c.name;
        EXPECT_NEAR(sheet.height(), c.sheet.height(), 1e-9) << c.name;

        expectNear(g.imageToPane(c.image), c.pane, c.name + ": imageToPane");
        expectNear(g.imageToPaneTransform().map(QPointF(c.image.x, c.image.y)), c.pane, c.name + ": transform");
        const VectorPoint back = g.paneToImage(c.pane);
        EXPECT_NEAR(back.x, c.image.x, 1e-9) << c.name << ": paneToImage";
        EXPECT_NEAR(back.y, c.image.y, 1e-9) << c.name << ": paneToImage";

        // The transform is a pure scale plus translation and agrees with imageToPane everywhere.
        const QTransform t = g.imageToPaneTransform();
        EXPECT_EQ(t.m12(), 0.0) << c.name;
        EXPECT_EQ(t.m21(), 0.0) << c.name;
        const VectorPoint other{37.5, 912.25};
        expectNear(t.map(QPointF(other.x, other.y)), g.imageToPane(other), c.name + ": transform elsewhere");

        // Lengths convert both ways.
        EXPECT_NEAR(g.imageRadiusToPane(g.paneDistanceToImagePx(9)), 9, 1e-9) << c.name;
        EXPECT_TRUE(std::isfinite(g.paneDistanceToImagePx(9))) << c.name;
    }
}

TEST(CanvasTransformGeometry, LengthsFollowTheMeanAxisScaleAndZoom) {
    // 0.76 points per pixel on both axes, zoom 2.
    const auto g = make({800, 600}, 2, {5, 5}, imagePage(1000, 500), false);
    EXPECT_NEAR(g.imageRadiusToPane(10), 15.2, 1e-9);
    EXPECT_NEAR(g.paneDistanceToImagePx(15.2), 10, 1e-9);
    // Raw page on the paper frame: 0.21 and 0.594 points per pixel, the mean is used.
    const auto raw = make({250, 337}, 1, {}, a4Page(true), true);
    EXPECT_NEAR(raw.imageRadiusToPane(10), 10 * (0.21 + 0.594) / 2, 1e-9);
}

TEST(CanvasTransformGeometry, InverseMappingClampsTinyZoom) {
    // A zoom of 0.01 maps forward as given but is read back as 0.05.
    const auto g = make({800, 600}, 0.01, {}, imagePage(1000, 500), false);
    const QPointF p = g.imageToPane({0, 0});
    expectNear(p, {396.2, 298.1}, "forward");
    const VectorPoint back = g.paneToImage(p);
    EXPECT_NEAR(back.x, 400, 1e-6);
    EXPECT_NEAR(back.y, 200, 1e-6);
}

TEST(CanvasTransformGeometry, MarginRectOnlyInPaperModeWithRoomLeft) {
    const QSizeF a4Pane(250, 337);
    PageTransform landscape = a4Page();
    landscape.pageWidthMM = 297;
    landscape.pageHeightMM = 210;
    struct Case {
        std::string name;
        CanvasTransformGeometry geometry;
        double margin;
        std::optional<QRectF> expected;
    };
    const std::vector<Case> cases = {
        {"10 mm on A4 at one point per mm", make(a4Pane, 1, {}, a4Page(), true), 10, QRectF(30, 30, 190, 277)},
        {"zoom 2 and pan scale the inset", make(a4Pane, 2, {3, 4}, a4Page(), true), 10,
         QRectF(125 - 105 * 2 + 3 + 20, 168.5 - 148.5 * 2 + 4 + 20, 420 - 40, 594 - 40)},
        {"just under half the width", make(a4Pane, 1, {}, a4Page(), true), 104, QRectF(124, 124, 2, 89)},
        {"half the width leaves nothing", make(a4Pane, 1, {}, a4Page(), true), 105, std::nullopt},
        {"half the height leaves nothing", make(a4Pane, 1, {}, landscape, true), 105, std::nullopt},
        {"raw pixel page is not paper mode", make(a4Pane, 1, {}, a4Page(true), true), 10, std::nullopt},
        {"no paper frame", make(a4Pane, 1, {}, a4Page(), false), 10, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto r = c.geometry.zoomedMarginRect(c.margin);
        ASSERT_EQ(r.has_value(), c.expected.has_value()) << c.name;
        if (!r) continue;
        EXPECT_NEAR(r->x(), c.expected->x(), 1e-9) << c.name;
        EXPECT_NEAR(r->y(), c.expected->y(), 1e-9) << c.name;
        EXPECT_NEAR(r->width(), c.expected->width(), 1e-9) << c.name;
        EXPECT_NEAR(r->height(), c.expected->height(), 1e-9) << c.name;
    }
}

}  // namespace
}  // namespace ostrel
