#include "app/views/canvas/BitmapCanvasRenderer.h"

#include "app/shell/Theme.h"
#include "core/model/VectorizerParams.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace ostrel {

CanvasTransformGeometry BitmapFrameInput::geometry(QSizeF size) const noexcept {
    CanvasTransformGeometry g;
    g.paneSize = size;
    g.zoomScale = zoomScale;
    g.panOffset = panOffset;
    VectorizerParams params;
    params.paperFormat = PaperFormat::original;
    g.pageTransform = PageTransform::make(imageWidth, imageHeight, params);
    g.showPaperFrame = false;
    return g;
}

void drawBitmapFrame(QPainter& painter, const BitmapFrameInput& input, QSizeF size) {
    if (size.width() <= 4 || size.height() <= 4) return;
    const QRectF sheet = input.geometry(size).zoomedSheetRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (input.showSheetBackground) {
        const double radius = std::min(std::max(input.zoomScale * 4, 2.0), 10.0);
        QPainterPath outline;
        outline.addRoundedRect(sheet, radius, radius);
        painter.fillPath(outline, Theme::lane());
        QPen pen(Theme::withOpacity(Qt::white, 0.1), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        painter.strokePath(outline, pen);
    }
    if (!input.image.isNull()) painter.drawImage(sheet, input.image);
    painter.restore();
}

}  // namespace ostrel
