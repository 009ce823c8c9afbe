#include "core/pipeline/CenterlineTracer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <utility>

namespace ostrel {
namespace {

using namespace CenterlineTracer;
using Chain = std::vector<VectorPoint>;
using Pixels = std::set<std::pair<int, int>>;  // (x, y)

struct Mask {
    int w;
    int h;
    std::vector<std::uint8_t> bytes;

    Mask(int width, int height) : w(width), h(height), bytes(std::size_t(width * height), 0) {}
    void set(int x, int y, std::uint8_t v = 1) { bytes[std::size_t(y * w + x)] = v; }
    [[nodiscard]] Pixels pixels() const {
        Pixels out;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (bytes[std::size_t(y * w + x)] != 0) out.insert({x, y});
            }
        }
        return out;
    }
    [[nodiscard]] PreprocessedFields fields() const {
        PreprocessedFields f;
        f.width = w;
        f.height = h;
        f.binary = bytes;
        f.distanceField.assign(bytes.size(), 0.0f);
        f.ridgeField.assign(bytes.size(), 0.0f);
        return f;
    }
};

Chain pointsOf(std::initializer_list<std::pair<int, int>> pixels) {
    Chain out;
    for (const auto& [x, y] : pixels) out.push_back({double(x), double(y)});
    return out;
}

Chain line(int x0, int y0, int x1, int y1) {
    Chain out;
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= n; ++i) {
        out.push_back({double(x0 + (x1 - x0) * i / std::max(n, 1)), double(y0 + (y1 - y0) * i / std::max(n, 1))});
    }
    return out;
}

// --- Thinning --------------------------------------------------------------------------------------

// Guo-Hall as written, with the conditions evaluated directly and full-image scans.
std::vector<std::uint8_t> directGuoHall(std::vector<std::uint8_t> img, int w, int h, int maxIterations) {
    if (w < 3 || h < 3) return img;
    for (int x = 0; x < w; ++x) img[std::size_t(x)] = img[std::size_t((h - 1) * w + x)] = 0;
    for (int y = 0; y < h; ++y) img[std::size_t(y * w)] = img[std::size_t(y * w + w - 1)] = 0;
    const auto neighbours = [&](int p) {
        const int offsets[8] = {-w, -w + 1, 1, w + 1, w, w - 1, -1, -w - 1};
        std::array<bool, 8> b{};
        for (int i = 0; i < 8; ++i) b[std::size_t(i)] = img[std::size_t(p + offsets[i])] != 0;
        return b;
    };
    const auto deletable = [](const std::array<bool, 8>& b, int sub) {
        const int c = (!b[0] && (b[1] || b[2])) + (!b[2] && (b[3] || b[4])) + (!b[4] && (b[5] || b[6])) +
                      (!b[6] && (b[7] || b[0]));
        const int n1 = (b[7] || b[0]) + (b[1] || b[2]) + (b[3] || b[4]) + (b[5] || b[6]);
        const int n2 = (b[0] || b[1]) + (b[2] || b[3]) + (b[4] || b[5]) + (b[6] || b[7]);
        const int n = std::min(n1, n2);
        const bool m = sub == 0 ? ((b[0] || b[1] || !b[3]) && b[2]) : ((b[4] || b[5] || !b[7]) && b[6]);
        return c == 1 && (n == 2 || n == 3) && !m;
    };
    for (int it = 0; it < maxIterations; ++it) {
        bool any = false;
        for (int sub = 0; sub < 2; ++sub) {
            std::vector<int> marked;
            for (int y = 1; y < h - 1; ++y) {
                for (int x = 1; x < w - 1; ++x) {
                    const int p = y * w + x;
                    if (img[std::size_t(p)] && deletable(neighbours(p), sub)) marked.push_back(p);
                }
            }
            for (int p : marked) img[std::size_t(p)] = 0;
            any = any || !marked.empty();
        }
        if (!any) break;
    }
    std::vector<int> stairs;
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            const int p = y * w + x;
            if (!img[std::size_t(p)]) continue;
            const auto b = neighbours(p);
            const int count = std::accumulate(b.begin(), b.end(), 0);
            if (count == 2 && !b[1] && !b[3] && !b[5] && !b[7] && (b[0] || b[4]) && (b[2] || b[6])) stairs.push_back(p);
        }
    }
    for (int p : stairs) img[std::size_t(p)] = 0;
    return img;
}

