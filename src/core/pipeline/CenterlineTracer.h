// Centre lines of an ink mask: Guo-Hall thinning to a one-pixel 8-connected skeleton, then chain
// tracing from endpoints, junctions and loops, optional Steger sub-pixel refinement with a light
// smoothing pass, and optional joining of chains that continue each other across a junction.
//
// Sub-pixel ridge position: C. Steger, "An unbiased detector of curvilinear structures", PAMI 20(2), 1998.
//
// The namespace spans three headers, each named for what it holds: this one (chain tracing),
// GuoHallThinning.h (`thinGuoHall`) and PenClassifier.h (`measureAndClassifyPens`).
#pragma once

#include "core/pipeline/GuoHallThinning.h"

#include "core/model/VectorModel.h"
#include "core/pipeline/PreprocessedFields.h"

#include <cstdint>
#include <vector>

namespace ostrel::CenterlineTracer {

/// The chains (ordered points in image pixels) of a thinned skeleton of fields.width × fields.height
/// bytes. Reads only width, height and ridgeField of `fields`. Chains shorter than max(minLength, 2)
/// points are dropped; with `stegerSubpixel` the points are refined and smoothed; with
/// `crossJunctions` chains continuing each other across a junction are joined.
[[nodiscard]] std::vector<std::vector<VectorPoint>> traceSkeletonChains(const std::vector<std::uint8_t>& skeleton,
                                                                        const PreprocessedFields& fields,
                                                                        std::int64_t minLength, bool stegerSubpixel,
                                                                        bool crossJunctions);

/// Steger position of the skeleton pixel (x, y) on the ridge field: moved at most 0.55 px along the
/// ridge normal; the integer position outside the interior or where there is no ridge.
[[nodiscard]] VectorPoint refinePointSubpixel(std::int64_t x, std::int64_t y, const PreprocessedFields& fields);

/// Joins chains whose ends meet within `maxJunctionGap` pixels and point the same way (cosine above
/// 0.55), longest chains first; one output chain per seed, in seed order.
[[nodiscard]] std::vector<std::vector<VectorPoint>> mergeCollinearJunctions(
    const std::vector<std::vector<VectorPoint>>& chains, double maxJunctionGap);

}  // namespace ostrel::CenterlineTracer
