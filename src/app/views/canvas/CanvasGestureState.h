// The transient state of a canvas gesture that the panes share: written by the canvas interaction
// (through the bindings the editing controller gives it), drawn by the editing overlay and, for a
// drag of selected strokes, by the panes themselves.
#pragma once

#include "core/model/VectorModel.h"

#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

namespace ostrel {

/// Selected strokes being dragged: how far they have moved since the press, and how much of that
/// move the document holds already (the rest is committed at the next commit), in image pixels.
struct CanvasSelectionDrag {
    QPointF movedPx;
    QPointF committedPx;
    friend bool operator==(const CanvasSelectionDrag&, const CanvasSelectionDrag&) = default;
};

/// The transient gesture state the panes share; written by the event handler, drawn by its overlay
/// (the selection drag by the panes themselves).
struct CanvasGestureState {
    std::optional<QRectF> marqueeRect;          // pane points
    std::vector<VectorPoint> freehandPointsPx;  // image pixels
    std::optional<QPointF> hoverPointPane;      // pane points
    std::optional<CanvasSelectionDrag> selectionDrag;
};

}  // namespace ostrel
