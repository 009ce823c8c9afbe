// Ready-made canvas paths for one result, in image pixels: whole-layer paths,
// an 8 × 8 grid of buckets, quarter-pixel stroke-width bands, per-stroke paths
// and padded bounds by id, and the pen-up travel over the visible layers.
// Built whole for a new result, or updated from the previous cache after an edit (only the changed
// layers are gathered again, only the changed strokes built again); then only read. O(points).
#pragma once

#include "core/model/VectorModel.h"

#include <QPainterPath>
#include <QRectF>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

namespace ostrel {

struct VectorRenderCache {
    struct SpatialBucket {
        int gridIndex = 0;  // column + 8 × row
        QRectF boundsPx;    // union of the padded bounds of the cell's strokes
        QPainterPath pathPx;
        QPainterPath filledRibbonPathPx;
        QPainterPath handlesPx;
    };

    struct WidthBandCache {
        double radiusPx = 0;  // band key / 4: 0.25 … 16
        QPainterPath fullPathPx;
        std::map<int, QPainterPath> bucketPathsPx;  // gridIndex → centre lines of the band in that cell
    };

    struct LayerCache {
        std::int64_t index = 0;
        QPainterPath fullPathPx;
        QPainterPath fullFilledRibbonPathPx;
        QPainterPath fullHandlesPx;
        std::vector<SpatialBucket> buckets;     // occupied cells, ascending gridIndex
        std::vector<WidthBandCache> widthBands;  // ascending radiusPx
        std::unordered_map<std::int64_t, QPainterPath> pathByID;
        std::unordered_map<std::int64_t, QPainterPath> ribbonByID;
        std::unordered_map<std::int64_t, QPainterPath> handlesByID;
        std::unordered_map<std::int64_t, QRectF> boundsByID;
    };

    std::vector<LayerCache> layers;  // in the result's layer order, hidden layers included
    QPainterPath fullTravelPathPx;
    std::unordered_map<std::int64_t, QRectF> boundsByPathID;

    /// This cache among all caches of the process (never 0).
    std::uint64_t serial = 0;
    /// The serial of the cache this one was updated from, or 0 when it was built whole. When set, the
    /// strokes drawn differently from that cache (moved, changed, added or removed) all lie inside
    /// `changedRegionPx` (their padded bounds before and after); everything else is drawn the same.
    /// The pen-up travel path may differ anywhere.
    std::uint64_t updatedFromSerial = 0;
    std::vector<QRectF> changedRegionPx;

    static constexpr int kGridSize = 8;

    /// Builds the whole cache; pure, never fails, any thread.
    static VectorRenderCache build(const VectorizationResult& result);

    /// The cache of `result`, equal to build(result) but reusing what `previous` (built for
    /// `previousResult`) holds for the layers and strokes that did not change; the strokes drawn
    /// differently are listed in `changedRegionPx`. Falls back to a whole build when the image size
    /// or the list of layer indices differs. Pure, any thread.
    static VectorRenderCache update(const VectorRenderCache& previous, const VectorizationResult& previousResult,
                                    const VectorizationResult& result);

    /// Band key of a stroke radius: round(4 r) clamped to 1…64 (non-finite radii give 1).
    static int bandKey(double strokeRadiusPx) noexcept;
};

}  // namespace ostrel
