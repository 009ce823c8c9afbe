#include "testsupport/RandomDocument.h"

#include <random>
#include <string>

namespace ostrel::test {

namespace {

/// A coordinate: half of them multiples of 1/16 (decimal ties at two places), the rest arbitrary;
/// some negative or beyond the image.
double coordinate(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> pick(0, 9);
    const int kind = pick(rng);
    if (kind < 5) return std::uniform_int_distribution<int>(-400, 40000)(rng) / 16.0;
    if (kind < 9) return std::uniform_real_distribution<double>(-20, 2500)(rng);
    return std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
}

VectorPoint point(std::mt19937_64& rng) { return {coordinate(rng), coordinate(rng)}; }

std::vector<CubicBezierSegment> chain(std::mt19937_64& rng, int count) {
    std::vector<CubicBezierSegment> out;
    VectorPoint start = point(rng);
    for (int i = 0; i < count; ++i) {
        const CubicBezierSegment s{start, point(rng), point(rng), point(rng)};
        out.push_back(s);
        start = s.p3;
    }
    return out;
}

VectorPath randomPath(std::mt19937_64& rng, std::int64_t id, std::int64_t pen) {
    std::uniform_int_distribution<int> pick(0, 9);
    VectorPath path;
    path.id = id;
    path.penIndex = pen;
    const int pointCount = pick(rng) < 2 ? pick(rng) % 2 : 2 + pick(rng);
    for (int i = 0; i < pointCount; ++i) path.points.push_back(point(rng));
    if (pointCount >= 2 && pick(rng) < 6) path.beziers = chain(rng, 1 + pick(rng));
    if (pick(rng) < 4) path.outlineBeziers = chain(rng, 1 + pick(rng));
    path.isClosed = pick(rng) < 3;
    path.isHatch = pick(rng) == 0;
    const double radii[] = {0, 0.1, 0.125, 0.375, 1.5, 2.25, 3.7, 20, -1};
    path.strokeRadiusPx = radii[pick(rng) % 9];
    return path;
}

}  // namespace

std::vector<PenLayer> randomDocument(std::uint64_t seed, int maxLayers, int maxPaths) {
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> layerCount(0, maxLayers);
    std::uniform_int_distribution<int> pathCount(0, maxPaths);
    std::uniform_int_distribution<int> pick(0, 9);
    const char* colours[] = {"#FFB454", "#5CE1E6", "#C792EA", "#9ECE6A"};
    std::vector<PenLayer> layers;
    std::int64_t nextID = 1;
    const int count = layerCount(rng);
    for (int l = 0; l < count; ++l) {
        std::vector<VectorPath> paths;
        const int n = pick(rng) == 0 ? 0 : pathCount(rng);
        for (int i = 0; i < n; ++i) {
            // Now and then a stroke repeats the previous id, as a damaged file may.
            const std::int64_t id = pick(rng) == 0 && nextID > 1 ? nextID - 1 : nextID++;
            paths.push_back(randomPath(rng, id, l));
        }
        const double width = std::uniform_int_distribution<int>(1, 40)(rng) / 20.0;
        layers.push_back(PenLayer::make(l, "Stylo " + std::to_string(l + 1), width, std::string(colours[l % 4]),
                                        pick(rng) >= 2, std::move(paths)));
    }
    return layers;
}

}  // namespace ostrel::test
