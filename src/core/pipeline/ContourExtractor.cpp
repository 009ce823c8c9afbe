// Vision contours and the Canny edge skeleton. See ContourExtractor.h.
#include "core/pipeline/ContourExtractor.h"

#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/PrefaultedImage.h"
#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <span>

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

// Smallest band of interior rows one chunk of the Canny edge mask works on.
constexpr std::size_t kMinCannyRows = 16;

// Sobel gradient magnitude of row y of the w × h image g into out[0…w): sqrt(gx² + gy²) at interior
// pixels, 0 on the border columns and on the first and last rows.
void gradientMagnitudeRow(const float* g, std::size_t w, std::size_t h, std::size_t y, float* out) {
    if (y == 0 || y + 1 >= h) {
        std::fill(out, out + w, 0.0f);
        return;
    }
    const float* up = g + (y - 1) * w;
    const float* mid = g + y * w;
    const float* down = g + (y + 1) * w;
    out[0] = 0.0f;
    out[w - 1] = 0.0f;
    for (std::size_t x = 1; x + 1 < w; ++x) {
        const float gx = (up[x + 1] + 2.0f * mid[x + 1] + down[x + 1]) - (up[x - 1] + 2.0f * mid[x - 1] + down[x - 1]);
        const float gy = (down[x - 1] + 2.0f * down[x] + down[x + 1]) - (up[x - 1] + 2.0f * up[x] + up[x + 1]);
        out[x] = std::sqrt(gx * gx + gy * gy);
    }
}

// Direction class of the Sobel gradient at the interior pixel *p of an image with row stride w:
// 0 horizontal, 1 and 3 the diagonals, 2 vertical.
std::uint8_t gradientClass(const float* p, std::size_t w) {
    const float nw = p[-static_cast<std::ptrdiff_t>(w) - 1], north = p[-static_cast<std::ptrdiff_t>(w)],
                ne = p[-static_cast<std::ptrdiff_t>(w) + 1];
    const float west = p[-1], east = p[1];
    const float sw = p[w - 1], south = p[w], se = p[w + 1];
    const float gx = (ne + 2.0f * east + se) - (nw + 2.0f * west + sw);
    const float gy = (sw + 2.0f * south + se) - (nw + 2.0f * north + ne);
    float angle = std::atan2(gy, gx) * 180.0f / 3.1415925f;
    if (angle < 0.0f) angle += 180.0f;
    if (angle < 22.5f || angle >= 157.5f) return 0;
    if (angle < 67.5f) return 1;
    if (angle < 112.5f) return 2;
    return 3;
}

// Fields the detector image can be made of: usable, and a size a QImage of four bytes a pixel takes.
bool detectorImageFits(const PreprocessedFields& fields) noexcept {
    return fieldsUsable(fields) && fields.width <= std::numeric_limits<int>::max() / 4 &&
           fields.height <= std::numeric_limits<int>::max();
}

// Grey of an ink pixel in the detector image: round((1 − a) × 255), a = min(max(0.65 + 0.35 × ridge,
// 0.75), 1); 0…64.
std::uint8_t detectorInkGrey(float ridge) noexcept {
    float a = 0.65f + 0.35f * ridge;
    if (!(a >= 0.75f)) a = 0.75f;  // also a ridge value that is not a number
    a = std::min(a, 1.0f);
    const float grey = std::round((1.0f - a) * 255.0f);  // finite, within 0…64
    return static_cast<std::uint8_t>(std::clamp(grey, 0.0f, 255.0f));
}

// The detector image as the contour finder reads it (grey over white, (11 R + 16 G + 5 B) / 32 of its
// opaque grey pixels): grey[y * width + x] is 255 on background and detectorInkGrey(ridge) on ink.
std::vector<std::uint8_t> detectorGrey(const PreprocessedFields& fields) {
    const std::size_t n = pixelCount(fields.width, fields.height);
    auto grey = prefaultedVector<std::uint8_t>(n);
    parallelFor(n, 65536, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            grey[i] = fields.binary[i] == 0 ? std::uint8_t{255} : detectorInkGrey(fields.ridgeField[i]);
        }
    });
    return grey;
}

// The contours kept from a detector's tree, or the boundary-pixel fallback when it found none or
// nothing of it is kept.
std::vector<std::vector<VectorPoint>> contoursOrFallback(const std::optional<ContourFinder::ContourTree>& tree,
                                                         const RasterImage& image, const PreprocessedFields& fields,
                                                         const VectorizerParams& params) {
    const std::int64_t minLength = params.minPathLengthPx;
    if (!tree || tree->topLevel.empty()) return extractMarchingSquaresContours(fields, minLength);
    const double minArc = static_cast<double>(std::max<std::int64_t>(minLength, 2));
    auto contours = collectContours(*tree, static_cast<double>(image.width), static_cast<double>(image.height), minArc);
    if (contours.empty()) return extractMarchingSquaresContours(fields, minLength);
    return contours;
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
    // The contour finder reads the detector image as grey, so it is given that grey directly: the same
    // tree as from the image, without the image (four bytes a pixel) or its conversion.
    if (!detectorImageFits(fields)) return extractMarchingSquaresContours(fields, params.minPathLengthPx);
    const std::vector<std::uint8_t> grey = detectorGrey(fields);
    std::optional<ContourFinder::ContourTree> tree;
    try {
        tree = ContourFinder::findContours(grey, fields.width, fields.height,
                                           visionDetectorOptions(image.width, image.height));
    } catch (const std::exception&) {
        tree.reset();  // a failing detector counts as one that found nothing
    }
    return contoursOrFallback(tree, image, fields, params);
}

