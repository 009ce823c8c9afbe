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
    QRectF bounds;
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

/// Cell sizes of a result's image: max(width ÷ 8, 1) by max(max(height, 1) ÷ 8, 1).
struct Grid {
    double cellWidth = 1;
    double cellHeight = 1;

    explicit Grid(const PageTransform& page) noexcept
        : cellWidth(page.imageWidth > 0
                        ? std::max(static_cast<double>(page.imageWidth) / VectorRenderCache::kGridSize, 1.0)
                        : 1.0),
          cellHeight(std::max(static_cast<double>(std::max<std::int64_t>(page.imageHeight, 1)) /
                                  VectorRenderCache::kGridSize,
                              1.0)) {}

    [[nodiscard]] int gridIndexOf(const QRectF& bounds) const noexcept {
        const int column = cellOf(bounds.x() + bounds.width() / 2, cellWidth);
        const int row = cellOf(bounds.y() + bounds.height() / 2, cellHeight);
        return column + VectorRenderCache::kGridSize * row;
    }
};

/// Cell and band of a stroke whose paths and bounds are set.
void place(StrokePaths& stroke, const VectorPath& path, const Grid& grid) noexcept {
    stroke.gridIndex = grid.gridIndexOf(stroke.bounds);
    stroke.bandKey = VectorRenderCache::bandKey(path.strokeRadiusPx);
}

StrokePaths makeStroke(const VectorPath& path, const Grid& grid) {
    StrokePaths stroke;
    stroke.centre = centreLine(path);
    stroke.handles = handles(path);
    stroke.ribbon = ribbon(path);
    stroke.bounds = paddedBounds(path);
    place(stroke, path, grid);
    return stroke;
}

