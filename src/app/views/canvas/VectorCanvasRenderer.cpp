#include "app/views/canvas/VectorCanvasRenderer.h"

#include "app/shell/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <cmath>
#include <cstring>
#include <latch>
#include <mutex>
#include <optional>
#include <utility>

namespace ostrel {

namespace {

/// Sub-paths are gathered into chunks of about this many elements before each fill or stroke.
constexpr int kChunkElements = 512;
/// Dots drawn as paths are filled and outlined in groups of this many.
constexpr int kDotsPerChunk = 400;
/// The dots of a large frame are stamped in bands of this many device pixel rows, side by side.
constexpr int kDotBandRows = 64;

/// True when the closed rectangles meet; unlike QRectF::intersects, a rectangle of zero width or
/// height (the bounds of a straight horizontal or vertical line) still counts.
bool overlaps(const QRectF& a, const QRectF& b) noexcept {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() && b.top() <= a.bottom();
}

/// Where a partial frame is redrawn: pane rectangles already grown for antialiasing, and how far
/// what is being drawn reaches outside the bounds of its sub-paths (the pen, a dot's outline). A null
/// area draws everything.
/// A frame no longer wanted sets `stop`: from then on nothing meets the area.
/// A whole frame `banded` may draw its large passes in bands side by side (see inBands).
struct Area {
    const std::vector<QRectF>* rects = nullptr;
    double reach = 0;
    const std::atomic<bool>* stop = nullptr;
    bool banded = false;

