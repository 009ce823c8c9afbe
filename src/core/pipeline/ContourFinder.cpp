// Border following with hierarchy (Suzuki & Abe 1985, algorithm 1) on a
// binarised, optionally area-reduced grey image. See ContourFinder.h.
#include "core/pipeline/ContourFinder.h"

#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <utility>

namespace ostrel::ContourFinder {

namespace {

// The 8 neighbours counterclockwise as seen on screen (y down), starting east:
// E, NE, N, NW, W, SW, S, SE. Clockwise is decreasing index.
constexpr std::array<int, 8> kDx{1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kDy{0, -1, -1, -1, 0, 1, 1, 1};
constexpr int kEast = 0;
constexpr int kWest = 4;

struct PixelBorder {
    std::vector<std::int64_t> pixels;  // pixels[k]: index into the padded label image, in following order
    bool isHole = false;
    std::int32_t parent = 0;  // border number (NBD) of the parent; 0 for the frame
};

// Maps a working-image pixel (x, y) to normalised coordinates:
// u = x × scaleX + offsetX, v = 1 − (y × scaleY + offsetY).
struct Normalisation {
    double scaleX = 1;
    double offsetX = 0;
    double scaleY = 1;
    double offsetY = 0;
};

bool fitsLabels(std::int64_t width, std::int64_t height) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    return width >= 1 && height >= 1 && width <= kMax - 2 && height <= kMax - 2 && (width + 2) <= kMax / (height + 2);
}

// Smallest band of rows one parallel chunk labels.
constexpr std::size_t kMinRowsPerChunk = 16;

// The label image border following starts from: f[(y + 1) * stride + (x + 1)], stride = width + 2, is 1
// on the object pixels of a width × height image and 0 elsewhere, including a padding frame one pixel
// wide. `markRows(first, last, row)` marks the object pixels of rows [first, last) by setting them to
// 1 in row(y), the zeroed labels of row y (width values); bands of rows are marked in parallel.
template <typename MarkRows>
std::vector<std::int32_t> labelImage(std::int64_t width, std::int64_t height, const MarkRows& markRows) {
    const std::int64_t stride = width + 2;
    auto f = prefaultedVector<std::int32_t>(static_cast<std::size_t>(stride * (height + 2)));
    std::int32_t* labels = f.data();
    parallelFor(static_cast<std::size_t>(height), kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        markRows(static_cast<std::int64_t>(first), static_cast<std::int64_t>(last),
                 [labels, stride](std::int64_t y) { return labels + (y + 1) * stride + 1; });
    });
    return f;
}

// The label image of a width × height image whose object pixels `object(x, y)` tells.
template <typename IsObject>
std::vector<std::int32_t> labelImageOf(std::int64_t width, std::int64_t height, const IsObject& object) {
    return labelImage(width, height, [&](std::int64_t first, std::int64_t last, const auto& row) {
        for (std::int64_t y = first; y < last; ++y) {
            std::int32_t* labels = row(y);
            for (std::int64_t x = 0; x < width; ++x) labels[x] = object(x, y) ? 1 : 0;
        }
    });
}

// Suzuki–Abe algorithm 1 over the label image `f` of a width × height image (labelImage). Returns
// the borders by border number: result[n − 1] is border n, result[0] the frame (a hole border with
// no parent). The caller has checked fitsLabels(width, height).
std::vector<PixelBorder> followBorders(std::vector<std::int32_t> f, std::int64_t width, std::int64_t height) {
    const std::int64_t stride = width + 2;
    // f: 0 background (and the padding frame), 1 unvisited object pixel, ±NBD once a border has
    // passed (negative where the east neighbour is background).
    std::array<std::int64_t, 8> offset{};
    for (int d = 0; d < 8; ++d) offset[d] = kDy[d] * stride + kDx[d];
    auto at = [&f](std::int64_t p) -> std::int32_t& { return f[static_cast<std::size_t>(p)]; };

    std::vector<PixelBorder> borders;
    borders.push_back(PixelBorder{{}, true, 0});
    std::int32_t nbd = 1;

    for (std::int64_t y = 1; y <= height; ++y) {
        std::int32_t lnbd = 1;
        for (std::int64_t x = 1; x <= width; ++x) {
            const std::int64_t p = y * stride + x;
            const std::int32_t value = at(p);
            if (value == 0) continue;
            const bool outer = value == 1 && at(p - 1) == 0;
            const bool hole = !outer && value >= 1 && at(p + 1) == 0;
            if (outer || hole) {
                if (hole && value > 1) lnbd = value;
                ++nbd;
                // Parent from the type of the border last met on this row (Table 1 of the paper).
                const PixelBorder& previous = borders[static_cast<std::size_t>(lnbd - 1)];
                const bool sameType = previous.isHole == hole;
                PixelBorder border{{}, hole, sameType ? previous.parent : lnbd};
                border.pixels.push_back(p);

                // 3.1: clockwise from (i2, j2) around the start for the first object pixel.
                const int from = outer ? kWest : kEast;
                int d1 = -1;
                for (int k = 0; k < 8; ++k) {
                    const int d = (from - k + 8) & 7;
                    if (at(p + offset[d]) != 0) {
                        d1 = d;
                        break;
                    }
                }
                if (d1 < 0) {
                    at(p) = -nbd;  // a lone pixel
                } else {
                    const std::int64_t p1 = p + offset[d1];
                    std::int64_t p3 = p;
                    int d2 = d1;  // direction from p3 to the previous pixel p2
                    for (;;) {
                        // 3.3: counterclockwise from the element after p2 around p3.
                        bool eastBackgroundExamined = false;
                        int d4 = d2;
                        for (int k = 1; k <= 8; ++k) {
                            const int d = (d2 + k) & 7;
                            if (at(p3 + offset[d]) != 0) {
                                d4 = d;
                                break;
                            }
                            if (d == kEast) eastBackgroundExamined = true;
                        }
                        // 3.4: mark p3.
                        if (eastBackgroundExamined) {
                            at(p3) = -nbd;
                        } else if (at(p3) == 1) {
                            at(p3) = nbd;
                        }
                        // 3.5: back at the start, coming from its last neighbour.
                        const std::int64_t p4 = p3 + offset[d4];
                        if (p4 == p && p3 == p1) break;
                        border.pixels.push_back(p4);
                        d2 = (d4 + 4) & 7;
                        p3 = p4;
                    }
                }
                borders.push_back(std::move(border));
            }
            // 4: remember the last border met on this row.
            if (at(p) != 1) lnbd = std::abs(at(p));
        }
    }
    return borders;
}

ContourTree buildTree(const std::vector<PixelBorder>& borders, std::int64_t stride, const Normalisation& norm) {
    ContourTree tree;
    if (borders.size() <= 1) return tree;
    tree.contours.resize(borders.size() - 1);
    for (std::size_t n = 1; n < borders.size(); ++n) {
        const PixelBorder& border = borders[n];
        Contour& contour = tree.contours[n - 1];
        contour.isHole = border.isHole;
        contour.points.reserve(border.pixels.size());
        for (const std::int64_t p : border.pixels) {
            const auto x = static_cast<double>(p % stride - 1);
            const auto y = static_cast<double>(p / stride - 1);
            contour.points.push_back(NormalizedPoint{static_cast<float>(x * norm.scaleX + norm.offsetX),
                                                     static_cast<float>(1.0 - (y * norm.scaleY + norm.offsetY))});
        }
        const auto index = static_cast<std::int64_t>(n - 1);
        if (border.parent <= 1) {
            contour.parent = -1;
            tree.topLevel.push_back(index);
        } else {
            contour.parent = border.parent - 2;
            tree.contours[static_cast<std::size_t>(contour.parent)].children.push_back(index);
        }
    }
    return tree;
}

// Area-averaging weights along one axis from n source to m ≤ n output samples:
// output o covers the source interval [o n / m, (o + 1) n / m).
struct AxisWeights {
    std::vector<std::int64_t> first;  // first[o]: first source sample of output o
    std::vector<std::size_t> begin;   // weight[begin[o] … begin[o + 1]): shares of first[o], first[o] + 1, …
    std::vector<float> weight;        // the shares of each output sum to 1
};

AxisWeights areaWeights(std::int64_t n, std::int64_t m) {
    AxisWeights axis;
    axis.first.reserve(static_cast<std::size_t>(m));
    axis.begin.reserve(static_cast<std::size_t>(m) + 1);
    for (std::int64_t o = 0; o < m; ++o) {
        // Exact interval ends in units of 1/m source samples.
        const std::int64_t start = o * n;
        const std::int64_t end = (o + 1) * n;
        const std::int64_t s0 = start / m;
        const std::int64_t s1 = (end + m - 1) / m;
        axis.first.push_back(s0);
        axis.begin.push_back(axis.weight.size());
        for (std::int64_t s = s0; s < s1; ++s) {
            const std::int64_t overlap = std::min(end, (s + 1) * m) - std::max(start, s * m);
            axis.weight.push_back(static_cast<float>(static_cast<double>(overlap) / static_cast<double>(n)));
        }
    }
    axis.begin.push_back(axis.weight.size());
    return axis;
}

// Reduces a width × height grey image to outWidth × outHeight by area averaging and labels each
// reduced value (0…255) with `object` (labelImage). Bands of output rows run in parallel, each with a
// single row of floats, so no full-size intermediate image is allocated; every output value is summed
// in the same order whatever band it falls in.
template <typename IsObject>
std::vector<std::int32_t> reduceAndLabel(const std::vector<std::uint8_t>& grey, std::int64_t width,
                                         std::int64_t height, std::int64_t outWidth, std::int64_t outHeight,
                                         const IsObject& object) {
    const AxisWeights wx = areaWeights(width, outWidth);
    const AxisWeights wy = areaWeights(height, outHeight);
    return labelImage(outWidth, outHeight, [&](std::int64_t first, std::int64_t last, const auto& labelRow) {
        std::vector<float> row(static_cast<std::size_t>(width));  // row[x]: vertically reduced source column x
        for (std::int64_t oy = first; oy < last; ++oy) {
            const auto o = static_cast<std::size_t>(oy);
            std::fill(row.begin(), row.end(), 0.0f);
            for (std::size_t k = wy.begin[o]; k < wy.begin[o + 1]; ++k) {
                const float share = wy.weight[k];
                const std::uint8_t* src =
                    grey.data() + (wy.first[o] + static_cast<std::int64_t>(k - wy.begin[o])) * width;
                for (std::int64_t x = 0; x < width; ++x)
                    row[static_cast<std::size_t>(x)] += share * static_cast<float>(src[x]);
            }
            std::int32_t* dst = labelRow(oy);
            for (std::int64_t ox = 0; ox < outWidth; ++ox) {
                const auto c = static_cast<std::size_t>(ox);
                const float* src = row.data() + wx.first[c];
                float sum = 0;
                for (std::size_t k = wx.begin[c]; k < wx.begin[c + 1]; ++k) sum += wx.weight[k] * src[k - wx.begin[c]];
                dst[ox] = object(sum) ? 1 : 0;
            }
        }
    });
}

// The reduced side for a longer side reduced from `longer` to `limit`; at least 1.
std::int64_t reducedSide(std::int64_t side, std::int64_t longer, std::int64_t limit) {
    const double exact = static_cast<double>(side) * static_cast<double>(limit) / static_cast<double>(longer);
    if (!(exact >= 1.0)) return 1;
    if (exact >= static_cast<double>(limit)) return limit;
    return std::clamp(static_cast<std::int64_t>(exact + 0.5), std::int64_t{1}, limit);
}

}  // namespace

