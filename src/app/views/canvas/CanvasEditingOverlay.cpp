#include "app/views/canvas/CanvasEditingOverlay.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/views/canvas/CanvasPane.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {

constexpr double kMinEraserCircle = 4;
constexpr double kHeadCrossArm = 14;

void paintMarquee(QPainter& painter, const QRectF& rect) {
    painter.fillRect(rect, Theme::withOpacity(Theme::tcp(), 0.12));
    QPen pen(Theme::withOpacity(Theme::tcp(), 0.85), 1);
    pen.setDashPattern({4, 3});
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
}

void paintFreehand(QPainter& painter, const EditingOverlayFrame& frame) {
    QPainterPath line;
    line.moveTo(frame.geometry.imageToPane(frame.freehandPointsPx.front()));
    for (std::size_t i = 1; i < frame.freehandPointsPx.size(); ++i) {
        line.lineTo(frame.geometry.imageToPane(frame.freehandPointsPx[i]));
    }
    const std::int64_t pen = std::max<std::int64_t>(frame.activeDrawPenIndex, 0);
    painter.setPen(QPen(Theme::penColor(pen), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(line);
}

void paintEraser(QPainter& painter, QPointF centre, double radius) {
    painter.setPen(QPen(Theme::withOpacity(Theme::danger(), 0.85), 1.2));
    painter.setBrush(Theme::withOpacity(Theme::danger(), 0.15));
    painter.drawEllipse(centre, radius, radius);
}

void paintHead(QPainter& painter, QPointF head, bool penDown) {
    const QColor colour = penDown ? Theme::accent() : Theme::tcp();
    const double radius = penDown ? 8.5 : 10.5;
    painter.setPen(QPen(Theme::withOpacity(colour, 0.85), 1.2));
    painter.drawLine(head - QPointF(kHeadCrossArm, 0), head + QPointF(kHeadCrossArm, 0));
    painter.drawLine(head - QPointF(0, kHeadCrossArm), head + QPointF(0, kHeadCrossArm));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withOpacity(colour, penDown ? 0.28 : 0.12));
    painter.drawEllipse(head, radius, radius);
    painter.setPen(QPen(colour, 1.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(head, radius, radius);
    if (penDown) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(head, 3, 3);
    }
}

}  // namespace

std::optional<QPointF> plotterHeadPosition(const EditingOverlayFrame& frame) {
    const VectorPoint& mm = frame.currentPosMM;
    const bool active = frame.runState.isRunning() || frame.runState.isPaused();
    if (!active && std::hypot(mm.x, mm.y) <= 0.1) return std::nullopt;
    const PageTransform& page = frame.geometry.pageTransform;
    const double scale = page.scalePxToMM > 0 ? page.scalePxToMM : 1;
    const VectorPoint px{(mm.x - page.offsetXMM) / scale, (mm.y - page.offsetYMM) / scale};
    return frame.geometry.imageToPane(px);
}

double eraserCircleRadius(const EditingOverlayFrame& frame) {
    return std::max(frame.geometry.imageRadiusToPane(frame.eraserRadiusPx), kMinEraserCircle);
}

void paintEditingOverlay(QPainter& painter, const EditingOverlayFrame& frame) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (frame.marqueeRect) paintMarquee(painter, *frame.marqueeRect);
    if (frame.editTool == CanvasEditTool::draw && frame.freehandPointsPx.size() >= 2) paintFreehand(painter, frame);
    if (frame.editTool == CanvasEditTool::erase && frame.hoverPointPane) {
        paintEraser(painter, *frame.hoverPointPane, eraserCircleRadius(frame));
    }
    if (const auto head = plotterHeadPosition(frame)) paintHead(painter, *head, frame.isPenDown);
    painter.restore();
}

std::optional<EditingOverlayFrame> editingOverlayFrame(AppModel& model, const CanvasGestureState& gesture,
                                                       const CanvasTransformGeometry& geometry) {
    if (!model.vectorizer().result()) return std::nullopt;
    const AxiDrawPlotterController& plotter = model.plotter();
    return EditingOverlayFrame{
        .geometry = geometry,
        .marqueeRect = gesture.marqueeRect,
        .freehandPointsPx = gesture.freehandPointsPx,
        .hoverPointPane = gesture.hoverPointPane,
        .editTool = model.editTool(),
        .activeDrawPenIndex = model.activeDrawPenIndex(),
        .eraserRadiusPx = model.eraserRadiusPx(),
        .runState = plotter.runState(),
        .currentPosMM = plotter.currentPosMM(),
        .isPenDown = plotter.isPenDown(),
    };
}

}  // namespace ostrel
