#include "core/pipeline/BezierFitting.h"

#include "core/model/CubicBezier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace ostrel {
namespace {

using namespace BezierAndPlotterOptimizer;
using Points = std::vector<VectorPoint>;
using Segments = std::vector<CubicBezierSegment>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double distanceToSegment(VectorPoint p, VectorPoint a, VectorPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double dd = dx * dx + dy * dy;
    const double t = dd < 1e-12 ? 0 : std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / dd, 0.0, 1.0);
    return p.distance({a.x + t * dx, a.y + t * dy});
}

/// Distance from p to the nearest point of a cubic: coarse samples, then golden-section refinement.
double distanceToCurve(VectorPoint p, const CubicBezierSegment& bez) {
    constexpr int kSamples = 64;
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int i = 0; i <= kSamples; ++i) {
        const double d = p.distance(cubicPoint(bez, double(i) / kSamples));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    double lo = std::max(0.0, double(best - 1) / kSamples);
    double hi = std::min(1.0, double(best + 1) / kSamples);
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    for (int iteration = 0; iteration < 60; ++iteration) {
        const double m1 = hi - ratio * (hi - lo);
        const double m2 = lo + ratio * (hi - lo);
        if (p.distance(cubicPoint(bez, m1)) < p.distance(cubicPoint(bez, m2))) {
            hi = m2;
        } else {
            lo = m1;
        }
    }
    return std::min(bestDistance, p.distance(cubicPoint(bez, (lo + hi) / 2)));
}

/// Whether p lies within `tolerance` of one of the curves. A curve lies inside the box of its
/// control points, so curves whose box is farther away are skipped.
bool isNearCurves(VectorPoint p, const Segments& curves, double tolerance) {
    for (const CubicBezierSegment& bez : curves) {
        const double minX = std::min({bez.p0.x, bez.c1.x, bez.c2.x, bez.p3.x});
        const double maxX = std::max({bez.p0.x, bez.c1.x, bez.c2.x, bez.p3.x});
        const double minY = std::min({bez.p0.y, bez.c1.y, bez.c2.y, bez.p3.y});
        const double maxY = std::max({bez.p0.y, bez.c1.y, bez.c2.y, bez.p3.y});
        const double dx = std::max({minX - p.x, 0.0, p.x - maxX});
        const double dy = std::max({minY - p.y, 0.0, p.y - maxY});
        if (std::hypot(dx, dy) > tolerance) continue;
        if (distanceToCurve(p, bez) <= tolerance) return true;
    }
    return false;
}

/// A stroke as a tracer gives it: points about `step` px apart along a smooth random curve.
Points randomSmoothStroke(std::mt19937& rng, std::size_t count, double step = 1.0) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double a1 = 0.02 + 0.08 * unit(rng), a2 = 0.05 + 0.1 * unit(rng);
    const double f1 = 0.01 + 0.04 * unit(rng), f2 = 0.03 + 0.05 * unit(rng);
    const double phase = 6.28 * unit(rng);
    Points points;
    VectorPoint p{100 * unit(rng), 100 * unit(rng)};
    double heading = 6.28 * unit(rng);
    for (std::size_t i = 0; i < count; ++i) {
        points.push_back(p);
        // Curvature varies smoothly; at most about 0.15 rad per step.
        heading += a1 * std::sin(f1 * double(i) + phase) + a2 * std::sin(f2 * double(i));
        p = {p.x + step * std::cos(heading), p.y + step * std::sin(heading)};
    }
    return points;
}

void expectChained(const Segments& segments) {
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        ASSERT_EQ(segments[i].p3, segments[i + 1].p0) << "gap after segment " << i;
    }
}

// ---------------------------------------------------------------------------------------------

