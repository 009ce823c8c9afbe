#include "app/document/VectorRenderCache.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>

namespace ostrel {

namespace {

QPointF qt(const VectorPoint& p) { return {p.x, p.y}; }

/// Filled paths use the non-zero winding rule (Qt's default is odd-even).
QPainterPath windingPath() {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    return path;
}

QPainterPath centreLine(const VectorPath& path) {
    QPainterPath out = windingPath();
    if (!path.beziers.empty()) {
        out.reserve(static_cast<int>(3 * path.beziers.size() + 2));
        out.moveTo(qt(path.beziers.front().p0));
        for (const auto& s : path.beziers) out.cubicTo(qt(s.c1), qt(s.c2), qt(s.p3));
    } else if (path.points.size() >= 2) {
        out.reserve(static_cast<int>(path.points.size() + 1));
        out.moveTo(qt(path.points.front()));
        for (std::size_t i = 1; i < path.points.size(); ++i) out.lineTo(qt(path.points[i]));
    } else {
        return out;
    }
    if (path.isClosed) out.closeSubpath();
    return out;
}

QPainterPath handles(const VectorPath& path) {
    QPainterPath out = windingPath();
    out.reserve(static_cast<int>(4 * path.beziers.size() + 1));
    for (const auto& s : path.beziers) {
        out.moveTo(qt(s.p0));
        out.lineTo(qt(s.c1));
        out.moveTo(qt(s.p3));
        out.lineTo(qt(s.c2));
    }
    return out;
}

QPainterPath ribbon(const VectorPath& path) {
    QPainterPath out = windingPath();
    if (path.outlineBeziers.empty()) return out;
    out.reserve(static_cast<int>(3 * path.outlineBeziers.size() + 2));
    out.moveTo(qt(path.outlineBeziers.front().p0));
    for (const auto& s : path.outlineBeziers) out.cubicTo(qt(s.c1), qt(s.c2), qt(s.p3));
    out.closeSubpath();
    return out;
}

/// Smallest box of the drawn points; invalid while nothing was added.
struct Extent {
    double minX = std::numeric_limits<double>::max();
    double minY = std::numeric_limits<double>::max();
    double maxX = -std::numeric_limits<double>::max();
    double maxY = -std::numeric_limits<double>::max();

    void add(const VectorPoint& p) noexcept {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    [[nodiscard]] bool valid() const noexcept { return minX <= maxX && minY <= maxY; }
};

QRectF paddedBounds(const VectorPath& path) {
    Extent e;
    if (!path.beziers.empty()) {
        e.add(path.beziers.front().p0);
        for (const auto& s : path.beziers) {
            e.add(s.c1);
            e.add(s.c2);
            e.add(s.p3);
        }
    } else if (path.points.size() >= 2) {
        for (const auto& p : path.points) e.add(p);
    }
    if (!path.outlineBeziers.empty()) {
        e.add(path.outlineBeziers.front().p0);
        for (const auto& s : path.outlineBeziers) e.add(s.p3);
    }
    if (!e.valid()) return {0, 0, 0, 0};
    const double pad = std::max(2.5 * path.strokeRadiusPx, 1.0);
    return {e.minX - pad, e.minY - pad, std::max(e.maxX - e.minX + 2 * pad, 1.0),
            std::max(e.maxY - e.minY + 2 * pad, 1.0)};
}

/// Cell index 0…7 of a coordinate; non-finite values land in cell 0.
int cellOf(double mid, double cellSize) noexcept {
    const double q = std::trunc(mid / cellSize);
    if (!(q > 0)) return 0;
    return q >= 7 ? 7 : static_cast<int>(q);
}

QRectF united(const std::optional<QRectF>& a, const QRectF& b) {
    if (!a) return b;
    const double x0 = std::min(a->x(), b.x());
    const double y0 = std::min(a->y(), b.y());
    const double x1 = std::max(a->x() + a->width(), b.x() + b.width());
    const double y1 = std::max(a->y() + a->height(), b.y() + b.height());
    return {x0, y0, x1 - x0, y1 - y0};
}

/// A path gathered from many stroke paths: counted first, so that its element list is reserved once
/// instead of growing (and being copied) while 20,000 strokes are added.
struct Gathered {
    QPainterPath path = windingPath();
    int elements = 1;  // the starting MoveTo plus every counted part: at least the final count
    std::size_t parts = 0;

