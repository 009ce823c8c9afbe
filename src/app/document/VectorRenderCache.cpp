#include "app/document/VectorRenderCache.h"

#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <unordered_map>

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

/// Cell sizes of a result's image: max(width ÷ 8, 1) by max(max(height, 1) ÷ 8, 1).
struct Grid {
    double cellWidth = 1;
    double cellHeight = 1;

    explicit Grid(const PageTransform& page) noexcept
        : cellWidth(page.imageWidth > 0
                        ? std::max(static_cast<double>(page.imageWidth) / VectorRenderCache::kGridSize, 1.0)
                        : 1.0),
          cellHeight(std::max(
              static_cast<double>(std::max<std::int64_t>(page.imageHeight, 1)) / VectorRenderCache::kGridSize, 1.0)) {}

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

/// Strokes whose paths are made on one thread of a parallel loop.
constexpr std::size_t kStrokesPerChunk = 256;

StrokePaths makeStroke(const VectorPath& path, const Grid& grid) {
    StrokePaths stroke;
    stroke.centre = centreLine(path);
    stroke.handles = handles(path);
    stroke.ribbon = ribbon(path);
    stroke.bounds = paddedBounds(path);
    place(stroke, path, grid);
    return stroke;
}

constexpr int kCells = VectorRenderCache::kGridSize * VectorRenderCache::kGridSize;

/// What the whole-layer and whole-band paths of a layer are gathered from when first read: the
/// strokes in order and their paths, by id (ids unique in the layer) or as built (ids repeated).
struct LayerSource {
    std::shared_ptr<const VectorRenderCache::StrokeOrder> order;
    VectorRenderCache::ByID<QPainterPath> pathByID;
    VectorRenderCache::ByID<QPainterPath> ribbonByID;
    VectorRenderCache::ByID<QPainterPath> handlesByID;
    std::vector<StrokePaths> strokes;  // only when ids repeat

    [[nodiscard]] std::size_t size() const noexcept { return order->ids.size(); }
    [[nodiscard]] const QPainterPath* centre(std::size_t i) const {
        return strokes.empty() ? &pathByID.at(order->ids[i]) : &strokes[i].centre;
    }
    [[nodiscard]] const QPainterPath* handles(std::size_t i) const {
        return strokes.empty() ? &handlesByID.at(order->ids[i]) : &strokes[i].handles;
    }
    [[nodiscard]] const QPainterPath* ribbon(std::size_t i) const {
        if (!strokes.empty()) return strokes[i].ribbon.isEmpty() ? nullptr : &strokes[i].ribbon;
        const auto found = ribbonByID.find(order->ids[i]);
        return found == ribbonByID.end() ? nullptr : &found->second;
    }
};

/// One path gathered from the parts `partAt(i)` gives for the strokes 0 … count − 1 (null: none).
template <class PartAt>
QPainterPath gatherParts(std::size_t count, const PartAt& partAt) {
    Gathered gathered;
    for (std::size_t i = 0; i < count; ++i) {
        if (const QPainterPath* part = partAt(i)) gathered.count(*part);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (const QPainterPath* part = partAt(i); part != nullptr && !part->isEmpty()) gathered.add(*part);
    }
    return std::move(gathered.path);
}

/// The paths of one cell of a layer: its bucket and, per band key, the centre lines of the band's
/// strokes in the cell.
struct CellPaths {
    std::optional<VectorRenderCache::SpatialBucket> bucket;
    std::map<int, VectorRenderCache::DeferredPath> bandPaths;
};

/// What a cell's paths are gathered from: its strokes' paths in layer order (shared, not copied).
struct CellParts {
    std::vector<QPainterPath> centres;
    std::vector<QPainterPath> handles;
    std::vector<QPainterPath> ribbons;  // the strokes' non-empty ribbons
    std::vector<int> bandKeys;          // per stroke
};

/// The path gathered from every part of `parts` whose band key `take` accepts.
template <class Take>
QPainterPath gatherCellParts(const std::vector<QPainterPath>& parts, const std::vector<int>& bandKeys,
                             const Take& take) {
    Gathered gathered;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (take(bandKeys[i])) gathered.count(parts[i]);
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (take(bandKeys[i])) gathered.add(parts[i]);
    }
    return std::move(gathered.path);
}

