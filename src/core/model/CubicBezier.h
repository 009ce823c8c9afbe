// Evaluating a cubic Bézier segment at a parameter t (Bernstein form): its weights, its point, and
// the first and second derivatives the curve fitter's Newton steps use. A few multiplications each.
//
// Results are compared bit for bit and the build keeps every product and sum in the order it is
// written (-ffp-contract=off), so each formula below fixes its order of operations; callers use
// these rather than writing the sums again.
#pragma once

#include "core/model/VectorModel.h"

namespace ostrel {

/// The Bernstein weights of a cubic at t: (1 − t)³, 3(1 − t)²t, 3(1 − t)t², t³.
struct CubicWeights {
    double w0;
    double w1;
    double w2;
    double w3;
};

/// The weights with u = 1 − t, each product taken left to right: u·u·u, 3·u·u·t, 3·u·t·t, t·t·t.
/// The order of the segment length estimate and of the plotter's sampling.
[[nodiscard]] inline CubicWeights cubicWeights(double t) noexcept {
    const double u = 1.0 - t;
    return {u * u * u, 3.0 * u * u * t, 3.0 * u * t * t, t * t * t};
}

/// The same weights in the curve fitter's order: u·u·u, 3·t·u·u, 3·t·t·u, t·t·t. Equal to
/// cubicWeights in exact arithmetic but not always in the last bit; every fitted control point
/// depends on this order and every plotter sample on the other, so both stay.
[[nodiscard]] inline CubicWeights cubicWeightsForFitting(double t) noexcept {
    const double u = 1.0 - t;
    return {u * u * u, 3.0 * t * u * u, 3.0 * t * t * u, t * t * t};
}

/// w0·p0 + w1·c1 + w2·c2 + w3·p3, summed in that order.
[[nodiscard]] inline VectorPoint cubicPoint(const CubicBezierSegment& s, const CubicWeights& w) noexcept {
    return {w.w0 * s.p0.x + w.w1 * s.c1.x + w.w2 * s.c2.x + w.w3 * s.p3.x,
            w.w0 * s.p0.y + w.w1 * s.c1.y + w.w2 * s.c2.y + w.w3 * s.p3.y};
}

/// The point at t, weighted by cubicWeights.
[[nodiscard]] inline VectorPoint cubicPoint(const CubicBezierSegment& s, double t) noexcept {
    return cubicPoint(s, cubicWeights(t));
}

/// B′(t) = 3u²(c1 − p0) + 6ut(c2 − c1) + 3t²(p3 − c2), u = 1 − t.
[[nodiscard]] inline VectorPoint cubicDerivative(const CubicBezierSegment& s, double t) noexcept {
    const double u = 1.0 - t;
    const double a = 3.0 * u * u;
    const double b = 6.0 * t * u;
    const double c = 3.0 * t * t;
    return {(s.c1.x - s.p0.x) * a + (s.c2.x - s.c1.x) * b + (s.p3.x - s.c2.x) * c,
            (s.c1.y - s.p0.y) * a + (s.c2.y - s.c1.y) * b + (s.p3.y - s.c2.y) * c};
}

/// B″(t) = 6u(c2 − 2c1 + p0) + 6t(p3 − 2c2 + c1), u = 1 − t.
[[nodiscard]] inline VectorPoint cubicSecondDerivative(const CubicBezierSegment& s, double t) noexcept {
    const double a = 6.0 * (1.0 - t);
    const double b = 6.0 * t;
    return {(s.c2.x - s.c1.x * 2.0 + s.p0.x) * a + (s.p3.x - s.c2.x * 2.0 + s.c1.x) * b,
            (s.c2.y - s.c1.y * 2.0 + s.p0.y) * a + (s.p3.y - s.c2.y * 2.0 + s.c1.y) * b};
}

}  // namespace ostrel
