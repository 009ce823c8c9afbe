#include "core/pipeline/PenClassifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace ostrel {
namespace {

using namespace CenterlineTracer;
using Path = std::vector<VectorPoint>;

/// Points (x0 + i·dx, y0 + i·dy), i = 0…count−1.
Path line(double x0, double y0, double dx, double dy, int count) {
    Path path;
    for (int i = 0; i < count; ++i) path.push_back({x0 + i * dx, y0 + i * dy});
    return path;
}

Path concat(Path a, const Path& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Path reversed(Path p) {
    std::reverse(p.begin(), p.end());
    return p;
}

// ---------------------------------------------------------------------------
// Stitching
// ---------------------------------------------------------------------------

TEST(PenClassifierStitch, LeavesInputAloneBelowTwoPathsOrTinyGap) {
    const std::vector<Path> two{line(0, 0, 1, 0, 6), line(5.5, 0, 1, 0, 5)};  // 0.5 px gap
    EXPECT_EQ(stitchPaths(two, 0.5, 50), two);
    EXPECT_EQ(stitchPaths(two, std::numeric_limits<double>::quiet_NaN(), 50), two);
    EXPECT_EQ(stitchPaths(two, std::numeric_limits<double>::infinity(), 50), two);
    const std::vector<Path> one{line(0, 0, 1, 0, 6)};
    EXPECT_EQ(stitchPaths(one, 8, 100), one);
    EXPECT_TRUE(stitchPaths({}, 8, 100).empty());
    // Just above 0.5 stitching runs and the 0.5 px gap closes.
    EXPECT_EQ(stitchPaths(two, 0.55, 0).size(), 1u);
}

TEST(PenClassifierStitch, JoinsCollinearEndsWithinTheGapOnly) {
    const Path a = line(0, 0, 1, 0, 6);    // (0,0)…(5,0), the seed (longer)
    const Path b = line(8, 0, 1, 0, 5);    // (8,0)…(12,0): 3 px past a's end
    const Path c = line(-3, 0, -1, 0, 5);  // (-3,0)…(-7,0): 3 px before a's start

    const auto joined = stitchPaths({a, b}, 4, 0);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0], concat(a, b));
    EXPECT_EQ(stitchPaths({a, b}, 2.5, 0), (std::vector<Path>{a, b}));

    // Candidate given by its last point: appended reversed.
    EXPECT_EQ(stitchPaths({a, reversed(b)}, 4, 0), (std::vector<Path>{concat(a, b)}));
    // Start side: the partner goes in front with its matched end last.
    EXPECT_EQ(stitchPaths({a, c}, 4, 0), (std::vector<Path>{concat(reversed(c), a)}));
    EXPECT_EQ(stitchPaths({reversed(c), a}, 4, 0), (std::vector<Path>{concat(reversed(c), a)}));
    // Both sides of one seed, end side first; output lists seeds longest first.
    const Path lone = line(100, 100, 0, 1, 2);
    EXPECT_EQ(stitchPaths({lone, c, b, a}, 4, 0), (std::vector<Path>{concat(concat(reversed(c), a), b), lone}));
}

TEST(PenClassifierStitch, PassesGrowWithContinuity) {
    // maxGap 2: radii 2 (c < 0.5); 2, 3.6 (c = 0.5); 2, 4.4, 6.4 (c = 1).
    struct Case {
        double continuity;
        double gap;
        bool joined;
    };
    const Case cases[] = {
        {49, 1.9, true},
        {49, 2.1, false},
        {50, 3.5, true},
        {50, 3.7, false},
        {99, 3.7, true},
        {99, 4.3, true},
        {99, 4.5, false},
        {100, 6.3, true},
        {100, 6.5, false},
        {-20, 1.9, true},
        {-20, 2.1, false},
        {250, 6.3, true},
        {std::numeric_limits<double>::quiet_NaN(), 2.1, false},
    };
    for (const Case& k : cases) {
        const Path a = line(0, 0, 1, 0, 6);
        const Path b = line(5 + k.gap, 0, 1, 0, 5);
        EXPECT_EQ(stitchPaths({a, b}, 2, k.continuity).size(), k.joined ? 1u : 2u)
            << "continuity " << k.continuity << " gap " << k.gap;
    }
}

