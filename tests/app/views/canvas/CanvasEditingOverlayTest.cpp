// The editing overlay: where the plotter head and the eraser circle go, and what is painted.
#include "app/shell/Theme.h"
#include "app/views/canvas/CanvasEditingOverlay.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace ostrel {
namespace {

/// A 1000 × 500 image on A4 landscape paper, 10 mm margins: 0.25 mm per pixel.
PageTransform landscapePage() {
    PageTransform page;
    page.imageWidth = 1000;
    page.imageHeight = 500;
    page.pageWidthMM = 297;
    page.pageHeightMM = 210;
    page.scalePxToMM = 0.25;
    page.offsetXMM = 23.5;
    page.offsetYMM = 42.5;
    page.isRawPixels = false;
    return page;
}

EditingOverlayFrame frameOf(bool showPaperFrame, double zoom = 1, QPointF pan = {}) {
    EditingOverlayFrame frame;
    frame.geometry = {QSizeF(800, 600), zoom, pan, landscapePage(), showPaperFrame};
    return frame;
}

bool near(QPointF a, QPointF b) { return std::abs(a.x() - b.x()) < 1e-9 && std::abs(a.y() - b.y()) < 1e-9; }

TEST(CanvasEditingOverlay, PlotterHeadIsShownWhileActiveOrAwayFromHome) {
    using Kind = AxiDrawRunState::Kind;
    const struct {
        Kind kind;
        VectorPoint mm;
        bool shown;
    } cases[] = {
        {Kind::idle, {0, 0}, false},
        {Kind::idle, {0.06, 0.06}, false},
        {Kind::idle, {0.2, 0}, true},
        {Kind::error, {0, 0.2}, true},
        {Kind::disconnected, {0, 0}, false},
        {Kind::plotting, {0, 0}, true},
        {Kind::framingBoundingBox, {0, 0}, true},
        {Kind::pausedByUser, {0, 0}, true},
        {Kind::pausedForPenChange, {0, 0}, true},
    };
    for (const auto& c : cases) {
        EditingOverlayFrame frame = frameOf(true);
        frame.runState = AxiDrawRunState::of(c.kind);
        frame.currentPosMM = c.mm;
        EXPECT_EQ(plotterHeadPosition(frame).has_value(), c.shown) << int(c.kind) << " " << c.mm.x;
    }
}

TEST(CanvasEditingOverlay, PlotterHeadSitsOnThePaperPointInEveryPane) {
    // On the paper sheet: the far corner of the paper is the sheet's bottom right, at any zoom and pan.
    for (const double zoom : {1.0, 2.5}) {
        EditingOverlayFrame frame = frameOf(true, zoom, {13, -7});
        frame.runState = AxiDrawRunState::plotting();
        frame.currentPosMM = {297, 210};
        const QRectF sheet = frame.geometry.zoomedSheetRect();
        EXPECT_TRUE(near(*plotterHeadPosition(frame), sheet.bottomRight())) << zoom;
    }
    // In a pane that shows the image, not the paper, the head is over the drawing's own point:
    // image pixel (400, 100) is at 23.5 + 100 mm, 42.5 + 25 mm on the paper.
    for (const bool paper : {true, false}) {
        EditingOverlayFrame frame = frameOf(paper, 1.5, {4, 9});
        frame.runState = AxiDrawRunState::plotting();
        frame.currentPosMM = {123.5, 67.5};
        EXPECT_TRUE(near(*plotterHeadPosition(frame), frame.geometry.imageToPane({400, 100}))) << paper;
    }
}

TEST(CanvasEditingOverlay, EraserCircleNeverShrinksBelowFourPoints) {
    EditingOverlayFrame frame = frameOf(false);  // image mode: 0.76 points per pixel at zoom 1
    frame.eraserRadiusPx = 8;
    EXPECT_NEAR(eraserCircleRadius(frame), 8 * 0.76, 1e-9);
    frame.geometry.zoomScale = 0.2;
    EXPECT_EQ(eraserCircleRadius(frame), 4);
}

class OverlayPicture : public ::testing::Test {
protected:
    QImage paint(const EditingOverlayFrame& frame) {
        QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paintEditingOverlay(painter, frame);
        return image;
    }
    static bool close(QColor a, QColor b, int tolerance = 12) {
        return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
               std::abs(a.blue() - b.blue()) <= tolerance;
    }
};

TEST_F(OverlayPicture, EachPieceInItsColour) {
    EditingOverlayFrame frame = frameOf(false);
    frame.marqueeRect = QRectF(100, 100, 200, 100);
    const QImage marquee = paint(frame);
    EXPECT_TRUE(close(marquee.pixelColor(100, 150).toRgb(), Theme::tcp())) << "the dashed edge";
    EXPECT_NEAR(marquee.pixelColor(200, 150).alphaF(), 0.12, 0.01) << "the faint fill";
    EXPECT_EQ(marquee.pixelColor(350, 150).alpha(), 0);

    // A freehand preview of pen index 5 takes the second pen colour, only with the draw tool.
    frame = frameOf(false);
    frame.editTool = CanvasEditTool::draw;
    frame.activeDrawPenIndex = 5;
    frame.freehandPointsPx = {{100, 250}, {900, 250}};
    const QPointF mid = frame.geometry.imageToPane({500, 250});
    EXPECT_TRUE(close(paint(frame).pixelColor(mid.toPoint()), Theme::penColors()[1]));
    frame.freehandPointsPx.resize(1);
    EXPECT_EQ(paint(frame).pixelColor(mid.toPoint()).alpha(), 0) << "one point draws no line";
    frame.freehandPointsPx = {{100, 250}, {900, 250}};
    frame.editTool = CanvasEditTool::select;
    EXPECT_EQ(paint(frame).pixelColor(mid.toPoint()).alpha(), 0);

    // The eraser: a red ring around a faint red disc at the hover point.
    frame = frameOf(false);
    frame.editTool = CanvasEditTool::erase;
    frame.hoverPointPane = QPointF(400, 300);
    frame.eraserRadiusPx = 20;  // 15.2 points
    const QImage eraser = paint(frame);
    EXPECT_TRUE(close(eraser.pixelColor(400 + 15, 300).toRgb(), Theme::danger(), 40));
    EXPECT_NEAR(eraser.pixelColor(400, 300).alphaF(), 0.15, 0.01);
    EXPECT_EQ(eraser.pixelColor(400 + 25, 300).alpha(), 0);

    // The plotter head, pen down: a solid dot in accent at its centre.
    frame = frameOf(true);
    frame.runState = AxiDrawRunState::plotting();
    frame.isPenDown = true;
    frame.currentPosMM = {148.5, 105};
    const QPointF head = *plotterHeadPosition(frame);
    EXPECT_TRUE(close(paint(frame).pixelColor(head.toPoint()), Theme::accent()));
    frame.isPenDown = false;
    const QImage up = paint(frame);
    EXPECT_LT(up.pixelColor(head.toPoint() + QPoint(3, 3)).alphaF(), 0.2) << "pen up: no dot, faint disc";
    EXPECT_TRUE(close(up.pixelColor((head + QPointF(10.5, 0)).toPoint()).toRgb(), Theme::tcp(), 40));
}

}  // namespace
}  // namespace ostrel
