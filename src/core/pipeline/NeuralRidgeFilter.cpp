// Preprocessing chain of stage A: blur, threshold, clean-up, distance field and ridge field.
//
// Every step is linear in the number of pixels: the blur is separable (at most 25 taps), the adaptive
// threshold reads an integral image (cost independent of the window), the distance transform is two
// passes of the Felzenszwalb–Huttenlocher parabola envelope. Arithmetic is in 32-bit floats in a fixed
// order (the build forbids contraction into fused multiply-adds), so results are reproducible.
#include "pipeline/NeuralRidgeFilter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>

namespace ostrel::NeuralRidgeFilter {

namespace {

// Number of pixels of a width × height image whose buffer holds `available` values; none when a side
// is negative, the product overflows or the buffer is too short (a caller's programming error, met
// with an empty result rather than reads past the end).
std::optional<std::size_t> pixelCount(std::int64_t width, std::int64_t height, std::size_t available) {
    if (width < 0 || height < 0) return std::nullopt;
    if (width == 0 || height == 0) return std::size_t{0};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    if (w > std::numeric_limits<std::size_t>::max() / h) return std::nullopt;
    if (w * h > available) return std::nullopt;
    return w * h;
}

// One blur pass along rows: out(x) = Σ_{i=-r..r} in(clamp(x + i, 0, w - 1)) × k(i), summed in that
// order from 0. `padded` holds w + 2r values (the row with its edge pixels repeated r times).
void blurRow(const float* in, float* out, std::size_t w, const std::vector<float>& kernel, std::size_t r,
             std::vector<float>& padded) {
    for (std::size_t j = 0; j < r; ++j) {
        padded[j] = in[0];
        padded[r + w + j] = in[w - 1];
    }
    std::copy(in, in + w, padded.begin() + static_cast<std::ptrdiff_t>(r));
    std::fill(out, out + w, 0.0f);
    for (std::size_t t = 0; t < kernel.size(); ++t) {
        const float k = kernel[t];
        const float* src = padded.data() + t;
        for (std::size_t x = 0; x < w; ++x) out[x] += src[x] * k;
    }
}

// Lower envelope of the parabolas y = (q - p)² + f[p] (Felzenszwalb–Huttenlocher). `out` receives
// n values; `v` (≥ n entries) holds the envelope's parabola sites, `z` (≥ n + 1) its boundaries. The
// buffers are reused from line to line.
void edt1D(const float* f, std::size_t n, float* out, int* v, float* z) {
    constexpr float kHuge = std::numeric_limits<float>::max();
    const auto square = [](std::int64_t i) { return static_cast<float>(i * i); };
    std::int64_t k = 0;
    v[0] = 0;
    z[0] = -kHuge;
    z[1] = kHuge;
    for (std::int64_t q = 1; q < static_cast<std::int64_t>(n); ++q) {
        const float fq = f[q] + square(q);
        float s = 0;
        while (true) {
            const std::int64_t p = v[k];
            s = (fq - (f[p] + square(p))) / static_cast<float>(2 * q - 2 * p);
            if (!(s <= z[k]) || k == 0) break;  // k == 0: z[0] = -max bounds every finite s
            --k;
        }
        ++k;
        v[k] = static_cast<int>(q);
        z[k] = s;
        z[k + 1] = kHuge;
    }
    k = 0;
    for (std::int64_t q = 0; q < static_cast<std::int64_t>(n); ++q) {
        while (z[k + 1] < static_cast<float>(q)) ++k;
        const std::int64_t p = v[k];
        out[q] = square(q - p) + f[p];
    }
}

}  // namespace

std::vector<float> gaussianBlurSeparable(const std::vector<float>& values, std::int64_t width,
                                         std::int64_t height, float sigma) {
    const auto count = pixelCount(width, height, values.size());
    if (!count || *count == 0) return {};
    if (std::isnan(sigma)) return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(*count)};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);

    // Kernel radius clamp(ceil(2.5 σ), 1, 12), taken on the float before any integer conversion.
    const float reach = std::ceil(2.5f * sigma);
    const std::size_t r = reach >= 12.0f ? 12 : (reach <= 1.0f ? 1 : static_cast<std::size_t>(reach));
    const float d = std::max(2.0f * sigma * sigma, 0.001f);
    std::vector<float> kernel(2 * r + 1);  // kernel[i + r]: weight at offset i
    float sum = 0;
    for (std::size_t t = 0; t < kernel.size(); ++t) {
        const float i = static_cast<float>(static_cast<std::int64_t>(t) - static_cast<std::int64_t>(r));
        kernel[t] = std::exp(-(i * i) / d);
        sum += kernel[t];
    }
    for (float& k : kernel) k /= sum;

    // Horizontal pass into tmp, then vertical pass; each accumulates the taps in kernel order.
    std::vector<float> tmp(*count);
    std::vector<float> padded(w + 2 * r);
    for (std::size_t y = 0; y < h; ++y) blurRow(values.data() + y * w, tmp.data() + y * w, w, kernel, r, padded);

    std::vector<float> out(*count, 0.0f);
    for (std::size_t y = 0; y < h; ++y) {
        float* dst = out.data() + y * w;
        for (std::size_t t = 0; t < kernel.size(); ++t) {
            const auto sy = std::clamp<std::int64_t>(static_cast<std::int64_t>(y + t) - static_cast<std::int64_t>(r),
                                                     0, static_cast<std::int64_t>(h) - 1);
            const float* src = tmp.data() + static_cast<std::size_t>(sy) * w;
            const float k = kernel[t];
            for (std::size_t x = 0; x < w; ++x) dst[x] += src[x] * k;
        }
    }
    return out;
}

