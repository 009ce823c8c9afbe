// The transient drawing state a canvas shares between its panes: the marquee rectangle (pane
// points), the freehand points (image pixels) and the eraser hover point (pane points). The panes'
// event views write it during gestures, the editing overlays draw it. Nothing else keeps it.
#pragma once

#include "core/model/VectorModel.h"

#include <QObject>
#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

namespace ostrel {

class CanvasEditingState final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] const std::optional<QRectF>& marqueeRect() const noexcept { return marqueeRect_; }
    [[nodiscard]] const std::vector<VectorPoint>& freehandPointsPx() const noexcept { return freehandPointsPx_; }
    [[nodiscard]] const std::optional<QPointF>& hoverPointPane() const noexcept { return hoverPointPane_; }

    void setMarqueeRect(std::optional<QRectF> rect);
    void setFreehandPointsPx(std::vector<VectorPoint> points);
    void setHoverPointPane(std::optional<QPointF> point);

signals:
    /// Any of the three changed.
    void changed();

private:
    std::optional<QRectF> marqueeRect_;
    std::vector<VectorPoint> freehandPointsPx_;
    std::optional<QPointF> hoverPointPane_;
};

}  // namespace ostrel
