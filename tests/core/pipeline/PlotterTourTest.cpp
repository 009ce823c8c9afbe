#include "core/pipeline/PlotterTour.h"

#include "core/support/text/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace ostrel {
namespace {

using namespace BezierAndPlotterOptimizer;

VectorPath stroke(std::int64_t id, std::vector<VectorPoint> points) {
    VectorPath path;
    path.id = id;
    path.points = std::move(points);
    path.pointRadiiPx = {0.0, 1.0};  // marks the direction: {1, 0} once reversed
    path.isClosed = id % 3 == 0;
    path.strokeRadiusPx = 0.5 + static_cast<double>(id);
    return path;
}

// ---------------------------------------------------------------------------
// Reference: the tour by the plain scan over all strokes, on the strokes themselves.
// ---------------------------------------------------------------------------

PlotterTour plainTour(const std::vector<VectorPath>& input, bool enable2Opt) {
    const std::size_t n = input.size();
    if (n < 2) return {input, 0, 0};
    const double raw = computeTravelDistance(input);

    std::vector<VectorPath> order;
    std::vector<bool> taken(n, false);
    VectorPoint cur = VectorPoint::zero;
    for (std::size_t step = 0; step < n; ++step) {
        double best = std::numeric_limits<double>::max();
        std::size_t chosen = n;
        bool reversed = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (taken[i]) continue;
            const double ds = cur.distanceSquared(input[i].startPoint());
            const double de = cur.distanceSquared(input[i].endPoint());
            if (ds < best) {
                best = ds;
                chosen = i;
                reversed = false;
            }
            if (de < best) {
                best = de;
                chosen = i;
                reversed = true;
            }
        }
        if (chosen == n) {  // nothing finite within reach: the first remaining stroke, forwards
            chosen = 0;
            while (taken[chosen]) ++chosen;
            reversed = false;
        }
        taken[chosen] = true;
        order.push_back(reversed ? input[chosen].reversedPath() : input[chosen]);
        cur = order.back().endPoint();
    }

    if (enable2Opt && n >= 4) {
        const int passes = n <= 400 ? 3 : 1;
        const std::size_t window = std::min<std::size_t>(n, 140);
        for (int pass = 0; pass < passes; ++pass) {
            bool moved = false;
            for (std::size_t i = 0; i + 2 < n; ++i) {
                const VectorPoint prev = i == 0 ? VectorPoint::zero : order[i - 1].endPoint();
                for (std::size_t j = i + 1; j <= std::min(i + window, n - 1); ++j) {
                    double before = prev.distance(order[i].startPoint());
                    double after = prev.distance(order[j].endPoint());
                    if (j + 1 < n) {
                        const VectorPoint next = order[j + 1].startPoint();
                        before = before + order[j].endPoint().distance(next);
                        after = after + order[i].startPoint().distance(next);
                    }
                    if (before > after + 0.5) {
                        std::vector<VectorPath> run(order.begin() + static_cast<std::ptrdiff_t>(i),
                                                    order.begin() + static_cast<std::ptrdiff_t>(j) + 1);
                        for (std::size_t k = 0; k < run.size(); ++k) order[j - k] = run[k].reversedPath();
                        moved = true;
                    }
                }
            }
            if (!moved) break;
        }
    }
    const double travel = computeTravelDistance(order);
    return {order, raw, std::min(travel, raw)};
}

/// Same strokes, directions and figures (NaN figures equal NaN).
void expectSameTour(const PlotterTour& actual, const PlotterTour& expected) {
    ASSERT_EQ(actual.paths.size(), expected.paths.size());
    for (std::size_t k = 0; k < actual.paths.size(); ++k) {
        ASSERT_EQ(actual.paths[k].id, expected.paths[k].id) << "position " << k;
        ASSERT_EQ(actual.paths[k].pointRadiiPx, expected.paths[k].pointRadiiPx) << "position " << k;
    }
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    EXPECT_PRED2(same, actual.rawTravelPx, expected.rawTravelPx);
    EXPECT_PRED2(same, actual.optimizedTravelPx, expected.optimizedTravelPx);
}

