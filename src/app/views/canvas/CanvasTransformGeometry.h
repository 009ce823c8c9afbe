// The one mapping between drawing coordinates (image pixels) and the points of a canvas pane.
//
// A pane shows a sheet rectangle fitted into it with a 20-point border; the drawing fills the sheet
// (image mode) or, in paper mode, sits on the sheet at the paper millimetres of the page transform.
// The sheet is then zoomed about the pane centre and shifted by the pan offset. Pane coordinates
// have their origin at the top left with y pointing down, like image pixels.
//
// A cheap immutable value: build a fresh one for each event or frame from the pane size, the zoom
// and pan of AppModel and the current result's page transform.
#pragma once

#include "core/model/PageTransform.h"
#include "core/model/VectorModel.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <optional>

namespace ostrel {

struct CanvasTransformGeometry {
    QSizeF paneSize;
    double zoomScale = 1.0;
    /// Shift applied after zooming, in pane points.
    QPointF panOffset;
    PageTransform pageTransform;
    /// The pane shows the paper (only the vector-only view with the plotter section shown).
    bool showPaperFrame = false;

    /// Paper mode: the paper is shown and the page is not raw pixels; otherwise image mode.
    [[nodiscard]] bool isPaperMode() const noexcept;

    /// The unzoomed, unpanned sheet rectangle.
    [[nodiscard]] QRectF baseSheetRect() const noexcept;
    /// The sheet rectangle after zoom and pan.
    [[nodiscard]] QRectF zoomedSheetRect() const noexcept;

    [[nodiscard]] QPointF imageToPane(const VectorPoint& point) const noexcept;
    /// The same mapping as imageToPane, as an affine transform for drawing whole paths.
    [[nodiscard]] QTransform imageToPaneTransform() const noexcept;
    [[nodiscard]] VectorPoint paneToImage(QPointF point) const noexcept;

    /// A length in image pixels to pane points (mean of the two axis scales, times the zoom).
    [[nodiscard]] double imageRadiusToPane(double radius) const noexcept;
    /// A length in pane points to image pixels; the inverse of imageRadiusToPane.
    [[nodiscard]] double paneDistanceToImagePx(double distance) const noexcept;

    /// The paper's printable area inside `marginMM`, in pane points; absent outside paper mode or
    /// when the margins leave nothing.
    [[nodiscard]] std::optional<QRectF> zoomedMarginRect(double marginMM) const noexcept;

private:
    struct Base {
        QRectF sheet;
        double sx, sy, ox, oy;
    };
    [[nodiscard]] Base base() const noexcept;
    [[nodiscard]] QPointF center() const noexcept;
};

}  // namespace ostrel
