#include "benchsupport/QualityMetrics.h"

#include "core/pipeline/NeuralRidgeFilter.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace ostrel::bench {

namespace {

/// The mask with set and unset pixels swapped: the distance transform measures from unset pixels.
PixelMask complement(const PixelMask& mask) {
    PixelMask out(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) out[i] = mask[i] != 0 ? 0 : 1;
    return out;
}

/// Appends, for every set pixel of `from`, its distance to the nearest set pixel of `to`.
void appendDistances(const PixelMask& from, const PixelMask& to, int width, int height, std::vector<float>& samples) {
    // distance[i]: Euclidean distance from pixel i to the nearest set pixel of `to` (0 on it).
    const std::vector<float> distance = NeuralRidgeFilter::computeExactEDT(complement(to), width, height);
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from[i] != 0) samples.push_back(distance[i]);
    }
}

bool hasAny(const PixelMask& mask) noexcept {
    return std::any_of(mask.begin(), mask.end(), [](std::uint8_t v) { return v != 0; });
}

}  // namespace

PixelMask darkMask(const QImage& image, float lumaLimit) {
    if (image.isNull()) return {};
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width(), h = argb.height();
    PixelMask mask(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = row[x];
            const float a = static_cast<float>(qAlpha(c)) / 255.0f;
            const float grey = 0.299f * static_cast<float>(qRed(c)) + 0.587f * static_cast<float>(qGreen(c)) +
                               0.114f * static_cast<float>(qBlue(c));
            const float luma = grey * a + (1.0f - a) * 255.0f;
            mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                luma < lumaLimit ? 1 : 0;
        }
    }
    return mask;
}

PixelMask inkBoundary(const PixelMask& ink, int width, int height) {
    PixelMask boundary(ink.size(), 0);
    if (width <= 0 || height <= 0 || ink.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return boundary;
    const auto at = [&](int x, int y) {
        return ink[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] != 0;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!at(x, y)) continue;
            const bool edge = (x > 0 && !at(x - 1, y)) || (x + 1 < width && !at(x + 1, y)) ||
                              (y > 0 && !at(x, y - 1)) || (y + 1 < height && !at(x, y + 1));
            if (edge)
                boundary[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                    1;
        }
    }
    return boundary;
}

std::optional<BoundaryDistance> symmetricDistance(const PixelMask& lines, const PixelMask& boundary, int width,
                                                  int height) {
    const std::size_t size =
        static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    if (size == 0 || lines.size() != size || boundary.size() != size) return std::nullopt;
    if (!hasAny(lines) || !hasAny(boundary)) return std::nullopt;

    std::vector<float> samples;
    appendDistances(boundary, lines, width, height, samples);
    appendDistances(lines, boundary, width, height, samples);
    std::sort(samples.begin(), samples.end());

    double sum = 0;
    for (float d : samples) sum += d;
    BoundaryDistance out;
    out.samples = static_cast<std::int64_t>(samples.size());
    out.meanPx = sum / static_cast<double>(samples.size());
    // Nearest rank: the smallest sample with at least 95 % of the samples at or below it.
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(samples.size())));
    out.p95Px = samples[std::max<std::size_t>(rank, 1) - 1];
    return out;
}

std::optional<double> intersectionOverUnion(const PixelMask& a, const PixelMask& b) noexcept {
    if (a.size() != b.size()) return std::nullopt;
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool inA = a[i] != 0, inB = b[i] != 0;
        both += inA && inB ? 1 : 0;
        either += inA || inB ? 1 : 0;
    }
    return either == 0 ? 1.0 : static_cast<double>(both) / static_cast<double>(either);
}

}  // namespace ostrel::bench
