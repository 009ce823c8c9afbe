#include "app/views/canvas/VectorCanvasRenderer.h"

#include "app/shell/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrel {

namespace {

/// Sub-paths are gathered into chunks of about this many elements before each fill or stroke.
constexpr int kChunkElements = 512;
/// Dots are filled and outlined in groups of this many.
constexpr int kDotsPerChunk = 400;

struct Palette {
    QColor sheetFill, sheetOutline, marginFrame, travel, halo, handles, dotFill, dotOutline, selectedDotFill,
        selectedDotOutline;
    bool light = false;

    static Palette of(bool blackOnWhite) {
        Palette p;
        p.light = blackOnWhite;
        p.handles = Theme::withOpacity(Theme::osc(), 0.75);
        p.dotOutline = Theme::tcp();
        p.selectedDotFill = Theme::accent();
        if (blackOnWhite) {
            p.sheetFill = QColor::fromRgbF(0.985F, 0.982F, 0.972F);
            p.sheetOutline = Theme::withOpacity(Qt::black, 0.22);
            p.marginFrame = Theme::withOpacity(Theme::standby(), 0.45);
            p.travel = Theme::withOpacity(Theme::danger(), 0.55);
            p.halo = Theme::withOpacity(Theme::standby(), 0.65);
            p.dotFill = Qt::white;
            p.selectedDotOutline = Qt::black;
        } else {
            p.sheetFill = Theme::lane();
            p.sheetOutline = Theme::withOpacity(Qt::white, 0.1);
            p.marginFrame = Theme::withOpacity(Theme::tcp(), 0.28);
            p.travel = Theme::withOpacity(Theme::danger(), 0.45);
            p.halo = Theme::withOpacity(Qt::white, 0.85);
            p.dotFill = Theme::background();
            p.selectedDotOutline = Qt::white;
        }
        return p;
    }

    [[nodiscard]] QColor layerColor(std::int64_t index) const {
        return light ? QColor::fromRgbF(0.07F, 0.08F, 0.10F) : Theme::penColor(index);
    }
};

QPen linePen(const QColor& color, double width, Qt::PenCapStyle cap, Qt::PenJoinStyle join) {
    QPen pen(color, width, Qt::SolidLine, cap, join);
    pen.setMiterLimit(10);
    return pen;
}

QPen dashedPen(const QColor& color, double width, double on, double off) {
    QPen pen = linePen(color, width, Qt::FlatCap, Qt::MiterJoin);
    // Qt measures dashes in pen widths.
    pen.setDashPattern({on / width, off / width});
    pen.setDashOffset(0);
    return pen;
}

/// Walks `path` through `transform` and hands chunks of whole sub-paths to `draw`, so that no
/// single fill or stroke gets a huge path.
template <typename Draw>
void inChunks(const QPainterPath& path, const QTransform& transform, Draw&& draw) {
    const int count = path.elementCount();
    if (count == 0) return;
    QPainterPath chunk;
    chunk.setFillRule(path.fillRule());
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                if (chunk.elementCount() >= kChunkElements) {
                    draw(chunk);
                    chunk.clear();
                }
                chunk.moveTo(transform.map(QPointF(e.x, e.y)));
                break;
            case QPainterPath::LineToElement:
                chunk.lineTo(transform.map(QPointF(e.x, e.y)));
                break;
            case QPainterPath::CurveToElement:
                if (i + 2 < count) {
                    const QPainterPath::Element c2 = path.elementAt(i + 1);
                    const QPainterPath::Element end = path.elementAt(i + 2);
                    chunk.cubicTo(transform.map(QPointF(e.x, e.y)), transform.map(QPointF(c2.x, c2.y)),
                                  transform.map(QPointF(end.x, end.y)));
                }
                i += 2;
                break;
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    if (!chunk.isEmpty()) draw(chunk);
}

void strokeInChunks(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QPen& pen) {
    inChunks(path, transform, [&](const QPainterPath& chunk) { painter.strokePath(chunk, pen); });
}

/// Strokes `path` with a translucent pen as if in one piece: when it takes several chunks, they are
/// drawn opaque into a layer that is then laid down once at the pen's opacity, so that chunks do
/// not darken each other where they overlap.
void strokeTranslucent(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QPen& pen) {
    const double alpha = pen.color().alphaF();
    QPaintDevice* device = painter.device();
    if (alpha >= 1 || path.elementCount() <= kChunkElements || device == nullptr) {
        strokeInChunks(painter, path, transform, pen);
        return;
    }
    const double dpr = device->devicePixelRatioF();
    const auto* image = dynamic_cast<const QImage*>(device);
    const QSize pixels = image != nullptr ? image->size()
                                          : QSize(static_cast<int>(std::ceil(device->width() * dpr)),
                                                  static_cast<int>(std::ceil(device->height() * dpr)));
    QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.setTransform(painter.transform());
        QPen opaque = pen;
        QColor color = pen.color();
        color.setAlphaF(1);
        opaque.setColor(color);
        strokeInChunks(layerPainter, path, transform, opaque);
    }
    painter.save();
    painter.resetTransform();
    painter.setOpacity(painter.opacity() * alpha);
    painter.drawImage(QPointF(0, 0), layer);
    painter.restore();
}

