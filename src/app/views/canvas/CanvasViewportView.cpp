#include "app/views/canvas/CanvasViewportView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

#include <QPainter>

namespace ostrel {

namespace {

/// `content` scaled to fit inside `frame` with a margin, centred.
QRectF fitted(QSizeF content, const QRectF& frame) {
    if (content.isEmpty()) return {};
    const QRectF inner = frame.adjusted(24, 24, -24, -24);
    const QSizeF size = content.scaled(inner.size(), Qt::KeepAspectRatio);
    return QRectF(inner.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

void drawStrokes(QPainter& painter, const VectorRenderCache& cache, const QRectF& target, QSizeF sourceSize) {
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / sourceSize.width(), target.height() / sourceSize.height());
    for (const VectorRenderCache::LayerCache& layer : cache.layers) {
        QPen pen(Theme::penColor(layer.index), 1.5);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        for (const VectorRenderCache::SpatialBucket& bucket : layer.buckets) painter.drawPath(bucket.pathPx);
    }
    painter.restore();
}

}  // namespace

CanvasViewportView::CanvasViewportView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    VectorizerController& document = model_.vectorizer();
    connect(&document, &VectorizerController::displayImageChanged, this, qOverload<>(&QWidget::update));
    connect(&document, &VectorizerController::renderCacheChanged, this, qOverload<>(&QWidget::update));
    connect(&model_, &AppModel::viewModeChanged, this, qOverload<>(&QWidget::update));
}

void CanvasViewportView::setDropTargeted(bool targeted) {
    if (dropTargeted_ == targeted) return;
    dropTargeted_ = targeted;
    update();
}

void CanvasViewportView::renderPendingNow() {}

void CanvasViewportView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background());
    const VectorizerController& document = model_.vectorizer();
    const RasterImage* source = document.sourceImage();
    if (source == nullptr) return;
    const QSizeF sourceSize(source->width, source->height);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool split = model_.viewMode() == CanvasViewMode::sideBySide;
    const bool showBitmap = model_.viewMode() != CanvasViewMode::vectorOnly;
    const QRectF whole(rect());
    const QRectF bitmapFrame = split ? QRectF(whole.left(), whole.top(), whole.width() / 2, whole.height()) : whole;
    const QRectF vectorFrame = split ? bitmapFrame.translated(bitmapFrame.width(), 0) : whole;
    if (showBitmap && !document.displayImage().isNull()) {
        painter.drawImage(fitted(sourceSize, bitmapFrame), document.displayImage());
    }
    if (const auto& cache = document.renderCache()) drawStrokes(painter, *cache, fitted(sourceSize, vectorFrame), sourceSize);
    if (dropTargeted_) {
        painter.setPen(QPen(Theme::accent(), 2));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

}  // namespace ostrel
