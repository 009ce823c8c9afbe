// Preprocessing chain of stage A: blur, threshold, clean-up, distance field and ridge field.
//
// Every step is linear in the number of pixels: the blur is separable (at most 25 taps), the adaptive
// threshold reads an integral image (cost independent of the window), the distance transform is two
// passes of the Felzenszwalb–Huttenlocher parabola envelope. Arithmetic is in 32-bit floats in a fixed
// order (the build forbids contraction into fused multiply-adds), so results are reproducible.
//
// The steps run as data-parallel loops over bands of rows or columns (core/support/parallel/ParallelFor.h).
// Each output value is computed by the same operations in the same order whatever band it falls in, so
// the fields are identical for every thread count. Full-size buffers are few and reused: fresh memory
// costs a page fault per 4 KiB, which on a 2400 × 2400 image is as much as a pass of arithmetic. Each
// use of scratch has buffers of its own, kept by each thread. The blur keeps its horizontal pass in a
// per-band ring of rows, the integral image of the adaptive threshold lives in per-band ring buffers,
// the distance field is written over the blurred grey once that is no longer needed, and the ridge
// field over the blurred ink level or, with the Hessian term, over the Hessian measure, which is
// computed once: the pass that finds its largest value keeps it for the pass that scales it.
#include "core/pipeline/NeuralRidgeFilter.h"

#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace ostrel::NeuralRidgeFilter {

namespace {

// The loops that carry the arithmetic are compiled once more for AVX2 and for AVX-512 and the version
// for the processor is chosen when the program is loaded (function multi-versioning): the default x86-64
// build has 4-float vectors only. The build forbids contraction into fused multiply-adds and the
// versions enable no FMA of their own, so every lane runs the scalar operations in the scalar order
// and all versions give the same bits. Not under ThreadSanitizer: the loader picks the version before
// its runtime is up, and the program crashes at start.
#if defined(__SANITIZE_THREAD__)
#define OSTREL_NO_VECTOR_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OSTREL_NO_VECTOR_CLONES
#endif
#endif
#if defined(__x86_64__) && defined(__has_attribute) && !defined(OSTREL_NO_VECTOR_CLONES)
#if __has_attribute(target_clones)
#define OSTREL_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
#endif
#ifndef OSTREL_VECTOR_CLONES
#define OSTREL_VECTOR_CLONES
#endif

// Smallest band of rows (or columns) one parallel chunk works on.
constexpr std::size_t kMinRowsPerChunk = 16;
constexpr std::size_t kMinColumnsPerChunk = 32;

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

// The scratch buffers of one use, lent to one chunk of a loop at a time and kept between loops on a
// shelf of their own: their pages are faulted in once per buffer rather than once per chunk, and they
// are never cleared (every use writes what it reads). Keyed by the use's own type, so no two uses
// share a buffer. The shelf holds as many as ever were in use at once, about one per thread.
//
// Not thread_local: the pipeline also runs inside modules the program loads at run time, where
// per-thread objects live in dynamically allocated thread storage, which the sanitizer builds' leak
// check cannot walk reliably (it crashed at exit on the worker threads' storage).
template <class Scratch>
class ScratchLease {
public:
    ScratchLease() {
        Shelf& shelf = shelfOf();
        {
            std::lock_guard lock(shelf.mutex);
            if (shelf.free != nullptr) node_ = std::exchange(shelf.free, shelf.free->next);
        }
        if (node_ == nullptr) node_ = new Node;
    }
    ~ScratchLease() {
        Shelf& shelf = shelfOf();
        std::lock_guard lock(shelf.mutex);
        node_->next = std::exchange(shelf.free, node_);
    }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;

    Scratch& operator*() noexcept { return node_->scratch; }
    Scratch* operator->() noexcept { return &node_->scratch; }

private:
    struct Node {
        Scratch scratch;
        Node* next = nullptr;
    };
    struct Shelf {
        std::mutex mutex;
        Node* free = nullptr;
    };
    // Never destroyed: a background run may still hold a buffer while the process exits.
    static Shelf& shelfOf() noexcept {
        static Shelf* const shelf = new Shelf;
        return *shelf;
    }