/// A cell's paths, each gathered from its strokes, in layer order, when first read.
CellPaths gatherCell(int gridIndex, const std::vector<const StrokePaths*>& strokes) {
    using DeferredPath = VectorRenderCache::DeferredPath;
    CellPaths out;
    if (strokes.empty()) return out;
    auto parts = std::make_shared<CellParts>();
    parts->centres.reserve(strokes.size());
    parts->handles.reserve(strokes.size());
    parts->bandKeys.reserve(strokes.size());
    std::optional<QRectF> bounds;
    std::set<int> bandKeys;
    for (const StrokePaths* stroke : strokes) {
        bounds = united(bounds, stroke->bounds);
        parts->centres.push_back(stroke->centre);
        parts->handles.push_back(stroke->handles);
        if (!stroke->ribbon.isEmpty()) parts->ribbons.push_back(stroke->ribbon);
        parts->bandKeys.push_back(stroke->bandKey);
        bandKeys.insert(stroke->bandKey);
    }
    const auto any = [](int) { return true; };
    const bool hasRibbons = !parts->ribbons.empty();
    DeferredPath centre =
        DeferredPath::later([parts, any] { return gatherCellParts(parts->centres, parts->bandKeys, any); });
    DeferredPath handles =
        DeferredPath::later([parts, any] { return gatherCellParts(parts->handles, parts->bandKeys, any); });
    DeferredPath ribbons = DeferredPath::later([parts] {
        Gathered gathered;
        for (const QPainterPath& ribbon : parts->ribbons) gathered.count(ribbon);
        for (const QPainterPath& ribbon : parts->ribbons) gathered.add(ribbon);
        return std::move(gathered.path);
    });
    // A cell whose strokes are all in one band gives that band the cell's own centre path.
    for (const int key : bandKeys) {
        out.bandPaths.emplace(key, bandKeys.size() == 1 ? centre : DeferredPath::later([parts, key] {
                                  return gatherCellParts(parts->centres, parts->bandKeys,
                                                         [key](int band) { return band == key; });
                              }));
    }
    out.bucket = VectorRenderCache::SpatialBucket{gridIndex,          *bounds,   std::move(centre), std::move(ribbons),
                                                  std::move(handles), hasRibbons};
    return out;
}

/// The per-stroke lookups of a layer; a later stroke with the same id replaces an earlier one.
void fillLookups(VectorRenderCache::LayerCache& lc, const PenLayer& layer, const std::vector<StrokePaths>& strokes) {
    auto& paths = lc.pathByID.edit();
    auto& handles = lc.handlesByID.edit();
    auto& bounds = lc.boundsByID.edit();
    paths.reserve(layer.paths.size());
    handles.reserve(layer.paths.size());
    bounds.reserve(layer.paths.size());
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        const StrokePaths& stroke = strokes[i];
        const std::int64_t id = layer.paths[i].id;
        if (!stroke.ribbon.isEmpty()) lc.ribbonByID[id] = stroke.ribbon;
        paths[id] = stroke.centre;
        handles[id] = stroke.handles;
        bounds[id] = stroke.bounds;
    }
}

