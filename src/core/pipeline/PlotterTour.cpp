// Hatching and the plotter tour. See PlotterTour.h.
#include "core/pipeline/PlotterTour.h"

#include "core/support/parallel/ParallelFor.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>

namespace ostrel::BezierAndPlotterOptimizer {

namespace {

// ---------------------------------------------------------------------------
// Nearest stroke end
// ---------------------------------------------------------------------------

/// One candidate of the greedy walk: a stroke entered from its start or (reversed) from its end.
struct EndChoice {
    std::size_t stroke = 0;
    bool reversed = false;  // entered from its end
    double distance2 = 0;   // squared distance from the pen to that end
};

/// Whether (d2, stroke, reversed) precedes `best` in the walk's order: nearer first, then the stroke
/// earlier in the input, then its start before its end. This is the order in which a plain scan over
/// the strokes by index, start before end, keeps the first strictly smaller distance.
bool precedes(double d2, std::size_t stroke, bool reversed, const EndChoice& best) noexcept {
    if (d2 != best.distance2) return d2 < best.distance2;
    if (stroke != best.stroke) return stroke < best.stroke;
    return !reversed && best.reversed;
}

/// A k-d tree over the start and end points of the strokes, with removal of a stroke's two ends.
/// Subtrees are pruned by the bounding box of the ends they hold: the squared distance from the pen to
/// a box, computed with the same roundings, never exceeds that of a point in the box (subtraction,
/// squaring and addition are monotone under rounding), so pruning only boxes strictly farther than
/// the best end found keeps every tie and returns exactly what a scan over all ends returns.
class StrokeEndTree {
public:
    StrokeEndTree(const std::vector<VectorPoint>& starts, const std::vector<VectorPoint>& ends) {
        slotOf_.assign(starts.size() * 2, kNone);
        for (std::size_t i = 0; i < starts.size(); ++i) {
            // Ends with a non-finite coordinate are never nearer than the largest finite double.
            if (std::isfinite(starts[i].x) && std::isfinite(starts[i].y)) points_.push_back({starts[i], i, false});
            if (std::isfinite(ends[i].x) && std::isfinite(ends[i].y)) points_.push_back({ends[i], i, true});
        }
        if (points_.empty()) return;
        nodes_.reserve(2 * points_.size() / kLeafSize + 2);
        leafOf_.assign(points_.size(), 0);
        build(0, points_.size(), kNone);
        alive_.assign(points_.size(), true);
        for (std::size_t slot = 0; slot < points_.size(); ++slot) {
            slotOf_[2 * points_[slot].stroke + (points_[slot].isEnd ? 1 : 0)] = slot;
        }
    }

    void removeStroke(std::size_t stroke) noexcept {
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t slot = slotOf_[2 * stroke + side];
            if (slot == kNone || !alive_[slot]) continue;
            alive_[slot] = false;
            for (std::size_t node = leafOf_[slot]; node != kNone; node = nodes_[node].parent) --nodes_[node].alive;
        }
    }

    /// The nearest live end to a finite `pen`, ties resolved by `precedes`; none when no end lies at a
    /// squared distance below the largest finite double.
    [[nodiscard]] std::optional<EndChoice> nearest(const VectorPoint& pen) const {
        EndChoice best{0, false, std::numeric_limits<double>::max()};
        bool found = false;
        if (!nodes_.empty()) search(0, pen, best, found);
        if (!found) return std::nullopt;
        return best;
    }

private:
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    static constexpr std::size_t kLeafSize = 8;

    struct StrokeEnd {
        VectorPoint pt;
        std::size_t stroke = 0;
        bool isEnd = false;
    };

    struct Node {
        double minX = 0, minY = 0, maxX = 0, maxY = 0;  // bounding box of points_[begin, end)
        std::size_t begin = 0, end = 0;
        std::size_t left = kNone, right = kNone;  // kNone for a leaf
        std::size_t parent = kNone;
        std::size_t alive = 0;  // live ends below this node
    };