namespace {

// 3 × 3 erosion (all) or dilation (any) with the neighbourhood clipped to the image; computed as a
// horizontal then a vertical 3-tap pass, which is exact for AND and OR.
std::vector<std::uint8_t> morph3x3(const std::vector<std::uint8_t>& mask, std::int64_t width, std::int64_t height,
                                   bool dilate) {
    const auto count = pixelCount(width, height, mask.size());
    if (!count || *count == 0) return {};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto combine = [dilate](std::uint8_t a, std::uint8_t b) -> std::uint8_t {
        return dilate ? (a | b) : (a & b);
    };
    std::vector<std::uint8_t> rows(*count);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* in = mask.data() + y * w;
        std::uint8_t* out = rows.data() + y * w;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint8_t value = in[x] != 0 ? 1 : 0;
            if (x > 0) value = combine(value, in[x - 1] != 0 ? 1 : 0);
            if (x + 1 < w) value = combine(value, in[x + 1] != 0 ? 1 : 0);
            out[x] = value;
        }
    }
    std::vector<std::uint8_t> result(*count);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* above = rows.data() + (y > 0 ? y - 1 : y) * w;
        const std::uint8_t* here = rows.data() + y * w;
        const std::uint8_t* below = rows.data() + (y + 1 < h ? y + 1 : y) * w;
        std::uint8_t* out = result.data() + y * w;
        for (std::size_t x = 0; x < w; ++x) out[x] = combine(combine(above[x], here[x]), below[x]);
    }
    return result;
}

}  // namespace

std::vector<std::uint8_t> morphErode3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                        std::int64_t height) {
    return morph3x3(mask, width, height, false);
}

std::vector<std::uint8_t> morphDilate3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                         std::int64_t height) {
    return morph3x3(mask, width, height, true);
}

std::vector<std::uint8_t> morphOpen3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                       std::int64_t height) {
    return morphDilate3x3(morphErode3x3(mask, width, height), width, height);
}

std::vector<std::uint8_t> morphClose3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                        std::int64_t height) {
    return morphErode3x3(morphDilate3x3(mask, width, height), width, height);
}

