// Seeded documents of many random short strokes, for the benchmarks of editing and drawing.
#pragma once

#include "core/model/VectorModel.h"

#include <vector>

namespace ostrel::bench {

/// `count` random short curved strokes (eight points a few pixels apart, refitted to Béziers) over
/// a page of `width` × `height` pixels, alternating between two pens. The same seed gives the
/// same strokes.
[[nodiscard]] std::vector<PenLayer> randomStrokeLayers(int count, double width, double height, unsigned seed);

}  // namespace ostrel::bench