TEST(PenClassifierStitch, AlignmentRejectsDoublingBackAndWeighsRightAngles) {
    const Path seed = line(-20, 0, 1, 0, 26);  // ends at (5,0) heading +x
    const Path back = line(7, 1, -1, 0, 30);   // leaves (7,1) heading −x: cosine −1 at both ends
    for (const double continuity : {0.0, 50.0, 100.0}) {
        EXPECT_EQ(stitchPaths({seed, back}, 4, continuity).size(), 2u) << continuity;
    }

    // A right-angle partner 2 px away scores 1.5 × 2 = 3; a collinear one d px away scores 0.5 d.
    const Path corner = line(7, 0, 0, 1, 5);
    const Path ahead59 = line(10.9, 0, 1, 0, 5);
    const Path ahead61 = line(11.1, 0, 1, 0, 5);
    const auto nearWins = stitchPaths({seed, corner, ahead59}, 8, 0);
    ASSERT_GE(nearWins[0].size(), 27u);
    EXPECT_EQ(nearWins[0][26], (VectorPoint{10.9, 0}));
    const auto cornerWins = stitchPaths({seed, corner, ahead61}, 8, 0);
    ASSERT_GE(cornerWins[0].size(), 27u);
    EXPECT_EQ(cornerWins[0][26], (VectorPoint{7, 0}));
}

TEST(PenClassifierStitch, ClosedLoopsPassThroughUntouched) {
    // 20 points on a circle of radius 10; the ends are 2 px apart.
    Path ring;
    const double step = 2 * std::asin(0.1) / 1.0;  // angle of a 2 px chord
    const double span = 2 * std::numbers::pi - step;
    for (int i = 0; i < 20; ++i) {
        const double t = span * i / 19;
        ring.push_back({50 + 10 * std::cos(t), 50 + 10 * std::sin(t)});
    }
    ASSERT_NEAR(ring.front().distance(ring.back()), 2.0, 1e-9);
    const Path neighbour = line(61, 50, 1, 0, 30);  // starts 1 px from the ring's first point
    const auto out = stitchPaths({ring, neighbour}, 8, 100);
    EXPECT_EQ(out, (std::vector<Path>{neighbour, ring}));
    const auto alone = stitchPaths({neighbour, ring}, 8, 100);
    EXPECT_EQ(alone, (std::vector<Path>{neighbour, ring}));
}

TEST(PenClassifierStitch, EqualScoresGoToTheFirstEntryOfTheCellScan) {
    // Tip (5,5), cell size 4: tip cell (1,1). Both partners leave at a right angle, 3 px away.
    const Path seed = line(-20, 5, 1, 0, 26);
    const Path up = line(5, 2, 0, -1, 6);   // in cell row 0, scanned first
    const Path down = line(5, 8, 0, 1, 6);  // in cell row 2
    const auto crossCell = stitchPaths({seed, down, up}, 4, 0);
    ASSERT_EQ(crossCell.size(), 2u);
    EXPECT_EQ(crossCell[0], concat(seed, up));

    // Same cell, same score: the earlier insertion (lower input index) wins.
    const Path up2{{5, 2}, {6, 1}, {6, 0}, {6, -1}, {5, -2}, {8, -3}};
    EXPECT_EQ(stitchPaths({seed, up, up2}, 4, 0)[0], concat(seed, up));
    EXPECT_EQ(stitchPaths({seed, up2, up}, 4, 0)[0], concat(seed, up2));
}

TEST(PenClassifierStitch, DegeneratePathsNeverBreakIt) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Path> paths{
        {},
        {{1, 1}},
        {{2, 2}, {2, 2}},
        {{nan, 0}, {3, 3}},
        {{3.5, 3}, {nan, nan}},
        {{1e300, 1e300}, {-1e300, 1e300}},
        line(4, 3, 0, 0, 7),
    };
    std::size_t points = 0;
    for (const auto& p : paths) points += p.size();
    const auto out = stitchPaths(paths, 8, 100);
    std::size_t outPoints = 0;
    for (const auto& p : out) outPoints += p.size();
    EXPECT_EQ(outPoints, points);  // never drops a point
    EXPECT_LE(out.size(), paths.size());
}