/// Random polylines on a coarse lattice, so that equal distances, shared ends, zero-length and empty
/// strokes are common.
std::vector<VectorPath> randomStrokes(std::mt19937_64& rng, std::size_t count, int lattice, double scale) {
    std::uniform_int_distribution<int> coord(0, lattice);
    std::uniform_int_distribution<int> kind(0, 19);
    std::vector<VectorPath> strokes;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<VectorPoint> points;
        const int k = kind(rng);
        if (k == 0) {
            // empty: both ends at the origin
        } else if (k == 1) {
            points.push_back({coord(rng) * scale, coord(rng) * scale});
        } else {
            const int length = 2 + k % 4;
            for (int p = 0; p < length; ++p) points.push_back({coord(rng) * scale, coord(rng) * scale});
            if (k == 2) points.back() = points.front();  // closed
        }
        strokes.push_back(stroke(static_cast<std::int64_t>(i), std::move(points)));
    }
    return strokes;
}

// ---------------------------------------------------------------------------
// Tour
// ---------------------------------------------------------------------------

TEST(PlotterTour, TwoStrokeExample) {
    const VectorPath a = stroke(1, {{10, 0}, {30, 0}, {50, 0}});
    const VectorPath b = stroke(2, {{5, 0}, {1, 0}});
    for (const bool twoOpt : {false, true}) {
        const PlotterTour tour = optimizePlotterTour({a, b}, twoOpt);
        EXPECT_EQ(tour.rawTravelPx, 55);
        EXPECT_EQ(tour.optimizedTravelPx, 6);
        ASSERT_EQ(tour.paths.size(), 2u);
        EXPECT_EQ(tour.paths[0], b.reversedPath());
        EXPECT_EQ(tour.paths[1], a);
    }
    EXPECT_EQ(computeTravelDistance({a, b}), 55);
    EXPECT_EQ(computeTravelDistance({}), 0);
    EXPECT_EQ(computeTravelDistance({VectorPath{}, stroke(3, {{3, 4}})}), 5);
}

TEST(PlotterTour, ShortInputsAndReportedFigure) {
    const VectorPath far = stroke(1, {{300, 400}, {310, 400}});
    EXPECT_EQ(optimizePlotterTour({}, true), (PlotterTour{}));
    EXPECT_EQ(optimizePlotterTour({far}, true), (PlotterTour{{far}, 0, 0}));

    // Single points at 2, −3 and 10: greedy takes 2, −3, 10 (travel 20) while the input −3, 2, 10
    // travels 16. The greedy order is returned, the figure is the input's.
    const std::vector<VectorPath> line{stroke(1, {{-3, 0}}), stroke(2, {{2, 0}}), stroke(3, {{10, 0}})};
    const PlotterTour tour = optimizePlotterTour(line, true);
    EXPECT_EQ(tour.rawTravelPx, 16);
    EXPECT_EQ(tour.optimizedTravelPx, 16);
    ASSERT_EQ(tour.paths.size(), 3u);
    EXPECT_EQ(tour.paths[0].id, 2);
    EXPECT_EQ(tour.paths[1].id, 1);
    EXPECT_EQ(tour.paths[2].id, 3);
}

TEST(PlotterTour, TwoOptReversesARunOfStrokes) {
    // Greedy from the origin swings 1, −2, 4, −8, 16 (travel 46); reversing runs shortens it.
    const std::vector<VectorPath> strokes{stroke(1, {{1, 0}, {1, 1}}), stroke(2, {{-2, 0}, {-2, 1}}),
                                          stroke(3, {{4, 0}, {4, 1}}), stroke(4, {{-8, 0}, {-8, 1}}),
                                          stroke(5, {{16, 0}, {16, 1}})};
    const PlotterTour greedy = optimizePlotterTour(strokes, false);
    const PlotterTour improved = optimizePlotterTour(strokes, true);
    expectSameTour(greedy, plainTour(strokes, false));
    expectSameTour(improved, plainTour(strokes, true));
    EXPECT_LT(improved.optimizedTravelPx, greedy.optimizedTravelPx);
    for (const auto& p : improved.paths) {
        const VectorPath& original = strokes[static_cast<std::size_t>(p.id - 1)];
        const bool flipped = p.pointRadiiPx.front() == 1.0;
        EXPECT_EQ(p, flipped ? original.reversedPath() : original);  // id, outline, closed flag kept
    }
}