std::vector<float> computeExactEDT(const std::vector<std::uint8_t>& binary, std::int64_t width,
                                   std::int64_t height) {
    const auto count = pixelCount(width, height, binary.size());
    if (!count || *count == 0) return {};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    if (w > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        h > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const float side = static_cast<float>(width + height + 1000);
    const float big = side * side;

    std::vector<float> field(*count);  // squared distances after the column pass

    const std::size_t n = std::max(w, h);
    std::vector<float> out(n);
    std::vector<int> v(n);
    std::vector<float> z(n + 1);

    // Column pass. Here every value is 0 (background) or BIG, and the parabola envelope reduces to
    // the squared distance to the nearest background pixel of the column: BIG ≥ (h + 1000)² puts the
    // crossing of a background and an ink parabola beyond the end of the column, and with h ≤ 4096
    // every square and every crossing between background parabolas, (p1 + p2) / 2, is exact in 32-bit
    // floats. So two sweeps over the rows give bit for bit what the envelope gives, in cache-friendly
    // row order. Columns without background, and taller images, take the envelope itself.
    std::vector<std::size_t> envelopeColumns;
    if (h <= 4096) {
        constexpr std::int32_t kNone = -1;
        std::vector<std::int32_t> nearest(*count);  // nearest[y * w + x]: row of the nearest background so far
        std::vector<std::int32_t> last(w, kNone);
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* in = binary.data() + y * w;
            std::int32_t* out = nearest.data() + y * w;
            const auto row = static_cast<std::int32_t>(y);
            for (std::size_t x = 0; x < w; ++x) {
                last[x] = in[x] == 0 ? row : last[x];
                out[x] = last[x];
            }
        }
        std::fill(last.begin(), last.end(), kNone);
        for (std::size_t y = h; y-- > 0;) {
            const std::uint8_t* in = binary.data() + y * w;
            const std::int32_t* above = nearest.data() + y * w;
            float* out = field.data() + y * w;
            const auto row = static_cast<std::int32_t>(y);
            for (std::size_t x = 0; x < w; ++x) {
                last[x] = in[x] == 0 ? row : last[x];
                const std::int32_t up = above[x] == kNone ? std::numeric_limits<std::int32_t>::max() : row - above[x];
                const std::int32_t down = last[x] == kNone ? std::numeric_limits<std::int32_t>::max() : last[x] - row;
                const std::int32_t d = std::min(up, down);
                out[x] = d == std::numeric_limits<std::int32_t>::max() ? big : static_cast<float>(d * d);
            }
        }
        for (std::size_t x = 0; x < w; ++x) {
            if (last[x] == kNone) envelopeColumns.push_back(x);  // no background pixel in this column
        }
    } else {
        envelopeColumns.resize(w);
        std::iota(envelopeColumns.begin(), envelopeColumns.end(), std::size_t{0});
    }
    std::vector<float> line(h);
    for (const std::size_t x : envelopeColumns) {
        for (std::size_t y = 0; y < h; ++y) line[y] = binary[y * w + x] != 0 ? big : 0.0f;
        edt1D(line.data(), h, out.data(), v.data(), z.data());
        for (std::size_t y = 0; y < h; ++y) field[y * w + x] = out[y];
    }

    // Row pass, then the square root.
    for (std::size_t y = 0; y < h; ++y) {
        float* row = field.data() + y * w;
        // A row without ink stays 0 (every parabola's own minimum is 0 and wins at its site).
        if (std::all_of(row, row + w, [](float value) { return value == 0.0f; })) continue;
        edt1D(row, w, out.data(), v.data(), z.data());
        for (std::size_t x = 0; x < w; ++x) row[x] = std::sqrt(out[x]);
    }
    return field;
}

std::vector<float> computeHessianRidgeStrength(const std::vector<float>& values, std::int64_t width,
                                               std::int64_t height) {
    const auto count = pixelCount(width, height, values.size());
    if (!count) return {};
    std::vector<float> strength(*count, 0.0f);
    if (width < 3 || height < 3) return strength;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);

    float largest = 1e-5f;
    for (std::size_t y = 1; y + 1 < h; ++y) {
        const float* up = values.data() + (y - 1) * w;
        const float* mid = values.data() + y * w;
        const float* down = values.data() + (y + 1) * w;
        float* out = strength.data() + y * w;
        for (std::size_t x = 1; x + 1 < w; ++x) {
            const float c = mid[x];
            const float ixx = mid[x + 1] - 2.0f * c + mid[x - 1];
            const float iyy = down[x] - 2.0f * c + up[x];
            const float ixy = (down[x + 1] - down[x - 1] - up[x + 1] + up[x - 1]) * 0.25f;
            const float diff = ixx - iyy;
            const float root = std::sqrt(diff * diff + 4.0f * ixy * ixy);
            const float s = -0.5f * (ixx + iyy - root);
            const float value = s > 0.0f ? s : 0.0f;
            out[x] = value;
            largest = value > largest ? value : largest;
        }
    }
    const float scale = 1.0f / largest;
    for (std::size_t y = 1; y + 1 < h; ++y) {
        float* out = strength.data() + y * w;
        for (std::size_t x = 1; x + 1 < w; ++x) out[x] = std::min(out[x] * scale, 1.0f);
    }
    return strength;
}