/// Stitching by a scan over every end of every path, for comparison with the spatial hash. Equal
/// scores are broken differently, so it is compared on random real coordinates, where they do not occur.
std::vector<Path> plainStitch(std::vector<Path> paths, double maxGap, double continuity) {
    if (paths.size() < 2 || maxGap <= 0.5) return paths;
    const double c = std::clamp(continuity / 100, 0.0, 1.0);
    const int passes = static_cast<int>(2 * c) + 1;
    const double factors[3] = {1.0, 1.4 + 0.8 * c, 1.8 + 1.4 * c};
    const double minAlignment = -0.65 * c - 0.25;
    const auto closed = [](const Path& p) { return p.size() >= 5 && p.front().distance(p.back()) < 2.5; };
    for (int pass = 0; pass < passes && paths.size() >= 2; ++pass) {
        const double r = factors[pass] * maxGap;
        std::vector<std::size_t> seeds(paths.size());
        for (std::size_t i = 0; i < seeds.size(); ++i) seeds[i] = i;
        std::stable_sort(seeds.begin(), seeds.end(),
                         [&](std::size_t a, std::size_t b) { return paths[a].size() > paths[b].size(); });
        std::vector<bool> used(paths.size(), false);
        std::vector<Path> out;
        for (const std::size_t seed : seeds) {
            if (used[seed]) continue;
            used[seed] = true;
            Path cur = paths[seed];
            if (closed(cur)) {
                out.push_back(cur);
                continue;
            }
            for (bool joined = true; joined;) {
                joined = false;
                for (const bool endSide : {true, false}) {
                    const std::size_t n = cur.size();
                    if (n < 2) break;
                    const VectorPoint tip = endSide ? cur[n - 1] : cur[0];
                    const VectorPoint ref = endSide ? cur[n >= 5 ? n - 5 : 0] : cur[n >= 5 ? 4 : n - 1];
                    const double dx = tip.x - ref.x, dy = tip.y - ref.y;
                    const double len = std::sqrt(dx * dx + dy * dy);
                    double bestScore = std::numeric_limits<double>::infinity();
                    std::size_t best = paths.size();
                    bool bestIsEnd = false;
                    for (std::size_t j = 0; j < paths.size(); ++j) {
                        const Path& p = paths[j];
                        if (used[j] || p.size() < 2 || closed(p)) continue;
                        for (const bool isEnd : {false, true}) {
                            const VectorPoint pt = isEnd ? p.back() : p.front();
                            const double d2 = tip.distanceSquared(pt);
                            if (d2 > r * r) continue;
                            double a = 1;
                            const std::size_t k = std::min<std::size_t>(p.size() - 1, 4);
                            const VectorPoint in = isEnd ? p[p.size() - 1 - k] : p[k];
                            const double vx = in.x - pt.x, vy = in.y - pt.y;
                            const double vlen = std::sqrt(vx * vx + vy * vy);
                            if (len > 1e-5 && vlen > 1e-5) {
                                a = (dx * vx + dy * vy) / (len * vlen);
                                if (a < minAlignment) continue;
                                a = std::max(a, 0.0);
                            }
                            const double score = std::sqrt(d2) * (1.5 - a);
                            if (score < bestScore) {
                                bestScore = score;
                                best = j;
                                bestIsEnd = isEnd;
                            }
                        }
                    }
                    if (best == paths.size()) continue;
                    used[best] = true;
                    Path other = paths[best];
                    if (bestIsEnd) other = reversed(other);  // matched end first
                    if (endSide) {
                        cur.insert(cur.end(), other.begin(), other.end());
                    } else {
                        other = reversed(other);
                        cur.insert(cur.begin(), other.begin(), other.end());
                    }
                    joined = true;
                    break;
                }
            }
            out.push_back(cur);
        }
        paths = out;
    }
    return paths;
}

