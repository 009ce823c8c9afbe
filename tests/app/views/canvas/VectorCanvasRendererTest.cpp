#include "app/views/canvas/VectorCanvasRenderer.h"

#include "app/shell/Theme.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/StrokeGrid.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace ostrel {
namespace {

// A 140 × 140 pane showing a 100 × 100 raw-pixel page: the sheet is (20, 20, 100, 100) at one point
// per pixel, so image point (x, y) lands on pane point (x + 20, y + 20).
constexpr double kPane = 140;

using test::straightSegment;

/// A horizontal stroke through (10, 50), (50, 50), (90, 50).
VectorPath horizontalStroke(std::int64_t id, double y = 50) {
    VectorPath path;
    path.id = id;
    path.points = {{10, y}, {50, y}, {90, y}};
    path.strokeRadiusPx = 1;
    return path;
}

VectorizationResult oneStrokeResult(std::int64_t layerIndex = 0, double widthMM = 4) {
    return test::rawPixelResult(100, {horizontalStroke(1)}, layerIndex, widthMM);
}

struct Frame {
    VectorizationResult result = oneStrokeResult();
    VectorizerParams params;
    bool sheet = true;
    bool blackOnWhite = false;
    double zoom = 1;
    std::set<std::int64_t> selected;
    std::optional<SelectedVertex> vertex;
    bool withCache = true;

    [[nodiscard]] VectorFrameInput input(QSizeF pane = {kPane, kPane}) const {
        auto cache = withCache ? std::make_shared<const VectorRenderCache>(VectorRenderCache::build(result)) : nullptr;
        return VectorFrameInput::make(result, cache, params, pane, zoom, {}, false, sheet, blackOnWhite, false, false,
                                      selected, vertex);
    }
    [[nodiscard]] QImage render() const { return renderVectorFrame(input(), 1.0); }
};

bool near(QColor actual, QColor expected, int tolerance = 6) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return "rgba(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue()) + "," +
           std::to_string(c.alpha()) + ")";
}

/// Coverage of column `x`: the sum of alpha over the column, in whole pixels.
double columnCoverage(const QImage& image, int x) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) sum += image.pixelColor(x, y).alphaF();
    return sum;
}

class VectorCanvasRendererTest : public ::testing::Test {
protected:
    VectorCanvasRendererTest() { test::ensureQtApp(); }
};

TEST_F(VectorCanvasRendererTest, PalettesColourTheSheetAndEachLayer) {
    const QColor lightSheet = QColor::fromRgbF(0.985F, 0.982F, 0.972F);
    const QColor lightInk = QColor::fromRgbF(0.07F, 0.08F, 0.10F);
    struct Case {
        std::string name;
        bool blackOnWhite;
        std::int64_t layerIndex;
        QColor sheet;
        QColor stroke;
    };
    const std::vector<Case> cases = {
        {"dark, pen 1", false, 0, Theme::lane(), Theme::accent()},
        {"dark, index 5 wraps to pen 2", false, 5, Theme::lane(), Theme::tcp()},
        {"dark, negative index takes pen 1", false, -3, Theme::lane(), Theme::accent()},
        {"dark, pen 4", false, 3, Theme::lane(), Theme::alive()},
        {"light, any pen is ink", true, 2, lightSheet, lightInk},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.blackOnWhite = c.blackOnWhite;
        frame.result = oneStrokeResult(c.layerIndex);
        const QImage image = frame.render();
        EXPECT_TRUE(near(image.pixelColor(70, 70), c.stroke)) << c.name << ": " << describe(image.pixelColor(70, 70));
        EXPECT_TRUE(near(image.pixelColor(40, 40), c.sheet)) << c.name << ": " << describe(image.pixelColor(40, 40));
        EXPECT_EQ(image.pixelColor(10, 10).alpha(), 0) << c.name << ": outside the sheet stays clear";
    }
}

TEST_F(VectorCanvasRendererTest, PenWidthFollowsThePageScaleWithAOnePointFloor) {
    struct Case {
        std::string name;
        double widthMM;
        double scalePxToMM;
        double zoom;
        double expected;
    };
    const std::vector<Case> cases = {
        {"4 mm at 1 mm per pixel", 4, 1, 1, 4},   {"zoom 2 doubles it", 3, 1, 2, 6},
        {"2 mm at 2 mm per pixel", 2, 2, 1, 1},   {"a scale of 0 reads as 0.08", 0.2, 0, 1, 2.5},
        {"never below one point", 0.01, 1, 1, 1},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.sheet = false;
        frame.zoom = c.zoom;
        frame.result = oneStrokeResult(0, c.widthMM);
        frame.result.pageTransform.scalePxToMM = c.scalePxToMM;
        const QImage image = frame.render();
        EXPECT_NEAR(columnCoverage(image, 72), c.expected, 0.3) << c.name;
    }
}

