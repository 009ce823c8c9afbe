#include "app/document/VectorRenderCache.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

VectorPath stroke(std::int64_t id, std::vector<VectorPoint> points, double radius = 0) {
    VectorPath p;
    p.id = id;
    p.points = std::move(points);
    p.strokeRadiusPx = radius;
    return p;
}

VectorizationResult resultWith(std::vector<PenLayer> layers, std::int64_t width = 400, std::int64_t height = 400) {
    VectorizationResult r;
    r.layers = std::move(layers);
    r.pageTransform.imageWidth = width;
    r.pageTransform.imageHeight = height;
    return r;
}

PenLayer layer(std::int64_t index, std::vector<VectorPath> paths, bool visible = true) {
    return PenLayer::make(index, std::string("p"), 0.3, std::string("#000000"), visible, std::move(paths));
}

TEST(VectorRenderCache, EmptyInputs) {
    const auto none = VectorRenderCache::build(resultWith({}));
    EXPECT_TRUE(none.layers.empty());
    EXPECT_TRUE(none.fullTravelPathPx->isEmpty());
    EXPECT_TRUE(none.boundsByPathID.empty());

    const auto emptyLayer = VectorRenderCache::build(resultWith({layer(0, {})}));
    ASSERT_EQ(emptyLayer.layers.size(), 1u);
    EXPECT_TRUE(emptyLayer.layers[0].fullPathPx->isEmpty());
    EXPECT_TRUE(emptyLayer.layers[0].buckets.empty());
    EXPECT_TRUE(emptyLayer.layers[0].widthBands.empty());
}

TEST(VectorRenderCache, BandKeysRoundHalfAwayAndClamp) {
    const std::vector<std::pair<double, int>> cases = {{0, 1}, {0.3, 1}, {0.375, 2}, {0.625, 3}, {20, 64}, {-1, 1}};
    for (const auto& [radius, key] : cases) EXPECT_EQ(VectorRenderCache::bandKey(radius), key) << radius;
    EXPECT_EQ(VectorRenderCache::bandKey(std::nan("")), 1);
}

TEST(VectorRenderCache, BoundsCellsAndSinglePointStrokes) {
    const auto cache = VectorRenderCache::build(
        resultWith({layer(0, {
                                 stroke(1, {{10, 20}, {30, 20}}, 0),  // bounds (9, 19, 22, 2), mid x 20 → column 0
                                 stroke(2, {{396, 200}, {402, 200}}, 0.2),  // mid x 399 → column 7
                                 stroke(3, {{5, 5}}, 2),                    // one point: empty paths, bounds 0, cell 0
                                 stroke(4, {{49.9, 0}, {49.9, 0}}, 0),      // mid x 49.9 → column 0
                                 stroke(5, {{50, 0}, {50, 0}}, 0),          // mid x 50 → column 1
                             })}));
    const auto& lc = cache.layers[0];
    EXPECT_EQ(lc.boundsByID.at(1), QRectF(9, 19, 22, 2));
    EXPECT_EQ(lc.boundsByID.at(3), QRectF(0, 0, 0, 0));
    EXPECT_TRUE(lc.pathByID.at(3).isEmpty());
    EXPECT_TRUE(lc.handlesByID.at(3).isEmpty());
    EXPECT_FALSE(lc.ribbonByID.contains(1));
    std::map<int, int> strokesPerCell;
    for (const auto& bucket : lc.buckets) strokesPerCell[bucket.gridIndex] = bucket.pathPx->elementCount();
    EXPECT_TRUE(strokesPerCell.contains(0));
    EXPECT_TRUE(strokesPerCell.contains(1));
    EXPECT_TRUE(strokesPerCell.contains(7 + 8 * 4));
    // Bands: radius 0 and 0.2 → key 1, radius 2 → key 8.
    ASSERT_EQ(lc.widthBands.size(), 2u);
    EXPECT_EQ(lc.widthBands[0].radiusPx, 0.25);
    EXPECT_EQ(lc.widthBands[1].radiusPx, 2.0);
    EXPECT_EQ(cache.boundsByPathID.size(), 5u);
}

TEST(VectorRenderCache, AStrokeCrossingCellsLivesOnlyInTheCellOfItsCentre) {
    // 400 px wide: cells of 50 px. The stroke spans columns 0 and 1; its bounds' centre (55) is in 1.
    const auto cache = VectorRenderCache::build(resultWith({layer(0, {stroke(1, {{40, 10}, {70, 10}}, 1)})}));
    const auto& buckets = cache.layers[0].buckets;
    ASSERT_EQ(buckets.size(), 1u);
    EXPECT_EQ(buckets[0].gridIndex, 1);
    EXPECT_EQ(buckets[0].boundsPx, QRectF(37.5, 7.5, 35, 5));  // reaches into column 0
    EXPECT_EQ(cache.layers[0].widthBands[0].bucketPathsPx.count(1), 1u);
    EXPECT_EQ(cache.layers[0].widthBands[0].bucketPathsPx.count(0), 0u);
}

