// The render cache gathers each stroke's paths once, reserves the gathered
// paths and shares a band's paths with the layer's or the cell's when they
// hold the same strokes; this checks it against the plain builder it replaced
// (every path grown by addPath, nothing shared), element for element.
#include "app/document/VectorRenderCache.h"
#include "testsupport/RandomDocument.h"
#include "testsupport/RenderCacheComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

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
    cache.fullTravelPathPx = windingPath();
    VectorPoint previousEnd = VectorPoint::zero;

    for (const PenLayer& layer : result.layers) {
        LayerCache lc;
        lc.index = layer.index;
        lc.fullPathPx = windingPath();
        lc.fullFilledRibbonPathPx = windingPath();
        lc.fullHandlesPx = windingPath();
        lc.pathByID.reserve(layer.paths.size());
        lc.boundsByID.reserve(layer.paths.size());
        std::array<Cell, kGridSize * kGridSize> cells;
        std::map<int, Band> bands;

        for (const VectorPath& path : layer.paths) {
            if (layer.visible) {
                cache.fullTravelPathPx.moveTo(qt(previousEnd));
                cache.fullTravelPathPx.lineTo(qt(path.startPoint()));
                previousEnd = path.endPoint();
            }
            const QPainterPath centre = centreLine(path);
            const QPainterPath handle = handles(path);
            const QPainterPath outline = ribbon(path);
            const QRectF bounds = paddedBounds(path);

            lc.fullPathPx.addPath(centre);
            if (!outline.isEmpty()) {
                lc.fullFilledRibbonPathPx.addPath(outline);
                lc.ribbonByID[path.id] = outline;
            }
            lc.fullHandlesPx.addPath(handle);
            lc.pathByID[path.id] = centre;
            lc.handlesByID[path.id] = handle;
            lc.boundsByID[path.id] = bounds;
            cache.boundsByPathID[path.id] = bounds;

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
            lc.buckets.push_back({i, *cell.bounds, std::move(cell.centre), std::move(cell.ribbon),
                                  std::move(cell.handles)});
        }
        for (auto& [key, band] : bands) {
            lc.widthBands.push_back({key / 4.0, std::move(band.full), std::move(band.byCell)});
        }
        cache.layers.push_back(std::move(lc));
    }
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

}  // namespace
}  // namespace ostrel