TEST(PenClassifierStitch, SpatialHashMatchesAScanOfAllEnds) {
    std::mt19937_64 rng(2104);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 40; ++round) {
        const double area = 20 + 200 * unit(rng);
        std::vector<Path> paths;
        const int count = 2 + static_cast<int>(120 * unit(rng));
        for (int i = 0; i < count; ++i) {
            const int n = 1 + static_cast<int>(14 * unit(rng));
            Path p{{area * unit(rng) - area / 3, area * unit(rng) - area / 3}};
            double heading = 2 * std::numbers::pi * unit(rng);
            for (int k = 1; k < n; ++k) {
                heading += unit(rng) - 0.5;
                p.push_back({p.back().x + 1.5 * std::cos(heading), p.back().y + 1.5 * std::sin(heading)});
            }
            if (n >= 5 && unit(rng) < 0.1) p.back() = {p.front().x + 1, p.front().y};  // closed loop
            paths.push_back(std::move(p));
        }
        const double maxGap = 0.6 + 9 * unit(rng);
        const double continuity = 100 * unit(rng);
        ASSERT_EQ(stitchPaths(paths, maxGap, continuity), plainStitch(paths, maxGap, continuity))
            << "round " << round << " gap " << maxGap << " continuity " << continuity;
    }
}

// ---------------------------------------------------------------------------
// k-means
// ---------------------------------------------------------------------------

TEST(PenClassifierKMeans, BreakpointsByCase) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<double> values;
        std::int64_t k;
        std::int64_t iterations;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {{3.5, 1.0, 3.0, 1.5}, 2, 25, {2.25}},  // centres 1.5, 3.0 → 1.25, 3.25
        {{1, 2, 3, 10}, 2, 0, {2.5}},           // initial centres 2 and 3
        {{1, 2, 3, 10}, 2, 1, {4.0}},           // 1.5 and 6.5
        {{1, 2, 3, 10}, 2, 25, {6.0}},          // 2 and 10
        {{0, 0, 0, 10}, 3, 25, {0.0, 5.0}},     // ties to the lowest centre; empty centres stay
        {{1, 3, 3.5, 4.5}, 2, 25, {3.0}},       // 3 sits between 2 and 4, goes to the lower
        {{1, 2}, 3, 25, {}},                    // fewer values than classes
        {{1, 2, 3}, 1, 25, {}},                 // one class
        {{1, nan, 2}, 3, 25, {}},               // NaN is not a value
        {{1, nan, 5, std::numeric_limits<double>::infinity(), 6}, 2, 25, {3.25}},
    };
    for (const Case& c : cases) {
        const auto breakpoints = kmeans1DBreakpoints(c.values, c.k, c.iterations);
        ASSERT_EQ(breakpoints.size(), c.expected.size());
        for (std::size_t i = 0; i < breakpoints.size(); ++i) EXPECT_DOUBLE_EQ(breakpoints[i], c.expected[i]);
    }
}

TEST(PenClassifierKMeans, SeparatesTwoWidthPopulations) {
    std::vector<double> widths;
    for (int i = 0; i < 60; ++i) widths.push_back(1.0 + 0.01 * (i % 7));  // 1.00…1.06
    for (int i = 0; i < 25; ++i) widths.push_back(4.0 + 0.02 * (i % 5));  // 4.00…4.08
    const auto breakpoints = kmeans1DBreakpoints(widths, 2, 25);
    ASSERT_EQ(breakpoints.size(), 1u);
    double thin = 0, thick = 0;
    for (int i = 0; i < 60; ++i) thin += 1.0 + 0.01 * (i % 7);
    for (int i = 0; i < 25; ++i) thick += 4.0 + 0.02 * (i % 5);
    EXPECT_NEAR(breakpoints[0], (thin / 60 + thick / 25) / 2, 1e-12);
}

// ---------------------------------------------------------------------------
// Measurement and classification
// ---------------------------------------------------------------------------

