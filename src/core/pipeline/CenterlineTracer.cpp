// Chains of a thinned skeleton: walks from endpoints, then from junctions, then around closed loops;
// optional Steger sub-pixel refinement on the ridge field with one smoothing pass; optional joining of
// chains that continue each other across a junction.
//
// The walk scans only the 8 neighbours of the current pixel and consumes every pixel once, so tracing
// is linear in the skeleton's size. Joining looks for partners through a uniform grid of chain ends,
// so each extension costs only the ends near the tip (a scan of every chain per extension would be
// quadratic); its result is the same as the scan's.
//
// Sub-pixel ridge position: C. Steger, "An unbiased detector of curvilinear structures", PAMI 20(2), 1998.
#include "core/pipeline/CenterlineTracer.h"

#include "core/support/text/NumberFormat.h"
#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <numeric>
#include <unordered_map>

namespace ostrel::CenterlineTracer {

namespace {

struct Step {
    int dy;
    int dx;
};

// Tracing order: NW, N, NE, W, E, SW, S, SE. Every neighbour scan uses it; it decides ties.
constexpr std::array<Step, 8> kTraceOrder{{{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}}};

constexpr double kJunctionGap = 3.2;

// A skeleton being traced. `work[y * w + x]`: 0 once the pixel is in a chain (or was never set, or
// lies on the border), otherwise 1 + its degree: the number of its 8 neighbours set in the skeleton as
// given (border clear), which never changes while tracing.
struct Skeleton {
    std::ptrdiff_t w = 0;
    std::ptrdiff_t h = 0;
    std::vector<std::uint8_t> work;

    // Extends `chain` (whose last pixel is already cleared) by the best-scored walk; stops on the first
    // junction pixel reached.
    void walk(std::vector<std::ptrdiff_t>& chain) {
        std::ptrdiff_t current = chain.back();
        int pdx = 0;
        int pdy = 0;
        while (true) {
            int bestScore = std::numeric_limits<int>::min();
            std::ptrdiff_t best = -1;
            Step bestStep{0, 0};
            for (const Step s : kTraceOrder) {
                const std::ptrdiff_t q = current + s.dy * w + s.dx;
                if (work[static_cast<std::size_t>(q)] == 0) continue;
                const int score = 4 * (s.dx * pdx + s.dy * pdy) + ((s.dx == 0 || s.dy == 0) ? 2 : 1);
                if (score > bestScore) {
                    bestScore = score;
                    best = q;
                    bestStep = s;
                }
            }
            if (best < 0) return;
            const int degree = work[static_cast<std::size_t>(best)] - 1;
            work[static_cast<std::size_t>(best)] = 0;
            chain.push_back(best);
            pdx = bestStep.dx;
            pdy = bestStep.dy;
            if (degree >= 3) return;
            current = best;
        }
    }
};

// The pixel chains of the skeleton in the order endpoint chains, junction chains, loop chains. Sets
// up `sk.work` from `skeleton` (w × h, border treated as clear) first.
std::vector<std::vector<std::ptrdiff_t>> tracePixelChains(Skeleton& sk, const std::vector<std::uint8_t>& skeleton) {
    // Set pixels, endpoints (degree 1) and junctions (degree ≥ 3) in raster order, gathered by bands of
    // rows in parallel and joined in band order. The skeleton is sparse: rows are scanned eight bytes
    // at a time, and only set pixels are written into the zeroed work image.
    struct Found {
        std::vector<std::ptrdiff_t> all;
        std::vector<std::ptrdiff_t> endpoints;
        std::vector<std::ptrdiff_t> junctions;
    };
    const std::ptrdiff_t w = sk.w;
    const std::ptrdiff_t h = sk.h;
    const std::uint8_t* in = skeleton.data();
    // Set in the skeleton as given, the border clear (q is never outside the image here).
    const auto isSet = [&](std::ptrdiff_t q) {
        const std::ptrdiff_t x = q % w;
        const std::ptrdiff_t y = q / w;
        return x > 0 && x + 1 < w && y > 0 && y + 1 < h && in[q] != 0;
    };
    const auto interiorRows = static_cast<std::size_t>(h - 2);
    const std::size_t bandCount = rowBandCount(interiorRows);
    std::vector<Found> found(bandCount);
    parallelFor(bandCount, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            const auto y0 = static_cast<std::ptrdiff_t>(1 + b * interiorRows / bandCount);
            const auto y1 = static_cast<std::ptrdiff_t>(1 + (b + 1) * interiorRows / bandCount);
            for (std::ptrdiff_t y = y0; y < y1; ++y) {
                std::ptrdiff_t x = 1;
                while (x + 1 < w) {
                    const std::ptrdiff_t p = y * w + x;
                    if (x + 9 <= w) {
                        std::uint64_t eight = 0;
                        std::memcpy(&eight, in + p, sizeof eight);
                        if (eight == 0) {
                            x += 8;
                            continue;
                        }
                    }
                    ++x;
                    if (in[p] == 0) continue;
                    int degree = 0;
                    for (const Step s : kTraceOrder) degree += isSet(p + s.dy * w + s.dx) ? 1 : 0;
                    sk.work[static_cast<std::size_t>(p)] = static_cast<std::uint8_t>(1 + degree);
                    found[b].all.push_back(p);
                    if (degree == 1) found[b].endpoints.push_back(p);
                    if (degree >= 3) found[b].junctions.push_back(p);
                }
            }
        }
    });
    std::vector<std::ptrdiff_t> all;
    std::vector<std::ptrdiff_t> endpoints;
    std::vector<std::ptrdiff_t> junctions;
    for (const Found& band : found) {
        all.insert(all.end(), band.all.begin(), band.all.end());
        endpoints.insert(endpoints.end(), band.endpoints.begin(), band.endpoints.end());
        junctions.insert(junctions.end(), band.junctions.begin(), band.junctions.end());
    }

