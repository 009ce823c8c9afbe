#include "core/pipeline/BezierFitting.h"

#include "core/model/CubicBezier.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrel::BezierAndPlotterOptimizer {

namespace {

VectorPoint operator+(VectorPoint a, VectorPoint b) noexcept { return {a.x + b.x, a.y + b.y}; }
VectorPoint operator-(VectorPoint a, VectorPoint b) noexcept { return {a.x - b.x, a.y - b.y}; }
VectorPoint operator-(VectorPoint a) noexcept { return {-a.x, -a.y}; }
VectorPoint operator*(VectorPoint a, double k) noexcept { return {a.x * k, a.y * k}; }
VectorPoint operator/(VectorPoint a, double k) noexcept { return {a.x / k, a.y / k}; }
double dot(VectorPoint a, VectorPoint b) noexcept { return a.x * b.x + a.y * b.y; }
double lengthSquared(VectorPoint a) noexcept { return a.x * a.x + a.y * a.y; }
double length(VectorPoint a) noexcept { return std::sqrt(lengthSquared(a)); }

/// d / |d|, or (1, 0) when |d| ≤ 1e-8.
VectorPoint unitOf(VectorPoint d) noexcept {
    const double len = length(d);
    return len > 1e-8 ? d / len : VectorPoint{1, 0};
}

/// Squared distance from p to the segment a→b and the clamped parameter of the nearest point;
/// a segment shorter than 1e-5 px counts as its start point.
struct SegmentProjection {
    double distanceSquared;
    double t;
};
SegmentProjection projectOnSegment(VectorPoint p, VectorPoint a, VectorPoint b) noexcept {
    const VectorPoint d = b - a;
    const double dd = lengthSquared(d);
    if (dd < 1e-10) return {lengthSquared(p - a), 0};
    const double t = std::clamp(dot(p - a, d) / dd, 0.0, 1.0);
    return {lengthSquared(p - (a + d * t)), t};
}

CubicBezierSegment straightSegment(VectorPoint a, VectorPoint b) noexcept {
    const VectorPoint d = b - a;
    return {a, a + d / 3, a + (d * 2) / 3, b};
}

std::vector<VectorPoint> slice(const std::vector<VectorPoint>& points, std::size_t first, std::size_t last) {
    return {points.begin() + static_cast<std::ptrdiff_t>(first),
            points.begin() + static_cast<std::ptrdiff_t>(last) + 1};
}

/// Unit direction leaving p0: towards the first of c1, c2, p3 farther than 1e-5 px from it.
VectorPoint startTangent(const CubicBezierSegment& seg) noexcept {
    VectorPoint toward = seg.p3;
    for (const VectorPoint& q : {seg.c1, seg.c2}) {
        if (length(q - seg.p0) > 1e-5) {
            toward = q;
            break;
        }
    }
    return unitOf(toward - seg.p0);
}

/// Unit direction arriving at p3: from the first of c2, c1, p0 farther than 1e-5 px from it.
VectorPoint endTangent(const CubicBezierSegment& seg) noexcept {
    VectorPoint from = seg.p0;
    for (const VectorPoint& q : {seg.c2, seg.c1}) {
        if (length(seg.p3 - q) > 1e-5) {
            from = q;
            break;
        }
    }
    return unitOf(seg.p3 - from);
}

/// The two halves of a cubic at t = 0.5 (de Casteljau); they share the mid point exactly.
std::pair<CubicBezierSegment, CubicBezierSegment> halve(const CubicBezierSegment& s) noexcept {
    const VectorPoint p01 = (s.p0 + s.c1) * 0.5;
    const VectorPoint p12 = (s.c1 + s.c2) * 0.5;
    const VectorPoint p23 = (s.c2 + s.p3) * 0.5;
    const VectorPoint p012 = (p01 + p12) * 0.5;
    const VectorPoint p123 = (p12 + p23) * 0.5;
    const VectorPoint mid = (p012 + p123) * 0.5;
    return {{s.p0, p01, p012, mid}, {mid, p123, p23, s.p3}};
}

/// Two cubics approximating the half circle from `fromPt` round the apex to `toPt`.
void appendRoundCap(std::vector<CubicBezierSegment>& out, VectorPoint center, VectorPoint fromPt, VectorPoint toPt,
                    VectorPoint outwardDir, double radius) {
    constexpr double kappa = 0.5522847498307936;  // 4(√2 − 1)/3, the quarter-circle handle length
    const VectorPoint apex = center + outwardDir * radius;
    out.push_back({fromPt, fromPt + outwardDir * radius * kappa, apex + (fromPt - center) * kappa, apex});
    out.push_back({apex, apex + (toPt - center) * kappa, toPt + outwardDir * radius * kappa, toPt});
}

constexpr double kMinimumHalfWidthPx = 0.35;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Simplification
// ---------------------------------------------------------------------------------------------

namespace detail {

std::vector<std::size_t> simplifyRDPOpenIndices(const std::vector<VectorPoint>& points, double epsilon) {
    const std::size_t n = points.size();
    std::vector<std::size_t> indices;
    if (n < 3) {
        for (std::size_t i = 0; i < n; ++i) indices.push_back(i);
        return indices;
    }
    // keep[i]: point i survives. ranges: index ranges (s, e) still to examine, both ends kept.
    std::vector<char> keep(n, 0);
    keep.front() = 1;
    keep.back() = 1;
    const double epsilonSquared = epsilon * epsilon;
    std::vector<std::pair<std::size_t, std::size_t>> ranges{{0, n - 1}};
    while (!ranges.empty()) {
        const auto [s, e] = ranges.back();
        ranges.pop_back();
        if (e - s < 2) continue;
        double farthest = -1;
        std::size_t farthestIndex = s;
        for (std::size_t k = s + 1; k < e; ++k) {
            const double distance = projectOnSegment(points[k], points[s], points[e]).distanceSquared;
            if (distance > farthest) {
                farthest = distance;
                farthestIndex = k;
            }
        }
        if (farthest > epsilonSquared) {
            keep[farthestIndex] = 1;
            ranges.emplace_back(s, farthestIndex);
            ranges.emplace_back(farthestIndex, e);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (keep[i]) indices.push_back(i);
    }
    return indices;
}

}  // namespace detail

SimplifiedStroke simplifyRDPWithRadii(const std::vector<VectorPoint>& points, const std::vector<double>& radii,
                                      double epsilon) {
    const std::size_t n = points.size();
    const bool mismatch = radii.size() != n;
    if (n < 3 || !(epsilon > 0.01)) return {points, mismatch ? std::vector<double>{} : radii};

    std::vector<std::size_t> indices;
    if (n >= 5 && points.front().distance(points.back()) < 1.5) {
        // A closed stroke: RDP on the whole loop would see a zero-length chord and keep too little.
        const std::size_t middle = n / 2;
        indices = detail::simplifyRDPOpenIndices(slice(points, 0, middle), epsilon);
        const std::vector<std::size_t> second = detail::simplifyRDPOpenIndices(slice(points, middle, n - 1), epsilon);
        for (std::size_t i = 1; i < second.size(); ++i) indices.push_back(second[i] + middle);
    } else {
        indices = detail::simplifyRDPOpenIndices(points, epsilon);
    }

    SimplifiedStroke result;
    result.points.reserve(indices.size());
    for (std::size_t i : indices) result.points.push_back(points[i]);
    if (!mismatch) {
        result.radii.reserve(indices.size());
        for (std::size_t i : indices) result.radii.push_back(radii[i]);
    }
    return result;
}

std::vector<VectorPoint> simplifyRDP(const std::vector<VectorPoint>& points, double epsilon) {
    return simplifyRDPWithRadii(points, {}, epsilon).points;
}

// ---------------------------------------------------------------------------------------------
// Corners and fitting
// ---------------------------------------------------------------------------------------------

std::vector<std::vector<VectorPoint>> splitAtCorners(const std::vector<VectorPoint>& points,
                                                     std::int64_t cornerAngleDeg) {
    const std::size_t n = points.size();
    if (n < 3 || cornerAngleDeg < 1) return {points};

    // cornerAngleDeg ≥ 1 here, so 180 − cornerAngleDeg cannot overflow.
    const double threshold = std::cos(static_cast<double>(180 - cornerAngleDeg) * std::numbers::pi / 180);
    std::vector<std::size_t> corners;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const VectorPoint a = points[i] - points[i - 1];
        const VectorPoint b = points[i + 1] - points[i];
        const double la = length(a);
        const double lb = length(b);
        if (la > 1e-6 && lb > 1e-6 && dot(a, b) / (la * lb) < threshold) corners.push_back(i);
    }
    if (corners.empty()) return {points};