TEST(BezierFittingRDP, SmallToleranceOrFewPointsLeaveInputUnchanged) {
    const Points zigzag{{0, 0}, {1, 3}, {2, 0}, {3, 3}, {4, 0}};
    const std::vector<double> radii{1, 2, 3, 4, 5};
    EXPECT_EQ(simplifyRDPWithRadii(zigzag, radii, 0.01), (SimplifiedStroke{zigzag, radii}));
    EXPECT_EQ(simplifyRDPWithRadii(zigzag, radii, -3), (SimplifiedStroke{zigzag, radii}));
    EXPECT_EQ(simplifyRDPWithRadii(zigzag, {1}, 0.01), (SimplifiedStroke{zigzag, {}}));
    const Points two{{0, 0}, {5, 5}};
    EXPECT_EQ(simplifyRDP(two, 10), two);
    EXPECT_TRUE(simplifyRDP({}, 1).empty());
    EXPECT_EQ(simplifyRDP({{2, 3}}, 1), (Points{{2, 3}}));
}

TEST(BezierFittingRDP, RadiiFollowKeptPointsOrComeBackEmpty) {
    const Points bent{{0, 0}, {5, 2.3}, {10, 4}};
    const SimplifiedStroke mismatched = simplifyRDPWithRadii(bent, {1, 2}, 1);
    EXPECT_EQ(mismatched.points, (Points{{0, 0}, {10, 4}}));
    EXPECT_TRUE(mismatched.radii.empty());

    const Points ell{{0, 0}, {5, 0.1}, {10, 0}, {10, 5}, {10.1, 10}};
    const SimplifiedStroke kept = simplifyRDPWithRadii(ell, {1, 2, 3, 4, 5}, 0.5);
    EXPECT_EQ(kept.points, (Points{{0, 0}, {10, 0}, {10.1, 10}}));
    EXPECT_EQ(kept.radii, (std::vector<double>{1, 3, 5}));
}