/// The order of a layer's strokes with their cells, band keys and end points. A stroke kept from
/// the previous order (previousPosition[i] set) takes its end points from there.
std::shared_ptr<const VectorRenderCache::StrokeOrder> strokeOrder(
    const PenLayer& layer, const std::vector<int>& gridIndexes,
    const VectorRenderCache::StrokeOrder* previous = nullptr,
    const std::vector<std::optional<std::size_t>>* previousPosition = nullptr) {
    auto order = std::make_shared<VectorRenderCache::StrokeOrder>();
    const std::size_t n = layer.paths.size();
    order->ids.reserve(n);
    order->bandKeys.reserve(n);
    order->starts.reserve(n);
    order->ends.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const VectorPath& path = layer.paths[i];
        order->ids.push_back(path.id);
        order->bandKeys.push_back(VectorRenderCache::bandKey(path.strokeRadiusPx));
        const std::optional<std::size_t> was =
            previous != nullptr && previousPosition != nullptr ? (*previousPosition)[i] : std::nullopt;
        order->starts.push_back(was ? previous->starts[*was] : path.startPoint());
        order->ends.push_back(was ? previous->ends[*was] : path.endPoint());
    }
    order->gridIndexes = gridIndexes;
    return order;
}

/// Gathers now the cell paths a layer is drawn with: its ribbons when it has some, else its centre
/// lines (which also serve a band holding every stroke of a cell). The others wait to be read.
void gatherDrawnCells(const VectorRenderCache::LayerCache& lc) {
    const bool ribbons = lc.hasFilledRibbons();
    for (const auto& bucket : lc.buckets) (void)(ribbons ? bucket.filledRibbonPathPx : bucket.pathPx).value();
}

/// Buckets and bands from the layer's cells, and the whole paths as recipes over `source`.
void assembleLayer(VectorRenderCache::LayerCache& lc, std::array<CellPaths, kCells>& cells,
                   std::shared_ptr<const LayerSource> source) {
    std::map<int, std::map<int, VectorRenderCache::DeferredPath>> bandCells;  // band key → cell → path
    for (int i = 0; i < kCells; ++i) {
        CellPaths& cell = cells[static_cast<std::size_t>(i)];
        if (!cell.bucket) continue;
        lc.buckets.push_back(std::move(*cell.bucket));
        for (auto& [key, path] : cell.bandPaths) bandCells[key].emplace_hint(bandCells[key].end(), i, std::move(path));
    }
    lc.fullPathPx = VectorRenderCache::DeferredPath::later(
        [source] { return gatherParts(source->size(), [&](std::size_t i) { return source->centre(i); }); });
    lc.fullFilledRibbonPathPx = VectorRenderCache::DeferredPath::later(
        [source] { return gatherParts(source->size(), [&](std::size_t i) { return source->ribbon(i); }); });
    lc.fullHandlesPx = VectorRenderCache::DeferredPath::later(
        [source] { return gatherParts(source->size(), [&](std::size_t i) { return source->handles(i); }); });
    // A band holding every stroke of the layer receives the same parts in the same order as the
    // whole layer: the same path.
    const bool layerInOneBand = bandCells.size() == 1;
    lc.widthBands.reserve(bandCells.size());
    for (auto& [key, byCell] : bandCells) {
        VectorRenderCache::DeferredPath full = lc.fullPathPx;
        if (!layerInOneBand) {
            full = VectorRenderCache::DeferredPath::later([source, band = key] {
                return gatherParts(source->size(), [&](std::size_t i) {
                    return source->order->bandKeys[i] == band ? source->centre(i) : nullptr;
                });
            });
        }
        lc.widthBands.push_back({key / 4.0, std::move(full), std::move(byCell)});
    }
    gatherDrawnCells(lc);
}