TEST(GuoHallThinning, MatchesTheDirectMethodOnRandomMasks) {
    std::mt19937 random(11);
    for (int round = 0; round < 60; ++round) {
        const int w = 3 + int(random() % 40);
        const int h = 3 + int(random() % 40);
        const double density = 0.2 + 0.75 * double(random() % 100) / 100.0;
        std::bernoulli_distribution ink(density);
        // Blobs: random discs make thick strokes, random pixels make noise.
        Mask mask(w, h);
        for (int i = 0; i < w * h; ++i) mask.bytes[std::size_t(i)] = ink(random) ? 200 : 0;
        const int iterations = round % 5 == 0 ? int(random() % 3) : 120;
        SCOPED_TRACE(testing::Message() << w << "x" << h << " it " << iterations);
        ASSERT_EQ(thinGuoHall(mask.bytes, w, h, iterations), directGuoHall(mask.bytes, w, h, iterations));
    }
}

struct ThinCase {
    const char* name;
    int w;
    int h;
    std::vector<std::pair<int, int>> in;
    std::vector<std::pair<int, int>> out;
};

std::vector<std::pair<int, int>> filled(int x0, int y0, int x1, int y1) {
    std::vector<std::pair<int, int>> out;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) out.push_back({x, y});
    }
    return out;
}

TEST(GuoHallThinning, SmallMasks) {
    const std::vector<ThinCase> cases{
        {"square", 5, 5, filled(1, 1, 3, 3), {{2, 2}}},
        {"isolated pixel", 5, 5, {{2, 2}}, {{2, 2}}},
        {"bar", 12, 7, filled(2, 2, 9, 4), {{3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 3}, {8, 3}}},
        {"stair", 6, 5, {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 3}}, {{1, 1}, {2, 2}, {3, 3}, {4, 3}}},
        {"border ink", 6, 5, filled(0, 0, 5, 0), {}},
        {"ink on the border column", 5, 6, {{0, 1}, {0, 2}, {1, 2}, {2, 2}, {3, 2}}, {{1, 2}, {2, 2}, {3, 2}}},
    };
    for (const ThinCase& c : cases) {
        SCOPED_TRACE(c.name);
        Mask mask(c.w, c.h);
        for (const auto& [x, y] : c.in) mask.set(x, y, 255);
        const auto out = thinGuoHall(mask.bytes, c.w, c.h, 120);
        Mask result(c.w, c.h);
        result.bytes = out;
        EXPECT_EQ(result.pixels(), Pixels(c.out.begin(), c.out.end()));
        for (const auto b : out) EXPECT_TRUE(b == 0 || b == 255);  // kept pixels keep their value
    }
}

TEST(GuoHallThinning, TinyMasksAndZeroIterations) {
    const std::vector<std::uint8_t> tiny{1, 1, 1, 1, 0, 1};
    EXPECT_EQ(thinGuoHall(tiny, 2, 3, 120), tiny);
    EXPECT_EQ(thinGuoHall(tiny, 3, 2, 120), tiny);
    // No rounds: only the border is cleared and the staircase corner removed.
    Mask mask(6, 5);
    for (const auto& [x, y] : filled(0, 0, 5, 4)) mask.set(x, y);
    Mask expected(6, 5);
    for (const auto& [x, y] : filled(1, 1, 4, 3)) expected.set(x, y);
    EXPECT_EQ(thinGuoHall(mask.bytes, 6, 5, 0), expected.bytes);
    Mask stair(6, 5);
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 1}, {2, 2}}) stair.set(x, y);
    Mask stairOut(6, 5);
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 2}}) stairOut.set(x, y);
    EXPECT_EQ(thinGuoHall(stair.bytes, 6, 5, 0), stairOut.bytes);
}