    Node* node_ = nullptr;
};

// The data of `buffer`, grown to at least `size` values.
template <class T>
T* atLeast(std::vector<T>& buffer, std::size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

// ---- Gaussian blur -------------------------------------------------------------------------------

struct GaussianKernel {
    std::vector<float> weights;  // weights[i + radius]: weight at offset i, normalised to sum 1
    std::size_t radius = 0;
};

// Kernel radius clamp(ceil(2.5 σ), 1, 12), taken on the float before any integer conversion.
GaussianKernel gaussianKernel(float sigma) {
    const float reach = std::ceil(2.5f * sigma);
    const std::size_t r = reach >= 12.0f ? 12 : (reach <= 1.0f ? 1 : static_cast<std::size_t>(reach));
    const float d = std::max(2.0f * sigma * sigma, 0.001f);
    GaussianKernel kernel{std::vector<float>(2 * r + 1), r};
    float sum = 0;
    for (std::size_t t = 0; t < kernel.weights.size(); ++t) {
        const float i = static_cast<float>(static_cast<std::int64_t>(t) - static_cast<std::int64_t>(r));
        kernel.weights[t] = std::exp(-(i * i) / d);
        sum += kernel.weights[t];
    }
    for (float& k : kernel.weights) k /= sum;
    return kernel;
}

// Outputs per block of the blur loops: a fixed count the compiler turns into vector instructions
// (each lane does the scalar arithmetic, so the sums are the same).
constexpr std::size_t kBlock = 16;

// One output row of a blur pass: dst(x) = Σ_t src[t][x] × k[t], summed in tap order from 0. Both
// passes use it: the vertical one with src[t] the filtered row of tap t, the horizontal one with
// src[t] the padded input row shifted by t.
OSTREL_VECTOR_CLONES
void weightedSum(const float* const* src, const float* k, std::size_t taps, float* dst, std::size_t w) {
    std::size_t x = 0;
    for (; x + 2 * kBlock <= w; x += 2 * kBlock) {
        float a[kBlock] = {};
        float b[kBlock] = {};
        for (std::size_t t = 0; t < taps; ++t) {
            const float* in = src[t] + x;
            const float kt = k[t];
            for (std::size_t j = 0; j < kBlock; ++j) a[j] += in[j] * kt;
            for (std::size_t j = 0; j < kBlock; ++j) b[j] += in[kBlock + j] * kt;
        }
        std::copy_n(a, kBlock, dst + x);
        std::copy_n(b, kBlock, dst + x + kBlock);
    }
    for (; x + kBlock <= w; x += kBlock) {
        float sum[kBlock] = {};
        for (std::size_t t = 0; t < taps; ++t) {
            for (std::size_t j = 0; j < kBlock; ++j) sum[j] += src[t][x + j] * k[t];
        }
        std::copy_n(sum, kBlock, dst + x);
    }
    for (; x < w; ++x) {
        float sum = 0.0f;
        for (std::size_t t = 0; t < taps; ++t) sum += src[t][x] * k[t];
        dst[x] = sum;
    }
}

// One blur pass along a row: out(x) = Σ_{i=-r..r} in(clamp(x + i, 0, w - 1)) × k(i), summed in that
// order from 0. `padded` holds w + 2r values (the row with its edge pixels repeated r times).
void blurRow(const float* in, float* out, std::size_t w, const GaussianKernel& kernel, float* padded) {
    const std::size_t r = kernel.radius;
    for (std::size_t j = 0; j < r; ++j) {
        padded[j] = in[0];
        padded[r + w + j] = in[w - 1];
    }
    std::copy(in, in + w, padded + r);
    std::array<const float*, 25> shifted{};  // shifted[t]: the padded row from tap t on (at most 25 taps)
    const std::size_t taps = kernel.weights.size();
    for (std::size_t t = 0; t < taps; ++t) shifted[t] = padded + t;
    weightedSum(shifted.data(), kernel.weights.data(), taps, out, w);
}

struct BlurScratch {
    std::vector<float> ring;    // the horizontally filtered rows the vertical pass reads, by row modulo taps
    std::vector<float> padded;  // one input row with its edges repeated
    std::vector<float> input;   // one input row, when the source computes it
    std::vector<const float*> taps;
};

// Separable blur of a w × h image into `out`: the horizontal pass, then the vertical one summing the
// taps in kernel order from 0 with the edge rows repeated. Each band of output rows filters the rows it
// reads (its own and r on either side) just before they are first needed, into a ring of 2r + 1 rows
// that stays in cache; no full-size intermediate exists. Rows at band edges are filtered by both
// bands, with identical results. `rowOf(y, scratch)` returns row y of the input, possibly computed into
// `scratch` (w values).
template <class RowSource>
void blurInto(const RowSource& rowOf, std::size_t w, std::size_t h, const GaussianKernel& kernel, float* out) {
    const std::size_t r = kernel.radius;
    const std::size_t taps = kernel.weights.size();
    parallelFor(h, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        ScratchLease<BlurScratch> scratch;
        float* ring = atLeast(scratch->ring, taps * w);  // filtered row y at ring + (y % taps) * w
        float* padded = atLeast(scratch->padded, w + 2 * r);
        float* input = atLeast(scratch->input, w);
        const float* k = kernel.weights.data();
        const float** src = atLeast(scratch->taps, taps);  // src[t]: filtered row y + t - r, clamped
        std::size_t next = first >= r ? first - r : 0;     // the next row to filter
        for (std::size_t y = first; y < last; ++y) {
            // Rows y - r … y + r, clamped, are distinct modulo taps, so none overwrites another in use.
            for (; next <= std::min(y + r, h - 1); ++next)
                blurRow(rowOf(next, input), ring + (next % taps) * w, w, kernel, padded);
            for (std::size_t t = 0; t < taps; ++t) {
                const auto sy =
                    std::clamp<std::int64_t>(static_cast<std::int64_t>(y + t) - static_cast<std::int64_t>(r), 0,
                                             static_cast<std::int64_t>(h) - 1);
                src[t] = ring + (static_cast<std::size_t>(sy) % taps) * w;
            }
            weightedSum(src, k, taps, out + y * w, w);
        }
    });
}

// ---- Morphology ----------------------------------------------------------------------------------

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
    auto rows = prefaultedVector<std::uint8_t>(*count);
    parallelFor(h, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const std::uint8_t* in = mask.data() + y * w;
            std::uint8_t* out = rows.data() + y * w;
            for (std::size_t x = 0; x < w; ++x) {
                std::uint8_t value = in[x] != 0 ? 1 : 0;
                if (x > 0) value = combine(value, in[x - 1] != 0 ? 1 : 0);
                if (x + 1 < w) value = combine(value, in[x + 1] != 0 ? 1 : 0);
                out[x] = value;
            }
        }
    });
    auto result = prefaultedVector<std::uint8_t>(*count);
    parallelFor(h, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const std::uint8_t* above = rows.data() + (y > 0 ? y - 1 : y) * w;
            const std::uint8_t* here = rows.data() + y * w;
            const std::uint8_t* below = rows.data() + (y + 1 < h ? y + 1 : y) * w;
            std::uint8_t* out = result.data() + y * w;
            for (std::size_t x = 0; x < w; ++x) out[x] = combine(combine(above[x], here[x]), below[x]);
        }
    });
    return result;
}

// ---- Distance transform --------------------------------------------------------------------------

// Lower envelope of the parabolas y = (q - p)² + f[p] (Felzenszwalb–Huttenlocher). `out` receives
// n values; `v` (≥ n entries) holds the envelope's parabola sites, `z` (≥ n + 1) its boundaries.
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

// Row markers of the column sweeps (rows are below 4096 there): no background above, and none below,
// placed so that the distance to them is at least kFarDistance, which no real distance reaches.
constexpr std::int32_t kFarDistance = 1 << 15;
constexpr std::int32_t kNoneAbove = -kFarDistance;
constexpr std::int32_t kNoneBelow = kFarDistance + 4096;