    std::vector<std::vector<std::ptrdiff_t>> chains;
    for (const std::ptrdiff_t e : endpoints) {
        if (sk.work[static_cast<std::size_t>(e)] == 0) continue;
        sk.work[static_cast<std::size_t>(e)] = 0;
        std::vector<std::ptrdiff_t> chain{e};
        sk.walk(chain);
        if (chain.size() >= 2) chains.push_back(std::move(chain));
    }
    for (const std::ptrdiff_t j : junctions) {
        sk.work[static_cast<std::size_t>(j)] = 0;
        for (const Step s : kTraceOrder) {
            const std::ptrdiff_t q = j + s.dy * sk.w + s.dx;
            if (sk.work[static_cast<std::size_t>(q)] == 0) continue;
            sk.work[static_cast<std::size_t>(q)] = 0;
            std::vector<std::ptrdiff_t> chain{j, q};
            sk.walk(chain);
            chains.push_back(std::move(chain));
        }
    }
    for (const std::ptrdiff_t p : all) {
        if (sk.work[static_cast<std::size_t>(p)] == 0) continue;
        sk.work[static_cast<std::size_t>(p)] = 0;
        std::vector<std::ptrdiff_t> chain{p};
        sk.walk(chain);
        if (chain.size() < 3) continue;
        const std::ptrdiff_t first = chain.front();
        const std::ptrdiff_t last = chain.back();
        const std::ptrdiff_t dx = first % sk.w - last % sk.w;
        const std::ptrdiff_t dy = first / sk.w - last / sk.w;
        if (dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1) chain.push_back(first);
        chains.push_back(std::move(chain));
    }
    return chains;
}

// --- Joining across junctions -------------------------------------------------------------------

struct Partner {
    std::size_t index = 0;
    bool reversed = false;  // found at its last point
};

// Direction of a chain end: from `from` towards `to`, normalised; none when shorter than 1e-5.
std::optional<VectorPoint> unitDirection(const VectorPoint& from, const VectorPoint& to) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 1e-5)) return std::nullopt;
    return VectorPoint{dx / length, dy / length};
}