// --- Tracing ---------------------------------------------------------------------------------------

std::vector<Chain> trace(const Mask& mask, std::int64_t minLength, bool crossJunctions, bool steger = false) {
    return traceSkeletonChains(mask.bytes, mask.fields(), minLength, steger, crossJunctions);
}

// The T: bar on row 5 from x 1 to 9, stem at x 5 from y 6 to 9.
Mask tShape() {
    Mask mask(11, 11);
    for (int x = 1; x <= 9; ++x) mask.set(x, 5);
    for (int y = 6; y <= 9; ++y) mask.set(5, y);
    return mask;
}

TEST(CenterlineTracing, TShapeStopsAtJunctionsAndJoinsTheBar) {
    const Mask t = tShape();
    EXPECT_EQ(
        trace(t, 2, false),
        (std::vector<Chain>{pointsOf({{1, 5}, {2, 5}, {3, 5}, {4, 5}}), pointsOf({{9, 5}, {8, 5}, {7, 5}, {6, 5}}),
                            pointsOf({{5, 9}, {5, 8}, {5, 7}, {5, 6}}), pointsOf({{4, 5}, {5, 5}})}));
    EXPECT_EQ(trace(t, 2, true),
              (std::vector<Chain>{pointsOf({{1, 5}, {2, 5}, {3, 5}, {4, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}}),
                                  pointsOf({{5, 9}, {5, 8}, {5, 7}, {5, 6}}), pointsOf({{4, 5}, {5, 5}})}));
}

TEST(CenterlineTracing, CrossIsCrossedStraightThrough) {
    Mask plus(11, 11);
    for (int i = 1; i <= 9; ++i) {
        plus.set(i, 5);
        plus.set(5, i);
    }
    EXPECT_EQ(trace(plus, 2, true),
              (std::vector<Chain>{pointsOf({{5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 6}, {5, 7}, {5, 8}, {5, 9}}),
                                  pointsOf({{1, 5}, {2, 5}, {3, 5}, {4, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}}),
                                  pointsOf({{5, 4}, {5, 5}})}));
    EXPECT_EQ(trace(plus, 2, false).size(), 5u);  // four arms and the junction chain
}

TEST(CenterlineTracing, ClosedRingAndStraightLine) {
    // A diamond of diagonal steps: every pixel has exactly two neighbours.
    Mask ring(11, 11);
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 11; ++x) {
            if (std::abs(x - 5) + std::abs(y - 5) == 3) ring.set(x, y);
        }
    }
    ASSERT_EQ(ring.pixels().size(), 12u);
    const auto chains = trace(ring, 2, true);
    ASSERT_EQ(chains.size(), 1u);
    EXPECT_EQ(chains[0].size(), 13u);
    EXPECT_EQ(chains[0].front(), (VectorPoint{5, 2}));
    EXPECT_EQ(chains[0].back(), chains[0].front());
    EXPECT_EQ(chains[0][1], (VectorPoint{4, 3}));  // first step: south-west comes before south-east
    std::set<std::pair<int, int>> visited;
    for (const auto& p : chains[0]) visited.insert({int(p.x), int(p.y)});
    EXPECT_EQ(visited, ring.pixels());

    Mask diagonal(8, 8);
    for (int i = 1; i <= 6; ++i) diagonal.set(7 - i, i);
    EXPECT_EQ(trace(diagonal, 2, true), (std::vector<Chain>{line(6, 1, 1, 6)}));
}

TEST(CenterlineTracing, IsolatedPixelsTinyMasksAndSetBordersGiveNoChains) {
    Mask dot(5, 5);
    dot.set(2, 2);
    EXPECT_TRUE(trace(dot, 0, true).empty());
    Mask tiny(2, 9);
    tiny.set(0, 3);
    tiny.set(1, 4);
    EXPECT_TRUE(trace(tiny, 2, true).empty());
    // A skeleton with set border pixels (never made by thinning) is read as if the border were clear.
    Mask border(6, 6);
    for (int x = 0; x < 6; ++x) border.set(x, 0);
    for (int y = 0; y < 6; ++y) border.set(5, y);
    EXPECT_TRUE(trace(border, 2, true).empty());
}