// Downward sweep over n columns of one row: last[c] becomes the row of the nearest background at or
// above this row, also written to out[c]. The buffers never overlap (restrict spares a vectorising
// compiler the overlap check).
void sweepDown(const std::uint8_t* __restrict in, std::int32_t* __restrict last, std::int32_t* __restrict out,
               std::size_t n, std::int32_t row) {
    for (std::size_t c = 0; c < n; ++c) {
        last[c] = in[c] == 0 ? row : last[c];
        out[c] = last[c];
    }
}

// Upward sweep over n columns of one row: the squared distance to the nearer of the background above
// (from the downward sweep) and below, or `big` when the column has none on either side. Written
// without branches, so a vectorising compiler can take it as it is: every load is unconditional, and
// the choice of `big` compares floats (the square reaches kFarDistance², exact in floats, exactly when
// the distance reaches kFarDistance; real distances stay below 4096).
void sweepUp(const std::uint8_t* __restrict in, const std::int32_t* __restrict above, std::int32_t* __restrict last,
             float* __restrict out, std::size_t n, std::int32_t row, float big) {
    constexpr float kFarSquare = static_cast<float>(kFarDistance) * static_cast<float>(kFarDistance);
    for (std::size_t c = 0; c < n; ++c) {
        const std::int32_t previous = last[c];
        const std::int32_t below = in[c] == 0 ? row : previous;
        last[c] = below;
        const std::int32_t d = std::min(row - above[c], below - row);
        const std::int32_t near = std::min(d, kFarDistance);  // squared without overflow
        const auto square = static_cast<float>(near * near);
        out[c] = square >= kFarSquare ? big : square;
    }
}

struct ColumnSweepScratch {
    std::vector<std::int32_t> nearest;
    std::vector<std::int32_t> lastRow;
};

// Buffers of edt1D over one line.
struct EnvelopeScratch {
    std::vector<float> line;
    std::vector<float> out;
    std::vector<int> sites;
    std::vector<float> bounds;
};
struct ColumnEnvelopeScratch : EnvelopeScratch {};
struct RowEnvelopeScratch : EnvelopeScratch {};

// Column pass of the distance transform over columns [first, last): field(x, y) receives the squared
// distance to the nearest background pixel of column x, or `big` along a column without background.
//
// Every input value is 0 (background) or BIG, and the parabola envelope reduces to the squared
// distance to the nearest background pixel of the column: BIG ≥ (h + 1000)² puts the crossing of a
// background and an ink parabola beyond the end of the column, and with h ≤ 4096 every square and
// every crossing between background parabolas, (p1 + p2) / 2, is exact in 32-bit floats. So two
// sweeps over the rows give bit for bit what the envelope gives, in cache-friendly row order. Columns
// without background, and taller images, take the envelope itself.
OSTREL_VECTOR_CLONES
void edtColumns(const std::uint8_t* binary, std::size_t w, std::size_t h, float big, std::size_t first,
                std::size_t last, float* field) {
    const std::size_t span = last - first;
    std::size_t envelopeFrom = first;  // columns [envelopeFrom, last) not settled by the sweeps
    std::vector<std::size_t> envelopeColumns;
    if (h <= 4096) {
        // nearest[y * span + c]: row of the nearest background at or above row y in column first + c.
        ScratchLease<ColumnSweepScratch> scratch;
        std::int32_t* nearest = atLeast(scratch->nearest, h * span);
        std::int32_t* lastRow = atLeast(scratch->lastRow, span);
        std::fill(lastRow, lastRow + span, kNoneAbove);
        for (std::size_t y = 0; y < h; ++y) {
            sweepDown(binary + y * w + first, lastRow, nearest + y * span, span, static_cast<std::int32_t>(y));
        }
        std::fill(lastRow, lastRow + span, kNoneBelow);
        for (std::size_t y = h; y-- > 0;) {
            sweepUp(binary + y * w + first, nearest + y * span, lastRow, field + y * w + first, span,
                    static_cast<std::int32_t>(y), big);
        }
        for (std::size_t c = 0; c < span; ++c) {
            if (lastRow[c] == kNoneBelow) envelopeColumns.push_back(first + c);  // no background in this column
        }
        envelopeFrom = last;
    }
    if (envelopeColumns.empty() && envelopeFrom == last) return;
    ScratchLease<ColumnEnvelopeScratch> scratch;
    float* line = atLeast(scratch->line, h);
    float* out = atLeast(scratch->out, h);
    int* v = atLeast(scratch->sites, h);
    float* z = atLeast(scratch->bounds, h + 1);
    const auto envelope = [&](std::size_t x) {
        for (std::size_t y = 0; y < h; ++y) line[y] = binary[y * w + x] != 0 ? big : 0.0f;
        edt1D(line, h, out, v, z);
        for (std::size_t y = 0; y < h; ++y) field[y * w + x] = out[y];
    };
    for (const std::size_t x : envelopeColumns) envelope(x);
    for (std::size_t x = envelopeFrom; x < last; ++x) envelope(x);
}

// out[x] = √in[x] for x in [0, n).
void sqrtRow(const float* __restrict in, float* __restrict out, std::size_t n) {
    for (std::size_t x = 0; x < n; ++x) out[x] = std::sqrt(in[x]);
}

// Offsets the row pass tries for every pixel at once before searching further.
constexpr std::size_t kNearReach = 8;

