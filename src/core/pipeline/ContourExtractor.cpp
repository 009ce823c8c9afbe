// Vision contours and the Canny edge skeleton. See ContourExtractor.h.
#include "core/pipeline/ContourExtractor.h"

#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/PrefaultedImage.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace ostrel::NeuralRidgeFilter {

namespace {

// width × height as a size when both are positive and the product fits; 0 otherwise.
std::size_t pixelCount(std::int64_t width, std::int64_t height) noexcept {
    if (width <= 0 || height <= 0) return 0;
    if (static_cast<std::uint64_t>(width) >
        std::numeric_limits<std::size_t>::max() / static_cast<std::uint64_t>(height)) {
        return 0;
    }
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// Fields at least 3 × 3 whose binary and ridge field hold one value per pixel.
bool fieldsUsable(const PreprocessedFields& fields) noexcept {
    if (fields.width < 3 || fields.height < 3) return false;
    const std::size_t n = pixelCount(fields.width, fields.height);
    return n != 0 && fields.binary.size() == n && fields.ridgeField.size() == n;
}

// One contour of the tree, without its children: points in pixels, or nothing when it is dropped.
std::optional<std::vector<VectorPoint>> convertContour(const ContourFinder::Contour& contour, double width,
                                                       double height, double minArcLengthPx) {
    if (contour.points.size() < 2) return std::nullopt;
    std::vector<VectorPoint> points;
    points.reserve(contour.points.size() + 1);
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    bool anyInside = false;
    for (const auto& p : contour.points) {
        const VectorPoint q{static_cast<double>(p.x) * width, (1.0 - static_cast<double>(p.y)) * height};
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
        if (q.x > 3.0 && q.x < width - 3.0 && q.y > 3.0 && q.y < height - 3.0) anyInside = true;
        points.push_back(q);
    }
    // The picture's frame: spans nearly the whole image and stays within 3 px of its border.
    if (maxX - minX >= 0.94 * width && maxY - minY >= 0.94 * height && !anyInside) return std::nullopt;

    const double gap = points.front().distance(points.back());
    if (gap > 0.05 && gap < 6.0 && points.size() >= 3) points.push_back(points.front());

    double arc = 0;
    for (std::size_t k = 1; k < points.size(); ++k) arc += points[k - 1].distance(points[k]);
    if (!(arc >= minArcLengthPx)) return std::nullopt;
    return points;
}

}  // namespace

std::optional<ContourFinder::ContourTree> findImageContours(const QImage& image,
                                                            const ContourFinder::Options& options) {
    return ContourFinder::findContours(image, options);
}

ContourFinder::Options visionDetectorOptions(std::int64_t width, std::int64_t height) noexcept {
    ContourFinder::Options options;
    options.contrastAdjustment = 2.0f;
    options.detectsDarkOnLight = true;
    options.maximumImageDimension = std::clamp<std::int64_t>(std::max(width, height), 512, 2048);
    return options;
}

std::vector<std::vector<VectorPoint>> extractVisionContours(const RasterImage& image, const PreprocessedFields& fields,
                                                            const VectorizerParams& params) {
    return extractVisionContours(image, fields, params, findImageContours);
}

std::vector<std::vector<VectorPoint>> extractVisionContours(const RasterImage& image, const PreprocessedFields& fields,
                                                            const VectorizerParams& params,
                                                            const ContourDetector& detector) {
    const std::int64_t minLength = params.minPathLengthPx;
    const std::optional<QImage> detectorImage = makePreprocessedVisionImage(image, fields, params);
    if (!detectorImage || !detector) return extractMarchingSquaresContours(fields, minLength);
    const double minArc = static_cast<double>(std::max<std::int64_t>(minLength, 2));

    std::optional<ContourFinder::ContourTree> tree;
    try {
        tree = detector(*detectorImage, visionDetectorOptions(image.width, image.height));
    } catch (const std::exception&) {
        tree.reset();  // a failing detector counts as one that found nothing
    }
    if (!tree || tree->topLevel.empty()) return extractMarchingSquaresContours(fields, minLength);

    auto contours = collectContours(*tree, static_cast<double>(image.width), static_cast<double>(image.height), minArc);
    if (contours.empty()) return extractMarchingSquaresContours(fields, minLength);
    return contours;
}

std::optional<QImage> makePreprocessedVisionImage(const RasterImage& /*image*/, const PreprocessedFields& fields,
                                                  const VectorizerParams& /*params*/) {
    if (!fieldsUsable(fields)) return std::nullopt;
    if (fields.width > std::numeric_limits<int>::max() / 4 || fields.height > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    const int width = static_cast<int>(fields.width);
    const int height = static_cast<int>(fields.height);
    QImage rgba = prefaultedImage(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (rgba.isNull()) return std::nullopt;
    rgba.fill(Qt::white);
    for (int y = 0; y < height; ++y) {
        uchar* line = rgba.scanLine(y);
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = row + static_cast<std::size_t>(x);
            if (fields.binary[i] == 0) continue;
            float a = 0.65f + 0.35f * fields.ridgeField[i];
            if (!(a >= 0.75f)) a = 0.75f;  // also a ridge value that is not a number
            a = std::min(a, 1.0f);
            const float grey = std::round((1.0f - a) * 255.0f);  // finite, within 0…64
            const auto g = static_cast<uchar>(std::clamp(grey, 0.0f, 255.0f));
            uchar* px = line + 4 * x;
            px[0] = g;
            px[1] = g;
            px[2] = g;
            px[3] = 255;
        }
    }
    return rgba;
}

std::vector<std::vector<VectorPoint>> collectContours(const ContourFinder::ContourTree& tree, double width,
                                                      double height, double minArcLengthPx) {
    std::vector<std::vector<VectorPoint>> output;
    const std::size_t count = tree.contours.size();
    // Depth first, a parent before its children, siblings in order; iterative so that deeply nested
    // drawings cannot exhaust the stack, and each contour at most once even in a malformed tree.
    std::vector<bool> visited(count, false);
    std::vector<std::int64_t> stack(tree.topLevel.rbegin(), tree.topLevel.rend());
    while (!stack.empty()) {
        const std::int64_t index = stack.back();
        stack.pop_back();
        if (index < 0 || static_cast<std::uint64_t>(index) >= count) continue;
        const auto slot = static_cast<std::size_t>(index);
        if (visited[slot]) continue;
        visited[slot] = true;
        const ContourFinder::Contour& contour = tree.contours[slot];
        if (auto points = convertContour(contour, width, height, minArcLengthPx)) output.push_back(std::move(*points));
        stack.insert(stack.end(), contour.children.rbegin(), contour.children.rend());
    }
    return output;
}

std::vector<std::vector<VectorPoint>> extractMarchingSquaresContours(const PreprocessedFields& fields,
                                                                     std::int64_t minLength) {
    if (!fieldsUsable(fields)) return {};
    const std::int64_t w = fields.width;
    const std::int64_t h = fields.height;
    // boundary[y * w + x]: 1 on interior ink pixels with a background 4-neighbour.
    auto boundary = prefaultedVector<std::uint8_t>(fields.binary.size());
    for (std::int64_t y = 1; y <= h - 2; ++y) {
        for (std::int64_t x = 1; x <= w - 2; ++x) {
            const auto i = static_cast<std::size_t>(y * w + x);
            if (fields.binary[i] == 0) continue;
            const auto uw = static_cast<std::size_t>(w);
            if (fields.binary[i - 1] == 0 || fields.binary[i + 1] == 0 || fields.binary[i - uw] == 0 ||
                fields.binary[i + uw] == 0) {
                boundary[i] = 1;
            }
        }
    }
    return CenterlineTracer::traceSkeletonChains(boundary, fields, minLength, true, false);
}

std::vector<std::uint8_t> cannyEdgeMask(const std::vector<float>& smoothed, std::int64_t width, std::int64_t height,
                                        std::int64_t threshold) {
    const std::size_t n = pixelCount(width, height);
    auto mask = prefaultedVector<std::uint8_t>(n);
    if (width < 3 || height < 3 || n == 0 || smoothed.size() != n) return mask;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const std::vector<float>& g = smoothed;

    const auto high = static_cast<float>(std::clamp<std::int64_t>(threshold, 30, 220));
    const float low = 0.45f * high;

    // magnitude[i], direction[i]: Sobel gradient length and its class (0 horizontal, 1 and 3 the
    // diagonals, 2 vertical); 0 on the border. The class is only ever read where the magnitude
    // reaches `low`, so the arctangent is skipped elsewhere (most of a drawing is flat paper).
    auto magnitude = prefaultedVector<float>(n);
    auto direction = prefaultedVector<std::uint8_t>(n);
    for (std::size_t y = 1; y + 1 < h; ++y) {
        for (std::size_t x = 1; x + 1 < w; ++x) {
            const std::size_t i = y * w + x;
            const float nw = g[i - w - 1], north = g[i - w], ne = g[i - w + 1];
            const float west = g[i - 1], east = g[i + 1];
            const float sw = g[i + w - 1], south = g[i + w], se = g[i + w + 1];
            const float gx = (ne + 2.0f * east + se) - (nw + 2.0f * west + sw);
            const float gy = (sw + 2.0f * south + se) - (nw + 2.0f * north + ne);
            const float m = std::sqrt(gx * gx + gy * gy);
            magnitude[i] = m;
            if (m < low) continue;
            float angle = std::atan2(gy, gx) * 180.0f / 3.1415925f;
            if (angle < 0.0f) angle += 180.0f;
            std::uint8_t cls = 3;
            if (angle < 22.5f || angle >= 157.5f) {
                cls = 0;
            } else if (angle < 67.5f) {
                cls = 1;
            } else if (angle < 112.5f) {
                cls = 2;
            }
            direction[i] = cls;
        }
    }

    // edges[i]: 0 none, 1 weak, 2 strong. Non-maximum suppression across the edge, ties kept.
    auto edges = prefaultedVector<std::uint8_t>(n);
    std::vector<std::size_t> stack;
    for (std::size_t y = 1; y + 1 < h; ++y) {
        for (std::size_t x = 1; x + 1 < w; ++x) {
            const std::size_t i = y * w + x;
            const float m = magnitude[i];
            if (m < low) continue;
            float a = 0;
            float b = 0;
            switch (direction[i]) {
                case 0:
                    a = magnitude[i - 1], b = magnitude[i + 1];
                    break;  // west, east
                case 1:
                    a = magnitude[i - w + 1], b = magnitude[i + w - 1];
                    break;  // north-east, south-west
                case 2:
                    a = magnitude[i - w], b = magnitude[i + w];
                    break;  // north, south
                default:
                    a = magnitude[i - w - 1], b = magnitude[i + w + 1];
                    break;  // north-west, south-east
            }
            if (m >= a && m >= b) {
                if (m >= high) {
                    edges[i] = 2;
                    stack.push_back(i);
                } else {
                    edges[i] = 1;
                }
            }
        }
    }

    // Hysteresis: weak pixels 8-connected to strong ones become strong.
    while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        const std::size_t x = i % w;
        const std::size_t y = i / w;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx == 0 && dy == 0) continue;
                const std::size_t nx = x + static_cast<std::size_t>(dx);  // wraps below 0, then fails the test
                const std::size_t ny = y + static_cast<std::size_t>(dy);
                if (nx < 1 || nx + 1 >= w || ny < 1 || ny + 1 >= h) continue;
                const std::size_t j = ny * w + nx;
                if (edges[j] == 1) {
                    edges[j] = 2;
                    stack.push_back(j);
                }
            }
        }
    }

    for (std::size_t i = 0; i < n; ++i) mask[i] = edges[i] == 2 ? 1 : 0;
    return mask;
}

std::vector<std::uint8_t> extractCannySkeleton(const RasterImage& image, const VectorizerParams& params) {
    const std::size_t n = pixelCount(image.width, image.height);
    if (image.width < 3 || image.height < 3 || n == 0 || image.luma.size() != n) {
        return std::vector<std::uint8_t>(n, 0);
    }
    // σ = max(blurRadius, 1) in 32-bit floats; a radius that is not a number blurs with σ 1, one beyond
    // any useful kernel (the kernel radius stops at 12) with σ 1e6.
    const double radius = params.blurRadius;
    float sigma = 1.0f;
    if (radius > 1e6) {
        sigma = 1e6f;
    } else if (radius >= 1.0) {
        sigma = static_cast<float>(radius);
    }
    const std::vector<float> blurred = gaussianBlurSeparable(image.luma, image.width, image.height, sigma);
    const std::vector<std::uint8_t> mask = cannyEdgeMask(blurred, image.width, image.height, params.threshold);
    return CenterlineTracer::thinGuoHall(mask, image.width, image.height, 120);
}

}  // namespace ostrel::NeuralRidgeFilter