TEST(CenterlineTracing, ShortBranchesSurviveOnlyWhenJoined) {
    // A 5-pixel piece with nothing to join: dropped with minLength 8 either way.
    Mask lone(12, 5);
    for (int x = 2; x <= 6; ++x) lone.set(x, 2);
    EXPECT_TRUE(trace(lone, 8, false).empty());
    EXPECT_TRUE(trace(lone, 8, true).empty());
    EXPECT_EQ(trace(lone, 4, false).size(), 1u);

    // Two collinear 5-pixel pieces 3 px apart: joined into a 10-point chain only with crossJunctions.
    Mask pair(16, 5);
    for (int x = 1; x <= 5; ++x) pair.set(x, 2);
    for (int x = 8; x <= 12; ++x) pair.set(x, 2);
    EXPECT_TRUE(trace(pair, 8, false).empty());
    const auto joined = trace(pair, 8, true);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].size(), 10u);
}

// --- Sub-pixel refinement --------------------------------------------------------------------------

PreprocessedFields ridgeAt(double centreX, int w = 11, int h = 9) {
    PreprocessedFields f;
    f.width = w;
    f.height = h;
    f.ridgeField.resize(std::size_t(w * h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            f.ridgeField[std::size_t(y * w + x)] = float(std::exp(-(x - centreX) * (x - centreX) / 2.0));
        }
    }
    return f;
}

TEST(StegerRefinement, MovesAcrossTheRidgeAndNoFurther) {
    const PreprocessedFields f = ridgeAt(5.3);
    const VectorPoint p = refinePointSubpixel(5, 4, f);
    EXPECT_NEAR(p.x, 5.3, 0.08);
    EXPECT_EQ(p.y, 4.0);  // the normal is horizontal
    // A pixel beside the centre would step about 5.5 px: clamped to 0.55.
    const VectorPoint side = refinePointSubpixel(4, 4, ridgeAt(5.0));
    EXPECT_DOUBLE_EQ(side.x, 4.55);
    EXPECT_EQ(side.y, 4.0);
    // Border pixels, flat fields and valleys keep their integer position.
    EXPECT_EQ(refinePointSubpixel(0, 4, f), (VectorPoint{0, 4}));
    EXPECT_EQ(refinePointSubpixel(10, 4, f), (VectorPoint{10, 4}));
    EXPECT_EQ(refinePointSubpixel(5, 8, f), (VectorPoint{5, 8}));
    PreprocessedFields flat = f;
    std::fill(flat.ridgeField.begin(), flat.ridgeField.end(), 0.5f);
    EXPECT_EQ(refinePointSubpixel(5, 4, flat), (VectorPoint{5, 4}));
    PreprocessedFields valley = f;
    for (float& v : valley.ridgeField) v = 1.0f - v;
    EXPECT_EQ(refinePointSubpixel(5, 4, valley), (VectorPoint{5, 4}));
    PreprocessedFields missing = f;
    missing.ridgeField.clear();
    EXPECT_EQ(refinePointSubpixel(5, 4, missing), (VectorPoint{5, 4}));
}

TEST(StegerRefinement, TracedPointsAreRefinedThenSmoothed) {
    Mask column(11, 9);
    for (int y = 1; y <= 7; ++y) column.set(5, y);
    PreprocessedFields f = ridgeAt(5.3);
    const auto plain = traceSkeletonChains(column.bytes, f, 2, false, false);
    ASSERT_EQ(plain.size(), 1u);
    for (const auto& p : plain[0]) EXPECT_EQ(p.x, 5.0);
    const auto refined = traceSkeletonChains(column.bytes, f, 2, true, false);
    ASSERT_EQ(refined.size(), 1u);
    ASSERT_EQ(refined[0].size(), 7u);
    std::vector<VectorPoint> raw;
    for (int y = 1; y <= 7; ++y) raw.push_back(refinePointSubpixel(5, y, f));
    EXPECT_EQ(refined[0].front(), raw.front());
    EXPECT_EQ(refined[0].back(), raw.back());
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        EXPECT_EQ(refined[0][i].x, 0.25 * raw[i - 1].x + 0.5 * raw[i].x + 0.25 * raw[i + 1].x);
        EXPECT_EQ(refined[0][i].y, 0.25 * raw[i - 1].y + 0.5 * raw[i].y + 0.25 * raw[i + 1].y);
        EXPECT_NE(refined[0][i].x, 5.0);
    }
}