// Row pass of the distance transform: out[x] = min over x' of (x - x')² + f[x']. First every offset
// |x - x'| ≤ kNearReach for all pixels together, in loops the compiler vectorises; a pixel whose
// minimum so far is at most (kNearReach + 1)² is then settled, since every farther pixel adds at least
// that much. The others continue with a search outwards from kNearReach + 1, where no pixel farther
// than √(best so far) can do better, so a pixel at distance d costs about d steps. Exact when every f
// and every sum is an integer below 2^24, and then equal to the envelope's value, which is the same
// exact minimum. Gives up (false) once the search has cost `budget` steps: thick ink is cheaper for
// the envelope.
OSTREL_VECTOR_CLONES
bool rowMinimumBySearch(const float* __restrict f, std::size_t n, float* __restrict out, std::size_t budget) {
    std::copy(f, f + n, out);
    const std::size_t near = std::min(kNearReach, n - 1);
    for (std::size_t d = 1; d <= near; ++d) {
        const auto reach = static_cast<float>(d * d);
        for (std::size_t x = d; x < n; ++x) {
            const float candidate = reach + f[x - d];
            out[x] = candidate < out[x] ? candidate : out[x];
        }
        for (std::size_t x = 0; x + d < n; ++x) {
            const float candidate = reach + f[x + d];
            out[x] = candidate < out[x] ? candidate : out[x];
        }
    }
    constexpr auto kSettled = static_cast<float>((kNearReach + 1) * (kNearReach + 1));
    unsigned unsettled = 0;
    for (std::size_t x = 0; x < n; ++x) unsettled |= out[x] > kSettled ? 1U : 0U;
    if (unsettled == 0) return true;
    std::size_t steps = 0;
    for (std::size_t x = 0; x < n; ++x) {
        float best = out[x];
        if (best <= kSettled) continue;
        for (std::size_t d = kNearReach + 1;; ++d) {
            const auto reach = static_cast<float>(d * d);
            if (reach >= best) break;
            if (x >= d) best = std::min(best, reach + f[x - d]);
            if (x + d < n) best = std::min(best, reach + f[x + d]);
            if (x < d && x + d >= n) break;
        }
        steps += static_cast<std::size_t>(std::sqrt(best)) + 1;
        if (steps > budget) return false;
        out[x] = best;
    }
    return true;
}

// Row pass of the distance transform over rows [first, last) of `field`, which holds the column pass's
// squared distances: each row becomes the square root of the minimum over the row of (x - x')² + f[x'],
// found by the search when `searchable` and the row has no value `big`, else by the envelope.
OSTREL_VECTOR_CLONES
void edtRows(float* field, std::size_t w, float big, bool searchable, std::size_t first, std::size_t last) {
    ScratchLease<RowEnvelopeScratch> scratch;
    float* out = atLeast(scratch->out, w);
    int* v = atLeast(scratch->sites, w);
    float* z = atLeast(scratch->bounds, w + 1);
    for (std::size_t y = first; y < last; ++y) {
        float* row = field + y * w;
        // The values are squared distances (never negative) or `big`: flags for "any ink" and "any column
        // without background", as OR reductions the compiler vectorises (a float maximum it may not).
        unsigned ink = 0;
        unsigned unbounded = 0;
        for (std::size_t x = 0; x < w; ++x) {
            ink |= row[x] != 0.0f ? 1U : 0U;
            unbounded |= row[x] >= big ? 1U : 0U;
        }
        // A row without ink stays 0 (every parabola's own minimum is 0 and wins at its site).
        if (ink == 0) continue;
        if (!searchable || unbounded != 0 || !rowMinimumBySearch(row, w, out, 8 * w)) edt1D(row, w, out, v, z);
        sqrtRow(out, row, w);
    }
}

// Exact Euclidean distance transform of a w × h mask into `field` (w × h values, every one written).
void exactEDTInto(const std::uint8_t* binary, std::size_t w, std::size_t h, float* field) {
    const float side = static_cast<float>(static_cast<std::int64_t>(w + h) + 1000);
    const float big = side * side;
    parallelFor(w, kMinColumnsPerChunk,
                [&](std::size_t first, std::size_t last) { edtColumns(binary, w, h, big, first, last, field); });
    // Row pass, then the square root. Column values below `big` are squared distances up to (h - 1)²;
    // with (w - 1)² + (h - 1)² below 2^24 every candidate sum is an exact float, and rows without a
    // column lacking background may take the search.
    const bool searchable = (w - 1) * (w - 1) + (h - 1) * (h - 1) < (std::size_t{1} << 24);
    parallelFor(h, kMinRowsPerChunk,
                [&](std::size_t first, std::size_t last) { edtRows(field, w, big, searchable, first, last); });
}

// ---- Hessian ridge measure -----------------------------------------------------------------------

// Minus the smaller eigenvalue of the Hessian of `values` at interior pixel x of the row `mid`
// (central differences), floored at 0.
inline float hessianRidge(const float* up, const float* mid, const float* down, std::size_t x) {
    const float c = mid[x];
    const float ixx = mid[x + 1] - 2.0f * c + mid[x - 1];
    const float iyy = down[x] - 2.0f * c + up[x];
    const float ixy = (down[x + 1] - down[x - 1] - up[x + 1] + up[x - 1]) * 0.25f;
    const float diff = ixx - iyy;
    const float root = std::sqrt(diff * diff + 4.0f * ixy * ixy);
    const float s = -0.5f * (ixx + iyy - root);
    return s > 0.0f ? s : 0.0f;
}

// hessianRidge at the pixels [first, last) of the row `mid` (1 ≤ first, last < w) into out[first, last),
// which overlaps none of the three rows.
void hessianRidgeRow(const float* up, const float* mid, const float* down, std::size_t first, std::size_t last,
                     float* __restrict out) {
    for (std::size_t x = first; x < last; ++x) out[x] = hessianRidge(up, mid, down, x);
}

// The Hessian ridge measure of every interior pixel of a w × h image (w, h ≥ 3) into `out`, whose
// border pixels are left as they are; returns the largest value, at least 1e-5. The maximum of each
// band is exact, so combining the bands' maxima gives the same value as one sweep.
float hessianRidgeInto(const float* values, std::size_t w, std::size_t h, float* out) {
    const std::size_t rows = h - 2;
    const std::size_t bands = rowBandCount(rows);
    std::vector<float> bandLargest(bands, 1e-5f);
    parallelFor(bands, 1, [&](std::size_t firstBand, std::size_t lastBand) {
        for (std::size_t band = firstBand; band < lastBand; ++band) {
            float largest = 1e-5f;
            for (std::size_t y = 1 + band * rows / bands; y < 1 + (band + 1) * rows / bands; ++y) {
                const float* mid = values + y * w;
                float* row = out + y * w;
                hessianRidgeRow(mid - w, mid, mid + w, 1, w - 1, row);
                for (std::size_t x = 1; x + 1 < w; ++x) largest = row[x] > largest ? row[x] : largest;
            }
            bandLargest[band] = largest;
        }
    });
    float largest = 1e-5f;
    for (const float value : bandLargest) largest = value > largest ? value : largest;
    return largest;
}

