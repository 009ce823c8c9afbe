// The render cache gathers each stroke's paths once, reserves the gathered
// paths and shares a band's paths with the layer's or the cell's when they
// hold the same strokes; this checks it against the plain builder it replaced
// (every path grown by addPath, nothing shared), element for element.
#include "app/document/VectorRenderCache.h"
#include "testsupport/RandomDocument.h"
#include "testsupport/RenderCacheComparison.h"
#include "testsupport/ThreadCountScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>
#include <optional>
#include <set>

namespace ostrel {
namespace {

namespace reference {

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
        out.moveTo(qt(path.beziers.front().p0));
        for (const auto& s : path.beziers) out.cubicTo(qt(s.c1), qt(s.c2), qt(s.p3));
    } else if (path.points.size() >= 2) {
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

struct Cell {
    QPainterPath centre = windingPath();
    QPainterPath ribbon = windingPath();
    QPainterPath handles = windingPath();
    std::optional<QRectF> bounds;
};

struct Band {
    QPainterPath full = windingPath();
    std::map<int, QPainterPath> byCell;
};

VectorRenderCache build(const VectorizationResult& result) {
    using LayerCache = VectorRenderCache::LayerCache;
    constexpr int kGridSize = VectorRenderCache::kGridSize;
    const auto& page = result.pageTransform;
    const double cellWidth =
        page.imageWidth > 0 ? std::max(static_cast<double>(page.imageWidth) / kGridSize, 1.0) : 1.0;
    const double cellHeight =
        std::max(static_cast<double>(std::max<std::int64_t>(page.imageHeight, 1)) / kGridSize, 1.0);

    VectorRenderCache cache;
    QPainterPath travel = windingPath();
    std::unordered_map<std::int64_t, QRectF> boundsByPathID;
    VectorPoint previousEnd = VectorPoint::zero;

    for (const PenLayer& layer : result.layers) {
        LayerCache lc;
        lc.index = layer.index;
        QPainterPath fullPath = windingPath();
        QPainterPath fullRibbons = windingPath();
        QPainterPath fullHandles = windingPath();
        lc.pathByID.reserve(layer.paths.size());
        lc.boundsByID.reserve(layer.paths.size());
        std::array<Cell, kGridSize * kGridSize> cells;
        std::map<int, Band> bands;

        for (const VectorPath& path : layer.paths) {
            if (layer.visible) {
                travel.moveTo(qt(previousEnd));
                travel.lineTo(qt(path.startPoint()));
                previousEnd = path.endPoint();
            }
            const QPainterPath centre = centreLine(path);
            const QPainterPath handle = handles(path);
            const QPainterPath outline = ribbon(path);
            const QRectF bounds = paddedBounds(path);

            fullPath.addPath(centre);
            if (!outline.isEmpty()) {
                fullRibbons.addPath(outline);
                lc.ribbonByID[path.id] = outline;
            }
            fullHandles.addPath(handle);
            lc.pathByID[path.id] = centre;
            lc.handlesByID[path.id] = handle;
            lc.boundsByID[path.id] = bounds;
            boundsByPathID[path.id] = bounds;

            const int column = cellOf(bounds.x() + bounds.width() / 2, cellWidth);
            const int row = cellOf(bounds.y() + bounds.height() / 2, cellHeight);
            const int gridIndex = column + kGridSize * row;
            Cell& cell = cells[static_cast<std::size_t>(gridIndex)];
            cell.centre.addPath(centre);
            if (!outline.isEmpty()) cell.ribbon.addPath(outline);
            cell.handles.addPath(handle);
            cell.bounds = united(cell.bounds, bounds);

            Band& band = bands[VectorRenderCache::bandKey(path.strokeRadiusPx)];
            band.full.addPath(centre);
            band.byCell.try_emplace(gridIndex, windingPath()).first->second.addPath(centre);
        }

        for (int i = 0; i < kGridSize * kGridSize; ++i) {
            Cell& cell = cells[static_cast<std::size_t>(i)];
            if (!cell.bounds) continue;
            const bool hasRibbons = !cell.ribbon.isEmpty();
            lc.buckets.push_back(
                {i, *cell.bounds, std::move(cell.centre), std::move(cell.ribbon), std::move(cell.handles), hasRibbons});
        }
        for (auto& [key, band] : bands) {
            std::map<int, VectorRenderCache::DeferredPath> byCell(band.byCell.begin(), band.byCell.end());
            lc.widthBands.push_back({key / 4.0, std::move(band.full), std::move(byCell)});
        }
        lc.fullPathPx = std::move(fullPath);
        lc.fullFilledRibbonPathPx = std::move(fullRibbons);
        lc.fullHandlesPx = std::move(fullHandles);
        cache.layers.push_back(std::move(lc));
    }
    cache.fullTravelPathPx = std::move(travel);
    cache.boundsByPathID = std::move(boundsByPathID);
    return cache;
}

}  // namespace reference

VectorizationResult resultOf(std::vector<PenLayer> layers, std::int64_t width, std::int64_t height) {
    VectorizationResult r;
    r.layers = std::move(layers);
    r.pageTransform.imageWidth = width;
    r.pageTransform.imageHeight = height;
    return r;
}

TEST(VectorRenderCacheEquivalence, SameElementsAsThePlainBuilder) {
    int sharedBands = 0;
    for (std::uint64_t seed = 1; seed <= 150; ++seed) {
        auto layers = test::randomDocument(seed, 4, 60);
        // One in three documents has one stroke width per layer, one in three one width per column of
        // cells: the shapes in which band paths are the layer's or the cell's paths.
        for (auto& layer : layers) {
            for (auto& path : layer.paths) {
                if (seed % 3 == 1) path.strokeRadiusPx = 1.5 + static_cast<double>(layer.index);
                if (seed % 3 == 2 && !path.points.empty()) path.strokeRadiusPx = path.points.front().x > 1200 ? 3 : 0.5;
            }
        }
        const std::int64_t width = seed % 7 == 0 ? 0 : static_cast<std::int64_t>(300 + 20 * seed);
        const auto input = resultOf(std::move(layers), width, static_cast<std::int64_t>(2600 - 10 * seed));
        const VectorRenderCache actual = VectorRenderCache::build(input);
        const VectorRenderCache expected = reference::build(input);
        SCOPED_TRACE("seed " + std::to_string(seed));
        test::expectSameCache(actual, expected);
        if (HasFatalFailure()) return;
        for (const auto& layer : actual.layers) {
            if (layer.widthBands.size() == 1) ++sharedBands;
        }
    }
    EXPECT_GT(sharedBands, 20);  // the single-width shape was reached
}

/// Random edits of a document as the canvas makes them: strokes moved, changed, removed, added (now
/// and then with an id already in use), a layer hidden, a layer's strokes reordered, a stroke moved
/// to another layer.
std::vector<PenLayer> edited(std::vector<PenLayer> layers, std::uint64_t seed) {
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    const auto next = [&state](std::uint64_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return bound == 0 ? 0 : (state >> 33) % bound;
    };
    for (auto& layer : layers) {
        if (next(4) == 0) continue;  // unchanged layer
        auto& paths = layer.paths;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            switch (next(12)) {
                case 0:
                    for (auto& p : paths[i].points.edit()) p.x += 17;
                    for (auto& s : paths[i].beziers.edit()) s.p3.y -= 3;
                    break;
                case 1:
                    paths[i].strokeRadiusPx += 0.5;
                    break;
                case 2:
                    paths.erase(paths.begin() + static_cast<std::ptrdiff_t>(i--));
                    break;
                default:
                    break;
            }
        }
        if (next(3) == 0 && !paths.empty()) {
            VectorPath added = paths.front();
            added.id = next(2) == 0 ? added.id : 100000 + static_cast<std::int64_t>(seed);
            for (auto& p : added.points.edit()) p.y += 40;
            paths.push_back(std::move(added));
        }
        if (next(5) == 0) std::reverse(paths.begin(), paths.end());
        if (next(6) == 0) layer.visible = !layer.visible;
    }
    // Now and then a stroke goes to the next pen, as assigning a pen does.
    for (std::size_t l = 0; l + 1 < layers.size(); ++l) {
        if (next(4) != 0 || layers[l].paths.empty()) continue;
        layers[l + 1].paths.push_back(std::move(layers[l].paths.back()));
        layers[l].paths.pop_back();
    }
    return layers;
}

/// Whether one rectangle of `region` holds `bounds` (empty bounds included, unlike QRectF::contains).
bool covered(const std::vector<QRectF>& region, const QRectF& bounds) {
    return std::any_of(region.begin(), region.end(), [&bounds](const QRectF& r) {
        return r.left() <= bounds.left() && r.top() <= bounds.top() && r.right() >= bounds.right() &&
               r.bottom() >= bounds.bottom();
    });
}

/// Ids used by more than one stroke of the layer: the lookups by id cannot tell those strokes apart.
std::set<std::int64_t> repeatedIDs(const PenLayer& layer) {
    std::set<std::int64_t> seen;
    std::set<std::int64_t> repeated;
    for (const auto& path : layer.paths) {
        if (!seen.insert(path.id).second) repeated.insert(path.id);
    }
    return repeated;
}

TEST(VectorRenderCacheEquivalence, AnUpdatedCacheIsTheBuiltOneAndNamesWhatChanged) {
    for (std::uint64_t seed = 1; seed <= 120; ++seed) {
        const auto before = resultOf(test::randomDocument(seed, 4, 60), 1200, 900);
        const auto after = resultOf(edited(before.layers, seed), 1200, 900);
        const VectorRenderCache previous = VectorRenderCache::build(before);
        const VectorRenderCache updated = VectorRenderCache::update(previous, before, after);
        SCOPED_TRACE("seed " + std::to_string(seed));
        test::expectSameCache(updated, VectorRenderCache::build(after));
        if (HasFatalFailure()) return;
        EXPECT_EQ(updated.updatedFromSerial, previous.serial);
        EXPECT_NE(updated.serial, previous.serial);

        // Every stroke drawn differently lies in the changed region, before and after the edit.
        for (std::size_t l = 0; l < after.layers.size(); ++l) {
            const auto& old = previous.layers[l];
            const auto& now = updated.layers[l];
            std::set<std::int64_t> ambiguous = repeatedIDs(before.layers[l]);
            ambiguous.merge(repeatedIDs(after.layers[l]));
            for (const auto& [id, path] : now.pathByID) {
                if (ambiguous.contains(id)) continue;
                const auto was = old.pathByID.find(id);
                const bool same =
                    was != old.pathByID.end() && was->second == path && old.boundsByID.at(id) == now.boundsByID.at(id);
                if (!same) {
                    EXPECT_TRUE(covered(updated.changedRegionPx, now.boundsByID.at(id))) << "stroke " << id;
                }
            }
            for (const auto& [id, path] : old.pathByID) {
                if (ambiguous.contains(id)) continue;
                const auto is = now.pathByID.find(id);
                if (is == now.pathByID.end() || !(is->second == path)) {
                    EXPECT_TRUE(covered(updated.changedRegionPx, old.boundsByID.at(id))) << "stroke " << id;
                }
            }
        }
    }
}

TEST(VectorRenderCacheEquivalence, OneMovedStrokeChangesOnlyItsOwnBounds) {
    const auto polyline = [](std::int64_t id, double x, double y) {
        VectorPath path;
        path.id = id;
        path.points = {{x, y}, {x + 40, y + 10}, {x + 80, y}};
        path.strokeRadiusPx = 1;
        return path;
    };
    const auto layerOf = [](std::int64_t index, std::vector<VectorPath> paths) {
        return PenLayer::make(index, std::string("p"), 0.3, std::string("#000000"), true, std::move(paths));
    };
    const auto before = resultOf({layerOf(0, {polyline(1, 10, 10), polyline(2, 300, 300), polyline(3, 900, 50)}),
                                  layerOf(1, {polyline(4, 500, 700)})},
                                 1200, 900);
    auto layers = before.layers;
    for (auto& p : layers[0].paths[1].points.edit()) p.x += 30;
    const auto after = resultOf(layers, 1200, 900);
    const VectorRenderCache previous = VectorRenderCache::build(before);
    const VectorRenderCache updated = VectorRenderCache::update(previous, before, after);
    ASSERT_EQ(updated.changedRegionPx.size(), 2u);
    EXPECT_EQ(updated.changedRegionPx[0], QRectF(297.5 + 30, 297.5, 85, 15));
    EXPECT_EQ(updated.changedRegionPx[1], QRectF(297.5, 297.5, 85, 15));
    EXPECT_EQ(updated.layers[1].pathByID.at(4), previous.layers[1].pathByID.at(4));
}

TEST(VectorRenderCacheEquivalence, ANewImageSizeOrLayerListIsBuiltWhole) {
    const auto before = resultOf(test::randomDocument(9, 3, 30), 1200, 900);
    const VectorRenderCache previous = VectorRenderCache::build(before);
    auto fewer = before.layers;
    fewer.pop_back();
    for (const auto& after :
         {resultOf(before.layers, 1201, 900), resultOf(before.layers, 1200, 880), resultOf(fewer, 1200, 900)}) {
        const VectorRenderCache updated = VectorRenderCache::update(previous, before, after);
        EXPECT_EQ(updated.updatedFromSerial, 0u);
        EXPECT_TRUE(updated.changedRegionPx.empty());
        test::expectSameCache(updated, VectorRenderCache::build(after));
    }
}

TEST(VectorRenderCacheEquivalence, ALargeDocumentsCacheDoesNotDependOnTheThreadCount) {
    // Thousands of strokes per layer: their paths are made in chunks on several threads, both when
    // the cache is built and when an edit builds many strokes again.
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        const auto before = resultOf(test::randomDocument(seed, 3, 3000), 2400, 2400);
        // Seeds 1 and 3: some strokes edited; seed 2: every stroke moved, as at the end of a drag.
        auto afterLayers = edited(before.layers, seed);
        if (seed == 2) {
            afterLayers = before.layers;
            for (auto& layer : afterLayers) {
                for (auto& path : layer.paths) {
                    for (auto& p : path.points.edit()) p.x += 3;
                    for (auto& segment : path.beziers.edit()) segment.p3.x += 3;
                }
            }
        }
        const auto after = resultOf(std::move(afterLayers), 2400, 2400);
        std::optional<VectorRenderCache> builtAlone;
        std::optional<VectorRenderCache> updatedAlone;
        {
            const test::ThreadCountScope alone(1);
            builtAlone = VectorRenderCache::build(before);
            updatedAlone = VectorRenderCache::update(*builtAlone, before, after);
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        for (const int threads : {2, 8}) {
            const test::ThreadCountScope scope(threads);
            const VectorRenderCache built = VectorRenderCache::build(before);
            test::expectSameCache(built, *builtAlone);
            test::expectSameCache(VectorRenderCache::update(built, before, after), *updatedAlone);
            EXPECT_EQ(VectorRenderCache::update(built, before, after).changedRegionPx, updatedAlone->changedRegionPx);
        }
    }
}

}  // namespace
}  // namespace ostrel