    [[nodiscard]] bool stopped() const noexcept { return stop != nullptr && stop->load(std::memory_order_relaxed); }
    [[nodiscard]] bool meets(const QRectF& paneBounds) const noexcept {
        if (stopped()) return false;
        if (rects == nullptr) return true;
        const QRectF r = paneBounds.normalized().adjusted(-reach, -reach, reach, reach);
        return std::any_of(rects->begin(), rects->end(), [&r](const QRectF& a) { return overlaps(a, r); });
    }
    /// The same area for what reaches `paneReach` outside its bounds.
    [[nodiscard]] Area reaching(double paneReach) const noexcept { return {rects, paneReach, stop, banded}; }
    /// The device pixels of the area's rectangles (through `device`, outward), or none when all.
    [[nodiscard]] std::optional<QRect> devicePixels(const QTransform& device) const {
        if (rects == nullptr) return std::nullopt;
        QRectF all;
        for (const QRectF& r : *rects) all = all.isNull() ? r : all.united(r);
        all = device.mapRect(all);
        const int x0 = static_cast<int>(std::floor(all.left()));
        const int y0 = static_cast<int>(std::floor(all.top()));
        const int x1 = static_cast<int>(std::ceil(all.right()));
        const int y1 = static_cast<int>(std::ceil(all.bottom()));
        return QRect(x0, y0, std::max(x1 - x0, 1), std::max(y1 - y0, 1));
    }
};

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

/// How far a stroke with `pen` can reach outside the control points of its path, with a point to
/// spare for the stroker's curve offsets.
double penReach(const QPen& pen) {
    const double w = pen.widthF();
    const double join = pen.joinStyle() == Qt::MiterJoin ? std::max(pen.miterLimit(), 1.0) * w : w / 2;
    const double cap = pen.capStyle() == Qt::SquareCap ? w * M_SQRT1_2 : w / 2;
    return std::max(join, cap) + 1;
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
/// With a partial `area`, the chunks are cut at the same places (so that overlaps come out the
/// same), but only their sub-paths that meet the area are drawn: the others leave no ink there.
template <typename Draw>
void inChunks(const QPainterPath& path, const QTransform& transform, const Area& area, Draw&& draw) {
    const int count = path.elementCount();
    if (count == 0) return;
    QPainterPath chunk;
    chunk.setFillRule(path.fillRule());
    if (area.rects == nullptr) {
        for (int i = 0; i < count; ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            switch (e.type) {
                case QPainterPath::MoveToElement:
                    if (chunk.elementCount() >= kChunkElements) {
                        if (area.stopped()) return;
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
        if (!chunk.isEmpty() && !area.stopped()) draw(chunk);
        return;
    }
    // Partial: `cut` counts the elements the whole chunk would hold, drawn or not.
    int cut = 0;
    bool lastMove = false;
    bool anyDrawn = false;
    int i = 0;
    while (i < count) {
        // One sub-path: [i, next).
        int next = i + 1;
        while (next < count && path.elementAt(next).type != QPainterPath::MoveToElement) ++next;
        const QPainterPath::Element first = path.elementAt(i);
        if (first.type == QPainterPath::MoveToElement && cut >= kChunkElements) {
            if (anyDrawn) draw(chunk);
            chunk.clear();
            cut = 0;
            lastMove = false;
            anyDrawn = false;
        }
        double x0 = first.x;
        double y0 = first.y;
        double x1 = first.x;
        double y1 = first.y;
        for (int j = i + 1; j < next; ++j) {
            const QPainterPath::Element e = path.elementAt(j);
            x0 = std::min(x0, e.x);
            y0 = std::min(y0, e.y);
            x1 = std::max(x1, e.x);
            y1 = std::max(y1, e.y);
        }
        const bool drawn = area.meets(transform.mapRect(QRectF(x0, y0, x1 - x0, y1 - y0)));
        for (int j = i; j < next; ++j) {
            const QPainterPath::Element e = path.elementAt(j);
            switch (e.type) {
                case QPainterPath::MoveToElement:
                    if (!lastMove) ++cut;
                    lastMove = true;
                    if (drawn) chunk.moveTo(transform.map(QPointF(e.x, e.y)));
                    break;
                case QPainterPath::LineToElement:
                    ++cut;
                    lastMove = false;
                    if (drawn) chunk.lineTo(transform.map(QPointF(e.x, e.y)));
                    break;
                case QPainterPath::CurveToElement:
                    if (j + 2 < count) {
                        cut += 3;
                        lastMove = false;
                        if (drawn) {
                            const QPainterPath::Element c2 = path.elementAt(j + 1);
                            const QPainterPath::Element end = path.elementAt(j + 2);
                            chunk.cubicTo(transform.map(QPointF(e.x, e.y)), transform.map(QPointF(c2.x, c2.y)),
                                          transform.map(QPointF(end.x, end.y)));
                        }
                    }
                    j += 2;
                    break;
                case QPainterPath::CurveToDataElement:
                    break;
            }
        }
        anyDrawn = anyDrawn || drawn;
        i = next;
    }
    if (anyDrawn) draw(chunk);
}

/// The threads that draw the bands of a large frame beside the thread that asked for it. Never
/// destroyed: a render still running on the render threads while the process exits may ask for it.
QThreadPool& bandPool() {
    static QThreadPool* const pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(kFrameBands - 1);
        made->setExpiryTimeout(-1);
        return made;
    }();
    return *pool;
}

/// Below this many device pixels a frame is drawn in one piece.
constexpr qsizetype kBandedFramePixels = 400 * 300;

/// Device pixels per point of a painter's device transform (its larger axis scale).
double deviceScale(const QPainter& painter) {
    const QTransform m = painter.deviceTransform();
    return std::sqrt(std::max(m.m11() * m.m11() + m.m21() * m.m21(), m.m12() * m.m12() + m.m22() * m.m22()));
}

/// True when a stroke of `pen` comes out the same drawn in bands (see inBands) as in one piece: a solid
/// pen wider than a device pixel, which the raster engine outlines and fills (a thinner one is drawn by
/// a line stepper that starts each line where the device's edge cuts it), with round caps and joins
/// unless the path holds only closed smooth curves (the vertex dots). Flat-ended, mitred thin lines
/// (the control handles) came out a level or two off near the bands' edges: they stay in one piece.
bool bandsExactly(const QPainter& painter, const QPen& pen, bool closedCurves) {
    const bool round = pen.capStyle() == Qt::RoundCap && pen.joinStyle() == Qt::RoundJoin;
    return pen.style() == Qt::SolidLine && pen.widthF() * deviceScale(painter) > 1.25 && (round || closedCurves);
}

/// Runs `draw(painter, area)` for a whole frame's pass; on a large image, in full-width bands of
/// `bandRows` device pixel rows (default: one band per band thread) drawn side by side by this
/// thread and the band threads. Each band is a window on the image's rows without a clip (its edge
/// is the device's edge), painted at the same device transform moved by whole rows, and `draw` gets
/// an area of the band's rows: the rasterizer then walks only the sub-paths that meet them, where in
/// one piece it walks every edge of a chunk once per stretch of rows it fills (a chunk of strokes
/// spread over the frame: most of a frame's time with everything selected). Fills and the pens
/// bandsExactly accepts come out the same as in one piece. In one piece for a frame that is not
/// `banded`, a partial area (a band or region already), a small or shared image, a clip, an
/// opacity or another composition.
template <class Draw>
void inBands(QPainter& painter, const Area& area, Draw&& draw, int bandRows = 0) {
    auto* image = dynamic_cast<QImage*>(painter.device());
    if (!area.banded || area.rects != nullptr || image == nullptr ||
        image->format() != QImage::Format_ARGB32_Premultiplied || !image->isDetached() ||
        static_cast<qsizetype>(image->width()) * image->height() < kBandedFramePixels || painter.hasClipping() ||
        painter.opacity() != 1 || painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        draw(painter, area);
        return;
    }
    const QTransform device = painter.deviceTransform();
    bool invertible = false;
    const QTransform toPoints = device.inverted(&invertible);
    if (!invertible) {
        draw(painter, area);
        return;
    }
    const QPainter::RenderHints hints = painter.renderHints();
    uchar* bits = image->bits();
    const qsizetype bytesPerLine = image->bytesPerLine();
    const int width = image->width();
    const int height = image->height();
    const int bandHeight = bandRows > 0 ? bandRows : (height + kFrameBands - 1) / kFrameBands;
    const int bands = (height + bandHeight - 1) / bandHeight;
    std::atomic<int> next{0};
    const auto drawBands = [&] {
        for (int band = next++; band < bands; band = next++) {
            const int top = band * bandHeight;
            const int rows = std::min(bandHeight, height - top);
            QImage window(bits + static_cast<qsizetype>(top) * bytesPerLine, width, rows, bytesPerLine,
                          QImage::Format_ARGB32_Premultiplied);
            QPainter bandPainter(&window);
            bandPainter.setRenderHints(hints);
            bandPainter.setTransform(device * QTransform::fromTranslate(0, -top));
            // The band in points, grown by a point for antialiasing.
            const std::vector<QRectF> rects{toPoints.mapRect(QRectF(0, top, width, rows)).adjusted(-1, -1, 1, 1)};
            draw(bandPainter, Area{&rects, 0, area.stop});
        }
    };
    const int helpers = std::min(kFrameBands, bands) - 1;
    std::latch done(helpers);
    for (int helper = 0; helper < helpers; ++helper) {
        bandPool().start([&drawBands, &done] {
            drawBands();
            done.count_down();
        });
    }
    drawBands();
    done.wait();
}

/// The device's pixels: an image's own size, else its size in points times its pixel ratio.
QRect devicePixelRect(const QPaintDevice& device) {
    if (const auto* image = dynamic_cast<const QImage*>(&device)) return image->rect();
    const double dpr = device.devicePixelRatioF();
    return {0, 0, static_cast<int>(std::ceil(device.width() * dpr)),
            static_cast<int>(std::ceil(device.height() * dpr))};
}

void strokeInChunks(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QPen& pen,
                    const Area& area) {
    inChunks(path, transform, area.reaching(penReach(pen)),
             [&](const QPainterPath& chunk) { painter.strokePath(chunk, pen); });
}

/// Strokes `path` with a translucent pen as if in one piece: when it takes several chunks, they are
/// drawn opaque into a layer that is then laid down once at the pen's opacity, so that chunks do
/// not darken each other where they overlap. A partial `area` gets a layer of its own extent only.
void strokeTranslucent(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QPen& pen,
                       const Area& area) {
    const double alpha = pen.color().alphaF();
    QPaintDevice* device = painter.device();
    if (alpha >= 1 || path.elementCount() <= kChunkElements || device == nullptr) {
        strokeInChunks(painter, path, transform, pen, area);
        return;
    }
    const double dpr = device->devicePixelRatioF();
    const QRect whole = devicePixelRect(*device);
    // The layer's pixels: the device's, or the part of them the area covers. The painter's device
    // transform maps to the device's pixels (its points times its ratio, which the layer keeps,
    // shifted when the device is a window on a larger image).
    const QRect pixels = area.devicePixels(painter.deviceTransform()).value_or(whole).intersected(whole);
    // A stopped frame draws nothing more: no layer to clear and lay down.
    if (pixels.isEmpty() || area.stopped()) return;
    QImage layer(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        // Device pixel (x, y) of the device is (x, y) − origin of the layer.
        const QTransform toLayer = QTransform::fromTranslate(-pixels.x(), -pixels.y());
        const QTransform layerDevice = QTransform::fromScale(dpr, dpr);
        layerPainter.setTransform(painter.deviceTransform() * toLayer * layerDevice.inverted());
        QPen opaque = pen;
        QColor color = pen.color();
        color.setAlphaF(1);
        opaque.setColor(color);
        if (bandsExactly(layerPainter, opaque, false)) {
            inBands(layerPainter, area, [&](QPainter& band, const Area& bandArea) {
                strokeInChunks(band, path, transform, opaque, bandArea);
            });
        } else {
            strokeInChunks(layerPainter, path, transform, opaque, area);
        }
    }
    painter.save();
    painter.resetTransform();
    painter.setOpacity(painter.opacity() * alpha);
    painter.drawImage(QPointF(pixels.x() / dpr, pixels.y() / dpr), layer);
    painter.restore();
}

void fillInChunks(QPainter& painter, const QPainterPath& path, const QTransform& transform, const QColor& color,
                  const Area& area) {
    // Ribbon outlines are closed sub-paths: filling them in groups gives the same opaque picture. A
    // fill leaves no ink outside the control points of its sub-paths.
    inChunks(path, transform, area.reaching(0), [&](const QPainterPath& chunk) { painter.fillPath(chunk, color); });
}

/// Fills and outlines dots as ellipses, in groups; for a painter that is turned or sheared.
void drawDotPaths(QPainter& painter, const std::vector<VectorPoint>& dots, const CanvasTransformGeometry& g,
                  double diameter, const QColor& fill, const QPen& outline, const Area& area) {
    QPainterPath chunk;
    chunk.setFillRule(Qt::WindingFill);  // overlapping dots stay filled
    int inChunk = 0;
    const auto flush = [&] {
        if (inChunk == 0) return;
        if (!chunk.isEmpty()) {
            painter.fillPath(chunk, fill);
            painter.strokePath(chunk, outline);
        }
        chunk.clear();
        chunk.setFillRule(Qt::WindingFill);
        inChunk = 0;
    };
    // A partial area keeps the groups and leaves out the dots that do not meet it.
    const Area dotArea = area.reaching(penReach(outline));
    for (const VectorPoint& point : dots) {
        const QPointF m = g.imageToPane(point);
        const QRectF dot(m.x() - diameter / 2, m.y() - diameter / 2, diameter, diameter);
        if (dotArea.meets(dot)) chunk.addEllipse(dot);
        if (++inChunk == kDotsPerChunk) flush();
    }
    flush();
}

/// One look of vertex dot drawn once for each quarter of a device pixel its centre can fall on, then
/// stamped: a frame's thousands of dots cost a small image blend each, where the rasterizer would
/// walk and outline every one of them. Stamps are drawn on first use; any thread may ask for them.
class DotStamps {
public:
    static constexpr int kSteps = 4;

    DotStamps(double diameter, const QColor& fill, const QPen& outline, double scale, QPainter::RenderHints hints)
        : diameter_(diameter),
          fill_(fill),
          outline_(outline),
          scale_(scale),
          hints_(hints),
          // The dot with its outline and a pixel of antialiasing each side, and a pixel for the offset.
          size_(static_cast<int>(std::ceil((diameter + outline.widthF()) * scale)) + 3),
          centre_(size_ / 2) {}

    /// Device pixels from a stamp's top-left corner to its dot's centre at offset 0.
    [[nodiscard]] int centre() const noexcept { return centre_; }
    [[nodiscard]] int size() const noexcept { return size_; }

    /// The stamp whose dot's centre sits (stepX, stepY) quarters of a pixel right of and below centre().
    const QImage& at(int stepX, int stepY) {
        const int index = stepY * kSteps + stepX;
        std::call_once(made_[index], [&] {
            QImage stamp(size_, size_, QImage::Format_ARGB32_Premultiplied);
            stamp.fill(Qt::transparent);
            QPainter painter(&stamp);
            painter.setRenderHints(hints_);
            painter.translate(centre_ + static_cast<double>(stepX) / kSteps,
                              centre_ + static_cast<double>(stepY) / kSteps);
            painter.scale(scale_, scale_);
            QPainterPath dot;
            dot.addEllipse(QRectF(-diameter_ / 2, -diameter_ / 2, diameter_, diameter_));
            painter.fillPath(dot, fill_);
            painter.strokePath(dot, outline_);
            painter.end();
            stamps_[index] = std::move(stamp);
        });
        return stamps_[index];
    }

private:
    double diameter_;
    QColor fill_;
    QPen outline_;
    double scale_;
    QPainter::RenderHints hints_;
    int size_;
    int centre_;
    std::array<std::once_flag, kSteps * kSteps> made_;
    std::array<QImage, kSteps * kSteps> stamps_;
};

/// The painter's scale from points to device pixels when it is the same on both axes and neither
/// turns nor shears; none otherwise.
std::optional<double> uprightScale(const QPainter& painter) {
    const QTransform m = painter.deviceTransform();
    if (m.type() > QTransform::TxScale || m.m11() <= 0 || m.m11() != m.m22()) return std::nullopt;
    return m.m11();
}

/// Stamps the dots that meet the area, in order, each at its centre's device position rounded to a
/// quarter pixel. Every stamp is blended pixel by pixel, so a band drawn on a window of the image's
/// rows gets exactly the pixels of one piece.
void stampDots(QPainter& painter, const std::vector<VectorPoint>& dots, const CanvasTransformGeometry& g,
               double diameter, DotStamps& stamps, const QPen& outline, const Area& area) {
    const QTransform device = painter.deviceTransform();
    // Where a stamp must land to be drawn (a band's window holds its rows only).
    const QRect frame = devicePixelRect(*painter.device());
    const Area dotArea = area.reaching(penReach(outline));
    painter.save();
    // Device pixels from here: the world transform undoes what the painter adds beyond it.
    painter.setWorldTransform((painter.worldTransform().inverted() * device).inverted());
    const int size = stamps.size();
    for (const VectorPoint& point : dots) {
        const QPointF m = g.imageToPane(point);
        const QPointF d = device.map(m);
        const double x = std::round(d.x() * DotStamps::kSteps);
        const double y = std::round(d.y() * DotStamps::kSteps);
        const int stepX = static_cast<int>(x - std::floor(x / DotStamps::kSteps) * DotStamps::kSteps);
        const int stepY = static_cast<int>(y - std::floor(y / DotStamps::kSteps) * DotStamps::kSteps);
        const QPoint corner(static_cast<int>(std::floor(x / DotStamps::kSteps)) - stamps.centre(),
                            static_cast<int>(std::floor(y / DotStamps::kSteps)) - stamps.centre());
        if (!frame.intersects(QRect(corner, QSize(size, size)))) continue;
        if (!dotArea.meets(QRectF(m.x() - diameter / 2, m.y() - diameter / 2, diameter, diameter))) continue;
        painter.drawImage(corner, stamps.at(stepX, stepY));
    }
    painter.restore();
}

void drawDots(QPainter& painter, const std::vector<VectorPoint>& dots, const CanvasTransformGeometry& g,
              double diameter, const QColor& fill, const QPen& outline, const Area& area) {
    if (dots.empty()) return;
    const std::optional<double> scale = uprightScale(painter);
    if (!scale) {
        drawDotPaths(painter, dots, g, diameter, fill, outline, area);
        return;
    }
    DotStamps stamps(diameter, fill, outline, *scale, painter.renderHints());
    inBands(
        painter, area,
        [&](QPainter& band, const Area& bandArea) { stampDots(band, dots, g, diameter, stamps, outline, bandArea); },
        kDotBandRows);
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

namespace {

/// The pen widths of a frame's strokes, in pane points.
struct StrokePens {
    double scale = 1;  // image pixel to pane points
    double widthScale = 1;

    explicit StrokePens(const VectorFrameInput& in, const CanvasTransformGeometry& g)
        : scale(g.imageRadiusToPane(1.0)), widthScale(std::clamp(in.strokeWidthScale, 0.2, 4.0)) {}

    [[nodiscard]] double centre(const VectorFrameInput& in, const VectorFrameInput::Layer& layer) const noexcept {
        return std::max(scale * layer.widthMM / std::max(in.pageTransform.scalePxToMM, 0.08), 1.0);
    }
    [[nodiscard]] double band(double radiusPx) const noexcept {
        return std::max(2 * radiusPx * widthScale * scale, 0.75);
    }
};

/// What a part frame draws of one layer: the cells it draws whole from their cached paths, and the
/// strokes it draws one by one (indexes into the layer's stroke order). A whole frame draws every
/// cell whole; the resting part draws whole the cells without a selected stroke and, of the other
/// cells, the strokes not selected; the moving part draws the selected strokes alone.
struct LayerPart {
    static constexpr int kCells = VectorRenderCache::kGridSize * VectorRenderCache::kGridSize;
    std::bitset<kCells> cellsWhole;
    std::vector<std::size_t> strokes;

    [[nodiscard]] bool drawsWhole(int gridIndex) const noexcept {
        return gridIndex >= 0 && gridIndex < kCells && cellsWhole.test(static_cast<std::size_t>(gridIndex));
    }

    /// Above the whole-layer zoom, only the strokes whose bounds meet `visible` are kept.
    static LayerPart of(const VectorFrameInput& in, const VectorRenderCache::LayerCache& lc, const QRectF& visible,
                        bool wholeLayers) {
        LayerPart part;
        if (in.part == VectorFramePart::whole || lc.order == nullptr) {
            part.cellsWhole.set();
            return part;
        }
        const VectorRenderCache::StrokeOrder& order = *lc.order;
        std::vector<bool> selected(order.ids.size());
        std::bitset<kCells> touched;
        for (std::size_t i = 0; i < order.ids.size(); ++i) {
            selected[i] = in.selectedPathIDs.contains(order.ids[i]);
            const int cell = order.gridIndexes[i];
            if (selected[i] && cell >= 0 && cell < kCells) touched.set(static_cast<std::size_t>(cell));
        }
        const bool resting = in.part == VectorFramePart::resting;
        if (resting) part.cellsWhole = ~touched;
        for (std::size_t i = 0; i < order.ids.size(); ++i) {
            if (resting ? (selected[i] || part.drawsWhole(order.gridIndexes[i])) : !selected[i]) continue;
            if (!wholeLayers) {
                const auto bounds = lc.boundsByID.find(order.ids[i]);
                if (bounds != lc.boundsByID.end() && !bounds->second.intersects(visible)) continue;
            }
            part.strokes.push_back(i);
        }
        return part;
    }

    /// The paths `paths` holds for the part's strokes that `pick` takes, in layer order.
    template <class Pick>
    [[nodiscard]] QPainterPath gather(const VectorRenderCache::LayerCache& lc,
                                      const VectorRenderCache::ByID<QPainterPath>& paths, Pick&& pick) const {
        QPainterPath out;
        for (const std::size_t i : strokes) {
            if (!pick(i)) continue;
            if (const auto found = paths.find(lc.order->ids[i]); found != paths.end()) out.addPath(found->second);
        }
        return out;
    }
    [[nodiscard]] QPainterPath gather(const VectorRenderCache::LayerCache& lc,
                                      const VectorRenderCache::ByID<QPainterPath>& paths) const {
        return gather(lc, paths, [](std::size_t) { return true; });
    }
};

void drawFrame(QPainter& painter, const VectorFrameInput& in, QSizeF size, const Area& area) {
    const double w = size.width();
    const double h = size.height();
    if (w <= 4 || h <= 4) return;
    const CanvasTransformGeometry g = in.geometry(size);
    const double z = in.zoomScale;
    const Palette palette = Palette::of(in.blackOnWhitePreview);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    const bool drawsResting = in.part != VectorFramePart::moving;
    const bool drawsSelection = in.part != VectorFramePart::resting;
    if (in.showSheetBackground && drawsResting) {
        const QRectF sheet = g.zoomedSheetRect();
        const double radius = std::min(std::max(z * 4, 2.0), 10.0);
        QPainterPath outline;
        outline.addRoundedRect(sheet, radius, radius);
        painter.fillPath(outline, palette.sheetFill);
        painter.strokePath(outline, linePen(palette.sheetOutline, 1, Qt::FlatCap, Qt::MiterJoin));
    }
    if (const auto margin = drawsResting ? g.zoomedMarginRect(in.marginMM) : std::nullopt) {
        QPainterPath frame;
        frame.addRect(*margin);
        painter.strokePath(frame, dashedPen(palette.marginFrame, 1, 4, 4));
    }

    const QTransform t = g.imageToPaneTransform();
    const QRectF visible = visibleImageRect(g, size);
    const VectorRenderCache* cache = in.renderCache.get();
    if (in.showTravelMoves && cache != nullptr && drawsResting) {
        strokeTranslucent(painter, cache->fullTravelPathPx, t, dashedPen(palette.travel, 0.9, 3.5, 3.5), area);
    }

    const StrokePens pens(in, g);
    const bool wholeLayers = z <= kWholeLayerZoomLimit;
    const Area bucketArea = area.rects == nullptr ? area : area.reaching(strokeReachPane(in));

    for (std::size_t i = 0; i < in.layers.size() && !area.stopped(); ++i) {
        const VectorFrameInput::Layer& layer = in.layers[i];
        if (!layer.visible || !layer.hasPaths || cache == nullptr || cache->layers.size() <= i) continue;
        const QColor color = palette.layerColor(layer.index);
        const VectorRenderCache::LayerCache& lc = cache->layers[i];

        std::vector<const VectorRenderCache::SpatialBucket*> buckets;
        buckets.reserve(lc.buckets.size());
        for (const auto& bucket : lc.buckets) {
            if (wholeLayers || bucket.boundsPx.intersects(visible)) buckets.push_back(&bucket);
        }
        // The buckets whose strokes can reach the area (all of them for a whole frame); each pass then
        // picks the sub-paths its own pen carries into the area.
        const LayerPart part = LayerPart::of(in, lc, visible, wholeLayers);
        std::vector<const VectorRenderCache::SpatialBucket*> drawn;
        drawn.reserve(buckets.size());
        for (const auto* bucket : buckets) {
            if (part.drawsWhole(bucket->gridIndex) && bucketArea.meets(t.mapRect(bucket->boundsPx))) {
                drawn.push_back(bucket);
            }
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

        const double pen = pens.centre(in, layer);
        if (anySelected && !halo.isEmpty() && drawsSelection) {
            strokeTranslucent(painter, halo, t, linePen(palette.halo, pen + 3.5, Qt::RoundCap, Qt::RoundJoin), area);
        }

        // The strokes, in bands of a large frame when every pen allows (see inBands).
        const bool illustration = in.outputMode == VectorOutputMode::illustration;
        if (illustration && in.strokeStyle == IllustrationStrokeStyle::variableRibbon && lc.hasFilledRibbons()) {
            const QPainterPath strokes = part.gather(lc, lc.ribbonByID);
            inBands(painter, area, [&](QPainter& target, const Area& targetArea) {
                for (const auto* bucket : drawn) fillInChunks(target, bucket->filledRibbonPathPx, t, color, targetArea);
                fillInChunks(target, strokes, t, color, targetArea);
            });
        } else if (illustration && in.strokeStyle == IllustrationStrokeStyle::perStrokeWidth &&
                   !lc.widthBands.empty()) {
            std::vector<int> cells;
            cells.reserve(drawn.size());
            for (const auto* bucket : drawn) cells.push_back(bucket->gridIndex);
            struct BandPass {
                QPen pen;
                std::vector<const QPainterPath*> cellPaths;
                QPainterPath strokes;
            };
            std::vector<BandPass> passes;
            passes.reserve(lc.widthBands.size());
            bool exact = true;
            for (const auto& band : lc.widthBands) {
                BandPass& pass = passes.emplace_back();
                pass.pen = linePen(color, pens.band(band.radiusPx), Qt::RoundCap, Qt::RoundJoin);
                exact = exact && bandsExactly(painter, pass.pen, false);
                for (const auto& [cell, path] : band.bucketPathsPx) {
                    if ((wholeLayers && area.rects == nullptr && part.drawsWhole(cell)) ||
                        std::binary_search(cells.begin(), cells.end(), cell)) {
                        pass.cellPaths.push_back(&path.value());
                    }
                }
                if (!part.strokes.empty()) {
                    const int key = VectorRenderCache::bandKey(band.radiusPx);
                    pass.strokes =
                        part.gather(lc, lc.pathByID, [&](std::size_t i) { return lc.order->bandKeys[i] == key; });
                }
            }
            const auto drawPasses = [&](QPainter& target, const Area& targetArea) {
                for (const BandPass& pass : passes) {
                    for (const QPainterPath* path : pass.cellPaths)
                        strokeInChunks(target, *path, t, pass.pen, targetArea);
                    strokeInChunks(target, pass.strokes, t, pass.pen, targetArea);
                }
            };
            if (exact) {
                inBands(painter, area, drawPasses);
            } else {
                drawPasses(painter, area);
            }
        } else {
            const QPen centre = linePen(color, pen, Qt::RoundCap, Qt::RoundJoin);
            const QPainterPath strokes = part.gather(lc, lc.pathByID);
            const auto drawCentres = [&](QPainter& target, const Area& targetArea) {
                for (const auto* bucket : drawn) strokeInChunks(target, bucket->pathPx, t, centre, targetArea);
                strokeInChunks(target, strokes, t, centre, targetArea);
            };
            if (bandsExactly(painter, centre, false)) {
                inBands(painter, area, drawCentres);
            } else {
                drawCentres(painter, area);
            }
        }

        const QPen handlePen = linePen(palette.handles, 0.85, Qt::FlatCap, Qt::MiterJoin);
        if (in.showControlPoints) {
            QPainterPath handles;
            for (const auto* bucket : buckets) {
                if (part.drawsWhole(bucket->gridIndex)) handles.addPath(bucket->handlesPx);
            }
            if (!part.strokes.empty()) handles.addPath(part.gather(lc, lc.handlesByID));
            strokeTranslucent(painter, handles, t, handlePen, area);
        } else if (!selectedHandles.isEmpty() && drawsSelection) {
            strokeTranslucent(painter, selectedHandles, t, handlePen, area);
        }

        if (anySelected && drawsSelection) {
            drawDots(painter, layer.dots, g, 6, palette.dotFill,
                     linePen(palette.dotOutline, 1.4, Qt::FlatCap, Qt::MiterJoin), area);
            drawDots(painter, layer.selectedDots, g, 9, palette.selectedDotFill,
                     linePen(palette.selectedDotOutline, 1.5, Qt::FlatCap, Qt::MiterJoin), area);
        }
    }
    painter.restore();
}

}  // namespace

void drawVectorFrame(QPainter& painter, const VectorFrameInput& in, QSizeF size) { drawFrame(painter, in, size, {}); }

double strokeReachPane(const VectorFrameInput& in) {
    const CanvasTransformGeometry g = in.geometry(in.paneSize);
    const StrokePens pens(in, g);
    double widest = 1;
    for (const VectorFrameInput::Layer& layer : in.layers) widest = std::max(widest, pens.centre(in, layer));
    if (in.renderCache != nullptr) {
        for (const auto& lc : in.renderCache->layers) {
            if (!lc.widthBands.empty()) widest = std::max(widest, pens.band(lc.widthBands.back().radiusPx));
        }
    }
    // Half the widest pen, the halo beyond it, a selected vertex dot and its outline, antialiasing.
    return widest / 2 + 3.5 + 9 + 2;
}

std::optional<QRegion> incrementalRegion(const VectorFrameInput& shown, const VectorFrameInput& next,
                                         double devicePixelRatio) {
    const VectorRenderCache* before = shown.renderCache.get();
    const VectorRenderCache* after = next.renderCache.get();
    if (before == nullptr || after == nullptr || after->updatedFromSerial == 0 ||
        after->updatedFromSerial != before->serial) {
        return std::nullopt;
    }
    if (shown.showTravelMoves || next.showTravelMoves) return std::nullopt;  // the travel path may differ anywhere
    if (shown.part != VectorFramePart::whole || next.part != VectorFramePart::whole) return std::nullopt;
    const bool sameView =
        shown.pageTransform == next.pageTransform && shown.outputMode == next.outputMode &&
        shown.strokeStyle == next.strokeStyle && shown.strokeWidthScale == next.strokeWidthScale &&
        shown.marginMM == next.marginMM && shown.paneSize == next.paneSize && shown.zoomScale == next.zoomScale &&
        shown.panOffset == next.panOffset && shown.showPaperFrame == next.showPaperFrame &&
        shown.showSheetBackground == next.showSheetBackground &&
        shown.blackOnWhitePreview == next.blackOnWhitePreview && shown.showControlPoints == next.showControlPoints &&
        shown.selectedPathIDs == next.selectedPathIDs && shown.selectedVertex == next.selectedVertex &&
        shown.layers.size() == next.layers.size();
    if (!sameView) return std::nullopt;
    if (before->layers.size() != after->layers.size()) return std::nullopt;

    const auto inChanged = [after](const VectorPoint& p) {
        return std::any_of(after->changedRegionPx.begin(), after->changedRegionPx.end(),
                           [&p](const QRectF& r) { return overlaps(r, QRectF(p.x, p.y, 0, 0)); });
    };
    // Dots are drawn in fixed groups: a dot may differ only where both frames have one inside the
    // changed region, so that every other dot keeps its place among the others.
    const auto sameDotsOutside = [&inChanged](const std::vector<VectorPoint>& a, const std::vector<VectorPoint>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] != b[i] && !(inChanged(a[i]) && inChanged(b[i]))) return false;
        }
        return true;
    };
    std::size_t dots = 0;
    for (std::size_t i = 0; i < next.layers.size(); ++i) {
        const VectorFrameInput::Layer& a = shown.layers[i];
        const VectorFrameInput::Layer& b = next.layers[i];
        if (a.index != b.index || a.widthMM != b.widthMM || a.visible != b.visible || a.hasPaths != b.hasPaths ||
            !sameDotsOutside(a.dots, b.dots) || !sameDotsOutside(a.selectedDots, b.selectedDots)) {
            return std::nullopt;
        }
        dots += b.dots.size();
    }
    // At the bound, which dots are drawn depends on the strokes before them.
    if (dots >= static_cast<std::size_t>(kMaxVertexDots)) return std::nullopt;

    const double dpr = std::max(devicePixelRatio, 1.0);
    const QSize pixels(std::max(1, static_cast<int>(std::ceil(next.paneSize.width() * dpr))),
                       std::max(1, static_cast<int>(std::ceil(next.paneSize.height() * dpr))));
    const QRect image(QPoint(0, 0), pixels);
    const QTransform t = next.geometry(next.paneSize).imageToPaneTransform();
    const double reach = std::max(strokeReachPane(shown), strokeReachPane(next));
    QRegion region;
    for (const QRectF& changed : after->changedRegionPx) {
        const QRectF pane = t.mapRect(changed.normalized()).adjusted(-reach, -reach, reach, reach);
        if (!std::isfinite(pane.left()) || !std::isfinite(pane.top()) || !std::isfinite(pane.right()) ||
            !std::isfinite(pane.bottom())) {
            return std::nullopt;
        }
        const double x0 = std::floor(pane.left() * dpr);
        const double y0 = std::floor(pane.top() * dpr);
        const double x1 = std::ceil(pane.right() * dpr);
        const double y1 = std::ceil(pane.bottom() * dpr);
        if (x1 <= 0 || y1 <= 0 || x0 >= pixels.width() || y0 >= pixels.height()) continue;
        const QRect device = QRect(QPoint(static_cast<int>(std::max(x0, 0.0)), static_cast<int>(std::max(y0, 0.0))),
                                   QPoint(static_cast<int>(std::min(x1, static_cast<double>(pixels.width()))) - 1,
                                          static_cast<int>(std::min(y1, static_cast<double>(pixels.height()))) - 1))
                                 .intersected(image);
        if (!device.isEmpty()) region += device;
    }
    // A large change is drawn whole: the partial frame saves little there.
    std::int64_t area = 0;
    for (const QRect& r : region) area += static_cast<std::int64_t>(r.width()) * r.height();
    if (3 * area > static_cast<std::int64_t>(pixels.width()) * pixels.height()) return std::nullopt;
    return region;
}

namespace {

/// `spare` when it is an unshared frame image of `pixels`, else a new one. Writing into an image
/// whose pages are already mapped saves faulting in a fresh one's (megabytes at ratio 2).
QImage frameImage(QImage spare, QSize pixels) {
    if (!spare.isNull() && spare.size() == pixels && spare.format() == QImage::Format_ARGB32_Premultiplied &&
        spare.isDetached()) {
        return spare;
    }
    return {pixels, QImage::Format_ARGB32_Premultiplied};
}

}  // namespace

namespace {

/// Clears the device pixels `region` of the ARGB32 premultiplied `bits` (rows `bytesPerLine` apart)
/// and draws there what of the frame meets them, at `dpr` device pixels per point. Through a window
/// on the region's bounding box (the same pixels, shifted by whole pixels): the rasterizer then skips
/// the parts of the sub-paths beyond it instead of walking them across the whole image, a third of
/// the time at ratio 2. Windows on disjoint regions may be drawn on several threads at once.
void drawRegion(uchar* bits, qsizetype bytesPerLine, double dpr, const VectorFrameInput& input, const QRegion& region,
                const std::atomic<bool>* stop) {
    const QRect box = region.boundingRect();
    constexpr int kBytesPerPixel = 4;  // ARGB32
    QImage window(bits + static_cast<qsizetype>(box.y()) * bytesPerLine + box.x() * kBytesPerPixel, box.width(),
                  box.height(), bytesPerLine, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&window);
    painter.translate(-box.x(), -box.y());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : region) painter.fillRect(r, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipRegion(region);
    painter.scale(dpr, dpr);
    std::vector<QRectF> rects;
    for (const QRect& r : region) {
        rects.emplace_back(QRectF(r.x() / dpr, r.y() / dpr, r.width() / dpr, r.height() / dpr).adjusted(-1, -1, 1, 1));
    }
    drawFrame(painter, input, input.paneSize, Area{&rects, 0, stop});
}

}  // namespace

QImage renderVectorFrameRegion(const QImage& shownImage, const VectorFrameInput& input, const QRegion& region,
                               QImage spare) {
    if (region.isEmpty()) return shownImage;
    const double dpr = shownImage.devicePixelRatio();
    QImage image = frameImage(std::move(spare), shownImage.size());
    if (shownImage.format() == image.format() && shownImage.bytesPerLine() == image.bytesPerLine()) {
        std::memcpy(image.bits(), shownImage.constBits(), static_cast<std::size_t>(shownImage.sizeInBytes()));
    } else {
        image = shownImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    // Drawn in device pixels (ratio 1, the scale on the painter), so that the clip can follow
    // device pixels at any ratio; the picture is the same as drawn at the image's ratio.
    image.setDevicePixelRatio(1);
    drawRegion(image.bits(), image.bytesPerLine(), dpr, input, region, nullptr);
    image.setDevicePixelRatio(dpr);
    return image;
}

QImage renderVectorFrame(const VectorFrameInput& input, double devicePixelRatio, QImage spare,
                         const std::atomic<bool>* stop) {
    const double dpr = std::max(devicePixelRatio, 1.0);
    const QSize pixels(std::max(1, static_cast<int>(std::ceil(input.paneSize.width() * dpr))),
                       std::max(1, static_cast<int>(std::ceil(input.paneSize.height() * dpr))));
    QImage image = frameImage(std::move(spare), pixels);
    // Whole frames are drawn on one painter, their large passes in bands that give the pixels drawn in
    // one piece (see inBands): they are the base of partial frames, which must find the same pixels
    // there. A selection drag's pictures are shown alone until its final frame.
    if (input.part == VectorFramePart::whole ||
        static_cast<qsizetype>(pixels.width()) * pixels.height() < kBandedFramePixels) {
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawFrame(painter, input, input.paneSize, Area{nullptr, 0, stop, true});
        return image;
    }
    // A large part frame in horizontal bands drawn side by side, each drawing only the sub-paths that
    // meet it: the picture drawn whole, up to a level or two of rounding where a translucent layer
    // (the halo of many strokes) meets a band's edge.
    image.setDevicePixelRatio(1);
    uchar* bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const int bandHeight = (pixels.height() + kFrameBands - 1) / kFrameBands;
    std::latch done(kFrameBands - 1);
    for (int band = 1; band < kFrameBands; ++band) {
        const QRect rows = QRect(0, band * bandHeight, pixels.width(), bandHeight).intersected(image.rect());
        bandPool().start([bits, bytesPerLine, dpr, &input, rows, stop, &done] {
            if (!rows.isEmpty()) drawRegion(bits, bytesPerLine, dpr, input, QRegion(rows), stop);
            done.count_down();
        });
    }
    drawRegion(bits, bytesPerLine, dpr, input, QRegion(QRect(0, 0, pixels.width(), bandHeight)), stop);
    done.wait();
    image.setDevicePixelRatio(dpr);
    return image;
}

void finishFrameBands() { bandPool().waitForDone(); }

}  // namespace ostrel
