#include "core/model/VectorModel.h"

#include "core/model/CubicBezier.h"
#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace ostrel {

const VectorPoint VectorPoint::zero{0, 0};

double VectorPoint::distance(const VectorPoint& other) const noexcept { return std::sqrt(distanceSquared(other)); }

double VectorPoint::distanceSquared(const VectorPoint& other) const noexcept {
    const double dx = x - other.x;
    const double dy = y - other.y;
    return dx * dx + dy * dy;
}

std::size_t VectorPointHash::operator()(const VectorPoint& p) const noexcept {
    // +0.0 and -0.0 compare equal, so they must hash alike.
    const double x = p.x == 0 ? 0.0 : p.x;
    const double y = p.y == 0 ? 0.0 : p.y;
    const std::size_t hx = std::hash<double>{}(x);
    const std::size_t hy = std::hash<double>{}(y);
    return hx ^ (hy + 0x9e3779b97f4a7c15ULL + (hx << 6) + (hx >> 2));
}

double CubicBezierSegment::approximateLength() const noexcept {
    double length = 0;
    VectorPoint previous = p0;
    for (int k = 1; k <= 8; ++k) {
        const VectorPoint next = k == 8 ? p3 : cubicPoint(*this, k / 8.0);
        length += previous.distance(next);
        previous = next;
    }
    return length;
}

VectorPoint VectorPath::startPoint() const noexcept { return points.empty() ? VectorPoint::zero : points.front(); }

VectorPoint VectorPath::endPoint() const noexcept { return points.empty() ? VectorPoint::zero : points.back(); }

VectorPath VectorPath::reversedPath() const {
    VectorPath out = *this;
    auto& points = out.points.edit();
    std::reverse(points.begin(), points.end());
    auto& radii = out.pointRadiiPx.edit();
    std::reverse(radii.begin(), radii.end());
    auto& beziers = out.beziers.edit();
    std::reverse(beziers.begin(), beziers.end());
    for (auto& s : beziers) s = {s.p3, s.c2, s.c1, s.p0};
    return out;
}

double VectorPath::lengthPx() const noexcept {
    double length = 0;
    if (beziers.empty()) {
        for (std::size_t i = 1; i < points.size(); ++i) length += points[i - 1].distance(points[i]);
    } else {
        for (const auto& s : beziers) length += s.approximateLength();
    }
    return length;
}

namespace {
std::size_t wrappedIndex(std::int64_t index) noexcept {
    const std::int64_t m = index % 4;
    return static_cast<std::size_t>(m < 0 ? m + 4 : m);
}
}  // namespace

double defaultPenWidthMM(std::int64_t index) noexcept { return kDefaultPenWidthsMM[wrappedIndex(index)]; }

std::string defaultPenColorHex(std::int64_t index) { return kDefaultPenColorsHex[wrappedIndex(index)]; }

std::string defaultPenName(std::int64_t index) { return L("Stylo ", "Pen ") + integerText(index + 1); }

PenLayer PenLayer::make(std::int64_t index, std::optional<std::string> name, std::optional<double> widthMM,
                        std::optional<std::string> colorHex, bool visible, std::vector<VectorPath> paths) {
    PenLayer layer;
    layer.index = index;
    layer.name = name ? std::move(*name) : defaultPenName(index);
    layer.widthMM = widthMM ? *widthMM : defaultPenWidthMM(index);
    layer.colorHex = colorHex ? std::move(*colorHex) : defaultPenColorHex(index);
    layer.visible = visible;
    layer.paths = std::move(paths);
    return layer;
}

std::string PenLayer::inkscapeLayerLabel() const {
    return integerText(index + 1) + " - " + name + " (" + fixed(widthMM, 1) + "mm)";
}

std::vector<VectorPath> VectorizationResult::allVisiblePaths() const {
    std::vector<VectorPath> out;
    for (const auto& layer : layers) {
        if (!layer.visible) continue;
        out.insert(out.end(), layer.paths.begin(), layer.paths.end());
    }
    return out;
}

}  // namespace ostrel