// --- Joining ---------------------------------------------------------------------------------------

TEST(MergeCollinearJunctions, GapAngleAndSharedJointRules) {
    const Chain left = line(0, 0, 10, 0);
    // 3.3 px apart: not joined; 3.2 px (inclusive): joined end to start.
    Chain far = left;
    for (auto& p : far) p.x += 13.3;
    EXPECT_EQ(mergeCollinearJunctions({left, far}, 3.2).size(), 2u);
    Chain near = left;
    for (auto& p : near) p.x += 13.2;
    const auto joined = mergeCollinearJunctions({left, near}, 3.2);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].size(), 22u);
    // A right angle is never joined (cosine 0 ≤ 0.55).
    EXPECT_EQ(mergeCollinearJunctions({left, line(11, 0, 11, 10)}, 3.2).size(), 2u);
    // Ends on one pixel: the joint point occurs once; the partner is found at its last point, reversed.
    const auto shared = mergeCollinearJunctions({line(0, 0, 10, 0), line(20, 0, 10, 0)}, 3.2);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0], line(0, 0, 20, 0));
    // Joined at the start side: the partner goes in front; the longest chain is the seed.
    const auto front = mergeCollinearJunctions({line(-10, 0, -2, 0), line(0, 0, 12, 0)}, 3.2);
    ASSERT_EQ(front.size(), 1u);
    Chain expected = line(-10, 0, -2, 0);
    const Chain rest = line(0, 0, 12, 0);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(front[0], expected);
}

// The procedure as written: every chain scanned for every extension.
std::vector<Chain> directMerge(const std::vector<Chain>& chains, double g) {
    std::vector<std::size_t> seeds(chains.size());
    std::iota(seeds.begin(), seeds.end(), 0);
    std::stable_sort(seeds.begin(), seeds.end(), [&](auto a, auto b) { return chains[a].size() > chains[b].size(); });
    std::vector<bool> used(chains.size(), false);
    std::vector<Chain> out;
    const auto unit = [](VectorPoint from, VectorPoint to, VectorPoint& u) {
        const double dx = to.x - from.x;
        const double dy = to.y - from.y;
        const double len = std::sqrt(dx * dx + dy * dy);
        if (!(len > 1e-5)) return false;
        u = {dx / len, dy / len};
        return true;
    };
    for (std::size_t seed : seeds) {
        if (used[seed]) continue;
        used[seed] = true;
        Chain cur = chains[seed];
        for (bool again = true; again;) {
            again = false;
            for (int side = 0; side < 2 && !again; ++side) {
                const bool atEnd = side == 0;
                if (cur.size() < 2) continue;
                const std::size_t k = std::min<std::size_t>(5, cur.size() - 1);
                const VectorPoint tip = atEnd ? cur.back() : cur.front();
                const VectorPoint ref = atEnd ? cur[cur.size() - 1 - k] : cur[k];
                VectorPoint u;
                if (!unit(ref, tip, u)) continue;
                double best = 0.55;
                long partner = -1;
                bool reversed = false;
                for (std::size_t j = 0; j < chains.size(); ++j) {
                    const Chain& c = chains[j];
                    if (used[j] || c.size() < 2) continue;
                    const std::size_t k2 = std::min<std::size_t>(c.size() - 1, 5);
                    VectorPoint v;
                    if (tip.distanceSquared(c.front()) <= g * g && unit(c.front(), c[k2], v) &&
                        u.x * v.x + u.y * v.y > best) {
                        best = u.x * v.x + u.y * v.y;
                        partner = long(j);
                        reversed = false;
                    }
                    if (tip.distanceSquared(c.back()) <= g * g && unit(c.back(), c[c.size() - 1 - k2], v) &&
                        u.x * v.x + u.y * v.y > best) {
                        best = u.x * v.x + u.y * v.y;
                        partner = long(j);
                        reversed = true;
                    }
                }
                if (partner < 0) continue;
                used[std::size_t(partner)] = true;
                Chain pts = chains[std::size_t(partner)];
                if (reversed) std::reverse(pts.begin(), pts.end());
                if (atEnd) {
                    if (tip.distanceSquared(pts.front()) < 1.1) pts.erase(pts.begin());
                    cur.insert(cur.end(), pts.begin(), pts.end());
                } else {
                    std::reverse(pts.begin(), pts.end());
                    if (tip.distanceSquared(pts.back()) < 1.1) pts.pop_back();
                    cur.insert(cur.begin(), pts.begin(), pts.end());
                }
                again = true;
            }
        }
        out.push_back(std::move(cur));
    }
    return out;
}