// Offers both ends of chain j (first point, then last) as partners of the tip with outward
// direction u; a candidate wins only with a strictly greater cosine.
void considerChain(const std::vector<VectorPoint>& chain, std::size_t j, const VectorPoint& tip, const VectorPoint& u,
                   double gapSquared, double& best, std::optional<Partner>& partner) {
    const std::size_t count = chain.size();
    const std::size_t k2 = std::min<std::size_t>(count - 1, 5);
    const auto offer = [&](const VectorPoint& near, const VectorPoint& inward, bool reversed) {
        if (!(tip.distanceSquared(near) <= gapSquared)) return;
        const auto v = unitDirection(near, inward);
        if (!v) return;
        const double cosine = u.x * v->x + u.y * v->y;
        if (cosine > best) {
            best = cosine;
            partner = Partner{j, reversed};
        }
    };
    offer(chain.front(), chain[k2], false);
    offer(chain.back(), chain[count - 1 - k2], true);
}

// Uniform grid over the chain ends (first and last points of every chain of 2 or more points). A
// query returns, in ascending order, every chain with an end that can lie within the gap of a tip;
// ends whose cell cannot be numbered, and every chain when the gap itself is not finite, are always
// returned, so the query never misses what a scan over all chains would find.
class EndIndex {
public:
    EndIndex(const std::vector<std::vector<VectorPoint>>& chains, double gap) : chains_(chains) {
        const double reach = std::abs(gap);
        scanAll_ = !std::isfinite(reach) || reach > 1e12;
        cell_ = std::max(reach, 1.0);
        reach_ = reach;
        if (scanAll_) return;
        for (std::size_t j = 0; j < chains.size(); ++j) {
            if (chains[j].size() < 2) continue;
            insert(chains[j].front(), j);
            insert(chains[j].back(), j);
        }
    }

    // Ascending chain indices that may have an end within the gap of `tip`.
    void query(const VectorPoint& tip, std::vector<std::size_t>& out) const {
        out.clear();
        if (scanAll_) {
            out.resize(chains_.size());
            std::iota(out.begin(), out.end(), std::size_t{0});
            return;
        }
        // A tip that is not finite has no end within any gap.
        if (!std::isfinite(tip.x) || !std::isfinite(tip.y)) return;
        const auto x0 = cellOf(tip.x - reach_);
        const auto x1 = cellOf(tip.x + reach_);
        const auto y0 = cellOf(tip.y - reach_);
        const auto y1 = cellOf(tip.y + reach_);
        out = unplaced_;
        if (!x0 || !x1 || !y0 || !y1) {
            for (const auto& [key, list] : cells_) out.insert(out.end(), list.begin(), list.end());
        } else {
            // One cell of margin on every side absorbs rounding at the cell boundaries.
            for (std::int64_t cy = *y0 - 1; cy <= *y1 + 1; ++cy) {
                for (std::int64_t cx = *x0 - 1; cx <= *x1 + 1; ++cx) {
                    const auto found = cells_.find(key(cx, cy));
                    if (found != cells_.end()) out.insert(out.end(), found->second.begin(), found->second.end());
                }
            }
        }
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }

private:
    // Cell numbers stay within ±2^40 so that keys and the ±1 margin never overflow.
    [[nodiscard]] std::optional<std::int64_t> cellOf(double coordinate) const {
        const double c = std::floor(coordinate / cell_);
        if (!(std::abs(c) < 1099511627776.0)) return std::nullopt;
        return checkedInt64(c);
    }

    static std::uint64_t key(std::int64_t cx, std::int64_t cy) {
        return (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint64_t>(cy) * 0x9E3779B97F4A7C15ULL;
    }

    void insert(const VectorPoint& p, std::size_t j) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;  // never within a gap of anything
        const auto cx = cellOf(p.x);
        const auto cy = cellOf(p.y);
        if (!cx || !cy) {
            unplaced_.push_back(j);
            return;
        }
        // Distinct cells may share a key; a shared list only adds candidates, which are checked exactly.
        cells_[key(*cx, *cy)].push_back(j);
    }