/// The cache of one layer built whole from the paths of its strokes (strokes[i] belongs to
/// layer.paths[i]).
VectorRenderCache::LayerCache gatherLayer(const PenLayer& layer, std::vector<StrokePaths> strokes) {
    VectorRenderCache::LayerCache lc;
    lc.index = layer.index;
    fillLookups(lc, layer, strokes);
    std::array<std::vector<const StrokePaths*>, kCells> members;
    std::vector<int> gridIndexes;
    gridIndexes.reserve(strokes.size());
    for (const StrokePaths& stroke : strokes) {
        members[static_cast<std::size_t>(stroke.gridIndex)].push_back(&stroke);
        gridIndexes.push_back(stroke.gridIndex);
    }
    std::array<CellPaths, kCells> cells;
    for (int i = 0; i < kCells; ++i)
        cells[static_cast<std::size_t>(i)] = gatherCell(i, members[static_cast<std::size_t>(i)]);
    lc.order = strokeOrder(layer, gridIndexes);
    auto source = std::make_shared<LayerSource>();
    source->order = lc.order;
    source->pathByID = lc.pathByID;
    source->ribbonByID = lc.ribbonByID;
    source->handlesByID = lc.handlesByID;
    // With a repeated id the lookups hold only the later stroke: the whole paths keep every stroke.
    if (lc.pathByID.size() != layer.paths.size()) source->strokes = std::move(strokes);
    assembleLayer(lc, cells, std::move(source));
    return lc;
}

/// The cache of one layer built whole; with `changed`, the padded bounds of its strokes go there.
VectorRenderCache::LayerCache buildLayer(const PenLayer& layer, const Grid& grid,
                                         std::vector<QRectF>* changed = nullptr) {
    std::vector<StrokePaths> strokes(layer.paths.size());
    parallelFor(strokes.size(), kStrokesPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) strokes[i] = makeStroke(layer.paths[i], grid);
    });
    if (changed != nullptr) {
        for (const StrokePaths& stroke : strokes) changed->push_back(stroke.bounds);
    }
    return gatherLayer(layer, std::move(strokes));
}

/// The pen-up moves between consecutive strokes of the visible layers, from the origin.
QPainterPath travelPath(const std::vector<std::shared_ptr<const VectorRenderCache::StrokeOrder>>& visibleLayers) {
    QPainterPath travel = windingPath();
    std::size_t visibleStrokeCount = 0;
    for (const auto& order : visibleLayers) visibleStrokeCount += order->ids.size();
    travel.reserve(static_cast<int>(std::min<std::size_t>(2 * visibleStrokeCount + 1, INT_MAX)));
    VectorPoint previousEnd = VectorPoint::zero;
    for (const auto& order : visibleLayers) {
        for (std::size_t i = 0; i < order->ids.size(); ++i) {
            travel.moveTo(qt(previousEnd));
            travel.lineTo(qt(order->starts[i]));
            previousEnd = order->ends[i];
        }
    }
    return travel;
}

/// The travel path of a cache whose layers are built, gathered when first read.
VectorRenderCache::DeferredPath deferredTravelPath(const std::vector<VectorRenderCache::LayerCache>& layers,
                                                   const std::vector<PenLayer>& penLayers) {
    std::vector<std::shared_ptr<const VectorRenderCache::StrokeOrder>> visible;
    for (std::size_t l = 0; l < penLayers.size(); ++l) {
        if (penLayers[l].visible) visible.push_back(layers[l].order);
    }
    return VectorRenderCache::DeferredPath::later([visible = std::move(visible)] { return travelPath(visible); });
}