std::vector<std::vector<VectorPoint>> extractVisionContours(const RasterImage& image, const PreprocessedFields& fields,
                                                            const VectorizerParams& params,
                                                            const ContourDetector& detector) {
    const std::optional<QImage> detectorImage = makePreprocessedVisionImage(image, fields, params);
    if (!detectorImage || !detector) return extractMarchingSquaresContours(fields, params.minPathLengthPx);
    std::optional<ContourFinder::ContourTree> tree;
    try {
        tree = detector(*detectorImage, visionDetectorOptions(image.width, image.height));
    } catch (const std::exception&) {
        tree.reset();  // a failing detector counts as one that found nothing
    }
    return contoursOrFallback(tree, image, fields, params);
}

std::optional<QImage> makePreprocessedVisionImage(const RasterImage& /*image*/, const PreprocessedFields& fields,
                                                  const VectorizerParams& /*params*/) {
    if (!detectorImageFits(fields)) return std::nullopt;
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
            const std::uint8_t g = detectorInkGrey(fields.ridgeField[i]);
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

std::vector<std::uint8_t> cannyEdgeMask(std::span<const float> smoothed, std::int64_t width, std::int64_t height,
                                        std::int64_t threshold) {
    const std::size_t n = pixelCount(width, height);
    // edges[i]: 0 none, 1 weak, 2 strong until the hysteresis is done; then the mask itself (0 or 1).
    auto edges = prefaultedVector<std::uint8_t>(n);
    if (width < 3 || height < 3 || n == 0 || smoothed.size() != n) return edges;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const float* g = smoothed.data();

    const auto high = static_cast<float>(std::clamp<std::int64_t>(threshold, 30, 220));
    const float low = 0.45f * high;

    // Non-maximum suppression across the edge, ties kept, in bands of interior rows. A band keeps the
    // gradient magnitude of three rows (the one it decides and its two neighbours) and works out the
    // direction only where the magnitude reaches `low` (most of a drawing is flat paper); rows at band
    // edges are measured by both bands, with the same result. strong[b]: the strong pixels of chunk b.
    const std::size_t interiorRows = h - 2;
    std::vector<std::vector<std::size_t>> strong;
    std::mutex strongMutex;
    parallelFor(interiorRows, kMinCannyRows, [&](std::size_t first, std::size_t last) {
        // rows[k * w …]: magnitude of row y − 1 + k around the decided row y, 0 on the border.
        std::vector<float> rows(3 * w, 0.0f);
        float* above = rows.data();
        float* current = above + w;
        float* below = current + w;
        std::vector<std::size_t> found;
        gradientMagnitudeRow(g, w, h, first, above);
        gradientMagnitudeRow(g, w, h, first + 1, current);
        for (std::size_t y = first + 1; y <= last; ++y) {
            gradientMagnitudeRow(g, w, h, y + 1, below);
            std::uint8_t* out = edges.data() + y * w;
            for (std::size_t x = 1; x + 1 < w; ++x) {
                const float m = current[x];
                if (m < low) continue;
                float a = 0;
                float b = 0;
                switch (gradientClass(g + y * w + x, w)) {
                    case 0:
                        a = current[x - 1], b = current[x + 1];
                        break;  // west, east
                    case 1:
                        a = above[x + 1], b = below[x - 1];
                        break;  // north-east, south-west
                    case 2:
                        a = above[x], b = below[x];
                        break;  // north, south
                    default:
                        a = above[x - 1], b = below[x + 1];
                        break;  // north-west, south-east
                }
                if (m >= a && m >= b) {
                    if (m >= high) {
                        out[x] = 2;
                        found.push_back(y * w + x);
                    } else {
                        out[x] = 1;
                    }
                }
            }
            std::swap(above, current);
            std::swap(current, below);
        }
        std::lock_guard lock(strongMutex);
        strong.push_back(std::move(found));
    });

    // Hysteresis: weak pixels 8-connected to strong ones become strong. Which pixels end up strong does
    // not depend on the order the strong ones are taken in.
    std::vector<std::size_t> stack;
    for (std::vector<std::size_t>& seeds : strong) {
        stack.insert(stack.end(), seeds.begin(), seeds.end());
        std::vector<std::size_t>().swap(seeds);
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
    }

    parallelFor(n, 65536, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) edges[i] = edges[i] == 2 ? 1 : 0;
    });
    return edges;
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