// The value hessianRidgeInto returns for the same image, without keeping the measure: the largest
// Hessian ridge measure of the interior (at least 1e-5), found over the same bands a row at a time.
float hessianRidgeLargest(const float* values, std::size_t w, std::size_t h) {
    const std::size_t rows = h - 2;
    const std::size_t bands = rowBandCount(rows);
    std::vector<float> bandLargest(bands, 1e-5f);
    parallelFor(bands, 1, [&](std::size_t firstBand, std::size_t lastBand) {
        std::vector<float> row(w);  // row[x]: the measure of one row
        for (std::size_t band = firstBand; band < lastBand; ++band) {
            float largest = 1e-5f;
            for (std::size_t y = 1 + band * rows / bands; y < 1 + (band + 1) * rows / bands; ++y) {
                const float* mid = values + y * w;
                hessianRidgeRow(mid - w, mid, mid + w, 1, w - 1, row.data());
                for (std::size_t x = 1; x + 1 < w; ++x) largest = row[x] > largest ? row[x] : largest;
            }
            bandLargest[band] = largest;
        }
    });
    float largest = 1e-5f;
    for (const float value : bandLargest) largest = value > largest ? value : largest;
    return largest;
}

// ---- Thresholds ----------------------------------------------------------------------------------

// Global threshold: ink where (luma < level) differs from `invert`; returns the number of ink pixels.
std::size_t globalThreshold(const float* luma, std::size_t n, float level, bool invert, std::uint8_t* mask) {
    const std::size_t chunks = std::max<std::size_t>(1, std::min<std::size_t>(n / 65536 + 1, 256));
    std::vector<std::size_t> inkPerChunk(chunks, 0);
    parallelFor(chunks, 1, [&](std::size_t firstChunk, std::size_t lastChunk) {
        for (std::size_t chunk = firstChunk; chunk < lastChunk; ++chunk) {
            std::size_t ink = 0;
            for (std::size_t i = chunk * n / chunks; i < (chunk + 1) * n / chunks; ++i) {
                const bool set = (luma[i] < level) != invert;
                mask[i] = set ? 1 : 0;
                ink += set ? 1 : 0;
            }
            inkPerChunk[chunk] = ink;
        }
    });
    std::size_t total = 0;
    for (const std::size_t ink : inkPerChunk) total += ink;
    return total;
}

// The adaptive threshold's decision for n pixels whose windows span whole columns: pixel i is ink when
// its value is below mean - offset, mean = (bottomRight - topRight - bottomLeft + topLeft) / area in
// doubles, taken to float. The four arrays hold the integral image's entries at the window's corners.
OSTREL_VECTOR_CLONES
void decideWholeWindows(const double* __restrict topLeft, const double* __restrict bottomLeft,
                        const double* __restrict topRight, const double* __restrict bottomRight,
                        const float* __restrict luma, std::size_t n, double area, float offset, bool invert,
                        std::uint8_t* __restrict out) {
    for (std::size_t i = 0; i < n; ++i) {
        const double sum = bottomRight[i] - topRight[i] - bottomLeft[i] + topLeft[i];
        const auto mean = static_cast<float>(sum / area);
        const float value = invert ? 255.0f - luma[i] : luma[i];
        out[i] = value < mean - offset ? 1 : 0;
    }
}

struct IntegralRingScratch {
    std::vector<double> ring;
};

// Rows of the integral image built together: their running row sums are independent chains of
// additions, so the processor overlaps them instead of waiting on one.
constexpr std::size_t kIntegralRowsAtOnce = 4;

// Integral-image rows y + 1 … y + count (count ≤ kIntegralRowsAtOnce) over the columns [from, to) of
// image rows y … y + count - 1: sums[g + 1][x + 1 - lo] = sums[g][x + 1 - lo] + R_g(x), where the running
// row sum R_g of image row y + g starts at start[g] (the sum of the columns left of `from`) and adds
// value(x) = luma or 255 - luma in doubles, column by column. sums[0] is integral row y.
template <bool Invert>
void integralRows(const float* const* rows, const double* start, std::size_t count, std::size_t from, std::size_t to,
                  std::size_t lo, double* const* sums) {
    const auto value = [](float l) { return static_cast<double>(Invert ? 255.0f - l : l); };
    if (count == kIntegralRowsAtOnce) {
        double r0 = start[0];
        double r1 = start[1];
        double r2 = start[2];
        double r3 = start[3];
        for (std::size_t x = from; x < to; ++x) {
            const std::size_t c = x + 1 - lo;
            r0 += value(rows[0][x]);
            r1 += value(rows[1][x]);
            r2 += value(rows[2][x]);
            r3 += value(rows[3][x]);
            const double s1 = sums[0][c] + r0;
            const double s2 = s1 + r1;
            const double s3 = s2 + r2;
            sums[1][c] = s1;
            sums[2][c] = s2;
            sums[3][c] = s3;
            sums[4][c] = s3 + r3;
        }
        return;
    }
    for (std::size_t g = 0; g < count; ++g) {
        double r = start[g];
        for (std::size_t x = from; x < to; ++x) {
            r += value(rows[g][x]);
            sums[g + 1][x + 1 - lo] = sums[g][x + 1 - lo] + r;
        }
    }
}