/// The cache-wide bounds by id: in layer and stroke order, so a later stroke with the same id wins.
VectorRenderCache::ByID<QRectF> gatherBoundsByID(const std::vector<VectorRenderCache::LayerCache>& layers,
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

std::size_t strokeCount(const std::vector<PenLayer>& layers) noexcept {
    std::size_t count = 0;
    for (const PenLayer& layer : layers) count += layer.paths.size();
    return count;
}

/// How a changed layer's strokes relate to the previous ones: which are kept as they were (with
/// their previous position), which are new or changed (built again), and which cells must be
/// gathered again.
struct LayerChanges {
    std::vector<std::optional<std::size_t>> previousPosition;  // per stroke: kept from there, or built
    std::vector<StrokePaths> built;                            // the strokes built again, in order
    std::vector<std::size_t> builtAt;                          // their positions in the layer
    std::vector<std::size_t> removed;                          // previous positions not kept
    std::array<bool, kCells> dirty{};
    std::vector<int> gridIndexes;  // per stroke
};

LayerChanges compareLayer(const PenLayer& previousLayer, const VectorRenderCache::LayerCache& previous,
                          const PenLayer& layer, const Grid& grid) {
    const auto& previousOrder = *previous.order;
    std::unordered_map<std::int64_t, std::size_t> positionByID;
    const auto positionOf = [&](std::size_t at, std::int64_t id) -> std::optional<std::size_t> {
        if (at < previousLayer.paths.size() && previousLayer.paths[at].id == id) return at;
        if (positionByID.empty()) {
            positionByID.reserve(previousLayer.paths.size());
            for (std::size_t i = 0; i < previousLayer.paths.size(); ++i)
                positionByID.emplace(previousLayer.paths[i].id, i);
        }
        const auto found = positionByID.find(id);
        if (found == positionByID.end()) return std::nullopt;
        return found->second;
    };
    LayerChanges changes;
    changes.previousPosition.resize(layer.paths.size());
    changes.gridIndexes.resize(layer.paths.size());
    std::vector<bool> kept(previousLayer.paths.size(), false);
    // A cell's kept strokes must also keep their order in it, or the cell is gathered again.
    std::array<std::optional<std::size_t>, kCells> lastKept{};
    for (std::size_t at = 0; at < layer.paths.size(); ++at) {
        const VectorPath& path = layer.paths[at];
        const std::optional<std::size_t> was = positionOf(at, path.id);
        if (was && !kept[*was] && previousLayer.paths[*was] == path) {
            kept[*was] = true;
            const int cell = previousOrder.gridIndexes[*was];
            auto& last = lastKept[static_cast<std::size_t>(cell)];
            if (last && *last > *was) changes.dirty[static_cast<std::size_t>(cell)] = true;
            last = *was;
            changes.previousPosition[at] = was;
            changes.gridIndexes[at] = cell;
            continue;
        }
        changes.builtAt.push_back(at);
    }
    changes.built.resize(changes.builtAt.size());
    parallelFor(changes.built.size(), kStrokesPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) changes.built[b] = makeStroke(layer.paths[changes.builtAt[b]], grid);
    });
    for (std::size_t b = 0; b < changes.built.size(); ++b) {
        const int cell = changes.built[b].gridIndex;
        changes.gridIndexes[changes.builtAt[b]] = cell;
        changes.dirty[static_cast<std::size_t>(cell)] = true;
    }
    for (std::size_t i = 0; i < previousLayer.paths.size(); ++i) {
        if (kept[i]) continue;
        changes.removed.push_back(i);
        changes.dirty[static_cast<std::size_t>(previousOrder.gridIndexes[i])] = true;
    }
    return changes;
}

