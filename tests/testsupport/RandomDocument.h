// Test support: seeded random documents that reach every branch of the
// writers and the render cache — hidden and empty layers, strokes with no or
// one point, open and closed polylines, cubic chains with and without ribbon
// outlines, now and then a repeated id, and coordinates on exact decimal ties (multiples of 1/16).
#pragma once

#include "core/model/VectorModel.h"

#include <cstdint>
#include <vector>

namespace ostrel::test {

/// Up to `maxLayers` pen layers with up to `maxPaths` strokes each; the same seed gives the same layers.
[[nodiscard]] std::vector<PenLayer> randomDocument(std::uint64_t seed, int maxLayers = 4, int maxPaths = 40);

}  // namespace ostrel::test