// Adaptive threshold: ink where value < mean(window) - offset, the window (2 radius + 1)² clipped to
// the image, value = luma (or 255 - luma when inverted), the window sum read from the integral image
// S(x, y) = Σ value over [0, x) × [0, y) in doubles, built as S(x + 1, y + 1) = S(x + 1, y) + R(x, y)
// with the running row sum R(x, y) = R(x - 1, y) + value(x, y) from 0.
//
// The image is cut into bands of columns. Each band rebuilds the integral image over its columns and
// the radius on either side, one row at a time into a ring of 2 radius + 2 rows, and decides its
// pixels as soon as the rows their windows need exist. A band's running row sums start from the sums
// of the columns left of it, taken in a first pass over every row (checkpoints), so every S value is
// formed by exactly the additions of a whole-image build.
void adaptiveThreshold(const float* luma, std::size_t w, std::size_t h, bool invert, std::size_t radius, float offset,
                       std::uint8_t* mask) {
    const auto valueAt = [invert](float l) { return invert ? 255.0f - l : l; };
    // Bands of columns for the threads, two per thread; a single thread takes the image as one band and
    // so needs no checkpoints.
    const auto threads = static_cast<std::size_t>(parallelThreadCount());
    const std::size_t bandCount =
        std::clamp<std::size_t>(threads == 1 ? 1 : threads * 2, 1, std::max<std::size_t>(w / 64, 1));
    struct Band {
        std::size_t first;  // output columns [first, last)
        std::size_t last;
        std::size_t lo;  // integral-image columns [lo, hi] kept by the band
        std::size_t hi;
        std::size_t sumFrom;  // first column added to the running row sum (lo - 1, or 0)
    };
    std::vector<Band> bands(bandCount);
    for (std::size_t b = 0; b < bandCount; ++b) {
        Band& band = bands[b];
        band.first = b * w / bandCount;
        band.last = (b + 1) * w / bandCount;
        band.lo = band.first >= radius ? band.first - radius : 0;
        band.hi = std::min(band.last - 1 + radius, w - 1) + 1;
        band.sumFrom = band.lo > 0 ? band.lo - 1 : 0;
    }

    // checkpoints[y * bandCount + b]: the running sum of row y over columns [0, bands[b].sumFrom).
    std::vector<double> checkpoints(h * bandCount);
    parallelFor(h, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const float* row = luma + y * w;
            double rowSum = 0;
            std::size_t x = 0;
            for (std::size_t b = 0; b < bandCount; ++b) {
                for (; x < bands[b].sumFrom; ++x) rowSum += static_cast<double>(valueAt(row[x]));
                checkpoints[y * bandCount + b] = rowSum;
            }
        }
    });

    // Rows y0 … y1 + 1 of the integral image are in use while row y is decided, and up to
    // kIntegralRowsAtOnce - 1 more may have been built ahead of them.
    const std::size_t ringRows = 2 * radius + 1 + kIntegralRowsAtOnce;
    parallelFor(bandCount, 1, [&](std::size_t firstBand, std::size_t lastBand) {
        ScratchLease<IntegralRingScratch> ringScratch;
        for (std::size_t b = firstBand; b < lastBand; ++b) {
            const Band& band = bands[b];
            const std::size_t span = band.hi - band.lo + 1;
            // ring[(Y % ringRows) * span + (X - lo)]: S(X, Y) for the kept columns.
            double* ring = atLeast(ringScratch->ring, ringRows * span);
            std::fill(ring, ring + span, 0.0);  // S(·, 0) = 0
            std::size_t built = 0;              // rows [0, built] of S exist
            const auto sumsRow = [&](std::size_t y) { return ring + (y % ringRows) * span; };
            for (std::size_t y = 0; y < h; ++y) {
                const std::size_t y0 = y >= radius ? y - radius : 0;
                const std::size_t y1 = std::min(y + radius, h - 1);
                while (built < y1 + 1) {
                    // S rows built + 1 … built + count from S row built and the running sums of image rows
                    // built … built + count - 1.
                    const std::size_t count = std::min(kIntegralRowsAtOnce, h - built);
                    std::array<const float*, kIntegralRowsAtOnce> rows{};
                    std::array<double, kIntegralRowsAtOnce> start{};
                    std::array<double*, kIntegralRowsAtOnce + 1> sums{};
                    sums[0] = sumsRow(built);
                    for (std::size_t g = 0; g < count; ++g) {
                        rows[g] = luma + (built + g) * w;
                        start[g] = checkpoints[(built + g) * bandCount + b];
                        sums[g + 1] = sumsRow(built + g + 1);
                        if (band.lo == 0) sums[g + 1][0] = 0.0;  // S(0, ·) = 0
                    }
                    if (invert) {
                        integralRows<true>(rows.data(), start.data(), count, band.sumFrom, band.hi, band.lo,
                                           sums.data());
                    } else {
                        integralRows<false>(rows.data(), start.data(), count, band.sumFrom, band.hi, band.lo,
                                            sums.data());
                    }
                    built += count;
                }
                const double* top = sumsRow(y0);
                const double* bottom = sumsRow(y1 + 1);
                const float* row = luma + y * w;
                std::uint8_t* out = mask + y * w;
                const auto decide = [&](std::size_t x) {
                    const std::size_t x0 = x >= radius ? x - radius : 0;
                    const std::size_t x1 = std::min(x + radius, w - 1);
                    const std::size_t a = x0 - band.lo;
                    const std::size_t c = x1 + 1 - band.lo;
                    const double sum = bottom[c] - top[c] - bottom[a] + top[a];
                    const auto area = static_cast<std::int64_t>((x1 - x0 + 1) * (y1 - y0 + 1));
                    const auto mean = static_cast<float>(sum / static_cast<double>(area));
                    out[x] = valueAt(row[x]) < mean - offset ? 1 : 0;
                };
                // Pixels whose window is clipped on the left or the right take the general rule; the
                // rest, with windows of 2 radius + 1 whole columns, go through the vectorised loop.
                const std::size_t innerFirst = std::clamp(radius, band.first, band.last);
                const std::size_t innerLast = std::clamp(w > radius ? w - radius : 0, innerFirst, band.last);
                for (std::size_t x = band.first; x < innerFirst; ++x) decide(x);
                const auto area = static_cast<double>(static_cast<std::int64_t>((2 * radius + 1) * (y1 - y0 + 1)));
                const std::size_t shift = innerFirst - band.lo;  // x - innerFirst + shift: column x - lo
                if (innerLast > innerFirst) {
                    decideWholeWindows(top + shift - radius, bottom + shift - radius, top + shift + radius + 1,
                                       bottom + shift + radius + 1, row + innerFirst, innerLast - innerFirst, area,
                                       offset, invert, out + innerFirst);
                }
                for (std::size_t x = innerLast; x < band.last; ++x) decide(x);
            }
        }
    });
}

// Half window of the adaptive threshold: 6 + min(max(t / 8, 0), 30).
std::size_t adaptiveRadius(std::int64_t t) {
    return static_cast<std::size_t>(6 + std::min<std::int64_t>(std::max<std::int64_t>(t / 8, 0), 30));
}