ContourTree traceBorders(const std::vector<std::uint8_t>& mask, std::int64_t width, std::int64_t height) {
    if (!fitsLabels(width, height)) return {};
    if (static_cast<std::uint64_t>(mask.size()) !=
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)) {
        return {};
    }
    const auto borders = followBorders(labelImageOf(width, height,
                                                    [&](std::int64_t x, std::int64_t y) {
                                                        return mask[static_cast<std::size_t>(y * width + x)] != 0;
                                                    }),
                                       width, height);
    const Normalisation norm{1.0 / static_cast<double>(width), 0.0, 1.0 / static_cast<double>(height), 0.0};
    return buildTree(borders, width + 2, norm);
}

ContourTree findContours(const std::vector<std::uint8_t>& grey, std::int64_t width, std::int64_t height,
                         const Options& options) {
    if (!fitsLabels(width, height)) return {};
    if (static_cast<std::uint64_t>(grey.size()) !=
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)) {
        return {};
    }
    const std::int64_t limit = std::max<std::int64_t>(options.maximumImageDimension, 1);
    const std::int64_t longer = std::max(width, height);
    std::int64_t workWidth = width;
    std::int64_t workHeight = height;
    // Grey 0…255 → contrast-adjusted 0…1 → object or not.
    const float contrast = options.contrastAdjustment;
    const bool darkOnLight = options.detectsDarkOnLight;
    const auto isObject = [contrast, darkOnLight](float grey255) {
        const float g = grey255 / 255.0f;
        const float adjusted = std::clamp(0.5f + contrast * (g - 0.5f), 0.0f, 1.0f);
        return darkOnLight ? adjusted < 0.5f : adjusted > 0.5f;
    };
    std::vector<std::int32_t> labels;  // labelImage of the working image
    if (longer > limit) {
        workWidth = reducedSide(width, longer, limit);
        workHeight = reducedSide(height, longer, limit);
        labels = reduceAndLabel(grey, width, height, workWidth, workHeight, isObject);
    } else {
        labels = labelImageOf(width, height, [&](std::int64_t x, std::int64_t y) {
            return isObject(static_cast<float>(grey[static_cast<std::size_t>(y * width + x)]));
        });
    }
    const auto borders = followBorders(std::move(labels), workWidth, workHeight);

    // A working pixel centre (x + 0.5) × (size / workSize) − 0.5 in source pixels, over the source size.
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    const auto ww = static_cast<double>(workWidth);
    const auto wh = static_cast<double>(workHeight);
    const Normalisation norm{1.0 / ww, 0.5 / ww - 0.5 / w, 1.0 / wh, 0.5 / wh - 0.5 / h};
    return buildTree(borders, workWidth + 2, norm);
}

ContourTree findContours(const QImage& image, const Options& options) {
    if (image.isNull()) return {};
    // Premultiplied RGBA is read directly (the detector image is in it); anything else is converted.
    const QImage rgba = image.format() == QImage::Format_RGBA8888_Premultiplied
                            ? image
                            : image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (rgba.isNull()) return {};
    const std::int64_t width = rgba.width();
    const std::int64_t height = rgba.height();
    auto grey = prefaultedVector<std::uint8_t>(static_cast<std::size_t>(width * height));
    parallelFor(static_cast<std::size_t>(height), kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const uchar* line = rgba.constScanLine(static_cast<int>(y));
            std::uint8_t* out = grey.data() + static_cast<std::int64_t>(y) * width;
            for (std::int64_t x = 0; x < width; ++x) {
                const uchar* px = line + 4 * x;
                // Premultiplied grey over white: g × a / 255 + (255 − a).
                const int g = (11 * px[0] + 16 * px[1] + 5 * px[2]) / 32;
                out[x] = static_cast<std::uint8_t>(std::min(255, g + 255 - px[3]));
            }
        }
    });
    return findContours(grey, width, height, options);
}

}  // namespace ostrel::ContourFinder