TEST_F(VectorCanvasRendererTest, LayersAreSkippedWhenHiddenUncachedOrMissingFromTheCache) {
    struct Case {
        std::string name;
        std::function<void(Frame&)> change;
        bool strokeDrawn;
    };
    const std::vector<Case> cases = {
        {"visible layer", [](Frame&) {}, true},
        {"hidden layer", [](Frame& f) { f.result.layers[0].visible = false; }, false},
        {"hidden selected layer draws no halo or dots either",
         [](Frame& f) {
             f.result.layers[0].visible = false;
             f.selected = {1};
         },
         false},
        {"no render cache", [](Frame& f) { f.withCache = false; }, false},
    };
    for (const Case& c : cases) {
        Frame frame;
        c.change(frame);
        const QImage image = frame.render();
        int inked = 0;
        for (int x = 25; x < 115; ++x) {
            for (int y = 60; y < 80; ++y) inked += near(image.pixelColor(x, y), Theme::lane()) ? 0 : 1;
        }
        EXPECT_EQ(inked > 0, c.strokeDrawn) << c.name << ": " << inked << " pixels off the sheet colour";
        // The sheet is drawn in every case.
        EXPECT_TRUE(near(image.pixelColor(40, 40), Theme::lane())) << c.name;
    }

    // A cache built from fewer layers than the result: the extra layer is not drawn.
    Frame frame;
    VectorizationResult shorter = frame.result;
    frame.result.layers.push_back(PenLayer::make(1, "second", 4, "#000000", true, {horizontalStroke(2, 80)}));
    VectorFrameInput input = frame.input();
    input.renderCache = std::make_shared<const VectorRenderCache>(VectorRenderCache::build(shorter));
    const QImage image = renderVectorFrame(input, 1.0);
    EXPECT_TRUE(near(image.pixelColor(70, 70), Theme::accent()));
    EXPECT_TRUE(near(image.pixelColor(70, 100), Theme::lane())) << describe(image.pixelColor(70, 100));
}

TEST_F(VectorCanvasRendererTest, NothingIsDrawnOnACanvasOfFourPointsOrLess) {
    for (const double side : {4.0, 4.5}) {
        Frame frame;
        const QImage image = renderVectorFrame(frame.input({side, side}), 1.0);
        int drawn = 0;
        for (int x = 0; x < image.width(); ++x) {
            for (int y = 0; y < image.height(); ++y) drawn += image.pixelColor(x, y).alpha() > 0 ? 1 : 0;
        }
        EXPECT_EQ(drawn > 0, side > 4) << side;
    }
}

TEST_F(VectorCanvasRendererTest, ContentFollowsTheOutputModeAndStrokeStyle) {
    // The stroke's ribbon outline is 20 pixels tall and its radius 5: a probe 8 points above the
    // centre line is inside the ribbon, inside the 10-point width band, outside a 1-point line.
    VectorPath ribbonStroke = horizontalStroke(1);
    ribbonStroke.strokeRadiusPx = 5;
    ribbonStroke.outlineBeziers = {straightSegment({10, 40}, {90, 40}), straightSegment({90, 40}, {90, 60}),
                                   straightSegment({90, 60}, {10, 60}), straightSegment({10, 60}, {10, 40})};
    VectorPath plainStroke = ribbonStroke;
    plainStroke.outlineBeziers.clear();
    struct Case {
        std::string name;
        VectorOutputMode mode;
        IllustrationStrokeStyle style;
        VectorPath stroke;
        int probeY;
        bool inked;
    };
    const std::vector<Case> cases = {
        {"ribbon filled", VectorOutputMode::illustration, IllustrationStrokeStyle::variableRibbon, ribbonStroke, 62,
         true},
        {"no ribbon: centre line", VectorOutputMode::illustration, IllustrationStrokeStyle::variableRibbon, plainStroke,
         62, false},
        {"width band 10 wide", VectorOutputMode::illustration, IllustrationStrokeStyle::perStrokeWidth, plainStroke, 66,
         true},
        {"width band ends at its radius", VectorOutputMode::illustration, IllustrationStrokeStyle::perStrokeWidth,
         plainStroke, 62, false},
        {"plotter mode: centre line", VectorOutputMode::axidraw, IllustrationStrokeStyle::variableRibbon, ribbonStroke,
         62, false},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.result = oneStrokeResult(0, 2);
        frame.result.layers[0].paths = {c.stroke};
        frame.params.outputMode = c.mode;
        frame.params.illustrationStrokeStyle = c.style;
        const QImage image = frame.render();
        EXPECT_TRUE(near(image.pixelColor(70, 70), Theme::accent())) << c.name << ": centre";
        EXPECT_EQ(near(image.pixelColor(70, c.probeY), Theme::accent()), c.inked)
            << c.name << ": " << describe(image.pixelColor(70, c.probeY));
    }
}