// Offset of the adaptive threshold: 22 + max((128 - t) / 10, -18), as a float. (128 - t) / 10 without
// overflow for any t: for t ≤ 128 the difference is non-negative and at most 2^63 + 128, which fits the
// unsigned range.
float adaptiveOffset(std::int64_t t) {
    const std::int64_t step =
        t <= 128 ? static_cast<std::int64_t>((128ULL - static_cast<std::uint64_t>(t)) / 10ULL) : (128 - t) / 10;
    return static_cast<float>(22 + std::max<std::int64_t>(step, -18));
}

}  // namespace

std::vector<float> gaussianBlurSeparable(std::span<const float> values, std::int64_t width, std::int64_t height,
                                         float sigma) {
    const auto count = pixelCount(width, height, values.size());
    if (!count || *count == 0) return {};
    if (std::isnan(sigma)) return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(*count)};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    auto out = prefaultedVector<float>(*count);
    blurInto([&](std::size_t y, float*) { return values.data() + y * w; }, w, h, gaussianKernel(sigma), out.data());
    return out;
}

std::vector<std::uint8_t> adaptiveThresholdMask(std::span<const float> luma, std::int64_t width, std::int64_t height,
                                                std::int64_t threshold, bool invert) {
    const auto count = pixelCount(width, height, luma.size());
    if (!count) return {};
    auto mask = prefaultedVector<std::uint8_t>(*count);
    if (*count == 0) return mask;
    adaptiveThreshold(luma.data(), static_cast<std::size_t>(width), static_cast<std::size_t>(height), invert,
                      adaptiveRadius(threshold), adaptiveOffset(threshold), mask.data());
    return mask;
}

std::vector<std::uint8_t> morphErode3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                        std::int64_t height) {
    return morph3x3(mask, width, height, false);
}

std::vector<std::uint8_t> morphDilate3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                         std::int64_t height) {
    return morph3x3(mask, width, height, true);
}

std::vector<std::uint8_t> morphOpen3x3(const std::vector<std::uint8_t>& mask, std::int64_t width, std::int64_t height) {
    return morphDilate3x3(morphErode3x3(mask, width, height), width, height);
}

std::vector<std::uint8_t> morphClose3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                        std::int64_t height) {
    return morphErode3x3(morphDilate3x3(mask, width, height), width, height);
}

std::vector<float> computeExactEDT(const std::vector<std::uint8_t>& binary, std::int64_t width, std::int64_t height) {
    const auto count = pixelCount(width, height, binary.size());
    if (!count || *count == 0) return {};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    if (w > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        h > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    auto field = prefaultedVector<float>(*count);
    exactEDTInto(binary.data(), w, h, field.data());
    return field;
}

std::vector<float> computeHessianRidgeStrength(std::span<const float> values, std::int64_t width, std::int64_t height) {
    const auto count = pixelCount(width, height, values.size());
    if (!count) return {};
    auto strength = prefaultedVector<float>(*count);
    if (width < 3 || height < 3) return strength;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    // Raw values, then the scale by the largest of all.
    const float largest = hessianRidgeInto(values.data(), w, h, strength.data());
    const std::size_t rows = h - 2;
    const float scale = 1.0f / largest;
    parallelFor(rows, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first + 1; y < last + 1; ++y) {
            float* out = strength.data() + y * w;
            for (std::size_t x = 1; x + 1 < w; ++x) out[x] = std::min(out[x] * scale, 1.0f);
        }
    });
    return strength;
}