    std::vector<std::vector<VectorPoint>> pieces;
    std::size_t start = 0;
    corners.push_back(n - 1);
    for (std::size_t end : corners) {
        if (end > start) pieces.push_back(slice(points, start, end));
        start = end;
    }
    return pieces;
}

namespace detail {

std::vector<double> chordLengthParameterize(const std::vector<VectorPoint>& points) {
    std::vector<double> u(points.size(), 0.0);
    for (std::size_t i = 1; i < points.size(); ++i) u[i] = u[i - 1] + length(points[i] - points[i - 1]);
    if (!u.empty() && u.back() > 1e-9) {
        const double total = u.back();
        for (double& value : u) value /= total;
    }
    return u;
}

CubicBezierSegment generateBezier(const std::vector<VectorPoint>& points, const std::vector<double>& u,
                                  VectorPoint leftTangent, VectorPoint rightTangent) {
    const VectorPoint first = points.front();
    const VectorPoint last = points.back();
    double c00 = 0, c01 = 0, c11 = 0, x0 = 0, x1 = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto [b0, b1, b2, b3] = cubicWeightsForFitting(u[i]);
        const VectorPoint a1 = leftTangent * b1;
        const VectorPoint a2 = rightTangent * b2;
        c00 += dot(a1, a1);
        c01 += dot(a1, a2);
        c11 += dot(a2, a2);
        const VectorPoint tmp = points[i] - (first * (b0 + b1) + last * (b2 + b3));
        x0 += dot(a1, tmp);
        x1 += dot(a2, tmp);
    }
    const double det = c00 * c11 - c01 * c01;
    double alphaLeft = 0;
    double alphaRight = 0;
    if (std::abs(det) > 1e-9) {
        alphaLeft = (c11 * x0 - c01 * x1) / det;
        alphaRight = (c00 * x1 - c01 * x0) / det;
    }
    // Handles that are nearly zero, negative or longer than the chord mean an ill-posed system:
    // fall back to Wu–Barsky's heuristic of a third of the chord.
    const double seg = length(first - last);
    const double low = seg * 1e-6;
    const double high = seg * 0.85;
    if (alphaLeft < low || alphaLeft > high || alphaRight < low || alphaRight > high) {
        alphaLeft = seg / 3;
        alphaRight = seg / 3;
    }
    return {first, first + leftTangent * alphaLeft, last + rightTangent * alphaRight, last};
}

std::pair<double, std::size_t> computeMaxError(const std::vector<VectorPoint>& points, const CubicBezierSegment& bez,
                                               const std::vector<double>& u) {
    double maxError = 0;
    std::size_t splitIndex = 0;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const double distance = length(cubicPoint(bez, cubicWeightsForFitting(u[i])) - points[i]);
        if (distance >= maxError) {
            maxError = distance;
            splitIndex = i;
        }
    }
    return {maxError, splitIndex};
}