    const std::vector<std::vector<VectorPoint>>& chains_;
    double cell_ = 1.0;
    double reach_ = 0.0;
    bool scanAll_ = false;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> cells_;
    std::vector<std::size_t> unplaced_;
};

}  // namespace

std::vector<std::vector<VectorPoint>> mergeCollinearJunctions(const std::vector<std::vector<VectorPoint>>& chains,
                                                              double maxJunctionGap) {
    std::vector<std::size_t> seeds(chains.size());
    std::iota(seeds.begin(), seeds.end(), std::size_t{0});
    std::stable_sort(seeds.begin(), seeds.end(),
                     [&](std::size_t a, std::size_t b) { return chains[a].size() > chains[b].size(); });

    const double gapSquared = maxJunctionGap * maxJunctionGap;
    const EndIndex index(chains, maxJunctionGap);
    std::vector<bool> used(chains.size(), false);
    std::vector<std::size_t> nearby;
    std::vector<std::vector<VectorPoint>> output;
    output.reserve(chains.size());

    for (const std::size_t seed : seeds) {
        if (used[seed]) continue;
        used[seed] = true;
        std::vector<VectorPoint> current = chains[seed];

        bool extended = true;
        while (extended) {
            extended = false;
            for (const bool atEnd : {true, false}) {
                if (current.size() < 2) continue;
                const std::size_t count = current.size();
                const std::size_t k = std::min<std::size_t>(5, count - 1);
                const VectorPoint tip = atEnd ? current[count - 1] : current[0];
                const VectorPoint reference = atEnd ? current[count - 1 - k] : current[k];
                const auto u = unitDirection(reference, tip);
                if (!u) continue;

                double best = 0.55;
                std::optional<Partner> partner;
                index.query(tip, nearby);
                for (const std::size_t j : nearby) {
                    if (used[j] || chains[j].size() < 2) continue;
                    considerChain(chains[j], j, tip, *u, gapSquared, best, partner);
                }
                if (!partner) continue;

                used[partner->index] = true;
                std::vector<VectorPoint> points = chains[partner->index];
                if (partner->reversed) std::reverse(points.begin(), points.end());  // near end first
                if (atEnd) {
                    const std::size_t skip = tip.distanceSquared(points.front()) < 1.1 ? 1 : 0;
                    current.insert(current.end(), points.begin() + static_cast<std::ptrdiff_t>(skip), points.end());
                } else {
                    std::reverse(points.begin(), points.end());  // near end last
                    if (tip.distanceSquared(points.back()) < 1.1) points.pop_back();
                    current.insert(current.begin(), points.begin(), points.end());
                }
                extended = true;
                break;  // restart with the end side
            }
        }
        output.push_back(std::move(current));
    }
    return output;
}

VectorPoint refinePointSubpixel(std::int64_t x, std::int64_t y, const PreprocessedFields& fields) {
    const VectorPoint pixel{static_cast<double>(x), static_cast<double>(y)};
    const std::int64_t w = fields.width;
    const std::int64_t h = fields.height;
    if (x < 1 || x >= w - 1 || y < 1 || y >= h - 1) return pixel;
    if (fields.ridgeField.size() / static_cast<std::size_t>(w) < static_cast<std::size_t>(h)) return pixel;
    const auto r = [&](std::int64_t px, std::int64_t py) {
        return fields.ridgeField[static_cast<std::size_t>(py * w + px)];
    };

    const double c = r(x, y);
    const double rxx = static_cast<double>(r(x + 1, y)) - 2.0 * c + static_cast<double>(r(x - 1, y));
    const double ryy = static_cast<double>(r(x, y + 1)) - 2.0 * c + static_cast<double>(r(x, y - 1));
    const float mixed = r(x + 1, y + 1) - r(x - 1, y + 1) - r(x + 1, y - 1) + r(x - 1, y - 1);
    const double rxy = static_cast<double>(mixed) * 0.25;

    const double lambda = (rxx + ryy - std::sqrt((rxx - ryy) * (rxx - ryy) + 4.0 * rxy * rxy)) * 0.5;
    double nx = 0;
    double ny = 0;
    if (std::abs(rxy) > 1e-6) {
        nx = lambda - ryy;
        ny = rxy;
    } else if (rxx < ryy) {
        nx = 1;
    } else {
        ny = 1;
    }
    const double length = std::sqrt(nx * nx + ny * ny);
    if (!(length > 1e-8)) return pixel;
    nx /= length;
    ny /= length;

    const double d2 = nx * nx * rxx + 2.0 * nx * ny * rxy + ny * ny * ryy;
    if (!(d2 < -1e-5)) return pixel;  // no ridge across the line
    const double gx = static_cast<double>(r(x + 1, y) - r(x - 1, y));
    const double gy = static_cast<double>(r(x, y + 1) - r(x, y - 1));
    const double t = std::clamp(-(0.5 * gx * nx + 0.5 * gy * ny) / d2, -0.55, 0.55);
    return {pixel.x + t * nx, pixel.y + t * ny};
}