namespace {

// Step 8's ridge field written over the blurred ink `ink` (w × h) in place: at each pixel
// min(0.55 ink + 0.45 min(distance, 12) / 12 + 0.35 strength, 1), strength = min(measure × scale, 1)
// with the Hessian measure of the ink (0 on the border); a mask pixel becomes 1 where strength > 0.28
// on ink > 0.22. Row bands run in parallel, each top to bottom: a row's measure is taken from the
// original rows around it, the row above kept from before it was overwritten and the rows that open
// and close the band copied before any band starts, so no image-sized buffer holds the measure.
void ridgeFieldOverInk(float* ink, const float* distance, std::uint8_t* mask, std::size_t w, std::size_t h,
                       float scale) {
    const std::size_t bands = rowBandCount(h);
    const auto bandStart = [&](std::size_t band) { return band * h / bands; };
    // edges[2 b * w …]: the original row above band b; edges[(2 b + 1) * w …]: the row below it (where they exist).
    std::vector<float> edges(2 * bands * w);
    for (std::size_t band = 0; band < bands; ++band) {
        const std::size_t first = bandStart(band);
        const std::size_t last = bandStart(band + 1);
        if (first > 0) std::copy_n(ink + (first - 1) * w, w, edges.data() + 2 * band * w);
        if (last < h) std::copy_n(ink + last * w, w, edges.data() + (2 * band + 1) * w);
    }
    const bool hasInterior = w >= 3 && h >= 3;
    parallelFor(bands, 1, [&](std::size_t firstBand, std::size_t lastBand) {
        // above, current: the original rows y - 1 and y; measure: row y's Hessian measure.
        std::vector<float> above(w);
        std::vector<float> current(w);
        std::vector<float> measure(w, 0.0f);
        for (std::size_t band = firstBand; band < lastBand; ++band) {
            const std::size_t first = bandStart(band);
            const std::size_t last = bandStart(band + 1);
            if (first > 0) std::copy_n(edges.data() + 2 * band * w, w, above.data());
            for (std::size_t y = first; y < last; ++y) {
                float* row = ink + y * w;
                std::copy_n(row, w, current.data());
                if (hasInterior && y >= 1 && y + 1 < h) {
                    const float* below = y + 1 == last ? edges.data() + (2 * band + 1) * w : row + w;
                    hessianRidgeRow(above.data(), current.data(), below, 1, w - 1, measure.data());
                } else {
                    std::fill(measure.begin(), measure.end(), 0.0f);
                }
                const float* d = distance + y * w;
                std::uint8_t* m = mask + y * w;
                for (std::size_t x = 0; x < w; ++x) {
                    const float level = current[x];
                    const float base = 0.55f * level + 0.45f * std::min(d[x], 12.0f) / 12.0f;
                    const float strength = std::min(measure[x] * scale, 1.0f);  // 0 on the border
                    row[x] = std::min(base + 0.35f * strength, 1.0f);
                    m[x] = static_cast<std::uint8_t>(m[x] | (strength > 0.28f && level > 0.22f ? 1 : 0));  // 0 or 1
                }
                std::swap(above, current);
            }
        }
    });
}

// The chain of preprocess. `consumedLuma`, when given, is the image's own luma, freed once step 1 has
// read it (nothing after step 1 reads the luma).
PreprocessedFields preprocessImage(const RasterImage& image, const VectorizerParams& params,
                                   PixelBuffer<float>* consumedLuma) {
    PreprocessedFields fields;
    fields.usedNeuralEngine =
        params.algorithm == VectorAlgorithm::neuralCenterline || params.algorithm == VectorAlgorithm::visionContours;
    const auto count = pixelCount(image.width, image.height, image.luma.size());
    if (!count) return fields;  // inconsistent image: no pixels to work on
    fields.width = image.width;
    fields.height = image.height;
    const std::size_t n = *count;
    if (n == 0) return fields;
    const auto w = static_cast<std::size_t>(image.width);
    const auto h = static_cast<std::size_t>(image.height);

    // 1. Blur. `grey` holds the blurred luma until step 7 has read it; its buffer then takes the
    // distance field.
    auto grey = unwrittenBuffer<float>(n);  // every pixel written by step 1
    if (params.blurRadius > 0.15) {
        const auto sigma = static_cast<float>(params.blurRadius);
        if (std::isnan(sigma)) {
            std::copy(image.luma.begin(), image.luma.begin() + static_cast<std::ptrdiff_t>(n), grey.begin());
        } else {
            blurInto([&](std::size_t y, float*) { return image.luma.data() + y * w; }, w, h, gaussianKernel(sigma),
                     grey.data());
        }
    } else {
        std::copy(image.luma.begin(), image.luma.begin() + static_cast<std::ptrdiff_t>(n), grey.begin());
    }
    if (consumedLuma != nullptr) PixelBuffer<float>().swap(*consumedLuma);

    // 2–4. Threshold.
    auto mask = prefaultedVector<std::uint8_t>(n);
    const std::int64_t t = params.threshold;
    if (!params.adaptiveThreshold) {
        const std::size_t inkCount = globalThreshold(grey.data(), n, static_cast<float>(t), params.invert, mask.data());
        // More than 55 % ink: light strokes on a dark ground.
        if (!params.invert && inkCount > (n * 55) / 100) {
            parallelFor(n, 65536, [&](std::size_t first, std::size_t last) {
                for (std::size_t i = first; i < last; ++i) mask[i] = static_cast<std::uint8_t>(1 - mask[i]);
            });
        }
    } else {
        adaptiveThreshold(grey.data(), w, h, params.invert, adaptiveRadius(t), adaptiveOffset(t), mask.data());
    }

    // 5. Clean-up.
    if (params.morphCleanup >= 2) {
        mask = morphClose3x3(morphOpen3x3(mask, image.width, image.height), image.width, image.height);
    } else if (params.morphCleanup == 1) {
        mask = morphClose3x3(mask, image.width, image.height);
    }

    // 7. Ink level 0…1 (blurred with σ = 1), made row by row from the blurred grey.
    auto inkBlur = unwrittenBuffer<float>(n);  // every pixel written by the blur
    const bool invert = params.invert;
    blurInto(
        [&](std::size_t y, float* row) {
            const float* in = grey.data() + y * w;
            for (std::size_t x = 0; x < w; ++x) {
                const float level = invert ? in[x] : 255.0f - in[x];
                row[x] = std::clamp(level / 255.0f, 0.0f, 1.0f);
            }
            return static_cast<const float*>(row);
        },
        w, h, gaussianKernel(1.0f), inkBlur.data());

    // 6. Distance field of the mask before the Hessian pass may add pixels, over the blurred grey.
    if (w <= static_cast<std::size_t>(std::numeric_limits<int>::max()) &&
        h <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        exactEDTInto(mask.data(), w, h, grey.data());
    } else {
        std::fill(grey.begin(), grey.end(), 0.0f);
    }
    fields.distanceField = std::move(grey);

    // 7–8. Ridge field 0.55 × ink + 0.45 × min(distance, 12) / 12, for neural_centerline plus 0.35 ×
    // the Hessian ridge strength of the ink, capped at 1; faint or thin strokes the threshold missed
    // (strength > 0.28 on ink > 0.22) join the mask. Without the Hessian term the field is written over
    // the blurred ink. With it, one pass finds the measure's largest value and a second computes the
    // measure again row by row while it writes the field over the ink (ridgeFieldOverInk): the measure
    // costs twice, but no image-sized buffer, which was the largest addition to the run's peak memory.
    const float* distance = fields.distanceField.data();
    if (params.algorithm != VectorAlgorithm::neuralCenterline) {
        parallelFor(h, kMinRowsPerChunk, [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first * w; i < last * w; ++i) {
                inkBlur[i] = 0.55f * inkBlur[i] + 0.45f * std::min(distance[i], 12.0f) / 12.0f;
            }
        });
        fields.ridgeField = std::move(inkBlur);
        fields.binary = std::move(mask);
        return fields;
    }
    // Images under 3 px on a side have no interior pixel, hence no Hessian term.
    const float scale = w >= 3 && h >= 3 ? 1.0f / hessianRidgeLargest(inkBlur.data(), w, h) : 0.0f;
    ridgeFieldOverInk(inkBlur.data(), distance, mask.data(), w, h, scale);
    fields.ridgeField = std::move(inkBlur);
    fields.binary = std::move(mask);
    return fields;
}

}  // namespace

PreprocessedFields preprocess(const RasterImage& image, const VectorizerParams& params) {
    return preprocessImage(image, params, nullptr);
}

PreprocessedFields preprocess(RasterImage&& image, const VectorizerParams& params) {
    RasterImage owned = std::move(image);
    return preprocessImage(owned, params, &owned.luma);
}

}  // namespace ostrel::NeuralRidgeFilter
