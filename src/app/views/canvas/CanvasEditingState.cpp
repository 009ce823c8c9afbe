#include "app/views/canvas/CanvasEditingState.h"

#include <utility>

namespace ostrel {

void CanvasEditingState::setMarqueeRect(std::optional<QRectF> rect) {
    if (marqueeRect_ == rect) return;
    marqueeRect_ = rect;
    emit changed();
}

void CanvasEditingState::setFreehandPointsPx(std::vector<VectorPoint> points) {
    if (freehandPointsPx_ == points) return;
    freehandPointsPx_ = std::move(points);
    emit changed();
}

void CanvasEditingState::setHoverPointPane(std::optional<QPointF> point) {
    if (hoverPointPane_ == point) return;
    hoverPointPane_ = point;
    emit changed();
}

}  // namespace ostrel