/// The cache of a changed layer from the previous one: kept strokes keep their paths, the cells
/// nothing entered or left keep their paths, the lookups are the previous ones with the changed
/// strokes replaced. The padded bounds of every stroke drawn differently (before and after) go to
/// `changed`.
VectorRenderCache::LayerCache updateLayer(const PenLayer& previousLayer, const VectorRenderCache::LayerCache& previous,
                                          const PenLayer& layer, const Grid& grid, std::vector<QRectF>& changed) {
    // With a repeated id (fewer lookup entries than strokes) the lookups cannot tell that id's strokes
    // apart: nothing is kept then.
    if (previous.pathByID.size() != previousLayer.paths.size() || !previous.order) {
        for (const auto& [id, bounds] : previous.boundsByID) changed.push_back(bounds);
        return buildLayer(layer, grid, &changed);
    }
    LayerChanges changes = compareLayer(previousLayer, previous, layer, grid);
    for (const StrokePaths& stroke : changes.built) changed.push_back(stroke.bounds);
    for (const std::size_t i : changes.removed) changed.push_back(previous.boundsByID.at(previousLayer.paths[i].id));

    VectorRenderCache::LayerCache lc;
    lc.index = layer.index;
    lc.pathByID = previous.pathByID;
    lc.ribbonByID = previous.ribbonByID;
    lc.handlesByID = previous.handlesByID;
    lc.boundsByID = previous.boundsByID;
    for (const std::size_t i : changes.removed) {
        const std::int64_t id = previousLayer.paths[i].id;
        lc.pathByID.erase(id);
        lc.ribbonByID.erase(id);
        lc.handlesByID.erase(id);
        lc.boundsByID.erase(id);
    }
    for (std::size_t b = 0; b < changes.built.size(); ++b) {
        const StrokePaths& stroke = changes.built[b];
        const std::int64_t id = layer.paths[changes.builtAt[b]].id;
        lc.pathByID[id] = stroke.centre;
        lc.handlesByID[id] = stroke.handles;
        lc.boundsByID[id] = stroke.bounds;
        if (stroke.ribbon.isEmpty()) {
            lc.ribbonByID.erase(id);
        } else {
            lc.ribbonByID[id] = stroke.ribbon;
        }
    }
    if (lc.pathByID.size() != layer.paths.size()) {
        // The edit repeated an id: the layer is built whole (the kept strokes draw the same).
        return buildLayer(layer, grid);
    }

    // The kept strokes of the cells gathered again, from the lookups.
    std::array<std::vector<const StrokePaths*>, kCells> members;
    std::vector<StrokePaths> keptInDirtyCells;
    std::size_t keptCount = 0;
    for (std::size_t at = 0; at < layer.paths.size(); ++at) {
        if (changes.previousPosition[at] && changes.dirty[static_cast<std::size_t>(changes.gridIndexes[at])])
            ++keptCount;
    }
    keptInDirtyCells.reserve(keptCount);  // never grows: the member pointers stay valid
    std::size_t nextBuilt = 0;
    for (std::size_t at = 0; at < layer.paths.size(); ++at) {
        const auto cell = static_cast<std::size_t>(changes.gridIndexes[at]);
        if (!changes.previousPosition[at]) {
            members[cell].push_back(&changes.built[nextBuilt++]);
            continue;
        }
        if (!changes.dirty[cell]) continue;
        const VectorPath& path = layer.paths[at];
        StrokePaths& stroke = keptInDirtyCells.emplace_back();
        stroke.centre = lc.pathByID.at(path.id);
        stroke.handles = lc.handlesByID.at(path.id);
        const auto ribbon = lc.ribbonByID.find(path.id);
        stroke.ribbon = ribbon == lc.ribbonByID.end() ? windingPath() : ribbon->second;
        stroke.bounds = lc.boundsByID.at(path.id);
        place(stroke, path, grid);
        members[cell].push_back(&stroke);
    }
    std::array<CellPaths, kCells> cells;
    for (const auto& bucket : previous.buckets) {
        if (changes.dirty[static_cast<std::size_t>(bucket.gridIndex)]) continue;
        cells[static_cast<std::size_t>(bucket.gridIndex)].bucket = bucket;
    }
    for (const auto& band : previous.widthBands) {
        const int key = static_cast<int>(std::lround(band.radiusPx * 4));
        for (const auto& [cell, path] : band.bucketPathsPx) {
            if (!changes.dirty[static_cast<std::size_t>(cell)])
                cells[static_cast<std::size_t>(cell)].bandPaths.emplace(key, path);
        }
    }
    for (int i = 0; i < kCells; ++i) {
        if (changes.dirty[static_cast<std::size_t>(i)])
            cells[static_cast<std::size_t>(i)] = gatherCell(i, members[static_cast<std::size_t>(i)]);
    }
    lc.order = strokeOrder(layer, changes.gridIndexes, previous.order.get(), &changes.previousPosition);
    auto source = std::make_shared<LayerSource>();
    source->order = lc.order;
    source->pathByID = lc.pathByID;
    source->ribbonByID = lc.ribbonByID;
    source->handlesByID = lc.handlesByID;
    assembleLayer(lc, cells, std::move(source));
    return lc;
}

