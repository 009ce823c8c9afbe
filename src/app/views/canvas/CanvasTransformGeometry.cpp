#include "app/views/canvas/CanvasTransformGeometry.h"

#include <algorithm>

namespace ostrel {

namespace {
constexpr double kBorder = 20.0;
constexpr double kMinRoom = 8.0;
constexpr double kTinyScale = 0.00001;
constexpr double kMinInverseZoom = 0.05;
}  // namespace

bool CanvasTransformGeometry::isPaperMode() const noexcept { return showPaperFrame && !pageTransform.isRawPixels; }

QPointF CanvasTransformGeometry::center() const noexcept { return {paneSize.width() * 0.5, paneSize.height() * 0.5}; }

QRectF CanvasTransformGeometry::baseSheetRect() const noexcept {
    const double aw = std::max(paneSize.width() - 2 * kBorder, kMinRoom);
    const double ah = std::max(paneSize.height() - 2 * kBorder, kMinRoom);
    // The paper's aspect whenever the paper is shown, raw-pixel pages included.
    const double aspect = showPaperFrame
                              ? std::max(pageTransform.pageWidthMM, 1.0) / std::max(pageTransform.pageHeightMM, 1.0)
                              : static_cast<double>(std::max<std::int64_t>(pageTransform.imageWidth, 1)) /
                                    static_cast<double>(std::max<std::int64_t>(pageTransform.imageHeight, 1));
    double width = 0;
    double height = 0;
    if (aspect >= aw / ah) {
        width = aw;
        height = aw / aspect;
    } else {
        height = ah;
        width = ah * aspect;
    }
    return {(paneSize.width() - width) * 0.5, (paneSize.height() - height) * 0.5, width, height};
}

CanvasTransformGeometry::Base CanvasTransformGeometry::base() const noexcept {
    Base b{};
    b.sheet = baseSheetRect();
    if (isPaperMode()) {
        const double kx = b.sheet.width() / std::max(pageTransform.pageWidthMM, 1.0);
        const double ky = b.sheet.height() / std::max(pageTransform.pageHeightMM, 1.0);
        b.sx = pageTransform.scalePxToMM * kx;
        b.sy = pageTransform.scalePxToMM * ky;
        b.ox = b.sheet.left() + pageTransform.offsetXMM * kx;
        b.oy = b.sheet.top() + pageTransform.offsetYMM * ky;
    } else {
        b.sx = b.sheet.width() / static_cast<double>(std::max<std::int64_t>(pageTransform.imageWidth, 1));
        b.sy = b.sheet.height() / static_cast<double>(std::max<std::int64_t>(pageTransform.imageHeight, 1));
        b.ox = b.sheet.left();
        b.oy = b.sheet.top();
    }
    return b;
}

QRectF CanvasTransformGeometry::zoomedSheetRect() const noexcept {
    const QRectF sheet = baseSheetRect();
    const QPointF c = center();
    return {c.x() + (sheet.left() - c.x()) * zoomScale + panOffset.x(),
            c.y() + (sheet.top() - c.y()) * zoomScale + panOffset.y(), sheet.width() * zoomScale,
            sheet.height() * zoomScale};
}

QPointF CanvasTransformGeometry::imageToPane(const VectorPoint& point) const noexcept {
    const Base b = base();
    const QPointF c = center();
    const double bx = b.ox + point.x * b.sx;
    const double by = b.oy + point.y * b.sy;
    return {c.x() + (bx - c.x()) * zoomScale + panOffset.x(), c.y() + (by - c.y()) * zoomScale + panOffset.y()};
}

QTransform CanvasTransformGeometry::imageToPaneTransform() const noexcept {
    const Base b = base();
    const QPointF c = center();
    return {zoomScale * b.sx,
            0,
            0,
            zoomScale * b.sy,
            panOffset.x() + c.x() + zoomScale * (b.ox - c.x()),
            panOffset.y() + c.y() + zoomScale * (b.oy - c.y())};
}

VectorPoint CanvasTransformGeometry::paneToImage(QPointF point) const noexcept {
    const Base b = base();
    const QPointF c = center();
    const double z = std::max(zoomScale, kMinInverseZoom);
    const double ux = c.x() + (point.x() - panOffset.x() - c.x()) / z;
    const double uy = c.y() + (point.y() - panOffset.y() - c.y()) / z;
    return {(ux - b.ox) / std::max(b.sx, kTinyScale), (uy - b.oy) / std::max(b.sy, kTinyScale)};
}

double CanvasTransformGeometry::imageRadiusToPane(double radius) const noexcept {
    const Base b = base();
    return zoomScale * radius * (b.sx + b.sy) * 0.5;
}

double CanvasTransformGeometry::paneDistanceToImagePx(double distance) const noexcept {
    const Base b = base();
    return distance / std::max(zoomScale * (b.sx + b.sy) * 0.5, kTinyScale);
}

std::optional<QRectF> CanvasTransformGeometry::zoomedMarginRect(double marginMM) const noexcept {
    if (!isPaperMode()) return std::nullopt;
    const QRectF z = zoomedSheetRect();
    const double ix = marginMM / std::max(pageTransform.pageWidthMM, 1.0) * z.width();
    if (2 * ix >= z.width()) return std::nullopt;
    const double iy = marginMM / std::max(pageTransform.pageHeightMM, 1.0) * z.height();
    if (2 * iy >= z.height()) return std::nullopt;
    return z.adjusted(ix, iy, -ix, -iy);
}

}  // namespace ostrel
