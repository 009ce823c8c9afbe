// Gap stitching and width classification of traced paths. See PenClassifier.h.
#include "core/pipeline/PenClassifier.h"

#include "core/support/text/NumberFormat.h"
#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>

namespace ostrel::CenterlineTracer {

namespace {

using Path = std::vector<VectorPoint>;

// ---------------------------------------------------------------------------
// Stitching
// ---------------------------------------------------------------------------

/// A path with at least 5 points whose ends are less than 2.5 px apart; never extended nor absorbed.
bool isClosedLoop(const Path& path) noexcept { return path.size() >= 5 && path.front().distance(path.back()) < 2.5; }

double norm(double x, double y) noexcept { return std::sqrt(x * x + y * y); }

/// One path end in the spatial hash.
struct EndpointEntry {
    VectorPoint pt;            // the end point
    std::int64_t pathIdx = 0;  // index of the path in the pass's input
    bool isEnd = false;        // true: the path's last point; false: its first
};

/// Path ends bucketed by square cells of side `cellSize`; each bucket keeps insertion order.
/// Cell (cx, cy) = (floor(x / s), floor(y / s)); key = low 32 bits of cx above the low 32 bits of cy.
class EndpointHash {
public:
    explicit EndpointHash(double cellSize) : cellSize_(cellSize) {}

    void insert(const EndpointEntry& entry) { cells_[key(cellOf(entry.pt.x), cellOf(entry.pt.y))].push_back(entry); }

    /// Visits the entries of the 3 × 3 cells around `tip`: rows cy − 1, cy, cy + 1, within a row the
    /// columns cx − 1, cx, cx + 1, within a cell in insertion order.
    template <class Visit>
    void forEachNear(const VectorPoint& tip, Visit&& visit) const {
        const std::int64_t cx = cellOf(tip.x);
        const std::int64_t cy = cellOf(tip.y);
        for (std::int64_t y = cy - 1; y <= cy + 1; ++y) {
            for (std::int64_t x = cx - 1; x <= cx + 1; ++x) {
                const auto it = cells_.find(key(x, y));
                if (it == cells_.end()) continue;
                for (const EndpointEntry& entry : it->second) visit(entry);
            }
        }
    }

private:
    // Cells beyond ±2^52 are clamped: clamping keeps neighbouring cells neighbours, and points that
    // far out never lie within a finite radius of a point inside the range.
    static constexpr double kCellLimit = 4503599627370496.0;

    [[nodiscard]] std::int64_t cellOf(double v) const noexcept {
        const double f = std::floor(v / cellSize_);
        if (std::isnan(f)) return 0;  // NaN points are never within reach; any cell will do
        return static_cast<std::int64_t>(std::clamp(f, -kCellLimit, kCellLimit));
    }

    [[nodiscard]] static std::uint64_t key(std::int64_t cx, std::int64_t cy) noexcept {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) |
               static_cast<std::uint64_t>(static_cast<std::uint32_t>(cy));
    }

    double cellSize_;
    std::unordered_map<std::uint64_t, std::vector<EndpointEntry>> cells_;
};

/// The best partner found for one side of the growing path.
struct Partner {
    bool found = false;
    std::int64_t pathIdx = 0;
    bool isEnd = false;
    double score = 0;
};

/// One stitching pass with search radius `radius` and alignment floor `minAlignment`.
class StitchPass {
public:
    StitchPass(const std::vector<Path>& paths, double radius, double minAlignment)
        : paths_(paths),
          radius2_(radius * radius),
          minAlignment_(minAlignment),
          hash_(std::max(radius, 4.0)),
          closed_(paths.size()),
          used_(paths.size(), false) {
        for (std::size_t i = 0; i < paths_.size(); ++i) {
            const Path& path = paths_[i];
            closed_[i] = isClosedLoop(path);
            if (path.size() < 2 || closed_[i]) continue;
            const auto idx = static_cast<std::int64_t>(i);
            hash_.insert({path.front(), idx, false});
            hash_.insert({path.back(), idx, true});
        }
    }