std::vector<double> reparameterize(const std::vector<VectorPoint>& points, const std::vector<double>& u,
                                   const CubicBezierSegment& bez) {
    std::vector<double> result = u;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const double t = u[i];
        const VectorPoint q = cubicPoint(bez, cubicWeightsForFitting(t));
        const VectorPoint q1 = cubicDerivative(bez, t);
        const VectorPoint q2 = cubicSecondDerivative(bez, t);
        const VectorPoint offset = q - points[i];
        const double numerator = dot(offset, q1);
        const double denominator = dot(q1, q1) + dot(offset, q2);
        if (std::abs(denominator) > 1e-9) result[i] = std::clamp(t - numerator / denominator, 0.0, 1.0);
    }
    return result;
}

std::vector<CubicBezierSegment> fitSchneiderCubic(const std::vector<VectorPoint>& points, VectorPoint leftTangent,
                                                  VectorPoint rightTangent, double error, int depth) {
    const std::size_t n = points.size();
    if (n < 2) return {};
    if (n == 2) {
        const double d = length(points[0] - points[1]) / 3;
        return {{points[0], points[0] + leftTangent * d, points[1] + rightTangent * d, points[1]}};
    }

    std::vector<double> u = chordLengthParameterize(points);
    CubicBezierSegment bez = generateBezier(points, u, leftTangent, rightTangent);
    auto [maxError, split] = computeMaxError(points, bez, u);
    if (maxError <= error) return {bez};

    if (maxError <= 4 * error && depth <= 5) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            u = reparameterize(points, u, bez);
            bez = generateBezier(points, u, leftTangent, rightTangent);
            std::tie(maxError, split) = computeMaxError(points, bez, u);
            if (maxError <= error) return {bez};
        }
    }

    if (depth <= 7 && split > 0 && split < n - 1) {
        const VectorPoint across = points[split - 1] - points[split + 1];
        VectorPoint leftEnd;
        VectorPoint rightStart;
        if (length(across) > 1e-8) {
            leftEnd = unitOf(across);
            rightStart = -leftEnd;
        } else {  // the curve doubles back on itself at the split point
            leftEnd = unitOf(points[split - 1] - points[split]);
            rightStart = unitOf(points[split + 1] - points[split]);
        }
        std::vector<CubicBezierSegment> result =
            fitSchneiderCubic(slice(points, 0, split), leftTangent, leftEnd, error, depth + 1);
        const std::vector<CubicBezierSegment> right =
            fitSchneiderCubic(slice(points, split, n - 1), rightStart, rightTangent, error, depth + 1);
        result.insert(result.end(), right.begin(), right.end());
        return result;
    }
    return {bez};
}

}  // namespace detail

