#include "core/model/CubicBezier.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ostrel {
namespace {

const CubicBezierSegment kCurve{{1, -2}, {4, 7.5}, {-3, 5}, {9, 0.25}};

VectorPoint lerp(VectorPoint a, VectorPoint b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

/// The point and first derivative by repeated interpolation, independent of the Bernstein form.
std::pair<VectorPoint, VectorPoint> deCasteljau(const CubicBezierSegment& s, double t) {
    const VectorPoint a = lerp(s.p0, s.c1, t), b = lerp(s.c1, s.c2, t), c = lerp(s.c2, s.p3, t);
    const VectorPoint d = lerp(a, b, t), e = lerp(b, c, t);
    return {lerp(d, e, t), {3 * (e.x - d.x), 3 * (e.y - d.y)}};
}

TEST(CubicBezier, PointAndDerivativesMatchRepeatedInterpolation) {
    for (double t : {0.0, 0.1, 0.25, 1.0 / 3, 0.5, 0.7, 0.99, 1.0}) {
        const auto [point, tangent] = deCasteljau(kCurve, t);
        for (const CubicWeights& w : {cubicWeights(t), cubicWeightsForFitting(t)}) {
            EXPECT_NEAR(w.w0 + w.w1 + w.w2 + w.w3, 1.0, 1e-15) << t;
            const VectorPoint p = cubicPoint(kCurve, w);
            EXPECT_NEAR(p.x, point.x, 1e-12) << t;
            EXPECT_NEAR(p.y, point.y, 1e-12) << t;
        }
        EXPECT_EQ(cubicPoint(kCurve, t), cubicPoint(kCurve, cubicWeights(t)));
        const VectorPoint d1 = cubicDerivative(kCurve, t);
        EXPECT_NEAR(d1.x, tangent.x, 1e-12) << t;
        EXPECT_NEAR(d1.y, tangent.y, 1e-12) << t;
        // B′ is quadratic, so its central difference is exact up to rounding.
        constexpr double h = 1e-4;
        const VectorPoint before = cubicDerivative(kCurve, t - h), after = cubicDerivative(kCurve, t + h);
        const VectorPoint d2 = cubicSecondDerivative(kCurve, t);
        EXPECT_NEAR(d2.x, (after.x - before.x) / (2 * h), 1e-7) << t;
        EXPECT_NEAR(d2.y, (after.y - before.y) / (2 * h), 1e-7) << t;
    }
}

TEST(CubicBezier, EndsAreExact) {
    for (const CubicWeights& w : {cubicWeights(0), cubicWeightsForFitting(0)})
        EXPECT_EQ(cubicPoint(kCurve, w), kCurve.p0);
    for (const CubicWeights& w : {cubicWeights(1), cubicWeightsForFitting(1)})
        EXPECT_EQ(cubicPoint(kCurve, w), kCurve.p3);
    EXPECT_EQ(cubicDerivative(kCurve, 0), (VectorPoint{9, 28.5}));         // 3 (c1 − p0)
    EXPECT_EQ(cubicDerivative(kCurve, 1), (VectorPoint{36, -14.25}));      // 3 (p3 − c2)
    EXPECT_EQ(cubicSecondDerivative(kCurve, 0), (VectorPoint{-60, -72}));  // 6 (c2 − 2 c1 + p0)
}

}  // namespace
}  // namespace ostrel