    std::vector<Path> run() {
        // Seeds: longest first; equal lengths keep their input order.
        std::vector<std::size_t> seeds(paths_.size());
        std::iota(seeds.begin(), seeds.end(), std::size_t{0});
        std::stable_sort(seeds.begin(), seeds.end(),
                         [&](std::size_t a, std::size_t b) { return paths_[a].size() > paths_[b].size(); });

        std::vector<Path> out;
        out.reserve(paths_.size());
        for (const std::size_t seed : seeds) {
            if (used_[seed]) continue;
            used_[seed] = true;
            if (closed_[seed]) {
                out.push_back(paths_[seed]);
                continue;
            }
            out.push_back(grow(seed));
        }
        return out;
    }

private:
    Path grow(std::size_t seed) {
        std::deque<VectorPoint> cur(paths_[seed].begin(), paths_[seed].end());
        const auto seedIdx = static_cast<std::int64_t>(seed);
        for (;;) {
            bool endSide = true;
            Partner partner = bestPartner(cur, true, seedIdx);
            if (!partner.found) {
                endSide = false;
                partner = bestPartner(cur, false, seedIdx);
            }
            if (!partner.found) break;
            used_[static_cast<std::size_t>(partner.pathIdx)] = true;
            const Path& other = paths_[static_cast<std::size_t>(partner.pathIdx)];
            // The gap becomes one straight segment between the two ends; no point is dropped.
            if (endSide) {
                if (partner.isEnd)
                    cur.insert(cur.end(), other.rbegin(), other.rend());
                else
                    cur.insert(cur.end(), other.begin(), other.end());
            } else {
                if (partner.isEnd)
                    cur.insert(cur.begin(), other.begin(), other.end());
                else
                    cur.insert(cur.begin(), other.rbegin(), other.rend());
            }
        }
        return Path(cur.begin(), cur.end());
    }

    /// The lowest-scoring reachable end for the end side (`endSide`) or the start side of `cur`;
    /// ties go to the entry met first in the cell scan.
    Partner bestPartner(const std::deque<VectorPoint>& cur, bool endSide, std::int64_t seedIdx) const {
        Partner best;
        const std::size_t n = cur.size();
        if (n < 2) return best;
        const VectorPoint tip = endSide ? cur[n - 1] : cur[0];
        const VectorPoint ref = endSide ? (n >= 5 ? cur[n - 5] : cur[0]) : (n >= 5 ? cur[4] : cur[n - 1]);
        const double dirX = tip.x - ref.x;
        const double dirY = tip.y - ref.y;
        const double dirLength = norm(dirX, dirY);

        hash_.forEachNear(tip, [&](const EndpointEntry& entry) {
            if (entry.pathIdx == seedIdx || used_[static_cast<std::size_t>(entry.pathIdx)]) return;
            const double d2 = tip.distanceSquared(entry.pt);
            if (!(d2 <= radius2_)) return;  // also drops NaN distances

            double alignment = 1.0;
            const Path& other = paths_[static_cast<std::size_t>(entry.pathIdx)];
            if (dirLength > 1e-5 && other.size() >= 2) {
                const std::size_t k = std::min<std::size_t>(other.size() - 1, 4);
                const VectorPoint inward = entry.isEnd ? other[other.size() - 1 - k] : other[k];
                const double vx = inward.x - entry.pt.x;
                const double vy = inward.y - entry.pt.y;
                const double vLength = norm(vx, vy);
                if (vLength > 1e-5) {
                    alignment = (dirX * vx + dirY * vy) / (dirLength * vLength);
                    if (!(alignment >= minAlignment_)) return;  // doubles back (or overflowed to NaN)
                    alignment = std::max(alignment, 0.0);
                }
            }
            const double score = std::sqrt(d2) * (1.5 - alignment);
            if (!best.found || score < best.score) best = {true, entry.pathIdx, entry.isEnd, score};
        });
        return best;
    }

    const std::vector<Path>& paths_;
    double radius2_;
    double minAlignment_;
    EndpointHash hash_;
    std::vector<char> closed_;  // closed_[i]: paths_[i] is a closed loop
    std::vector<char> used_;    // used_[i]: paths_[i] is a seed already or was absorbed
};

// ---------------------------------------------------------------------------
// Width measurement
// ---------------------------------------------------------------------------

/// The distance field with its size, or an empty image when the size and the data disagree.
struct FieldView {
    std::int64_t width = 0;
    std::int64_t height = 0;
    const float* distance = nullptr;  // distance[y * width + x]

    explicit FieldView(const PreprocessedFields& fields) {
        const std::int64_t w = fields.width;
        const std::int64_t h = fields.height;
        if (w <= 0 || h <= 0 || w > std::numeric_limits<std::int64_t>::max() / h) return;
        if (fields.distanceField.size() != static_cast<std::uint64_t>(w * h)) return;
        width = w;
        height = h;
        distance = fields.distanceField.data();
    }
};

/// Raw radius at one point: the largest distance over the (2q + 1)² window around the nearest pixel,
/// at least 0.5; 0.6 outside the image. NaN distances are ignored.
float sampleRadius(const VectorPoint& p, const FieldView& field, int halfWindow) noexcept {
    const auto ix = roundedInt64(p.x);
    const auto iy = roundedInt64(p.y);
    if (!ix || !iy || *ix < 0 || *ix >= field.width || *iy < 0 || *iy >= field.height) return 0.6f;
    const std::int64_t x0 = std::max<std::int64_t>(*ix - halfWindow, 0);
    const std::int64_t x1 = std::min<std::int64_t>(*ix + halfWindow, field.width - 1);
    const std::int64_t y0 = std::max<std::int64_t>(*iy - halfWindow, 0);
    const std::int64_t y1 = std::min<std::int64_t>(*iy + halfWindow, field.height - 1);
    float best = 0.5f;
    for (std::int64_t y = y0; y <= y1; ++y) {
        const float* row = field.distance + y * field.width;
        for (std::int64_t x = x0; x <= x1; ++x) {
            if (row[x] > best) best = row[x];
        }
    }
    return best;
}

/// Index of the 75th percentile in a sorted list of `count` (> 0) values.
std::size_t upperQuartileIndex(std::size_t count) noexcept { return std::min(3 * count / 4, count - 1); }

}  // namespace