TEST_F(VectorCanvasRendererTest, SelectedStrokesGetAHaloAndVertexDots) {
    // Pen 2 (tcp) so the accent of the selected vertex dot stands out.
    struct Case {
        std::string name;
        std::set<std::int64_t> selected;
        std::optional<SelectedVertex> vertex;
        bool halo;
        QColor middleDot;  // at the stroke's middle point (70, 70)
        QColor firstDot;   // at its first point (30, 70)
    };
    const QColor stroke = Theme::tcp();
    const std::vector<Case> cases = {
        {"nothing selected", {}, std::nullopt, false, stroke, stroke},
        {"selected: 6-point dots", {1}, std::nullopt, true, Theme::background(), Theme::background()},
        {"selected vertex: 9-point accent dot", {1}, SelectedVertex{1, 0}, true, Theme::background(), Theme::accent()},
        {"vertex of an unselected stroke: no dot", {}, SelectedVertex{1, 0}, false, stroke, stroke},
        {"unknown id draws nothing", {77}, std::nullopt, false, stroke, stroke},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.result = oneStrokeResult(1, 2);
        frame.selected = c.selected;
        frame.vertex = c.vertex;
        const QImage image = frame.render();
        // The halo is P + 3.5 = 5.5 wide: 2.5 points above the centre it shows, the 2-point line does not.
        const QColor edge = image.pixelColor(50, 67);
        EXPECT_EQ(!near(edge, Theme::lane(), 12), c.halo) << c.name << ": " << describe(edge);
        EXPECT_TRUE(near(image.pixelColor(70, 70), c.middleDot))
            << c.name << ": " << describe(image.pixelColor(70, 70));
        EXPECT_TRUE(near(image.pixelColor(30, 70), c.firstDot)) << c.name << ": " << describe(image.pixelColor(30, 70));
    }
}

TEST_F(VectorCanvasRendererTest, OverlappingVertexDotsStayFilled) {
    Frame frame;
    frame.result = oneStrokeResult(1, 2);
    frame.result.layers[0].paths[0].points = {{10, 50}, {12, 50}, {90, 50}};
    frame.selected = {1};
    const QImage image = frame.render();
    // Inside both dots near (30, 70) and (32, 70): the dot fill, not the stroke through a hole.
    EXPECT_TRUE(near(image.pixelColor(31, 70), Theme::background())) << describe(image.pixelColor(31, 70));
}

TEST_F(VectorCanvasRendererTest, StampedVertexDotsLookLikeDotsDrawnAsPaths) {
    // Selected strokes whose vertices fall on every quarter of a device pixel and between them, at
    // ratio 2. A painter whose axes differ by a hair draws the dots as paths: the stamps must land on
    // the same pixels, within the antialiasing of an eighth of a pixel.
    Frame frame;
    frame.result = oneStrokeResult(1, 0.5);
    std::vector<VectorPath> strokes;
    for (int i = 0; i < 12; ++i) {
        VectorPath path = horizontalStroke(i + 1, 8 + i * 7.13);
        const double dx = 0.37 * i;
        path.points = {{10 + dx, path.points[0].y}, {50.11 + dx, path.points[0].y}, {90.22 + dx, path.points[0].y}};
        strokes.push_back(path);
        frame.selected.insert(i + 1);
    }
    frame.result.layers[0].paths = std::move(strokes);
    frame.vertex = SelectedVertex{5, 1};
    const VectorFrameInput in = frame.input();
    const auto render = [&in](double yScale) {
        QImage image(280, 280, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(1, yScale);
        drawVectorFrame(painter, in, QSizeF(kPane, kPane));
        return image;
    };
    const QImage stamped = render(1);
    const QImage drawn = render(1 + 1e-12);
    int worst = 0;
    int apart = 0;
    for (int y = 0; y < stamped.height(); ++y) {
        for (int x = 0; x < stamped.width(); ++x) {
            const QColor a = stamped.pixelColor(x, y);
            const QColor b = drawn.pixelColor(x, y);
            const int d = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                    std::abs(a.blue() - b.blue()), std::abs(a.alpha() - b.alpha())});
            worst = std::max(worst, d);
            if (d > 16) ++apart;
        }
    }
    // Measured: 52 levels and about 600 pixels; stamps a quarter pixel off give 87 and 2,000, a
    // pixel off 208 and 3,500.
    EXPECT_LE(worst, 64);
    EXPECT_LE(apart, 1000) << "pixels more than 16 levels apart";
}