void fillInChunks(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QColor& color) {
    // Ribbon outlines are closed sub-paths: filling them in groups gives the same opaque picture.
    inChunks(path, transform, [&](const QPainterPath& chunk) { painter.fillPath(chunk, color); });
}

void drawDots(QPainter& painter, const std::vector<VectorPoint>& dots, const CanvasTransformGeometry& g,
              double diameter, const QColor& fill, const QPen& outline) {
    QPainterPath chunk;
    chunk.setFillRule(Qt::WindingFill);  // overlapping dots stay filled
    int inChunk = 0;
    const auto flush = [&] {
        if (inChunk == 0) return;
        painter.fillPath(chunk, fill);
        painter.strokePath(chunk, outline);
        chunk.clear();
        chunk.setFillRule(Qt::WindingFill);
        inChunk = 0;
    };
    for (const VectorPoint& point : dots) {
        const QPointF m = g.imageToPane(point);
        chunk.addEllipse(QRectF(m.x() - diameter / 2, m.y() - diameter / 2, diameter, diameter));
        if (++inChunk == kDotsPerChunk) flush();
    }
    flush();
}

}  // namespace

CanvasTransformGeometry VectorFrameInput::geometry(QSizeF size) const noexcept {
    CanvasTransformGeometry g;
    g.paneSize = size;
    g.zoomScale = zoomScale;
    g.panOffset = panOffset;
    g.pageTransform = pageTransform;
    g.showPaperFrame = showPaperFrame;
    return g;
}

QRectF visibleImageRect(const CanvasTransformGeometry& geometry, QSizeF size) noexcept {
    const VectorPoint p = geometry.paneToImage({0, 0});
    const VectorPoint q = geometry.paneToImage({size.width(), size.height()});
    const double minX = std::min(p.x, q.x);
    const double minY = std::min(p.y, q.y);
    const double width = std::max(std::max(p.x, q.x) - minX, 1.0);
    const double height = std::max(std::max(p.y, q.y) - minY, 1.0);
    return QRectF(minX, minY, width, height).adjusted(-24, -24, 24, 24);
}