std::vector<Path> stitchPaths(const std::vector<Path>& paths, double maxGap, double continuity) {
    if (paths.size() < 2 || !(maxGap > 0.5) || !std::isfinite(maxGap)) return paths;
    const double c = std::isnan(continuity) ? 0.0 : std::clamp(continuity / 100.0, 0.0, 1.0);
    const int passCount = static_cast<int>(2.0 * c) + 1;  // 2c ∈ [0, 2]: 1, 2 or 3 passes
    const double gapFactors[3] = {1.0, 1.4 + 0.8 * c, 1.8 + 1.4 * c};
    const double minAlignment = -0.65 * c - 0.25;

    std::vector<Path> current = paths;
    for (int pass = 0; pass < passCount && current.size() >= 2; ++pass) {
        const double radius = gapFactors[pass] * maxGap;
        current = StitchPass(current, radius, minAlignment).run();
    }
    return current;
}

std::vector<double> kmeans1DBreakpoints(std::vector<double> values, std::int64_t k, std::int64_t maxIterations) {
    std::erase_if(values, [](double v) { return !std::isfinite(v); });
    if (k < 2 || static_cast<std::uint64_t>(k) > values.size()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const auto clusters = static_cast<std::size_t>(k);

    // centres[i - 1] = sorted[trunc(i / (k + 1) × (n − 1))], i = 1…k.
    std::vector<double> centres(clusters);
    for (std::size_t i = 1; i <= clusters; ++i) {
        const double position = static_cast<double>(i) / static_cast<double>(clusters + 1) * static_cast<double>(n - 1);
        const std::int64_t rank =
            std::clamp<std::int64_t>(checkedInt64(position).value_or(0), 0, static_cast<std::int64_t>(n - 1));
        centres[i - 1] = values[static_cast<std::size_t>(rank)];
    }

    std::vector<double> sums(clusters);
    std::vector<std::size_t> counts(clusters);
    for (std::int64_t iteration = 0; iteration < maxIterations; ++iteration) {
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(counts.begin(), counts.end(), std::size_t{0});
        for (const double v : values) {
            std::size_t nearest = 0;
            double nearestDistance = std::abs(v - centres[0]);
            for (std::size_t c = 1; c < clusters; ++c) {
                const double d = std::abs(v - centres[c]);
                if (d < nearestDistance) {
                    nearest = c;
                    nearestDistance = d;
                }
            }
            sums[nearest] += v;
            ++counts[nearest];
        }
        double shift = 0;
        for (std::size_t c = 0; c < clusters; ++c) {
            if (counts[c] == 0) continue;  // an empty centre stays where it is
            const double mean = sums[c] / static_cast<double>(counts[c]);
            shift = std::max(shift, std::abs(mean - centres[c]));
            centres[c] = mean;
        }
        if (shift < 0.01) break;
    }

    std::sort(centres.begin(), centres.end());
    std::vector<double> breakpoints(clusters - 1);
    for (std::size_t j = 0; j + 1 < clusters; ++j) breakpoints[j] = (centres[j] + centres[j + 1]) / 2;
    return breakpoints;
}

int measurementHalfWindow(VectorAlgorithm algorithm) noexcept {
    return algorithm == VectorAlgorithm::visionContours || algorithm == VectorAlgorithm::cannyEdges ? 2 : 1;
}

double measureClassificationWidth(const Path& points, const PreprocessedFields& fields, int halfWindow) {
    if (points.empty()) return 1.0;
    const FieldView field(fields);
    const std::size_t n = points.size();
    const std::size_t stride = std::max<std::size_t>(n / 48, 1);
    std::vector<float> samples;  // samples[i]: raw radius at points[i × stride]
    samples.reserve(std::min<std::size_t>(n, 64));
    for (std::size_t i = 0; i < n; i += stride) samples.push_back(sampleRadius(points[i], field, halfWindow));
    if (samples.size() < 3) return samples.front();
    std::sort(samples.begin(), samples.end());
    return samples[upperQuartileIndex(samples.size())];
}

PathProfile measurePathProfile(const Path& points, const PreprocessedFields& fields, int halfWindow) {
    PathProfile profile;
    if (points.empty()) return profile;
    const FieldView field(fields);
    const std::size_t n = points.size();
    std::vector<double> radii(n);  // radii[i]: half-width at points[i]
    for (std::size_t i = 0; i < n; ++i) radii[i] = sampleRadius(points[i], field, halfWindow);

    if (n >= 3) {
        std::vector<double> next(n);
        for (int pass = 0; pass < 3; ++pass) {
            next[0] = 0.7 * radii[0] + 0.3 * radii[1];
            for (std::size_t i = 1; i + 1 < n; ++i)
                next[i] = 0.25 * radii[i - 1] + 0.5 * radii[i] + 0.25 * radii[i + 1];
            next[n - 1] = 0.3 * radii[n - 2] + 0.7 * radii[n - 1];
            radii.swap(next);
        }
    }

    std::vector<double> sorted = radii;
    std::sort(sorted.begin(), sorted.end());
    profile.radiusPx = std::max(sorted[upperQuartileIndex(n)], 0.5);
    profile.pointRadii = std::move(radii);
    return profile;
}

PenClassification measureAndClassifyPens(const std::vector<Path>& rawPaths, const PreprocessedFields& fields,
                                         const VectorizerParams& params) {
    const auto pens = static_cast<std::size_t>(std::clamp<std::int64_t>(params.penCount, 1, 4));
    const int halfWindow = measurementHalfWindow(params.algorithm);
    // Paths are measured independently of each other, in parallel.
    const auto measure = [&](std::vector<Path> group) {
        std::vector<ClassifiedPath> measured(group.size());
        parallelFor(group.size(), 8, [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) {
                PathProfile profile = measurePathProfile(group[i], fields, halfWindow);
                measured[i] = {std::move(group[i]), profile.radiusPx, std::move(profile.pointRadii)};
            }
        });
        return measured;
    };

    PenClassification result;
    if (pens == 1) {
        result.pathsByPen.push_back(measure(stitchPaths(rawPaths, params.maxStitchGapPx, params.continuity)));
        return result;
    }

    std::vector<double> widths(rawPaths.size());  // widths[i]: classification width of rawPaths[i]
    std::vector<double> positive;
    positive.reserve(rawPaths.size());
    parallelFor(rawPaths.size(), 16, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
            widths[i] = measureClassificationWidth(rawPaths[i], fields, halfWindow);
    });
    for (const double width : widths) {
        if (width > 0) positive.push_back(width);
    }
    result.breakpoints = kmeans1DBreakpoints(std::move(positive), static_cast<std::int64_t>(pens), 25);

    std::vector<std::vector<Path>> groups(pens);
    for (std::size_t i = 0; i < rawPaths.size(); ++i) {
        std::size_t pen = 0;
        for (const double breakpoint : result.breakpoints) {
            if (breakpoint < widths[i]) ++pen;
        }
        groups[std::min(pen, pens - 1)].push_back(rawPaths[i]);
    }
    // The pens' groups are stitched at the same time (each on its own), then every path of every group
    // is measured in one parallel loop; results stay in group order.
    std::vector<std::vector<Path>> stitched(pens);
    const auto stitchGroups = [&](std::size_t first, std::size_t last) {
        for (std::size_t pen = first; pen < last; ++pen) {
            stitched[pen] = stitchPaths(groups[pen], params.maxStitchGapPx, params.continuity);
        }
    };
    // Only two paths or more can be stitched: fewer (a blank or tiny image) are worth no thread.
    if (rawPaths.size() < 2) {
        stitchGroups(0, pens);
    } else {
        parallelFor(pens, 1, stitchGroups);
    }
    std::vector<std::pair<std::size_t, std::size_t>> slots;  // (group, index in group) of every path
    for (std::size_t pen = 0; pen < pens; ++pen) {
        result.pathsByPen.emplace_back(stitched[pen].size());
        for (std::size_t i = 0; i < stitched[pen].size(); ++i) slots.emplace_back(pen, i);
    }
    parallelFor(slots.size(), 8, [&](std::size_t first, std::size_t last) {
        for (std::size_t s = first; s < last; ++s) {
            const auto [pen, i] = slots[s];
            PathProfile profile = measurePathProfile(stitched[pen][i], fields, halfWindow);
            result.pathsByPen[pen][i] = {std::move(stitched[pen][i]), profile.radiusPx, std::move(profile.pointRadii)};
        }
    });
    return result;
}

}  // namespace ostrel::CenterlineTracer