    std::size_t build(std::size_t begin, std::size_t end, std::size_t parent) {
        const std::size_t index = nodes_.size();
        nodes_.push_back({});
        Node node;
        node.begin = begin;
        node.end = end;
        node.parent = parent;
        node.alive = end - begin;
        node.minX = node.maxX = points_[begin].pt.x;
        node.minY = node.maxY = points_[begin].pt.y;
        for (std::size_t k = begin + 1; k < end; ++k) {
            node.minX = std::min(node.minX, points_[k].pt.x);
            node.maxX = std::max(node.maxX, points_[k].pt.x);
            node.minY = std::min(node.minY, points_[k].pt.y);
            node.maxY = std::max(node.maxY, points_[k].pt.y);
        }
        if (end - begin <= kLeafSize) {
            for (std::size_t k = begin; k < end; ++k) leafOf_[k] = index;
            nodes_[index] = node;
            return index;
        }
        const bool splitX = node.maxX - node.minX >= node.maxY - node.minY;
        const std::size_t mid = begin + (end - begin) / 2;
        std::nth_element(
            points_.begin() + static_cast<std::ptrdiff_t>(begin), points_.begin() + static_cast<std::ptrdiff_t>(mid),
            points_.begin() + static_cast<std::ptrdiff_t>(end),
            [splitX](const StrokeEnd& a, const StrokeEnd& b) { return splitX ? a.pt.x < b.pt.x : a.pt.y < b.pt.y; });
        nodes_[index] = node;
        const std::size_t left = build(begin, mid, index);
        const std::size_t right = build(mid, end, index);
        nodes_[index].left = left;
        nodes_[index].right = right;
        return index;
    }

    [[nodiscard]] static double boxDistance2(const Node& node, const VectorPoint& pen) noexcept {
        const double dx = pen.x < node.minX ? node.minX - pen.x : (pen.x > node.maxX ? pen.x - node.maxX : 0.0);
        const double dy = pen.y < node.minY ? node.minY - pen.y : (pen.y > node.maxY ? pen.y - node.maxY : 0.0);
        return dx * dx + dy * dy;
    }

    void search(std::size_t index, const VectorPoint& pen, EndChoice& best, bool& found) const {
        const Node& node = nodes_[index];
        if (node.left == kNone) {
            for (std::size_t k = node.begin; k < node.end; ++k) {
                if (!alive_[k]) continue;
                const StrokeEnd& end = points_[k];
                const double d2 = pen.distanceSquared(end.pt);
                const bool better = found ? precedes(d2, end.stroke, end.isEnd, best) : d2 < best.distance2;
                if (better) {
                    best = {end.stroke, end.isEnd, d2};
                    found = true;
                }
            }
            return;
        }
        const std::size_t children[2] = {node.left, node.right};
        double bounds[2] = {boxDistance2(nodes_[node.left], pen), boxDistance2(nodes_[node.right], pen)};
        const int first = bounds[1] < bounds[0] ? 1 : 0;
        for (int c : {first, 1 - first}) {
            const Node& child = nodes_[children[c]];
            if (child.alive == 0) continue;
            // Boxes exactly as far as the best may still hold a tie that precedes it.
            if (found ? bounds[c] > best.distance2 : !(bounds[c] < best.distance2)) continue;
            search(children[c], pen, best, found);
        }
    }