VectorFrameInput VectorFrameInput::make(const VectorizationResult& result,
                                        std::shared_ptr<const VectorRenderCache> renderCache,
                                        const VectorizerParams& params, QSizeF paneSize, double zoomScale,
                                        QPointF panOffset, bool showPaperFrame, bool showSheetBackground,
                                        bool blackOnWhitePreview, bool showTravelMoves, bool showControlPoints,
                                        const std::set<std::int64_t>& selectedPathIDs,
                                        const std::optional<SelectedVertex>& selectedVertex) {
    VectorFrameInput in;
    in.renderCache = std::move(renderCache);
    in.pageTransform = result.pageTransform;
    in.outputMode = params.outputMode;
    in.strokeStyle = params.illustrationStrokeStyle;
    in.strokeWidthScale = params.strokeWidthScale;
    in.marginMM = params.marginMM;
    in.paneSize = paneSize;
    in.zoomScale = zoomScale;
    in.panOffset = panOffset;
    in.showPaperFrame = showPaperFrame;
    in.showSheetBackground = showSheetBackground;
    in.blackOnWhitePreview = blackOnWhitePreview;
    in.showTravelMoves = showTravelMoves;
    in.showControlPoints = showControlPoints;
    in.selectedPathIDs = selectedPathIDs;
    in.selectedVertex = selectedVertex;

    const QRectF visible = visibleImageRect(in.geometry(paneSize), paneSize);
    int dotBudget = kMaxVertexDots;
    in.layers.reserve(result.layers.size());
    for (const PenLayer& layer : result.layers) {
        Layer& out = in.layers.emplace_back();
        out.index = layer.index;
        out.widthMM = layer.widthMM;
        out.visible = layer.visible;
        out.hasPaths = !layer.paths.empty();
        if (selectedPathIDs.empty() || !layer.visible) continue;
        for (const VectorPath& path : layer.paths) {
            if (selectedPathIDs.count(path.id) == 0) continue;
            const bool vertexOnThis = selectedVertex && selectedVertex->pathID == path.id;
            for (std::size_t j = 0; j < path.points.size(); ++j) {
                const VectorPoint& point = path.points[j];
                if (!visible.contains(point.x, point.y)) continue;
                if (vertexOnThis && selectedVertex->index == static_cast<std::int64_t>(j)) {
                    out.selectedDots.push_back(point);
                } else if (dotBudget > 0) {
                    out.dots.push_back(point);
                    --dotBudget;
                }
            }
        }
    }
    return in;
}