TEST(PlotterTour, TreeSearchMatchesThePlainScan) {
    std::mt19937_64 rng(20240611);
    struct Case {
        std::size_t count;
        int lattice;
        double scale;
    };
    // 400 / 401 strokes straddle the pass limit of 2-opt; the small lattices force ties everywhere.
    const Case cases[] = {{300, 12, 1.0},    {400, 40, 0.5}, {401, 40, 0.5},  {250, 3, 7.0},
                          {350, 1000, 0.37}, {60, 0, 1.0},   {500, 200, 1e-3}};
    for (const Case& c : cases) {
        for (int round = 0; round < 3; ++round) {
            const auto strokes = randomStrokes(rng, c.count, c.lattice, c.scale);
            for (const bool twoOpt : {false, true}) {
                SCOPED_TRACE(integerText(static_cast<std::int64_t>(c.count)) + " strokes, lattice " +
                             integerText(c.lattice) + (twoOpt ? ", 2-opt" : ", greedy"));
                const PlotterTour tour = optimizePlotterTour(strokes, twoOpt);
                expectSameTour(tour, plainTour(strokes, twoOpt));
                EXPECT_LE(tour.optimizedTravelPx, tour.rawTravelPx);
                if (twoOpt) {  // every 2-opt move shortens the tour
                    EXPECT_LE(tour.optimizedTravelPx, optimizePlotterTour(strokes, false).optimizedTravelPx + 1e-9);
                }
            }
        }
    }
}

TEST(PlotterTour, NonFiniteAndHugeCoordinatesStillGiveATour) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::mt19937_64 rng(7);
    auto strokes = randomStrokes(rng, 120, 20, 1.0);
    strokes[5].points = {{nan, 1}, {2, 2}};  // reachable from its end only
    strokes[17].points = {{3, 3}, {inf, 0}};
    strokes[40].points = {{1e200, 1e200}, {-1e200, 5}};  // squared distances overflow
    strokes[41].points = {{nan, nan}};
    strokes[80].points = {{1e154, 0}, {1, 1}};
    for (const bool twoOpt : {false, true}) {
        const PlotterTour tour = optimizePlotterTour(strokes, twoOpt);
        expectSameTour(tour, plainTour(strokes, twoOpt));
    }
    // Only non-finite ends: the input order, forwards.
    const std::vector<VectorPath> lost{stroke(1, {{nan, 0}}), stroke(2, {{inf, 0}}), stroke(3, {{0, nan}})};
    const PlotterTour tour = optimizePlotterTour(lost, true);
    ASSERT_EQ(tour.paths.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(tour.paths[k].id, static_cast<std::int64_t>(k + 1));
}

// ---------------------------------------------------------------------------
// Hatching
// ---------------------------------------------------------------------------

/// A 100 × 80 field with a filled rectangle [20, 80) × [20, 60); the distance grows by one pixel per
/// pixel inwards, so the deep ink (≥ 2.8) is [22, 77] × [22, 57].
PreprocessedFields rectangleField() {
    PreprocessedFields f;
    f.width = 100;
    f.height = 80;
    f.distanceField.assign(100 * 80, 0.0f);
    f.binary.assign(100 * 80, 0);
    for (int y = 20; y < 60; ++y) {
        for (int x = 20; x < 80; ++x) {
            f.distanceField[static_cast<std::size_t>(y * 100 + x)] =
                static_cast<float>(std::min({x - 19, 80 - x, y - 19, 60 - y}));
            f.binary[static_cast<std::size_t>(y * 100 + x)] = 1;
        }
    }
    return f;
}

const double kReach = std::sqrt(100.0 * 100.0 + 80.0 * 80.0) * 0.55;

TEST(PlotterTourHatch, HorizontalLinesFillTheDeepInkAndAlternate) {
    const auto field = rectangleField();
    const auto strokes = generateHatchPaths(field, 6, 0, false);
    ASSERT_FALSE(strokes.empty());
    double previousY = -1;
    for (const auto& s : strokes) {
        ASSERT_EQ(s.size(), 2u);
        EXPECT_EQ(s[0].y, s[1].y);
        const double y = s[0].y;
        EXPECT_GT(y, previousY);  // one run per line, lines upwards from offset −R
        if (previousY >= 0) {
            EXPECT_NEAR(y - previousY, 6, 1e-9);
        }
        previousY = y;
        for (const auto& p : s) {
            EXPECT_GE(std::round(p.x), 22);
            EXPECT_LE(std::round(p.x), 77);
            EXPECT_GE(std::round(y), 22);
            EXPECT_LE(std::round(y), 57);
        }
        EXPECT_GE(std::abs(s[1].x - s[0].x), 4.0);
        EXPECT_GE(std::abs(s[1].x - s[0].x), 52.0);  // runs span the rectangle's deep part
        // Line k (y = 40 − R + 6k) runs forwards when k is even.
        const double k = std::round((y - 40 + kReach) / 6);
        const bool forwards = s[1].x > s[0].x;
        EXPECT_EQ(forwards, std::fmod(k, 2.0) == 0) << "line " << k;
    }
    EXPECT_EQ(strokes.size(), 6u);  // y = 40 − R + 6k within [21.5, 57.5)
}