TEST(BezierFittingRDP, ClosedSquareKeepsItsFarCornersOnce) {
    const Points square{{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {5, 10}, {0, 10}, {0, 5}, {0, 0}};
    EXPECT_EQ(simplifyRDP(square, 1), (Points{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
}

TEST(BezierFittingRDP, StrictToleranceAndFirstIndexOnTies) {
    EXPECT_EQ(simplifyRDP({{0, 0}, {2, 0}, {7, 0}, {10, 0}}, 0.5), (Points{{0, 0}, {10, 0}}));
    // (5, 1) lies exactly 1 px from the chord: dropped at epsilon 1, kept just below.
    EXPECT_EQ(simplifyRDP({{0, 0}, {5, 1}, {10, 0}}, 1), (Points{{0, 0}, {10, 0}}));
    EXPECT_EQ(simplifyRDP({{0, 0}, {5, 1}, {10, 0}}, 0.999), (Points{{0, 0}, {5, 1}, {10, 0}}));
    // (4, 2) and (6, 2) are both 2 px away; the first wins, and then (6, 2) is within 1.5 px of the rest.
    EXPECT_EQ(simplifyRDP({{0, 0}, {4, 2}, {6, 2}, {10, 0}}, 1.5), (Points{{0, 0}, {4, 2}, {10, 0}}));
}

TEST(BezierFittingRDP, EveryDroppedPointStaysWithinToleranceOnLongRandomWalk) {
    std::mt19937 rng(7);
    std::normal_distribution<double> step(0, 1);
    Points walk;
    VectorPoint p{0, 0};
    for (int i = 0; i < 100000; ++i) {
        walk.push_back(p);
        p = {p.x + 1 + 0.3 * step(rng), p.y + step(rng)};
    }
    for (double epsilon : {0.5, 2.0, 8.0}) {
        const std::vector<std::size_t> kept = detail::simplifyRDPOpenIndices(walk, epsilon);
        ASSERT_GE(kept.size(), 2u);
        EXPECT_EQ(kept.front(), 0u);
        EXPECT_EQ(kept.back(), walk.size() - 1);
        EXPECT_LT(kept.size(), walk.size());
        for (std::size_t j = 0; j + 1 < kept.size(); ++j) {
            ASSERT_LT(kept[j], kept[j + 1]);
            for (std::size_t i = kept[j] + 1; i < kept[j + 1]; ++i) {
                ASSERT_LE(distanceToSegment(walk[i], walk[kept[j]], walk[kept[j + 1]]), epsilon + 1e-9)
                    << "point " << i << " at epsilon " << epsilon;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

Points vee(double enclosedDeg) {
    // Two 10-point arms meeting at (0, 0), the enclosed angle at the vertex being enclosedDeg.
    const double half = enclosedDeg / 2 * std::numbers::pi / 180;
    Points points;
    for (int i = 9; i >= 1; --i) points.push_back({-i * std::cos(half), i * std::sin(half)});
    points.push_back({0, 0});
    for (int i = 1; i <= 9; ++i) points.push_back({-i * std::cos(half), -i * std::sin(half)});
    return points;
}

TEST(BezierFittingCorners, SplitsOnlyWhereTheEnclosedAngleIsSharperThanTheSetting) {
    struct Case {
        double enclosedDeg;
        std::int64_t cornerAngleDeg;
        std::size_t pieces;
    };
    for (const Case& c : {Case{30, 45, 2}, Case{60, 45, 1}, Case{30, 0, 1}, Case{30, -5, 1}, Case{100, 120, 2},
                          Case{140, 120, 1}, Case{1, 10, 2}}) {
        const Points points = vee(c.enclosedDeg);
        const auto pieces = splitAtCorners(points, c.cornerAngleDeg);
        ASSERT_EQ(pieces.size(), c.pieces) << c.enclosedDeg << "° at setting " << c.cornerAngleDeg;
        if (c.pieces == 2) {
            EXPECT_EQ(pieces[0].back(), (VectorPoint{0, 0}));
            EXPECT_EQ(pieces[1].front(), (VectorPoint{0, 0}));
            EXPECT_EQ(pieces[0].size() + pieces[1].size(), points.size() + 1);
        } else {
            EXPECT_EQ(pieces[0], points);
        }
    }
}

TEST(BezierFittingCorners, ZigzagCutsAtEveryCornerAndSkipsZeroLengthSteps) {
    const Points zigzag{{0, 0}, {10, 1}, {0, 2}, {10, 3}, {10, 3}, {0, 4}};
    const auto pieces = splitAtCorners(zigzag, 45);
    // The repeated point hides the third corner: a zero-length step has no direction.
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], (Points{{0, 0}, {10, 1}}));
    EXPECT_EQ(pieces[1], (Points{{10, 1}, {0, 2}}));
    EXPECT_EQ(pieces[2], (Points{{0, 2}, {10, 3}, {10, 3}, {0, 4}}));
    EXPECT_EQ(splitAtCorners({}, 45).size(), 1u);
    EXPECT_TRUE(splitAtCorners({}, 45)[0].empty());
}

// ---------------------------------------------------------------------------------------------

TEST(BezierFittingFit, LowSmoothingGivesCatmullRomThroughEveryPoint) {
    Points arc;
    for (int i = 0; i < 10; ++i) arc.push_back({i * 3.0, 0.2 * i * i});
    const Segments segments = fitCubicBeziers(arc, 0.2, 45);
    ASSERT_EQ(segments.size(), 9u);
    for (std::size_t k = 0; k < 9; ++k) {
        EXPECT_EQ(segments[k].p0, arc[k]);
        EXPECT_EQ(segments[k].p3, arc[k + 1]);
    }
    // Tension 0.2: handles are a thirtieth of the neighbours' chord; the ends reuse the end point.
    EXPECT_DOUBLE_EQ(segments[0].c1.x, 0 + (3.0 - 0) * 0.2 / 6);
    EXPECT_DOUBLE_EQ(segments[4].c1.x, 12 + (15.0 - 9) * 0.2 / 6);
    EXPECT_DOUBLE_EQ(segments[4].c2.y, 5.0 - (7.2 - 3.2) * 0.2 / 6);
    EXPECT_DOUBLE_EQ(segments[8].c2.x, 27 - (27.0 - 24) * 0.2 / 6);
}

TEST(BezierFittingFit, ShortPiecesStraightPairsAndTrivialInputs) {
    const Segments straight = fitCubicBeziers({{0, 0}, {9, 3}}, 0.65, 45);
    ASSERT_EQ(straight.size(), 1u);
    EXPECT_EQ(straight[0], (CubicBezierSegment{{0, 0}, {3, 1}, {6, 2}, {9, 3}}));
    // Four points at the default smoothing: too few for least squares, Catmull-Rom at tension 0.65.
    EXPECT_EQ(fitCubicBeziers({{0, 0}, {4, 1}, {8, 3}, {12, 6}}, 0.65, 45).size(), 3u);

    EXPECT_TRUE(fitCubicBeziers({}, 0.65, 45).empty());
    EXPECT_TRUE(fitCubicBeziers({{1, 1}}, 0.65, 45).empty());
    EXPECT_TRUE(fitCubicBeziers({{0, 0}, {9, 3}}, 0.02, 45).empty());
    EXPECT_TRUE(fitCubicBeziers({{0, 0}, {9, 3}}, kNaN, 45).empty());
}

TEST(BezierFittingFit, SmoothingAboveOneBehavesAsOne) {
    std::mt19937 rng(3);
    const Points stroke = randomSmoothStroke(rng, 300);
    EXPECT_EQ(fitCubicBeziers(stroke, 5, 45), fitCubicBeziers(stroke, 1, 45));
    EXPECT_EQ(fitCubicBeziers(stroke, std::numeric_limits<double>::infinity(), 45), fitCubicBeziers(stroke, 1, 45));
    EXPECT_NE(fitCubicBeziers(stroke, 0.65, 45), fitCubicBeziers(stroke, 1, 45));
}

TEST(BezierFittingFit, RandomSmoothStrokesStayWithinTolerance) {
    std::mt19937 rng(2024);
    struct Setting {
        double smoothing;
        double tolerance;
    };
    for (const Setting setting : {Setting{0.2, 0}, Setting{0.35, 2.2 * 0.35}, Setting{0.65, 1.43}, Setting{1, 2.2}}) {
        for (int strokeIndex = 0; strokeIndex < 25; ++strokeIndex) {
            const std::size_t count = 6 + rng() % 400;
            const double step = 0.7 + (rng() % 100) / 50.0;
            const Points stroke = randomSmoothStroke(rng, count, step);
            const Segments segments = fitCubicBeziers(stroke, setting.smoothing, 45);
            ASSERT_FALSE(segments.empty());
            expectChained(segments);
            EXPECT_EQ(segments.front().p0, stroke.front());
            EXPECT_EQ(segments.back().p3, stroke.back());
            for (std::size_t i = 0; i < stroke.size(); ++i) {
                ASSERT_TRUE(isNearCurves(stroke[i], segments, setting.tolerance + 1e-9))
                    << "smoothing " << setting.smoothing << ", stroke " << strokeIndex << ", point " << i;
            }
        }
    }
}

TEST(BezierFittingFit, ShapesWithCornersKeepTheCornersAsSegmentEnds) {
    // A star of five 36° spikes, sampled every 0.5 px, starting and ending at one tip.
    Points star;
    for (int vertex = 0; vertex <= 10; ++vertex) {
        const auto at = [](int v) {
            const double angle = v * std::numbers::pi / 5 + std::numbers::pi / 2;
            const double radius = v % 2 == 0 ? 100 : 38;
            return VectorPoint{200 + radius * std::cos(angle), 200 + radius * std::sin(angle)};
        };
        if (vertex == 10) {
            star.push_back(at(10));
            break;
        }
        const VectorPoint a = at(vertex), b = at(vertex + 1);
        const int steps = static_cast<int>(a.distance(b) / 0.5);
        for (int s = 0; s < steps; ++s) {
            const double t = double(s) / steps;
            star.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    const auto pieces = splitAtCorners(star, 45);
    EXPECT_EQ(pieces.size(), 5u);  // cut at the four inner tips; the inner vertices turn by only 72°
    for (double smoothing : {0.2, 0.65, 1.0}) {
        const Segments segments = fitCubicBeziers(star, smoothing, 45);
        expectChained(segments);
        for (std::size_t p = 0; p + 1 < pieces.size(); ++p) {
            const VectorPoint tip = pieces[p].back();
            const bool isSegmentEnd =
                std::any_of(segments.begin(), segments.end(), [&](const auto& s) { return s.p3 == tip; });
            EXPECT_TRUE(isSegmentEnd) << "tip " << p << " at smoothing " << smoothing;
        }
        const double tolerance = std::max(2.2 * std::min(smoothing, 1.0), 0.35);
        for (const VectorPoint& point : star) {
            ASSERT_TRUE(isNearCurves(point, segments, tolerance + 1e-9)) << "smoothing " << smoothing;
        }
    }
}

TEST(BezierFittingFit, LongNoisyStrokeEndsAtTheDepthBound) {
    std::mt19937 rng(11);
    std::normal_distribution<double> jitter(0, 3);
    Points noisy;
    for (int i = 0; i < 100000; ++i) noisy.push_back({i * 0.5, 40 * std::sin(i * 0.01) + jitter(rng)});
    const Segments segments = fitCubicBeziers(noisy, 0.65, 0);
    // One piece; at most 8 nested splits.
    EXPECT_GE(segments.size(), 1u);
    EXPECT_LE(segments.size(), 256u);
    expectChained(segments);
    EXPECT_EQ(segments.back().p3, noisy.back());
}

TEST(BezierFittingFit, DegeneratePointsGiveFiniteShortResults) {
    const Points same(12, VectorPoint{4, 4});
    const Segments stuck = fitCubicBeziers(same, 0.65, 45);
    ASSERT_EQ(stuck.size(), 1u);
    EXPECT_EQ(stuck[0], (CubicBezierSegment{{4, 4}, {4, 4}, {4, 4}, {4, 4}}));
    // A stroke that doubles back on itself: the split tangent falls back to the neighbours.
    Points back;
    for (int i = 0; i <= 20; ++i) back.push_back({double(i), 0});
    for (int i = 19; i >= 0; --i) back.push_back({double(i), 0});
    const Segments folded = fitCubicBeziers(back, 0.65, 0);
    expectChained(folded);
    for (const VectorPoint& p : back) EXPECT_TRUE(isNearCurves(p, folded, 1.43 + 1e-9));

    std::mt19937 rng(5);
    Points withNaN = randomSmoothStroke(rng, 30);
    withNaN[10] = {kNaN, kNaN};
    EXPECT_LE(fitCubicBeziers(withNaN, 0.65, 45).size(), 256u);
}

TEST(BezierFittingSchneider, ReparameterisationLowersTheError) {
    std::mt19937 rng(9);
    const Points stroke = randomSmoothStroke(rng, 40, 1.5);
    const VectorPoint left{(stroke[1].x - stroke[0].x) / stroke[1].distance(stroke[0]),
                           (stroke[1].y - stroke[0].y) / stroke[1].distance(stroke[0])};
    const std::size_t n = stroke.size();
    const VectorPoint right{(stroke[n - 2].x - stroke[n - 1].x) / stroke[n - 2].distance(stroke[n - 1]),
                            (stroke[n - 2].y - stroke[n - 1].y) / stroke[n - 2].distance(stroke[n - 1])};
    const std::vector<double> u = detail::chordLengthParameterize(stroke);
    EXPECT_EQ(u.front(), 0);
    EXPECT_DOUBLE_EQ(u.back(), 1);
    const CubicBezierSegment bez = detail::generateBezier(stroke, u, left, right);
    EXPECT_EQ(bez.p0, stroke.front());
    EXPECT_EQ(bez.p3, stroke.back());
    const std::vector<double> better = detail::reparameterize(stroke, u, bez);
    EXPECT_EQ(better.front(), 0);
    EXPECT_EQ(better.back(), 1);
    EXPECT_LT(detail::computeMaxError(stroke, bez, better).first, detail::computeMaxError(stroke, bez, u).first);
}

TEST(BezierFittingSchneider, SplitsAtTheWorstPointLastOnTies) {
    // Symmetric about x = 2: points 1 and 3 are equally far from the straight fallback.
    const Points tent{{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}};
    const CubicBezierSegment line{{0, 0}, {4.0 / 3, 0}, {8.0 / 3, 0}, {4, 0}};
    const auto [error, index] = detail::computeMaxError(tent, line, {0, 0.25, 0.5, 0.75, 1});
    EXPECT_DOUBLE_EQ(error, 1);
    EXPECT_EQ(index, 3u);
    const Segments two = detail::fitSchneiderCubic({{0, 0}, {3, 4}}, {1, 0}, {0, 1}, 1, 0);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0], (CubicBezierSegment{{0, 0}, {5.0 / 3, 0}, {3, 4 + 5.0 / 3}, {3, 4}}));
}

// ---------------------------------------------------------------------------------------------

void expectClosedLoop(const Segments& outline) {
    ASSERT_FALSE(outline.empty());
    expectChained(outline);
    EXPECT_EQ(outline.back().p3, outline.front().p0);
}

TEST(BezierFittingRibbon, StraightStrokeIsTwoOffsetLinesAndTwoHalfCircles) {
    const Segments outline = buildVariableWidthRibbon({{0, 0}, {10, 0}}, {2, 2}, {}, 1, 1, false);
    ASSERT_EQ(outline.size(), 6u);
    expectClosedLoop(outline);
    EXPECT_EQ(outline[0], (CubicBezierSegment{{0, 2}, {10.0 / 3, 2}, {20.0 / 3, 2}, {10, 2}}));
    EXPECT_EQ(outline[3], (CubicBezierSegment{{10, -2}, {20.0 / 3, -2}, {10.0 / 3, -2}, {0, -2}}));
    constexpr double kappa = 0.5522847498307936;
    EXPECT_EQ(outline[1], (CubicBezierSegment{{10, 2}, {10 + 2 * kappa, 2}, {12, 2 * kappa}, {12, 0}}));
    EXPECT_EQ(outline[2], (CubicBezierSegment{{12, 0}, {12, -2 * kappa}, {10 + 2 * kappa, -2}, {10, -2}}));
    EXPECT_EQ(outline[4].p3, (VectorPoint{-2, 0}));
    // Each cap's quarter arcs stay on the circle of radius 2 within the cubic's 0.03 % error.
    for (int cap : {1, 2, 4, 5}) {
        const VectorPoint center = cap < 3 ? VectorPoint{10, 0} : VectorPoint{0, 0};
        for (int i = 0; i <= 16; ++i) {
            EXPECT_NEAR(cubicPoint(outline[cap], i / 16.0).distance(center), 2, 2 * 3e-4);
        }
    }
}

TEST(BezierFittingRibbon, HalfWidthFollowsScaleRadiiAndFloor) {
    struct Case {
        double scale;
        std::vector<double> radii;
        double defaultRadius;
        double halfWidth;
    };
    for (const Case& c :
         {Case{10, {2, 2}, 1, 8}, Case{0, {10, 10}, 1, 1.5}, Case{1, {0, 0}, 1, 0.35}, Case{1, {2}, 3, 3},
          Case{2, {kNaN, kNaN}, 1.5, 3}, Case{kNaN, {2, 2}, 1, 2}, Case{1, {2, 2}, kNaN, 2}, Case{1, {}, kNaN, 0.35}}) {
        const Segments outline =
            buildVariableWidthRibbon({{0, 0}, {10, 0}}, c.radii, {}, c.defaultRadius, c.scale, false);
        ASSERT_EQ(outline.size(), 6u);
        expectClosedLoop(outline);
        EXPECT_DOUBLE_EQ(outline[0].p0.y, c.halfWidth) << "scale " << c.scale;
        EXPECT_DOUBLE_EQ(outline[3].p3.y, -c.halfWidth) << "scale " << c.scale;
    }
    // Radii 1 then 3 along the stroke: the half width grows from one end to the other.
    const Segments tapered = buildVariableWidthRibbon({{0, 0}, {10, 0}}, {1, 3}, {}, 1, 1, false);
    EXPECT_DOUBLE_EQ(tapered[0].p0.y, 1);
    EXPECT_DOUBLE_EQ(tapered[0].c1.y, 5.0 / 3);
    EXPECT_DOUBLE_EQ(tapered[0].p3.y, 3);
}

TEST(BezierFittingRibbon, LongSegmentsAreHalvedOnce) {
    EXPECT_EQ(buildVariableWidthRibbon({{0, 0}, {16, 0}}, {}, {}, 1, 1, false).size(), 6u);
    const Segments halved = buildVariableWidthRibbon({{0, 0}, {20, 0}}, {}, {}, 1, 1, false);
    ASSERT_EQ(halved.size(), 8u);
    EXPECT_EQ(halved[0].p3, (VectorPoint{10, 1}));
    // Halves are not halved again.
    EXPECT_EQ(buildVariableWidthRibbon({{0, 0}, {100, 0}}, {}, {}, 1, 1, false).size(), 8u);
}

TEST(BezierFittingRibbon, FittedStrokesGiveOneUnbrokenOutline) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> radius(0.2, 6);
    for (int strokeIndex = 0; strokeIndex < 40; ++strokeIndex) {
        Points stroke = randomSmoothStroke(rng, 3 + rng() % 300, 1.0);
        const bool isClosed = strokeIndex % 3 == 0;
        if (isClosed) stroke.push_back(stroke.front());
        std::vector<double> radii;
        for (std::size_t i = 0; i < stroke.size(); ++i) radii.push_back(radius(rng));
        for (double smoothing : {0.0, 0.2, 0.65}) {
            const Segments beziers = fitCubicBeziers(stroke, smoothing, 45);
            const Segments outline = buildVariableWidthRibbon(stroke, radii, beziers, 1, 1.3, isClosed);
            expectClosedLoop(outline);
            const std::size_t source = beziers.empty() ? stroke.size() - 1 : beziers.size();
            EXPECT_GE(outline.size(), 2 * source + 4);
            EXPECT_LE(outline.size(), 4 * source + 4);
            for (const CubicBezierSegment& s : outline) {
                ASSERT_TRUE(std::isfinite(s.p0.x) && std::isfinite(s.p0.y) && std::isfinite(s.c1.x) &&
                            std::isfinite(s.c2.y));
            }
        }
    }
}

TEST(BezierFittingRibbon, DegenerateStrokes) {
    EXPECT_TRUE(buildVariableWidthRibbon({}, {}, {}, 1, 1, false).empty());
    EXPECT_TRUE(buildVariableWidthRibbon({{3, 3}}, {2}, {}, 1, 1, true).empty());
    // Coincident points: a dot drawn as two round caps around it.
    const Segments dot = buildVariableWidthRibbon({{3, 3}, {3, 3}, {3, 3}}, {kNaN, 1, 1}, {}, 1, 1, false);
    ASSERT_EQ(dot.size(), 8u);
    expectClosedLoop(dot);
    for (const CubicBezierSegment& s : dot) EXPECT_TRUE(std::isfinite(s.c1.x) && std::isfinite(s.c2.y));
}

}  // namespace
}  // namespace ostrel