void drawVectorFrame(QPainter& painter, const VectorFrameInput& in, QSizeF size) {
    const double w = size.width();
    const double h = size.height();
    if (w <= 4 || h <= 4) return;
    const CanvasTransformGeometry g = in.geometry(size);
    const double z = in.zoomScale;
    const Palette palette = Palette::of(in.blackOnWhitePreview);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    if (in.showSheetBackground) {
        const QRectF sheet = g.zoomedSheetRect();
        const double radius = std::min(std::max(z * 4, 2.0), 10.0);
        QPainterPath outline;
        outline.addRoundedRect(sheet, radius, radius);
        painter.fillPath(outline, palette.sheetFill);
        painter.strokePath(outline, linePen(palette.sheetOutline, 1, Qt::FlatCap, Qt::MiterJoin));
    }
    if (const auto margin = g.zoomedMarginRect(in.marginMM)) {
        QPainterPath frame;
        frame.addRect(*margin);
        painter.strokePath(frame, dashedPen(palette.marginFrame, 1, 4, 4));
    }

    const QTransform t = g.imageToPaneTransform();
    const QRectF visible = visibleImageRect(g, size);
    const VectorRenderCache* cache = in.renderCache.get();
    if (in.showTravelMoves && cache != nullptr) {
        strokeTranslucent(painter, cache->fullTravelPathPx, t, dashedPen(palette.travel, 0.9, 3.5, 3.5));
    }

    const double s = g.imageRadiusToPane(1.0);
    const double k = std::clamp(in.strokeWidthScale, 0.2, 4.0);
    const bool wholeLayers = z <= kWholeLayerZoomLimit;

    for (std::size_t i = 0; i < in.layers.size(); ++i) {
        const VectorFrameInput::Layer& layer = in.layers[i];
        if (!layer.visible || !layer.hasPaths || cache == nullptr || cache->layers.size() <= i) continue;
        const QColor color = palette.layerColor(layer.index);
        const VectorRenderCache::LayerCache& lc = cache->layers[i];

        std::vector<const VectorRenderCache::SpatialBucket*> buckets;
        buckets.reserve(lc.buckets.size());
        for (const auto& bucket : lc.buckets) {
            if (wholeLayers || bucket.boundsPx.intersects(visible)) buckets.push_back(&bucket);
        }

        // Selection: the halo and handles of the selected strokes, each gathered only where it can show.
        QPainterPath halo;
        QPainterPath selectedHandles;
        bool anySelected = false;
        for (const std::int64_t id : in.selectedPathIDs) {
            const auto path = lc.pathByID.find(id);
            const auto bounds = lc.boundsByID.find(id);
            const bool onScreen = bounds == lc.boundsByID.end() || bounds->second.intersects(visible);
            if (path != lc.pathByID.end()) {
                anySelected = true;
                if (onScreen) halo.addPath(path->second);
            }
            if (const auto handles = lc.handlesByID.find(id); handles != lc.handlesByID.end() && onScreen) {
                selectedHandles.addPath(handles->second);
            }
        }

        const double pen = std::max(s * layer.widthMM / std::max(in.pageTransform.scalePxToMM, 0.08), 1.0);
        if (anySelected && !halo.isEmpty()) {
            strokeTranslucent(painter, halo, t, linePen(palette.halo, pen + 3.5, Qt::RoundCap, Qt::RoundJoin));
        }

        const bool illustration = in.outputMode == VectorOutputMode::illustration;
        if (illustration && in.strokeStyle == IllustrationStrokeStyle::variableRibbon &&
            !lc.fullFilledRibbonPathPx.isEmpty()) {
            for (const auto* bucket : buckets) fillInChunks(painter, bucket->filledRibbonPathPx, t, color);
        } else if (illustration && in.strokeStyle == IllustrationStrokeStyle::perStrokeWidth && !lc.widthBands.empty()) {
            std::vector<int> cells;
            cells.reserve(buckets.size());
            for (const auto* bucket : buckets) cells.push_back(bucket->gridIndex);
            for (const auto& band : lc.widthBands) {
                const QPen bandPen =
                    linePen(color, std::max(2 * band.radiusPx * k * s, 0.75), Qt::RoundCap, Qt::RoundJoin);
                for (const auto& [cell, path] : band.bucketPathsPx) {
                    if (wholeLayers || std::binary_search(cells.begin(), cells.end(), cell)) {
                        strokeInChunks(painter, path, t, bandPen);
                    }
                }
            }
        } else {
            const QPen centre = linePen(color, pen, Qt::RoundCap, Qt::RoundJoin);
            for (const auto* bucket : buckets) strokeInChunks(painter, bucket->pathPx, t, centre);
        }

        const QPen handlePen = linePen(palette.handles, 0.85, Qt::FlatCap, Qt::MiterJoin);
        if (in.showControlPoints) {
            QPainterPath handles;
            for (const auto* bucket : buckets) handles.addPath(bucket->handlesPx);
            strokeTranslucent(painter, handles, t, handlePen);
        } else if (!selectedHandles.isEmpty()) {
            strokeTranslucent(painter, selectedHandles, t, handlePen);
        }

        if (anySelected) {
            drawDots(painter, layer.dots, g, 6, palette.dotFill,
                     linePen(palette.dotOutline, 1.4, Qt::FlatCap, Qt::MiterJoin));
            drawDots(painter, layer.selectedDots, g, 9, palette.selectedDotFill,
                     linePen(palette.selectedDotOutline, 1.5, Qt::FlatCap, Qt::MiterJoin));
        }
    }
    painter.restore();
}

QImage renderVectorFrame(const VectorFrameInput& input, double devicePixelRatio) {
    const double dpr = std::max(devicePixelRatio, 1.0);
    const QSize pixels(std::max(1, static_cast<int>(std::ceil(input.paneSize.width() * dpr))),
                       std::max(1, static_cast<int>(std::ceil(input.paneSize.height() * dpr))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawVectorFrame(painter, input, input.paneSize);
    return image;
}

}  // namespace ostrel