/// The cache-wide bounds after an edit: the previous ones with the changed layers' strokes
/// replaced, or gathered again when an id repeats.
VectorRenderCache::ByID<QRectF> updateBoundsByID(const VectorRenderCache& previous,
                                                 const std::vector<PenLayer>& previousLayers,
                                                 const std::vector<VectorRenderCache::LayerCache>& layers,
                                                 const std::vector<PenLayer>& penLayers,
                                                 const std::vector<bool>& layerChanged) {
    if (previous.boundsByPathID.size() != strokeCount(previousLayers)) return gatherBoundsByID(layers, penLayers);
    VectorRenderCache::ByID<QRectF> bounds = previous.boundsByPathID;
    for (std::size_t l = 0; l < penLayers.size(); ++l) {
        if (!layerChanged[l]) continue;
        for (const VectorPath& path : previousLayers[l].paths) {
            if (!layers[l].boundsByID.contains(path.id)) bounds.erase(path.id);
        }
    }
    for (std::size_t l = 0; l < penLayers.size(); ++l) {
        if (!layerChanged[l]) continue;
        const auto& byID = layers[l].boundsByID;
        for (const VectorPath& path : penLayers[l].paths) {
            const QRectF& now = byID.at(path.id);
            const auto was = bounds.find(path.id);
            if (was == bounds.end() || was->second != now) bounds[path.id] = now;
        }
    }
    if (bounds.size() != strokeCount(penLayers)) return gatherBoundsByID(layers, penLayers);
    return bounds;
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

bool VectorRenderCache::LayerCache::hasFilledRibbons() const noexcept {
    return std::any_of(buckets.begin(), buckets.end(),
                       [](const SpatialBucket& bucket) { return bucket.hasFilledRibbons; });
}

VectorRenderCache VectorRenderCache::build(const VectorizationResult& result) {
    const Grid grid(result.pageTransform);
    VectorRenderCache cache;
    cache.serial = nextSerial();
    cache.layers.reserve(result.layers.size());
    for (const PenLayer& layer : result.layers) cache.layers.push_back(buildLayer(layer, grid));
    cache.boundsByPathID = gatherBoundsByID(cache.layers, result.layers);
    cache.fullTravelPathPx = deferredTravelPath(cache.layers, result.layers);
    return cache;
}

VectorRenderCache VectorRenderCache::update(const VectorRenderCache& previous,
                                            const VectorizationResult& previousResult,
                                            const VectorizationResult& result) {
    const std::vector<PenLayer>& previousLayers = previousResult.layers;
    const bool sameGrid = previousResult.pageTransform.imageWidth == result.pageTransform.imageWidth &&
                          previousResult.pageTransform.imageHeight == result.pageTransform.imageHeight;
    if (!sameGrid || previous.layers.size() != previousLayers.size() || !sameLayerList(previousLayers, result.layers)) {
        return build(result);
    }
    const Grid grid(result.pageTransform);
    VectorRenderCache cache;
    cache.serial = nextSerial();
    cache.updatedFromSerial = previous.serial;
    cache.layers.reserve(result.layers.size());
    std::vector<bool> layerChanged(result.layers.size(), false);
    for (std::size_t l = 0; l < result.layers.size(); ++l) {
        const PenLayer& layer = result.layers[l];
        if (layer.paths == previousLayers[l].paths) {
            cache.layers.push_back(previous.layers[l]);
            continue;
        }
        layerChanged[l] = true;
        cache.layers.push_back(updateLayer(previousLayers[l], previous.layers[l], layer, grid, cache.changedRegionPx));
    }
    cache.boundsByPathID = updateBoundsByID(previous, previousLayers, cache.layers, result.layers, layerChanged);
    cache.fullTravelPathPx = deferredTravelPath(cache.layers, result.layers);
    return cache;
}

}  // namespace ostrel