TEST(VectorRenderCache, TravelSkipsHiddenLayersAndClosedPathsClose) {
    VectorPath closed = stroke(7, {{100, 100}, {120, 100}, {120, 120}, {100, 100}});
    closed.isClosed = true;
    closed.outlineBeziers = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    const auto cache = VectorRenderCache::build(resultWith({
        layer(0, {stroke(1, {{10, 0}, {20, 0}}), stroke(2, {{30, 0}, {40, 0}})}),
        layer(1, {stroke(3, {{300, 300}, {310, 300}})}, false),
        layer(2, {closed}),
    }));
    // Moves: (0,0)→(10,0), (20,0)→(30,0), (40,0)→(100,100); the hidden layer adds none.
    const QPainterPath& travel = cache.fullTravelPathPx;
    ASSERT_EQ(travel.elementCount(), 6);
    EXPECT_EQ(QPointF(travel.elementAt(4)), QPointF(40, 0));
    EXPECT_EQ(QPointF(travel.elementAt(5)), QPointF(100, 100));
    EXPECT_EQ(cache.layers[1].pathByID.size(), 1u);  // hidden layers are still cached

    const QPainterPath& centre = cache.layers[2].pathByID.at(7);
    EXPECT_EQ(QPointF(centre.elementAt(centre.elementCount() - 1)), QPointF(100, 100));
    EXPECT_EQ(cache.layers[2].ribbonByID.at(7).fillRule(), Qt::WindingFill);
    EXPECT_EQ(cache.layers[2].fullFilledRibbonPathPx->fillRule(), Qt::WindingFill);
}

TEST(VectorRenderCache, ACellGathersAtOnceOnlyTheKindItsLayerIsDrawnWith) {
    // Both strokes in cell 0, in two width bands; the second layer's strokes carry ribbon outlines.
    VectorPath wide = stroke(2, {{20, 10}, {30, 10}}, 2);
    wide.beziers = {{{20, 10}, {23, 12}, {27, 12}, {30, 10}}};
    VectorPath outlined = wide;
    outlined.outlineBeziers = {{{20, 8}, {25, 6}, {25, 14}, {20, 12}}};
    struct Case {
        const char* name;
        std::vector<VectorPath> paths;
        bool ribbons;
    };
    const std::vector<Case> cases = {
        {"centre lines", {stroke(1, {{10, 10}, {20, 10}}, 0.2), wide}, false},
        {"ribbons", {stroke(1, {{10, 10}, {20, 10}}, 0.2), outlined}, true},
    };
    for (const Case& c : cases) {
        const auto cache = VectorRenderCache::build(resultWith({layer(0, c.paths)}));
        const auto& lc = cache.layers[0];
        ASSERT_EQ(lc.buckets.size(), 1u) << c.name;
        const auto& bucket = lc.buckets[0];
        EXPECT_EQ(lc.hasFilledRibbons(), c.ribbons) << c.name;
        EXPECT_EQ(bucket.filledRibbonPathPx.isMade(), c.ribbons) << c.name;
        EXPECT_EQ(bucket.pathPx.isMade(), !c.ribbons) << c.name;
        EXPECT_FALSE(bucket.handlesPx.isMade()) << c.name;
        ASSERT_EQ(lc.widthBands.size(), 2u) << c.name;
        for (const auto& band : lc.widthBands) EXPECT_FALSE(band.bucketPathsPx.at(0).isMade()) << c.name;

        // Read later, each kind holds the cell's strokes in layer order.
        EXPECT_EQ(bucket.pathPx->elementCount(), 2 + 4) << c.name;
        EXPECT_EQ(bucket.handlesPx->elementCount(), 4) << c.name;
        EXPECT_EQ(bucket.filledRibbonPathPx->isEmpty(), !c.ribbons) << c.name;
        EXPECT_EQ(lc.widthBands[0].bucketPathsPx.at(0)->elementCount(), 2) << c.name;
        EXPECT_EQ(QPointF(lc.widthBands[1].bucketPathsPx.at(0)->elementAt(0)), QPointF(20, 10)) << c.name;
    }
}

}  // namespace
}  // namespace ostrel