/// A w × h field whose distance is `bands[x / bandWidth]` in each column band.
PreprocessedFields bandedField(std::int64_t w, std::int64_t h, std::int64_t bandWidth,
                               const std::vector<float>& bands) {
    PreprocessedFields f;
    f.width = w;
    f.height = h;
    f.distanceField.resize(static_cast<std::size_t>(w * h));
    f.binary.resize(static_cast<std::size_t>(w * h), 1);
    for (std::int64_t y = 0; y < h; ++y)
        for (std::int64_t x = 0; x < w; ++x)
            f.distanceField[static_cast<std::size_t>(y * w + x)] = bands[static_cast<std::size_t>(x / bandWidth)];
    return f;
}

TEST(PenClassifierMeasure, ClassificationWidthSamplesAndPercentile) {
    const auto field = bandedField(40, 120, 10, {1.0f, 2.0f, 3.0f, 4.5f});
    EXPECT_EQ(measureClassificationWidth({}, field, 1), 1.0);
    EXPECT_EQ(measureClassificationWidth({{5, 5}, {35, 5}}, field, 1), 1.0);           // first of two samples
    EXPECT_EQ(measureClassificationWidth({{5, 5}, {35, 5}, {15, 5}}, field, 1), 4.5);  // sorted [1, 2, 4.5]
    EXPECT_EQ(measureClassificationWidth({{-3, 5}}, field, 1), 0.6f);                  // outside
    EXPECT_EQ(measureClassificationWidth({{9.4, 5}}, field, 1), 2.0);                  // window reaches x = 10
    EXPECT_EQ(measureClassificationWidth({{8.4, 5}}, field, 1), 1.0);
    EXPECT_EQ(measureClassificationWidth({{8.4, 5}}, field, 2), 2.0);

    // 96 points: stride 2 samples only the even points (band 0); 95 points: stride 1 sees them all.
    Path zigzag;
    for (int i = 0; i < 96; ++i) zigzag.push_back({i % 2 == 0 ? 5.0 : 35.0, static_cast<double>(i)});
    EXPECT_EQ(measureClassificationWidth(zigzag, field, 1), 1.0);
    zigzag.pop_back();
    EXPECT_EQ(measureClassificationWidth(zigzag, field, 1), 4.5);
}

TEST(PenClassifierMeasure, RadiusProfileSmoothsAndFloors) {
    const auto field = bandedField(10, 10, 10, {2.0f});
    // Raw radii 2, 2, 0.6 (the last point lies outside), then three smoothing passes.
    const auto profile = measurePathProfile({{5, 5}, {8, 5}, {20, 5}}, field, 1);
    ASSERT_EQ(profile.pointRadii.size(), 3u);
    // (0.6 is the 32-bit 0.6, hence the tolerance.)
    EXPECT_NEAR(profile.pointRadii[0], 1.8005, 1e-7);
    EXPECT_NEAR(profile.pointRadii[1], 1.566, 1e-7);
    EXPECT_NEAR(profile.pointRadii[2], 1.3203, 1e-7);
    EXPECT_EQ(profile.radiusPx, profile.pointRadii[0]);

    EXPECT_EQ(measurePathProfile({}, field, 1), (PathProfile{1.0, {}}));
    EXPECT_EQ(measurePathProfile({{5, 5}, {50, 5}}, field, 1), (PathProfile{2.0, {2.0, 0.6000000238418579}}));

    auto empty = bandedField(10, 10, 10, {0.0f});
    EXPECT_EQ(measurePathProfile({{5, 5}, {6, 5}, {7, 5}}, empty, 1).radiusPx, 0.5);
    empty.distanceField[55] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(measurePathProfile({{5, 5}}, empty, 1), (PathProfile{0.5, {0.5}}));
    // A field whose data does not match its size counts as no image.
    empty.distanceField.pop_back();
    EXPECT_EQ(measurePathProfile({{5, 5}}, empty, 1).pointRadii, (std::vector<double>{0.6000000238418579}));
}

