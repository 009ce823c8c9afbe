#include "testsupport/RenderCacheComparison.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

namespace ostrel::test {

void expectSamePath(const QPainterPath& actual, const QPainterPath& expected, const std::string& where) {
    ASSERT_EQ(actual.fillRule(), expected.fillRule()) << where;
    ASSERT_EQ(actual.elementCount(), expected.elementCount()) << where;
    for (int i = 0; i < expected.elementCount(); ++i) {
        const QPainterPath::Element a = actual.elementAt(i);
        const QPainterPath::Element e = expected.elementAt(i);
        ASSERT_EQ(a.type, e.type) << where << " element " << i;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(a.x), std::bit_cast<std::uint64_t>(e.x)) << where << " element " << i;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(a.y), std::bit_cast<std::uint64_t>(e.y)) << where << " element " << i;
    }
}

namespace {

template <class Map>
void expectSamePaths(const Map& actual, const Map& expected, const std::string& where) {
    ASSERT_EQ(actual.size(), expected.size()) << where;
    for (const auto& [key, path] : expected) {
        ASSERT_TRUE(actual.contains(key)) << where << " " << key;
        expectSamePath(actual.at(key), path, where + " " + std::to_string(key));
    }
}

}  // namespace

void expectSameCache(const VectorRenderCache& actual, const VectorRenderCache& expected) {
    expectSamePath(actual.fullTravelPathPx, expected.fullTravelPathPx, "travel");
    ASSERT_EQ(actual.boundsByPathID, expected.boundsByPathID);
    ASSERT_EQ(actual.layers.size(), expected.layers.size());
    for (std::size_t l = 0; l < expected.layers.size(); ++l) {
        const auto& a = actual.layers[l];
        const auto& e = expected.layers[l];
        const std::string where = "layer " + std::to_string(l);
        ASSERT_EQ(a.index, e.index);
        expectSamePath(a.fullPathPx, e.fullPathPx, where + " full");
        expectSamePath(a.fullFilledRibbonPathPx, e.fullFilledRibbonPathPx, where + " ribbons");
        expectSamePath(a.fullHandlesPx, e.fullHandlesPx, where + " handles");
        ASSERT_EQ(a.buckets.size(), e.buckets.size()) << where;
        for (std::size_t b = 0; b < e.buckets.size(); ++b) {
            const std::string bucket = where + " bucket " + std::to_string(e.buckets[b].gridIndex);
            ASSERT_EQ(a.buckets[b].gridIndex, e.buckets[b].gridIndex) << bucket;
            ASSERT_EQ(a.buckets[b].boundsPx, e.buckets[b].boundsPx) << bucket;
            expectSamePath(a.buckets[b].pathPx, e.buckets[b].pathPx, bucket);
            expectSamePath(a.buckets[b].filledRibbonPathPx, e.buckets[b].filledRibbonPathPx, bucket + " ribbons");
            expectSamePath(a.buckets[b].handlesPx, e.buckets[b].handlesPx, bucket + " handles");
            ASSERT_EQ(a.buckets[b].hasFilledRibbons, e.buckets[b].hasFilledRibbons) << bucket;
        }
        ASSERT_EQ(a.widthBands.size(), e.widthBands.size()) << where;
        for (std::size_t w = 0; w < e.widthBands.size(); ++w) {
            const std::string band = where + " band " + std::to_string(w);
            ASSERT_EQ(a.widthBands[w].radiusPx, e.widthBands[w].radiusPx) << band;
            expectSamePath(a.widthBands[w].fullPathPx, e.widthBands[w].fullPathPx, band);
            expectSamePaths(a.widthBands[w].bucketPathsPx, e.widthBands[w].bucketPathsPx, band + " cells");
        }
        expectSamePaths(a.pathByID, e.pathByID, where + " pathByID");
        expectSamePaths(a.ribbonByID, e.ribbonByID, where + " ribbonByID");
        expectSamePaths(a.handlesByID, e.handlesByID, where + " handlesByID");
        ASSERT_EQ(a.boundsByID, e.boundsByID) << where;
    }
}

}  // namespace ostrel::test
