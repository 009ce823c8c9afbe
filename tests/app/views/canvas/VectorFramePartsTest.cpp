// The two part frames of a selection drag (the strokes that stay, the selected ones), the bands a
// large frame is drawn in, and a frame stopped half drawn.
#include "app/views/canvas/VectorCanvasRenderer.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/StrokeGrid.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

namespace ostrel {
namespace {

/// Stroke `i` of the test grid, its polyline also as cubic segments (which give it control handles).
VectorPath gridStrokeWithCurves(int i) {
    VectorPath path = test::gridStroke(i);
    for (std::size_t j = 1; j < path.points.size(); ++j)
        path.beziers.push_back(test::straightSegment(path.points[j - 1], path.points[j]));
    return path;
}

/// The grid's strokes whose ids `keep` accepts, on one pen.
template <typename Keep>
VectorizationResult gridResult(Keep keep) {
    std::vector<VectorPath> paths;
    for (int i = 0; i < 30; ++i) {
        if (keep(i + 1)) paths.push_back(gridStrokeWithCurves(i));
    }
    return test::rawPixelResult(200, std::move(paths));
}

VectorizationResult wholeGrid() {
    return gridResult([](std::int64_t) { return true; });
}

struct Style {
    std::string name;
    VectorOutputMode mode;
    IllustrationStrokeStyle stroke;
};

const std::vector<Style>& styles() {
    static const std::vector<Style> all = {
        {"centre lines", VectorOutputMode::axidraw, IllustrationStrokeStyle::variableRibbon},
        {"ribbons", VectorOutputMode::illustration, IllustrationStrokeStyle::variableRibbon},
        {"width bands", VectorOutputMode::illustration, IllustrationStrokeStyle::perStrokeWidth},
    };
    return all;
}

VectorFrameInput frameOf(const VectorizationResult& result, const Style& style, QSizeF pane, double zoom, bool sheet,
                         bool controlPoints, const std::set<std::int64_t>& selected) {
    VectorizerParams params;
    params.outputMode = style.mode;
    params.illustrationStrokeStyle = style.stroke;
    return VectorFrameInput::make(result, std::make_shared<const VectorRenderCache>(VectorRenderCache::build(result)),
                                  params, pane, zoom, {}, false, sheet, false, false, controlPoints, selected,
                                  std::nullopt);
}

/// The largest difference of one channel between two images of one size.
// The frame drawVectorFrame draws in one piece, at the size and ratio renderVectorFrame gives it.
QImage drawnInOnePiece(const VectorFrameInput& input, double dpr) {
    const QSize pixels(static_cast<int>(std::ceil(input.paneSize.width() * dpr)),
                       static_cast<int>(std::ceil(input.paneSize.height() * dpr)));
    QImage whole(pixels, QImage::Format_ARGB32_Premultiplied);
    whole.setDevicePixelRatio(dpr);
    whole.fill(Qt::transparent);
    QPainter painter(&whole);
    drawVectorFrame(painter, input, input.paneSize);
    return whole;
}

int largestDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            largest =
                std::max({largest, std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                          std::abs(qBlue(p[col]) - qBlue(q[col])), std::abs(qAlpha(p[col]) - qAlpha(q[col]))});
        }
    }
    return largest;
}

class VectorFramePartsTest : public ::testing::Test {
protected:
    VectorFramePartsTest() { test::ensureQtApp(); }
};

TEST_F(VectorFramePartsTest, TheRestingAndMovingPartsAreTheFramesOfTheirOwnStrokes) {
    // Strokes 8 and 9 share a cell with strokes left in place; 30 is alone in the last row's cell.
    const std::set<std::int64_t> selected{8, 9, 30};
    const auto isSelected = [&selected](std::int64_t id) { return selected.contains(id); };
    for (const Style& style : styles()) {
        for (const bool controlPoints : {false, true}) {
            for (const double zoom : {1.0, 2.5}) {
                const std::string name =
                    style.name + (controlPoints ? ", handles" : "") + ", zoom " + std::to_string(zoom);
                VectorFrameInput resting = frameOf(wholeGrid(), style, {240, 240}, zoom, true, controlPoints, selected);
                resting.part = VectorFramePart::resting;
                VectorFrameInput moving = resting;
                moving.part = VectorFramePart::moving;
                // What stays is the frame of the other strokes, sheet included and nothing selected; what
                // moves is the frame of the selected strokes alone, selected, on a transparent ground.
                const QImage stays =
                    renderVectorFrame(frameOf(gridResult([&](std::int64_t id) { return !isSelected(id); }), style,
                                              {240, 240}, zoom, true, controlPoints, {}),
                                      1.0);
                const QImage moves = renderVectorFrame(
                    frameOf(gridResult(isSelected), style, {240, 240}, zoom, false, controlPoints, selected), 1.0);
                EXPECT_LE(largestDifference(renderVectorFrame(resting, 1.0), stays), 1) << name;
                EXPECT_LE(largestDifference(renderVectorFrame(moving, 1.0), moves), 1) << name;
                EXPECT_GT(largestDifference(
                              stays, renderVectorFrame(
                                         frameOf(wholeGrid(), style, {240, 240}, zoom, true, controlPoints, {}), 1.0)),
                          100)
                    << name << ": the selected strokes are left out";
            }
        }
    }
}