PreprocessedFields preprocess(const RasterImage& image, const VectorizerParams& params) {
    PreprocessedFields fields;
    fields.usedNeuralEngine = params.algorithm == VectorAlgorithm::neuralCenterline ||
                              params.algorithm == VectorAlgorithm::visionContours;
    const auto count = pixelCount(image.width, image.height, image.luma.size());
    if (!count) return fields;  // inconsistent image: no pixels to work on
    const std::int64_t w = image.width;
    const std::int64_t h = image.height;
    const std::size_t n = *count;
    fields.width = w;
    fields.height = h;

    // 1. Blur.
    const std::vector<float> luma = params.blurRadius > 0.15
                                        ? gaussianBlurSeparable(image.luma, w, h, static_cast<float>(params.blurRadius))
                                        : std::vector<float>(image.luma.begin(),
                                                             image.luma.begin() + static_cast<std::ptrdiff_t>(n));

    // 2–4. Threshold.
    std::vector<std::uint8_t> mask(n, 0);
    const std::int64_t t = params.threshold;
    if (!params.adaptiveThreshold) {
        const auto level = static_cast<float>(t);
        std::size_t inkCount = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const bool ink = (luma[i] < level) != params.invert;
            mask[i] = ink ? 1 : 0;
            inkCount += ink ? 1 : 0;
        }
        // More than 55 % ink: light strokes on a dark ground.
        if (!params.invert && n > 0 && inkCount > (n * 55) / 100) {
            for (std::uint8_t& b : mask) b = static_cast<std::uint8_t>(1 - b);
        }
    } else {
        const std::int64_t radius = 6 + std::min<std::int64_t>(std::max<std::int64_t>(t / 8, 0), 30);
        // (128 - t) / 10 without overflow for any t: for t ≤ 128 the difference is non-negative and
        // at most 2^63 + 128, which fits the unsigned range.
        const std::int64_t step =
            t <= 128 ? static_cast<std::int64_t>((128ULL - static_cast<std::uint64_t>(t)) / 10ULL) : (128 - t) / 10;
        const auto offset = static_cast<float>(22 + std::max<std::int64_t>(step, -18));

        const auto uw = static_cast<std::size_t>(w);
        const auto uh = static_cast<std::size_t>(h);
        std::vector<float> value(n);
        for (std::size_t i = 0; i < n; ++i) value[i] = params.invert ? 255.0f - luma[i] : luma[i];
        // sums[(y) * (w + 1) + x]: sum of value over [0, x) × [0, y).
        const std::size_t stride = uw + 1;
        std::vector<double> sums(stride * (uh + 1), 0.0);
        for (std::size_t y = 0; y < uh; ++y) {
            double rowSum = 0;
            for (std::size_t x = 0; x < uw; ++x) {
                rowSum += static_cast<double>(value[y * uw + x]);
                sums[(y + 1) * stride + x + 1] = sums[y * stride + x + 1] + rowSum;
            }
        }
        for (std::int64_t y = 0; y < h; ++y) {
            const std::int64_t y0 = std::max<std::int64_t>(y - radius, 0);
            const std::int64_t y1 = std::min<std::int64_t>(y + radius, h - 1);
            for (std::int64_t x = 0; x < w; ++x) {
                const std::int64_t x0 = std::max<std::int64_t>(x - radius, 0);
                const std::int64_t x1 = std::min<std::int64_t>(x + radius, w - 1);
                const auto at = [&](std::int64_t sx, std::int64_t sy) {
                    return sums[static_cast<std::size_t>(sy) * stride + static_cast<std::size_t>(sx)];
                };
                const double sum = at(x1 + 1, y1 + 1) - at(x1 + 1, y0) - at(x0, y1 + 1) + at(x0, y0);
                const auto mean = static_cast<float>(sum / static_cast<double>((x1 - x0 + 1) * (y1 - y0 + 1)));
                const std::size_t i = static_cast<std::size_t>(y) * uw + static_cast<std::size_t>(x);
                mask[i] = value[i] < mean - offset ? 1 : 0;
            }
        }
    }

    // 5. Clean-up.
    if (params.morphCleanup >= 2) {
        mask = morphClose3x3(morphOpen3x3(mask, w, h), w, h);
    } else if (params.morphCleanup == 1) {
        mask = morphClose3x3(mask, w, h);
    }

    // 6. Distance field, before the Hessian pass may add pixels.
    fields.distanceField = computeExactEDT(mask, w, h);
    if (fields.distanceField.size() != n) fields.distanceField.assign(n, 0.0f);

    // 7. Ink level and ridge field.
    std::vector<float> ink(n);
    for (std::size_t i = 0; i < n; ++i) {
        const float level = params.invert ? luma[i] : 255.0f - luma[i];
        ink[i] = std::clamp(level / 255.0f, 0.0f, 1.0f);
    }
    const std::vector<float> inkBlur = gaussianBlurSeparable(ink, w, h, 1.0f);
    fields.ridgeField.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        fields.ridgeField[i] = 0.55f * inkBlur[i] + 0.45f * std::min(fields.distanceField[i], 12.0f) / 12.0f;
    }

    // 8. Hessian ridge strength: faint or thin strokes the threshold missed join the mask.
    if (params.algorithm == VectorAlgorithm::neuralCenterline) {
        const std::vector<float> strength = computeHessianRidgeStrength(inkBlur, w, h);
        for (std::size_t i = 0; i < n; ++i) {
            fields.ridgeField[i] = std::min(fields.ridgeField[i] + 0.35f * strength[i], 1.0f);
            if (mask[i] == 0 && strength[i] > 0.28f && inkBlur[i] > 0.22f) mask[i] = 1;
        }
    }

    fields.binary = std::move(mask);
    return fields;
}

}  // namespace ostrel::NeuralRidgeFilter
