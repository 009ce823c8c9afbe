// Stroke edits as values. Every change a person or a program makes to the strokes of the current
// result is one of these, applied through `VectorizerController::applyEdit`, which also keeps the
// undo history: an edit that changes the strokes is one undo step, and the steps of one gesture (a
// drag that moves, reshapes or erases on every frame) share one key and make one step together.
#pragma once

#include "core/model/VectorModel.h"

#include <cstdint>
#include <set>
#include <variant>
#include <vector>

namespace ostrel {

namespace StrokeEdits {

/// Removes the strokes with these ids.
struct Delete {
    std::set<std::int64_t> ids;
};
/// Moves the strokes to the pen layer `penIndex` (an index of the result's layers).
struct AssignToPen {
    std::set<std::int64_t> ids;
    std::int64_t penIndex = 0;
};
/// Simplifies the strokes' points and fits their curves again.
struct Simplify {
    std::set<std::int64_t> ids;
};
/// Turns the strokes around.
struct Reverse {
    std::set<std::int64_t> ids;
};
/// Chains two or more strokes into one, nearest ends first.
struct Join {
    std::set<std::int64_t> ids;
};
/// Cuts a stroke in two at one of its inner vertices.
struct Split {
    std::int64_t pathID = 0;
    std::int64_t atVertexIndex = 0;
};
/// Moves the strokes by an offset in image pixels.
struct Translate {
    std::set<std::int64_t> ids;
    double dxPx = 0;
    double dyPx = 0;
};
/// Puts one vertex of a stroke at `to` (image pixels); a vertex already there changes nothing.
struct MoveVertex {
    std::int64_t pathID = 0;
    std::int64_t pointIndex = 0;
    VectorPoint to;
};
/// Removes the strokes of visible layers that come within `radiusPx` of `pointPx`.
struct EraseNear {
    VectorPoint pointPx;
    double radiusPx = 0;
};
/// Adds a stroke drawn by hand (simplified and fitted) to the pen layer `penIndex` (clamped).
struct AddFreehand {
    std::vector<VectorPoint> points;
    std::int64_t penIndex = 0;
};
/// Replaces every layer at once (a document made elsewhere); `reoptimizeTour` orders it again.
struct ReplaceLayers {
    std::vector<PenLayer> layers;
    bool reoptimizeTour = false;
};

}  // namespace StrokeEdits

using StrokeEdit =
    std::variant<StrokeEdits::Delete, StrokeEdits::AssignToPen, StrokeEdits::Simplify, StrokeEdits::Reverse,
                 StrokeEdits::Join, StrokeEdits::Split, StrokeEdits::Translate, StrokeEdits::MoveVertex,
                 StrokeEdits::EraseNear, StrokeEdits::AddFreehand, StrokeEdits::ReplaceLayers>;

/// What an applied edit did.
struct StrokeEditOutcome {
    bool changed = false;                  ///< a new result was committed (and the undo history kept it)
    int removedCount = 0;                  ///< Delete and EraseNear: the strokes removed
    std::vector<std::int64_t> newPathIDs;  ///< Join: the joined stroke; Split: both halves; AddFreehand: the new one
};

/// The key that ties the edits of one gesture into one undo step; `noGesture` stands alone.
using EditGestureKey = std::uint64_t;
inline constexpr EditGestureKey noGesture = 0;

}  // namespace ostrel