    std::vector<StrokeEnd> points_;    // ends with finite coordinates, permuted by the tree
    std::vector<Node> nodes_;          // nodes_[0] is the root
    std::vector<std::size_t> leafOf_;  // leafOf_[slot]: leaf holding points_[slot]
    std::vector<std::size_t> slotOf_;  // slotOf_[2 × stroke + (end ? 1 : 0)]: slot in points_, or kNone
    std::vector<char> alive_;          // alive_[slot]: points_[slot] still available
};

// ---------------------------------------------------------------------------
// Tour
// ---------------------------------------------------------------------------

/// A stroke at a position of the tour, drawn forwards or reversed.
struct Placed {
    std::size_t stroke = 0;
    bool reversed = false;
};

bool isFinitePoint(const VectorPoint& p) noexcept { return std::isfinite(p.x) && std::isfinite(p.y); }

/// Greedy nearest-end walk from (0, 0). When no end is nearer than the largest finite double (the pen
/// or every remaining end is non-finite or astronomically far), the first remaining stroke is taken
/// forwards, so the walk always ends.
std::vector<Placed> greedyOrder(const std::vector<VectorPoint>& starts, const std::vector<VectorPoint>& ends) {
    const std::size_t n = starts.size();
    StrokeEndTree tree(starts, ends);
    std::vector<char> taken(n, false);
    std::vector<Placed> order;
    order.reserve(n);
    std::size_t firstRemaining = 0;
    VectorPoint pen = VectorPoint::zero;
    for (std::size_t step = 0; step < n; ++step) {
        std::optional<EndChoice> choice;
        if (isFinitePoint(pen)) choice = tree.nearest(pen);
        if (!choice) {
            while (taken[firstRemaining]) ++firstRemaining;
            choice = EndChoice{firstRemaining, false, 0};
        }
        taken[choice->stroke] = true;
        tree.removeStroke(choice->stroke);
        order.push_back({choice->stroke, choice->reversed});
        pen = choice->reversed ? starts[choice->stroke] : ends[choice->stroke];
    }
    return order;
}

/// Windowed 2-opt: reverses order[i…j] (each stroke flipped) when that shortens the two pen-up legs
/// around the run by more than half a pixel. 3 passes up to 400 strokes, else 1; window 140.
void improveTwoOpt(std::vector<Placed>& order, const std::vector<VectorPoint>& starts,
                   const std::vector<VectorPoint>& ends) {
    const std::size_t n = order.size();
    if (n < 4) return;
    const auto startOf = [&](const Placed& p) { return p.reversed ? ends[p.stroke] : starts[p.stroke]; };
    const auto endOf = [&](const Placed& p) { return p.reversed ? starts[p.stroke] : ends[p.stroke]; };
    const int passes = n <= 400 ? 3 : 1;
    const std::size_t window = std::min<std::size_t>(n, 140);
    for (int pass = 0; pass < passes; ++pass) {
        bool moved = false;
        for (std::size_t i = 0; i + 2 < n; ++i) {
            const VectorPoint prev = i == 0 ? VectorPoint::zero : endOf(order[i - 1]);
            const std::size_t lastJ = std::min(i + window, n - 1);
            for (std::size_t j = i + 1; j <= lastJ; ++j) {
                const VectorPoint first = startOf(order[i]);
                const VectorPoint last = endOf(order[j]);
                double before = prev.distance(first);
                double after = prev.distance(last);
                if (j + 1 < n) {
                    const VectorPoint next = startOf(order[j + 1]);
                    before = before + last.distance(next);
                    after = after + first.distance(next);
                }
                if (before > after + 0.5) {
                    std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i),
                                 order.begin() + static_cast<std::ptrdiff_t>(j) + 1);
                    for (std::size_t k = i; k <= j; ++k) order[k].reversed = !order[k].reversed;
                    moved = true;
                }
            }
        }
        if (!moved) break;
    }
}

}  // namespace