/// The cache of one layer from the paths of its strokes (strokes[i] belongs to layer.paths[i]); the
/// stroke paths end up in the lookups by id.
VectorRenderCache::LayerCache gatherLayer(const PenLayer& layer, std::vector<StrokePaths> strokes) {
    constexpr int kCells = VectorRenderCache::kGridSize * VectorRenderCache::kGridSize;
    VectorRenderCache::LayerCache lc;
    lc.index = layer.index;
    Gathered fullCentre;
    Gathered fullRibbon;
    Gathered fullHandles;
    std::array<Cell, kCells> cells;
    std::map<int, Band> bands;

    // Cell bounds and counts; the gathered paths only count their parts here.
    for (const StrokePaths& stroke : strokes) {
        Cell& cell = cells[static_cast<std::size_t>(stroke.gridIndex)];
        cell.bounds = united(cell.bounds, stroke.bounds);
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
    std::array<bool, kCells> cellInOneBand{};
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
    lc.pathByID.reserve(layer.paths.size());
    lc.handlesByID.reserve(layer.paths.size());
    lc.boundsByID.reserve(layer.paths.size());
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        StrokePaths& stroke = strokes[i];
        const std::int64_t id = layer.paths[i].id;
        if (!stroke.ribbon.isEmpty()) lc.ribbonByID[id] = std::move(stroke.ribbon);
        lc.pathByID[id] = std::move(stroke.centre);
        lc.handlesByID[id] = std::move(stroke.handles);
        lc.boundsByID[id] = stroke.bounds;
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

    for (int i = 0; i < kCells; ++i) {
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
    return lc;
}

/// The pen-up moves between consecutive strokes of the visible layers, from the origin.
QPainterPath travelPath(const std::vector<PenLayer>& layers) {
    QPainterPath travel = windingPath();
    std::size_t visibleStrokeCount = 0;
    for (const PenLayer& layer : layers) {
        if (layer.visible) visibleStrokeCount += layer.paths.size();
    }
    travel.reserve(static_cast<int>(std::min<std::size_t>(2 * visibleStrokeCount + 1, INT_MAX)));
    VectorPoint previousEnd = VectorPoint::zero;
    for (const PenLayer& layer : layers) {
        if (!layer.visible) continue;
        for (const VectorPath& path : layer.paths) {
            travel.moveTo(qt(previousEnd));
            travel.lineTo(qt(path.startPoint()));
            previousEnd = path.endPoint();
        }
    }
    return travel;
}

/// The cache-wide bounds by id: in layer and stroke order, so a later stroke with the same id wins.
std::unordered_map<std::int64_t, QRectF> gatherBoundsByID(const std::vector<VectorRenderCache::LayerCache>& layers,
                                                        const std::vector<PenLayer>& penLayers) {
    std::size_t strokeCount = 0;
    for (const PenLayer& layer : penLayers) strokeCount += layer.paths.size();
    std::unordered_map<std::int64_t, QRectF> bounds;
    bounds.reserve(strokeCount);
    for (std::size_t l = 0; l < penLayers.size(); ++l) {
        const auto& byID = layers[l].boundsByID;
        for (const VectorPath& path : penLayers[l].paths) bounds[path.id] = byID.at(path.id);
    }
    return bounds;
}

/// Reuses the paths of `previousLayer`'s unchanged strokes for `layer` and builds the others; the
/// padded bounds of every stroke drawn differently (before and after) go to `changed`.
std::vector<StrokePaths> strokesReusing(const PenLayer& previousLayer, const VectorRenderCache::LayerCache& previous,
                                        const PenLayer& layer, const Grid& grid, std::vector<QRectF>& changed) {
    // With a repeated id (fewer lookup entries than strokes) the lookups cannot tell that id's strokes
    // apart: no stroke is reused then. Otherwise a stroke is looked for where it was (most edits keep
    // the strokes in place), then by its id.
    const bool repeatedID = previous.pathByID.size() != previousLayer.paths.size();
    std::unordered_map<std::int64_t, std::size_t> previousPosition;
    const auto positionOf = [&](std::size_t at, std::int64_t id) -> std::optional<std::size_t> {
        if (repeatedID) return std::nullopt;
        if (at < previousLayer.paths.size() && previousLayer.paths[at].id == id) return at;
        if (previousPosition.empty()) {
            previousPosition.reserve(previousLayer.paths.size());
            for (std::size_t i = 0; i < previousLayer.paths.size(); ++i) previousPosition.emplace(previousLayer.paths[i].id, i);
        }
        const auto found = previousPosition.find(id);
        if (found == previousPosition.end()) return std::nullopt;
        return found->second;
    };
    std::vector<bool> previousKept(previousLayer.paths.size(), false);
    std::vector<StrokePaths> strokes;
    strokes.reserve(layer.paths.size());
    for (std::size_t at = 0; at < layer.paths.size(); ++at) {
        const VectorPath& path = layer.paths[at];
        const std::optional<std::size_t> was = positionOf(at, path.id);
        if (was && !previousKept[*was] && previousLayer.paths[*was] == path) {
            previousKept[*was] = true;
            StrokePaths& stroke = strokes.emplace_back();
            stroke.centre = previous.pathByID.at(path.id);
            stroke.handles = previous.handlesByID.at(path.id);
            const auto ribbon = previous.ribbonByID.find(path.id);
            stroke.ribbon = ribbon == previous.ribbonByID.end() ? windingPath() : ribbon->second;
            stroke.bounds = previous.boundsByID.at(path.id);
            place(stroke, path, grid);
            continue;
        }
        strokes.push_back(makeStroke(path, grid));
        changed.push_back(strokes.back().bounds);
    }
    for (std::size_t i = 0; i < previousLayer.paths.size(); ++i) {
        if (previousKept[i]) continue;
        const auto bounds = previous.boundsByID.find(previousLayer.paths[i].id);
        if (bounds != previous.boundsByID.end()) changed.push_back(bounds->second);
    }
    return strokes;
}

bool sameLayerList(const std::vector<PenLayer>& a, const std::vector<PenLayer>& b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].index != b[i].index) return false;
    }
    return true;
}

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
    const Grid grid(result.pageTransform);
    VectorRenderCache cache;
    cache.serial = nextSerial();
    cache.fullTravelPathPx = travelPath(result.layers);
    cache.layers.reserve(result.layers.size());
    for (const PenLayer& layer : result.layers) {
        std::vector<StrokePaths> strokes;
        strokes.reserve(layer.paths.size());
        for (const VectorPath& path : layer.paths) strokes.push_back(makeStroke(path, grid));
        cache.layers.push_back(gatherLayer(layer, std::move(strokes)));
    }
    cache.boundsByPathID = gatherBoundsByID(cache.layers, result.layers);
    return cache;
}

VectorRenderCache VectorRenderCache::update(const VectorRenderCache& previous,
                                            const VectorizationResult& previousResult,
                                            const VectorizationResult& result) {
    const std::vector<PenLayer>& previousLayers = previousResult.layers;
    const bool sameGrid = previousResult.pageTransform.imageWidth == result.pageTransform.imageWidth &&
                          previousResult.pageTransform.imageHeight == result.pageTransform.imageHeight;
    if (!sameGrid || previous.layers.size() != previousLayers.size() ||
        !sameLayerList(previousLayers, result.layers)) {
        return build(result);
    }
    const Grid grid(result.pageTransform);
    VectorRenderCache cache;
    cache.serial = nextSerial();
    cache.updatedFromSerial = previous.serial;
    cache.fullTravelPathPx = travelPath(result.layers);
    cache.layers.reserve(result.layers.size());
    for (std::size_t l = 0; l < result.layers.size(); ++l) {
        const PenLayer& layer = result.layers[l];
        if (layer.paths == previousLayers[l].paths) {
            cache.layers.push_back(previous.layers[l]);
            continue;
        }
        cache.layers.push_back(
            gatherLayer(layer, strokesReusing(previousLayers[l], previous.layers[l], layer, grid, cache.changedRegionPx)));
    }
    cache.boundsByPathID = gatherBoundsByID(cache.layers, result.layers);
    return cache;
}

}  // namespace ostrel