TEST(MergeCollinearJunctions, EqualsTheFullScanOnRandomChains) {
    std::mt19937 random(5);
    std::size_t joins = 0;
    for (int round = 0; round < 200; ++round) {
        // Short chains on a small grid with half-pixel steps: many ends meet, cosines tie exactly.
        const int count = 1 + int(random() % 60);
        const double span = 4.0 + double(random() % 60);
        std::vector<Chain> chains;
        for (int i = 0; i < count; ++i) {
            Chain c;
            const int n = int(random() % 9);
            VectorPoint p{double(random() % unsigned(span)), double(random() % unsigned(span))};
            const double dx = 0.5 * (int(random() % 5) - 2);
            const double dy = 0.5 * (int(random() % 5) - 2);
            for (int k = 0; k < n; ++k) {
                c.push_back(p);
                p.x += dx + (random() % 4 == 0 ? 0.5 : 0.0);
                p.y += dy;
            }
            chains.push_back(std::move(c));
        }
        const double gap = round % 10 == 0 ? 0.5 * double(random() % 20) : 3.2;
        SCOPED_TRACE(testing::Message() << "round " << round << " gap " << gap);
        const auto merged = mergeCollinearJunctions(chains, gap);
        ASSERT_EQ(merged, directMerge(chains, gap));
        joins += chains.size() - merged.size();
    }
    EXPECT_GT(joins, 500u);  // the inputs really exercise the joining
}

// Equality of the bits, so that NaN coordinates compare equal to themselves.
bool sameBits(const std::vector<Chain>& a, const std::vector<Chain>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size()) return false;
        for (std::size_t k = 0; k < a[i].size(); ++k) {
            if (std::bit_cast<std::uint64_t>(a[i][k].x) != std::bit_cast<std::uint64_t>(b[i][k].x) ||
                std::bit_cast<std::uint64_t>(a[i][k].y) != std::bit_cast<std::uint64_t>(b[i][k].y)) {
                return false;
            }
        }
    }
    return true;
}

TEST(MergeCollinearJunctions, OddInputs) {
    EXPECT_TRUE(mergeCollinearJunctions({}, 3.2).empty());
    // Chains of 0 and 1 points pass through in seed order; non-finite points and gaps never crash.
    const std::vector<Chain> odd{
        {}, {{1, 1}}, line(0, 0, 5, 0), {{6, 0}, {std::nan(""), 0}}, {{1e300, 1e300}, {2e300, 2e300}}};
    for (const double gap : {3.2, -3.2, 0.0, std::nan(""), HUGE_VAL, 1e200}) {
        const auto merged = mergeCollinearJunctions(odd, gap);
        EXPECT_TRUE(sameBits(merged, directMerge(odd, gap))) << gap;
        EXPECT_EQ(merged.size(), 5u) << gap;  // a chain running into NaN has no direction to join by
    }
}

}  // namespace
}  // namespace ostrel