std::vector<std::vector<VectorPoint>> traceSkeletonChains(const std::vector<std::uint8_t>& skeleton,
                                                          const PreprocessedFields& fields, std::int64_t minLength,
                                                          bool stegerSubpixel, bool crossJunctions) {
    const std::int64_t width = fields.width;
    const std::int64_t height = fields.height;
    if (width < 3 || height < 3) return {};
    if (width > std::numeric_limits<std::ptrdiff_t>::max() / height) return {};
    const auto count = static_cast<std::size_t>(width * height);
    if (skeleton.size() < count) return {};

    // The border is treated as clear (thinning guarantees it), which keeps every neighbour in range.
    Skeleton sk;
    sk.w = static_cast<std::ptrdiff_t>(width);
    sk.h = static_cast<std::ptrdiff_t>(height);
    sk.work = prefaultedVector<std::uint8_t>(count);
    const std::vector<std::vector<std::ptrdiff_t>> pixelChains = tracePixelChains(sk, skeleton);

    // Pixel chains to points; each chain on its own, in parallel, kept in order.
    std::vector<std::optional<std::vector<VectorPoint>>> converted(pixelChains.size());
    parallelFor(pixelChains.size(), 16, [&](std::size_t first, std::size_t last) {
        for (std::size_t c = first; c < last; ++c) {
            const auto& pixels = pixelChains[c];
            const auto n = static_cast<std::int64_t>(pixels.size());
            const bool keep = minLength > 1 ? (n >= minLength || (n >= 2 && crossJunctions)) : n >= 2;
            if (!keep) continue;
            std::vector<VectorPoint> points;
            points.reserve(pixels.size());
            for (const std::ptrdiff_t p : pixels) {
                const std::int64_t x = p % sk.w;
                const std::int64_t y = p / sk.w;
                points.push_back(stegerSubpixel ? refinePointSubpixel(x, y, fields)
                                                : VectorPoint{static_cast<double>(x), static_cast<double>(y)});
            }
            if (stegerSubpixel && points.size() >= 4) {
                const std::vector<VectorPoint> raw = points;
                for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
                    points[i].x = 0.25 * raw[i - 1].x + 0.5 * raw[i].x + 0.25 * raw[i + 1].x;
                    points[i].y = 0.25 * raw[i - 1].y + 0.5 * raw[i].y + 0.25 * raw[i + 1].y;
                }
            }
            converted[c] = std::move(points);
        }
    });
    std::vector<std::vector<VectorPoint>> chains;
    chains.reserve(pixelChains.size());
    for (auto& points : converted) {
        if (points) chains.push_back(std::move(*points));
    }

    if (crossJunctions && chains.size() >= 2) chains = mergeCollinearJunctions(chains, kJunctionGap);

    const auto minimum = static_cast<std::size_t>(std::max<std::int64_t>(minLength, 2));
    std::erase_if(chains, [minimum](const std::vector<VectorPoint>& chain) { return chain.size() < minimum; });
    return chains;
}

}  // namespace ostrel::CenterlineTracer