    void count(const QPainterPath& part) noexcept {
        elements += part.elementCount();
        ++parts;
    }
    void add(const QPainterPath& part) {
        if (path.elementCount() == 1) path.reserve(elements);
        path.addPath(part);
    }
};

/// The paths of one stroke, built once and then shared (centre, handles, ribbon) or copied into the
/// whole-layer, cell and band paths.
struct StrokePaths {
    QPainterPath centre;
    QPainterPath handles;
    QPainterPath ribbon;
    int gridIndex = 0;
    int bandKey = 1;
};

struct Cell {
    Gathered centre;
    Gathered ribbon;
    Gathered handles;
    std::optional<QRectF> bounds;
};

struct Band {
    Gathered full;
    std::map<int, Gathered> byCell;
};

std::uint64_t nextSerial() noexcept {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

int VectorRenderCache::bandKey(double strokeRadiusPx) noexcept {
    const double key = std::round(4 * strokeRadiusPx);
    if (!(key >= 1)) return 1;
    return key >= 64 ? 64 : static_cast<int>(key);
}

VectorRenderCache VectorRenderCache::build(const VectorizationResult& result) {
    const auto& page = result.pageTransform;
    const double cellWidth =
        page.imageWidth > 0 ? std::max(static_cast<double>(page.imageWidth) / kGridSize, 1.0) : 1.0;
    const double cellHeight =
        std::max(static_cast<double>(std::max<std::int64_t>(page.imageHeight, 1)) / kGridSize, 1.0);

    VectorRenderCache cache;
    cache.serial = nextSerial();
    cache.fullTravelPathPx = windingPath();
    std::size_t strokeCount = 0;
    std::size_t visibleStrokeCount = 0;
    for (const PenLayer& layer : result.layers) {
        strokeCount += layer.paths.size();
        if (layer.visible) visibleStrokeCount += layer.paths.size();
    }
    cache.fullTravelPathPx.reserve(static_cast<int>(std::min<std::size_t>(2 * visibleStrokeCount + 1, INT_MAX)));
    cache.boundsByPathID.reserve(strokeCount);
    cache.layers.reserve(result.layers.size());
    VectorPoint previousEnd = VectorPoint::zero;
    std::vector<StrokePaths> strokes;  // strokes[i]: the paths of layer.paths[i] in the current layer

    for (const PenLayer& layer : result.layers) {
        LayerCache lc;
        lc.index = layer.index;
        lc.pathByID.reserve(layer.paths.size());
        lc.handlesByID.reserve(layer.paths.size());
        lc.boundsByID.reserve(layer.paths.size());
        Gathered fullCentre;
        Gathered fullRibbon;
        Gathered fullHandles;
        std::array<Cell, kGridSize * kGridSize> cells;
        std::map<int, Band> bands;

        // Each stroke's own paths, bounds, cell and band; the gathered paths only count their parts.
        strokes.clear();
        strokes.reserve(layer.paths.size());
        for (const VectorPath& path : layer.paths) {
            if (layer.visible) {
                cache.fullTravelPathPx.moveTo(qt(previousEnd));
                cache.fullTravelPathPx.lineTo(qt(path.startPoint()));
                previousEnd = path.endPoint();
            }
            StrokePaths& stroke = strokes.emplace_back();
            stroke.centre = centreLine(path);
            stroke.handles = handles(path);
            stroke.ribbon = ribbon(path);
            const QRectF bounds = paddedBounds(path);

            if (!stroke.ribbon.isEmpty()) lc.ribbonByID[path.id] = stroke.ribbon;
            lc.pathByID[path.id] = stroke.centre;
            lc.handlesByID[path.id] = stroke.handles;
            lc.boundsByID[path.id] = bounds;
            cache.boundsByPathID[path.id] = bounds;

            const int column = cellOf(bounds.x() + bounds.width() / 2, cellWidth);
            const int row = cellOf(bounds.y() + bounds.height() / 2, cellHeight);
            stroke.gridIndex = column + kGridSize * row;
            stroke.bandKey = bandKey(path.strokeRadiusPx);
            Cell& cell = cells[static_cast<std::size_t>(stroke.gridIndex)];
            cell.bounds = united(cell.bounds, bounds);

            fullCentre.count(stroke.centre);
            fullRibbon.count(stroke.ribbon);
            fullHandles.count(stroke.handles);
            cell.centre.count(stroke.centre);
            cell.ribbon.count(stroke.ribbon);
            cell.handles.count(stroke.handles);
            Band& band = bands[stroke.bandKey];
            band.full.count(stroke.centre);
            band.byCell[stroke.gridIndex].count(stroke.centre);
        }

        // A band that holds every stroke of the layer (one stroke width, the usual case of hatching,
        // freehand and contour layers) receives the same parts in the same order as the whole layer,
        // and a band's cell holding all strokes of that cell the same as the cell: such paths are the
        // same paths, shared instead of built twice.
        std::array<bool, kGridSize * kGridSize> cellInOneBand{};
        for (auto& [key, band] : bands) {
            for (auto& [gridIndex, gathered] : band.byCell) {
                cellInOneBand[static_cast<std::size_t>(gridIndex)] =
                    gathered.parts == cells[static_cast<std::size_t>(gridIndex)].centre.parts;
            }
        }
        const bool layerInOneBand = bands.size() == 1;

        // Every gathered path receives its parts in stroke order, as QPainterPath::addPath appends them.
        for (const StrokePaths& stroke : strokes) {
            Cell& cell = cells[static_cast<std::size_t>(stroke.gridIndex)];
            fullCentre.add(stroke.centre);
            cell.centre.add(stroke.centre);
            if (!layerInOneBand) bands[stroke.bandKey].full.add(stroke.centre);
            if (!cellInOneBand[static_cast<std::size_t>(stroke.gridIndex)]) {
                bands[stroke.bandKey].byCell[stroke.gridIndex].add(stroke.centre);
            }
            fullHandles.add(stroke.handles);
            cell.handles.add(stroke.handles);
            if (!stroke.ribbon.isEmpty()) {
                fullRibbon.add(stroke.ribbon);
                cell.ribbon.add(stroke.ribbon);
            }
        }
        for (auto& [key, band] : bands) {
            if (layerInOneBand) band.full.path = fullCentre.path;
            for (auto& [gridIndex, gathered] : band.byCell) {
                if (cellInOneBand[static_cast<std::size_t>(gridIndex)]) {
                    gathered.path = cells[static_cast<std::size_t>(gridIndex)].centre.path;
                }
            }
        }
        lc.fullPathPx = std::move(fullCentre.path);
        lc.fullFilledRibbonPathPx = std::move(fullRibbon.path);
        lc.fullHandlesPx = std::move(fullHandles.path);

        for (int i = 0; i < kGridSize * kGridSize; ++i) {
            Cell& cell = cells[static_cast<std::size_t>(i)];
            if (!cell.bounds) continue;
            lc.buckets.push_back({i, *cell.bounds, std::move(cell.centre.path), std::move(cell.ribbon.path),
                                  std::move(cell.handles.path)});
        }
        lc.widthBands.reserve(bands.size());
        for (auto& [key, band] : bands) {
            std::map<int, QPainterPath> byCell;
            for (auto& [gridIndex, gathered] : band.byCell) byCell.emplace_hint(byCell.end(), gridIndex, std::move(gathered.path));
            lc.widthBands.push_back({key / 4.0, std::move(band.full.path), std::move(byCell)});
        }
        cache.layers.push_back(std::move(lc));
    }
    return cache;
}

}  // namespace ostrel