TEST(PlotterTourHatch, SpacingFloorAndCrossHatch) {
    const auto field = rectangleField();
    EXPECT_EQ(generateHatchPaths(field, 1, 0, false), generateHatchPaths(field, 2.5, 0, false));
    EXPECT_EQ(generateHatchPaths(field, std::numeric_limits<double>::quiet_NaN(), 0, false),
              generateHatchPaths(field, 2.5, 0, false));

    const auto single = generateHatchPaths(field, 6, 0, false);
    const auto both = generateHatchPaths(field, 6, 0, true);
    ASSERT_GT(both.size(), single.size());
    EXPECT_EQ(std::vector(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(single.size())), single);
    // The second family is vertical (angle 90: direction (0, 1)); its line k sits at x = 50 + R − 6k
    // and runs downwards (y increasing) when k is even: the reverse flag starts again for it.
    for (std::size_t i = single.size(); i < both.size(); ++i) {
        const auto& s = both[i];
        EXPECT_NEAR(s[0].x, s[1].x, 1e-9);
        const double k = std::round((50 + kReach - s[0].x) / 6);
        EXPECT_EQ(s[1].y > s[0].y, std::fmod(k, 2.0) == 0) << "line " << k;
    }
}

TEST(PlotterTourHatch, RunsShorterThanFourPixelsAreDropped) {
    // Along one horizontal line, make exactly n consecutive samples land on deep pixels.
    const double lineOffset = -kReach + 12 * 6.0;  // line 12 of angle 0, spacing 6
    const double y = 40 + lineOffset;
    for (const int n : {3, 4}) {
        PreprocessedFields f;
        f.width = 100;
        f.height = 80;
        f.distanceField.assign(100 * 80, 0.0f);
        f.binary.assign(100 * 80, 0);
        const auto iy = roundedInt64(y).value();
        const int first = 40;  // sample index along the line, t = −R + 1.5 j
        for (int j = first; j < first + n; ++j) {
            const double x = 50 + (-kReach + 1.5 * j);
            f.distanceField[static_cast<std::size_t>(iy * 100 + roundedInt64(x).value())] = 3.0f;
        }
        const auto strokes = generateHatchPaths(f, 6, 0, false);
        if (n == 3) {
            EXPECT_TRUE(strokes.empty());
        } else {
            ASSERT_EQ(strokes.size(), 1u);
            EXPECT_NEAR(std::abs(strokes[0][1].x - strokes[0][0].x), 4.5, 1e-9);
            EXPECT_NEAR(std::min(strokes[0][0].x, strokes[0][1].x), 50 + (-kReach + 1.5 * first), 1e-9);
            EXPECT_LT(strokes[0][0].x, strokes[0][1].x);  // line 12 is even: forwards
        }
    }
}

TEST(PlotterTourHatch, NoDeepInkOrNoFieldGivesNothing) {
    auto field = rectangleField();
    for (auto& d : field.distanceField) d = std::min(d, 2.7f);
    EXPECT_TRUE(generateHatchPaths(field, 6, 45, true).empty());
    EXPECT_TRUE(generateHatchPaths(PreprocessedFields{}, 6, 45, true).empty());
    auto broken = rectangleField();
    broken.distanceField.pop_back();
    EXPECT_TRUE(generateHatchPaths(broken, 6, 45, true).empty());
    EXPECT_TRUE(generateHatchPaths(rectangleField(), 6, std::numeric_limits<double>::quiet_NaN(), false).empty());
    EXPECT_FALSE(generateHatchPaths(rectangleField(), std::numeric_limits<double>::infinity(), 0, false).size() > 1);
}

}  // namespace
}  // namespace ostrel