TEST_F(VectorCanvasRendererTest, ATranslucentHaloOverManyStrokesLooksLikeOne) {
    // 600 selected strokes on the same line need several chunks: their halo must not build up.
    const auto haloPixel = [](int strokes) {
        Frame frame;
        frame.result = oneStrokeResult(1, 2);
        std::vector<VectorPath> paths;
        for (int i = 0; i < strokes; ++i) {
            paths.push_back(horizontalStroke(i + 1));
            frame.selected.insert(i + 1);
        }
        frame.result.layers[0].paths = std::move(paths);
        return frame.render().pixelColor(50, 68);
    };
    const QColor one = haloPixel(1);
    const QColor many = haloPixel(600);
    const QColor lane = Theme::lane();
    const QColor expected(static_cast<int>(std::lround(lane.red() * 0.15 + 255 * 0.85)),
                          static_cast<int>(std::lround(lane.green() * 0.15 + 255 * 0.85)),
                          static_cast<int>(std::lround(lane.blue() * 0.15 + 255 * 0.85)));
    EXPECT_TRUE(near(one, expected, 3)) << describe(one);
    EXPECT_TRUE(near(many, one, 3)) << describe(many) << " vs " << describe(one);
    EXPECT_FALSE(near(many, Qt::white, 10)) << describe(many);
}

TEST_F(VectorCanvasRendererTest, SelectAllCopiesBoundedDotsFromTheVisibleRectangleOnly) {
    // 400 strokes of 100 points each over a 1000 × 1000 image: 40,000 vertices, all selected.
    VectorizationResult result;
    result.pageTransform.imageWidth = 1000;
    result.pageTransform.imageHeight = 1000;
    result.pageTransform.isRawPixels = true;
    std::vector<VectorPath> paths;
    std::set<std::int64_t> all;
    for (int i = 0; i < 400; ++i) {
        VectorPath path;
        path.id = i + 1;
        for (int j = 0; j < 100; ++j) path.points.push_back({j * 10.0, i * 2.5});
        all.insert(path.id);
        paths.push_back(std::move(path));
    }
    result.layers.push_back(PenLayer::make(0, "pen", 0.5, "#000000", true, std::move(paths)));
    const auto count = [](const VectorFrameInput& in) {
        std::size_t n = 0;
        for (const auto& layer : in.layers) n += layer.dots.size() + layer.selectedDots.size();
        return n;
    };

    const VectorizerParams params;
    const SelectedVertex lastVertex{400, 99};
    const VectorFrameInput whole = VectorFrameInput::make(result, nullptr, params, {800, 800}, 1, {}, false, true,
                                                          false, false, false, all, lastVertex);
    EXPECT_EQ(count(whole), static_cast<std::size_t>(kMaxVertexDots) + 1);
    // The selected vertex keeps its dot even past the bound.
    ASSERT_EQ(whole.layers[0].selectedDots.size(), 1u);
    EXPECT_EQ(whole.layers[0].selectedDots[0], (VectorPoint{990, 997.5}));

    // Zoomed in 8 times on the centre: only the vertices near the visible part are copied.
    const VectorFrameInput deep = VectorFrameInput::make(result, nullptr, params, {800, 800}, 8, {}, false, true, false,
                                                         false, false, all, std::nullopt);
    const QRectF visible = visibleImageRect(deep.geometry({800, 800}), {800, 800});
    ASSERT_GT(count(deep), 0u);
    EXPECT_LT(count(deep), static_cast<std::size_t>(kMaxVertexDots));
    for (const VectorPoint& p : deep.layers[0].dots) ASSERT_TRUE(visible.contains(p.x, p.y)) << p.x << ", " << p.y;
}

}  // namespace
}  // namespace ostrel