std::vector<std::vector<VectorPoint>> generateHatchPaths(const PreprocessedFields& fields, double spacingPx,
                                                         double angleDeg, bool crossHatch) {
    std::vector<std::vector<VectorPoint>> strokes;
    const std::int64_t w = fields.width;
    const std::int64_t h = fields.height;
    constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return strokes;
    if (fields.distanceField.size() != static_cast<std::uint64_t>(w * h)) return strokes;

    const double spacing = spacingPx > 2.5 ? spacingPx : 2.5;  // NaN counts as the minimum
    const VectorPoint centre{static_cast<double>(w) * 0.5, static_cast<double>(h) * 0.5};
    const double reach = std::sqrt(static_cast<double>(w * w + h * h)) * 0.55;
    const std::vector<double> angles =
        crossHatch ? std::vector<double>{angleDeg, angleDeg + 90} : std::vector<double>{angleDeg};

    // A pixel counts as deep ink at 2.8 px from the background, compared in the field's precision;
    // the outermost rows and columns never count.
    const auto isDeepInk = [&](const VectorPoint& q) {
        const auto ix = roundedInt64(q.x);
        const auto iy = roundedInt64(q.y);
        if (!ix || !iy || *ix < 1 || *ix > w - 2 || *iy < 1 || *iy > h - 2) return false;
        return fields.distanceField[static_cast<std::size_t>(*iy * w + *ix)] >= 2.8f;
    };

    for (const double angle : angles) {
        const double radians = angle * std::numbers::pi / 180;
        const double sa = std::sin(radians);
        const double ca = std::cos(radians);
        bool reverse = false;
        for (std::int64_t line = 0;; ++line) {
            const double offset = -reach + static_cast<double>(line) * spacing;
            if (!(offset <= reach)) break;
            const VectorPoint base{centre.x + offset * -sa, centre.y + offset * ca};
            // run: its first inside sample and, once it has two, the latest one.
            VectorPoint first;
            VectorPoint last;
            int runPoints = 0;
            const auto closeRun = [&] {
                if (runPoints == 2 && first.distance(last) >= 4.0) {
                    strokes.push_back(reverse ? std::vector<VectorPoint>{last, first}
                                              : std::vector<VectorPoint>{first, last});
                }
                runPoints = 0;
            };
            for (std::int64_t sample = 0;; ++sample) {
                const double t = -reach + static_cast<double>(sample) * 1.5;
                if (!(t <= reach)) break;
                const VectorPoint q{base.x + t * ca, base.y + t * sa};
                if (isDeepInk(q)) {
                    if (runPoints == 0) {
                        first = q;
                        runPoints = 1;
                    } else {
                        last = q;
                        runPoints = 2;
                    }
                } else {
                    closeRun();
                }
            }
            closeRun();
            reverse = !reverse;
        }
    }
    return strokes;
}

double computeTravelDistance(const std::vector<VectorPath>& paths) {
    if (paths.empty()) return 0;
    // On a long list the moves are measured side by side (each reads two strokes' points, which lie
    // all over memory) and then added in order: the same sum to the bit.
    constexpr std::size_t kMeasuredSideBySide = 1024;
    if (paths.size() >= kMeasuredSideBySide) {
        std::vector<double> moves(paths.size());
        parallelFor(paths.size(), kMeasuredSideBySide, [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) {
                moves[i] = (i == 0 ? VectorPoint::zero : paths[i - 1].endPoint()).distance(paths[i].startPoint());
            }
        });
        double travel = moves[0];
        for (std::size_t i = 1; i < moves.size(); ++i) travel += moves[i];
        return travel;
    }
    double travel = VectorPoint::zero.distance(paths.front().startPoint());
    for (std::size_t i = 1; i < paths.size(); ++i) travel += paths[i - 1].endPoint().distance(paths[i].startPoint());
    return travel;
}

PlotterTour optimizePlotterTour(const std::vector<VectorPath>& paths, bool enable2Opt) {
    PlotterTour tour;
    if (paths.size() < 2) {
        tour.paths = paths;
        return tour;
    }
    tour.rawTravelPx = computeTravelDistance(paths);

    std::vector<VectorPoint> starts(paths.size());  // starts[i]: paths[i].startPoint()
    std::vector<VectorPoint> ends(paths.size());    // ends[i]: paths[i].endPoint()
    for (std::size_t i = 0; i < paths.size(); ++i) {
        starts[i] = paths[i].startPoint();
        ends[i] = paths[i].endPoint();
    }
    std::vector<Placed> order = greedyOrder(starts, ends);
    if (enable2Opt) improveTwoOpt(order, starts, ends);

    tour.paths.reserve(paths.size());
    for (const Placed& placed : order) {
        tour.paths.push_back(placed.reversed ? paths[placed.stroke].reversedPath() : paths[placed.stroke]);
    }
    const double travel = computeTravelDistance(tour.paths);
    tour.optimizedTravelPx = travel < tour.rawTravelPx ? travel : tour.rawTravelPx;
    return tour;
}

}  // namespace ostrel::BezierAndPlotterOptimizer