std::vector<CubicBezierSegment> fitCubicBeziers(const std::vector<VectorPoint>& points, double smoothing,
                                                std::int64_t cornerAngleDeg) {
    if (points.size() < 2 || !(smoothing > 0.02)) return {};

    const double tension = std::min(smoothing, 1.0);
    const double error = smoothing >= 1 ? 2.2 : std::max(2.2 * smoothing, 0.35);
    std::vector<CubicBezierSegment> segments;
    for (const std::vector<VectorPoint>& piece : splitAtCorners(points, cornerAngleDeg)) {
        const std::size_t m = piece.size();
        if (m < 2) continue;
        if (m == 2) {
            segments.push_back(straightSegment(piece[0], piece[1]));
        } else if (m >= 6 && tension >= 0.35) {
            const std::vector<CubicBezierSegment> fitted = detail::fitSchneiderCubic(
                piece, unitOf(piece[1] - piece[0]), unitOf(piece[m - 2] - piece[m - 1]), error, 0);
            segments.insert(segments.end(), fitted.begin(), fitted.end());
        } else {
            // Catmull-Rom through every point, the tangent scaled by the tension.
            for (std::size_t k = 0; k + 1 < m; ++k) {
                const VectorPoint& before = piece[k == 0 ? 0 : k - 1];
                const VectorPoint& after = piece[std::min(k + 2, m - 1)];
                segments.push_back({piece[k], piece[k] + (piece[k + 1] - before) * tension / 6,
                                    piece[k + 1] - (after - piece[k]) * tension / 6, piece[k + 1]});
            }
        }
    }
    return segments;
}

// ---------------------------------------------------------------------------------------------
// Ribbon outline
// ---------------------------------------------------------------------------------------------

