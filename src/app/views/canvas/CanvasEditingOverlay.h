// The feedback drawn over an editable pane, above the drawing: the marquee, the freehand preview,
// the eraser circle under the pointer and the plotter head. Painted live on the GUI thread from
// one frame of inputs; it keeps no state.
#pragma once

#include "app/plotter/AxiDrawRunState.h"
#include "app/shell/CanvasModes.h"
#include "app/views/canvas/CanvasTransformGeometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel {

class AppModel;
struct CanvasGestureState;

/// Everything one frame of the overlay reads.
struct EditingOverlayFrame {
    CanvasTransformGeometry geometry;  // of the pane, with the current result's page transform
    std::optional<QRectF> marqueeRect;
    std::vector<VectorPoint> freehandPointsPx;
    std::optional<QPointF> hoverPointPane;
    CanvasEditTool editTool = CanvasEditTool::select;
    std::int64_t activeDrawPenIndex = 0;
    double eraserRadiusPx = 8;
    AxiDrawRunState runState;
    VectorPoint currentPosMM;  // the carriage, millimetres from home
    bool isPenDown = false;
};

/// The plotter head's pane point, or none when it is not shown: shown while a run plays or is
/// held, otherwise only away from home by more than 0.1 mm. Millimetres go back to image pixels
/// through the page transform, then to the pane, so the head sits on the drawing in every pane.
[[nodiscard]] std::optional<QPointF> plotterHeadPosition(const EditingOverlayFrame& frame);

/// The eraser circle's radius in points: the eraser radius on screen, at least 4.
[[nodiscard]] double eraserCircleRadius(const EditingOverlayFrame& frame);

/// Paints the four layers of feedback of `frame`, in order.
void paintEditingOverlay(QPainter& painter, const EditingOverlayFrame& frame);

/// The frame of a pane with `geometry` (built with the zoom and pan it draws at) and the shared
/// gesture state; none without a current result, so nothing is drawn then.
[[nodiscard]] std::optional<EditingOverlayFrame> editingOverlayFrame(AppModel& model, const CanvasGestureState& gesture,
                                                                     const CanvasTransformGeometry& geometry);

}  // namespace ostrel
