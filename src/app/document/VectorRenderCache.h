// Ready-made canvas paths for one result, in image pixels: whole-layer paths,
// an 8 × 8 grid of buckets, quarter-pixel stroke-width bands, per-stroke paths
// and padded bounds by id, and the pen-up travel over the visible layers.
// Built whole for a new result, or updated from the previous cache after an edit (only the changed
// strokes built again, only the cells they leave or enter gathered again); then only read. O(points).
// The whole-layer, whole-band and travel paths are gathered when first read: the canvas draws by
// cell, so an edit does not pay for paths nothing may read. A cell's paths are gathered when first
// read too, except the ones its layer is drawn with (the ribbons when it has some, else the centre
// lines): the canvas draws one kind of a cell, and a large result's other kinds would each hold a
// copy of every stroke for nothing.
#pragma once

#include "core/model/CopyOnWrite.h"
#include "core/model/Deferred.h"
#include "core/model/VectorModel.h"

#include <QPainterPath>
#include <QRectF>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace ostrel {

struct VectorRenderCache {
    using DeferredPath = Deferred<QPainterPath>;
    template <class Value>
    using ByID = SharedMap<std::int64_t, Value>;

    struct SpatialBucket {
        int gridIndex = 0;  // column + 8 × row
        QRectF boundsPx;    // union of the padded bounds of the cell's strokes
        DeferredPath pathPx;
        DeferredPath filledRibbonPathPx;
        DeferredPath handlesPx;
        bool hasFilledRibbons = false;  // filledRibbonPathPx is not empty (known without gathering it)
    };

    struct WidthBandCache {
        double radiusPx = 0;  // band key / 4: 0.25 … 16
        DeferredPath fullPathPx;
        std::map<int, DeferredPath> bucketPathsPx;  // gridIndex → centre lines of the band in that cell
    };

    /// The strokes of a layer in order: their ids, cells, band keys and end points (what the pen-up
    /// travel joins).
    struct StrokeOrder {
        std::vector<std::int64_t> ids;
        std::vector<int> gridIndexes;
        std::vector<int> bandKeys;
        std::vector<VectorPoint> starts;
        std::vector<VectorPoint> ends;
    };

    struct LayerCache {
        std::int64_t index = 0;
        DeferredPath fullPathPx;
        DeferredPath fullFilledRibbonPathPx;
        DeferredPath fullHandlesPx;
        std::vector<SpatialBucket> buckets;      // occupied cells, ascending gridIndex
        std::vector<WidthBandCache> widthBands;  // ascending radiusPx
        ByID<QPainterPath> pathByID;
        ByID<QPainterPath> ribbonByID;
        ByID<QPainterPath> handlesByID;
        ByID<QRectF> boundsByID;
        std::shared_ptr<const StrokeOrder> order;  // never null in a built cache

        /// True when some stroke of the layer has a ribbon outline (fullFilledRibbonPathPx is not
        /// empty), answered without gathering that path.
        [[nodiscard]] bool hasFilledRibbons() const noexcept;
    };

    std::vector<LayerCache> layers;  // in the result's layer order, hidden layers included
    DeferredPath fullTravelPathPx;
    ByID<QRectF> boundsByPathID;

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
