// The picture of a bitmap pane: the loaded image stretched onto a sheet with the raster's aspect,
// zoomed and panned exactly like the vector pane, so both panes move together and the vectors lie
// on the picture in the overlay view. Cheap enough to draw on the GUI thread (one image blit).
#pragma once

#include "app/views/canvas/CanvasTransformGeometry.h"

#include <QImage>
#include <QSizeF>

#include <cstdint>

class QPainter;

namespace ostrel {

struct BitmapFrameInput {
    QImage image;
    std::int64_t imageWidth = 0;
    std::int64_t imageHeight = 0;
    double zoomScale = 1.0;
    QPointF panOffset;
    bool showSheetBackground = true;

    /// The bitmap pane is always in image mode: a raw-pixel page of the raster's size.
    [[nodiscard]] CanvasTransformGeometry geometry(QSizeF size) const noexcept;
};

/// Draws the sheet (when asked) and the picture on a surface of `size`; nothing below 4.5 points.
void drawBitmapFrame(QPainter& painter, const BitmapFrameInput& input, QSizeF size);

}  // namespace ostrel