TEST_F(VectorFramePartsTest, ALargePartFrameDrawnInBandsIsThePartDrawnInOnePiece) {
    // Everything selected: the halo and handles go through a translucent layer, the dots are many.
    std::set<std::int64_t> all;
    for (std::int64_t id = 1; id <= 30; ++id) all.insert(id);
    for (const Style& style : styles()) {
        for (const VectorFramePart part : {VectorFramePart::resting, VectorFramePart::moving}) {
            for (const double dpr : {1.0, 2.0}) {
                VectorFrameInput input = frameOf(wholeGrid(), style, {700, 520}, 2.2, true, false, all);
                input.part = part;
                // Up to the rounding of the translucent layer's pieces at the bands' edges.
                EXPECT_LE(largestDifference(renderVectorFrame(input, dpr), drawnInOnePiece(input, dpr)), 3)
                    << style.name << " at ratio " << dpr;
            }
        }
        // A whole frame is the base of partial frames: always drawn in one piece.
        const VectorFrameInput input = frameOf(wholeGrid(), style, {700, 520}, 2.2, true, false, all);
        EXPECT_EQ(renderVectorFrame(input, 1.0), drawnInOnePiece(input, 1.0)) << style.name;
    }
}

TEST_F(VectorFramePartsTest, ALargeWholeFrameDrawnInBandsHasThePixelsDrawnInOnePiece) {
    // The render draws the strokes, the halo and the dots of a large whole frame in bands side by
    // side; partial frames later copy its pixels, so they must be exactly those drawn in one piece,
    // also where strokes, halos, dots and handles cross the bands' edges.
    std::set<std::int64_t> all;
    for (std::int64_t id = 1; id <= 30; ++id) all.insert(id);
    struct Selection {
        std::string name;
        std::set<std::int64_t> ids;
        bool controlPoints;
    };
    const std::vector<Selection> selections = {
        {"nothing selected", {}, false},
        {"one stroke selected", {8}, false},
        {"everything selected, control points", all, true},
    };
    for (const Style& style : styles()) {
        for (const Selection& selection : selections) {
            for (const double zoom : {0.6, 1.0, 2.2}) {
                const VectorFrameInput input =
                    frameOf(wholeGrid(), style, {700, 520}, zoom, true, selection.controlPoints, selection.ids);
                for (const double dpr : {1.0, 2.0, 1.5}) {
                    EXPECT_EQ(largestDifference(renderVectorFrame(input, dpr), drawnInOnePiece(input, dpr)), 0)
                        << style.name << ", " << selection.name << ", zoom " << zoom << " at ratio " << dpr;
                }
            }
        }
    }
}

TEST_F(VectorFramePartsTest, AStoppedFrameLeavesItsStrokesUndrawn) {
    const VectorFrameInput input = frameOf(wholeGrid(), styles()[1], {240, 240}, 1, true, false, {8});
    VectorFrameInput withoutStrokes = input;
    withoutStrokes.renderCache = nullptr;
    const std::atomic<bool> stop{true};
    for (const QSizeF pane : {QSizeF(240, 240), QSizeF(700, 520)}) {  // in one piece and in bands
        VectorFrameInput stopped = input;
        stopped.paneSize = pane;
        withoutStrokes.paneSize = pane;
        EXPECT_EQ(renderVectorFrame(stopped, 1.0, {}, &stop), renderVectorFrame(withoutStrokes, 1.0)) << pane.width();
        const std::atomic<bool> go{false};
        EXPECT_EQ(renderVectorFrame(stopped, 1.0, {}, &go), renderVectorFrame(stopped, 1.0)) << pane.width();
    }
}

}  // namespace
}  // namespace ostrel