std::vector<CubicBezierSegment> buildVariableWidthRibbon(const std::vector<VectorPoint>& points,
                                                         const std::vector<double>& pointRadiiPx,
                                                         const std::vector<CubicBezierSegment>& beziers,
                                                         double defaultRadiusPx, double scale, bool isClosed) {
    if (points.size() < 2) return {};

    std::vector<CubicBezierSegment> source = beziers;
    if (source.empty()) {
        for (std::size_t k = 0; k + 1 < points.size(); ++k) source.push_back(straightSegment(points[k], points[k + 1]));
    }

    const double s = std::isnan(scale) ? 1.0 : std::clamp(scale, 0.15, 4.0);

    // segs[0…m−1]: the source, each segment with a chord over 16 px halved once.
    std::vector<CubicBezierSegment> segs;
    segs.reserve(source.size() * 2);
    for (const CubicBezierSegment& seg : source) {
        if (length(seg.p0 - seg.p3) > 16) {
            const auto [first, second] = halve(seg);
            segs.push_back(first);
            segs.push_back(second);
        } else {
            segs.push_back(seg);
        }
    }
    const std::size_t m = segs.size();

    // Radius at the polyline point nearest to p, interpolated along its segment. A radius that is
    // not a finite number falls back to the default width rather than poisoning the outline.
    double base = std::max(defaultRadiusPx * s, kMinimumHalfWidthPx);
    if (!std::isfinite(base)) base = kMinimumHalfWidthPx;
    const bool useRadii = pointRadiiPx.size() == points.size();
    auto sampleRadius = [&](VectorPoint p) {
        if (!useRadii) return base;
        double best = 0;
        std::size_t bestSegment = 0;
        double bestT = 0;
        for (std::size_t k = 0; k + 1 < points.size(); ++k) {
            const SegmentProjection projection = projectOnSegment(p, points[k], points[k + 1]);
            if (k == 0 || projection.distanceSquared < best) {
                best = projection.distanceSquared;
                bestSegment = k;
                bestT = projection.t;
            }
        }
        const double r = (1 - bestT) * pointRadiiPx[bestSegment] + bestT * pointRadiiPx[bestSegment + 1];
        const double scaled = r * s;
        if (!std::isfinite(scaled)) return base;
        return std::max(scaled, kMinimumHalfWidthPx);
    };

    // w[0…m]: half width at each vertex, smoothed once by (1/4, 1/2, 1/4).
    std::vector<double> rawWidths(m + 1);
    for (std::size_t j = 0; j < m; ++j) rawWidths[j] = sampleRadius(segs[j].p0);
    rawWidths[m] = isClosed ? rawWidths[0] : sampleRadius(segs[m - 1].p3);
    std::vector<double> w = rawWidths;
    if (w.size() > 2) {
        for (std::size_t j = 1; j < m; ++j)
            w[j] = 0.25 * rawWidths[j - 1] + 0.5 * rawWidths[j] + 0.25 * rawWidths[j + 1];
    }

    // normals[0…m]: unit normal (−t.y, t.x) at each vertex, the tangents of a join averaged.
    auto joinTangent = [](const CubicBezierSegment& before, const CubicBezierSegment& after) {
        const VectorPoint a = endTangent(before);
        const VectorPoint b = startTangent(after);
        const VectorPoint sum = a + b;
        const double len = length(sum);
        return len > 1e-5 ? sum / len : b;
    };
    auto normalOf = [](VectorPoint t) { return VectorPoint{-t.y, t.x}; };
    std::vector<VectorPoint> normals(m + 1);
    normals[0] = normalOf(isClosed ? joinTangent(segs[m - 1], segs[0]) : startTangent(segs[0]));
    for (std::size_t j = 1; j < m; ++j) normals[j] = normalOf(joinTangent(segs[j - 1], segs[j]));
    normals[m] = isClosed ? normals[0] : normalOf(endTangent(segs[m - 1]));

    std::vector<CubicBezierSegment> left(m);
    std::vector<CubicBezierSegment> right(m);
    for (std::size_t i = 0; i < m; ++i) {
        const CubicBezierSegment& seg = segs[i];
        const double ws = w[i];
        const double we = w[i + 1];
        const VectorPoint ns = normals[i];
        const VectorPoint ne = normals[i + 1];
        const double wA = (2 * ws + we) / 3;
        const double wB = (ws + 2 * we) / 3;
        const VectorPoint sumA = ns * 2 + ne;
        const VectorPoint sumB = ns + ne * 2;
        const VectorPoint nA = sumA / std::max(length(sumA), 1e-6);
        const VectorPoint nB = sumB / std::max(length(sumB), 1e-6);
        left[i] = {seg.p0 + ns * ws, seg.c1 + nA * wA, seg.c2 + nB * wB, seg.p3 + ne * we};
        right[i] = {seg.p3 - ne * we, seg.c2 - nB * wB, seg.c1 - nA * wA, seg.p0 - ns * ws};
    }

    std::vector<CubicBezierSegment> outline;
    outline.reserve(2 * m + 4);
    outline.insert(outline.end(), left.begin(), left.end());
    appendRoundCap(outline, segs[m - 1].p3, left[m - 1].p3, right[m - 1].p0, endTangent(segs[m - 1]), w[m]);
    outline.insert(outline.end(), right.rbegin(), right.rend());
    appendRoundCap(outline, segs[0].p0, right[0].p3, left[0].p0, -startTangent(segs[0]), w[0]);
    return outline;
}

}  // namespace ostrel::BezierAndPlotterOptimizer