TEST(PenClassifierClassify, SplitsPensAtBreakpointsAndStitchesWithinEach) {
    // Widths 1, 3, 3.5, 4.5 → centres 2 and 4 → breakpoint 3; width 3 is not above it.
    const auto field = bandedField(40, 60, 10, {1.0f, 3.0f, 3.5f, 4.5f});
    const std::vector<Path> raw{line(35, 5, 0, 1, 20), line(5, 5, 0, 1, 20), line(25, 5, 0, 1, 20),
                                line(15, 5, 0, 1, 20)};
    VectorizerParams params;
    params.penCount = 2;
    params.maxStitchGapPx = 2;
    params.continuity = 0;
    const auto result = measureAndClassifyPens(raw, field, params);
    EXPECT_EQ(result.breakpoints, (std::vector<double>{3.0}));
    ASSERT_EQ(result.pathsByPen.size(), 2u);
    ASSERT_EQ(result.pathsByPen[0].size(), 2u);
    ASSERT_EQ(result.pathsByPen[1].size(), 2u);
    EXPECT_EQ(result.pathsByPen[0][0].points, raw[1]);  // input order kept within a pen
    EXPECT_EQ(result.pathsByPen[0][1].points, raw[3]);
    EXPECT_EQ(result.pathsByPen[1][0].points, raw[0]);
    EXPECT_EQ(result.pathsByPen[1][1].points, raw[2]);
    EXPECT_NEAR(result.pathsByPen[0][1].radiusPx, 3.0, 1e-12);
    ASSERT_EQ(result.pathsByPen[1][0].pointRadii.size(), 20u);
    for (const double r : result.pathsByPen[1][0].pointRadii) EXPECT_NEAR(r, 4.5, 1e-12);

    // Two thick pieces 3 px apart become one stroke in their pen; the thin one stays alone.
    const auto twoBands = bandedField(40, 60, 20, {1.0f, 4.0f});
    params.maxStitchGapPx = 4;
    const auto stitched =
        measureAndClassifyPens({line(5, 5, 0, 1, 46), line(25, 5, 0, 1, 21), line(25, 28, 0, 1, 23)}, twoBands, params);
    EXPECT_EQ(stitched.breakpoints, (std::vector<double>{2.5}));
    ASSERT_EQ(stitched.pathsByPen[1].size(), 1u);
    EXPECT_EQ(stitched.pathsByPen[1][0].points, concat(line(25, 5, 0, 1, 21), line(25, 28, 0, 1, 23)));
    EXPECT_NEAR(stitched.pathsByPen[1][0].radiusPx, 4.0, 1e-12);
    EXPECT_EQ(stitched.pathsByPen[0].size(), 1u);
}

TEST(PenClassifierClassify, PenCountIsClampedAndGroupsAlwaysPresent) {
    const auto field = bandedField(40, 60, 10, {1.0f, 3.0f, 3.5f, 4.5f});
    const std::vector<Path> raw{line(5, 5, 0, 1, 20), line(15, 5, 0, 1, 20)};
    VectorizerParams params;
    params.maxStitchGapPx = 2;
    struct Case {
        std::int64_t penCount;
        std::size_t groups;
    };
    for (const Case c : {Case{0, 1}, Case{-3, 1}, Case{1, 1}, Case{7, 4}, Case{3, 3}}) {
        params.penCount = c.penCount;
        const auto result = measureAndClassifyPens(raw, field, params);
        ASSERT_EQ(result.pathsByPen.size(), c.groups) << c.penCount;
        // Fewer widths than pens (or one pen): no breakpoints, everything on pen 0.
        EXPECT_TRUE(result.breakpoints.empty());
        EXPECT_EQ(result.pathsByPen[0].size(), 2u);
        for (std::size_t g = 1; g < c.groups; ++g) EXPECT_TRUE(result.pathsByPen[g].empty());
    }

    params.penCount = 4;
    const auto none = measureAndClassifyPens({}, field, params);
    EXPECT_EQ(none.pathsByPen.size(), 4u);
    const auto noField = measureAndClassifyPens({{}, {{1, 1}}, line(5, 5, 0, 1, 9)}, PreprocessedFields{}, params);
    ASSERT_EQ(noField.pathsByPen.size(), 4u);
    EXPECT_EQ(noField.pathsByPen[0].size(), 3u);
}

}  // namespace
}  // namespace ostrel
