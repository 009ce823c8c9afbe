// Guo-Hall thinning of an ink mask to a one-pixel-wide 8-connected skeleton.
//
// Z. Guo, R. W. Hall, "Parallel thinning with two-subiteration algorithms", CACM 32(3), 1989. Each
// pixel is decided by one look-up of its 8-bit neighbour code in a 256-entry table per sub-iteration;
// only a shrinking list of still-set candidates is visited, so a round costs O(set pixels). A final
// staircase pass removes the inner corners of one-pixel stair steps. Each sub-iteration decides all
// its pixels before clearing any, so bands of rows decide in parallel with the same result.
#include "core/pipeline/GuoHallThinning.h"

#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <array>
#include <bit>
#include <cstddef>
#include <limits>
#include <vector>

namespace ostrel::CenterlineTracer {

namespace {

using DeletionTable = std::array<bool, 256>;

// Neighbour code bits, clockwise from north: 0 N, 1 NE, 2 E, 3 SE, 4 S, 5 SW, 6 W, 7 NW.
DeletionTable buildGuoHallLUT(int subiteration) {
    DeletionTable table{};
    for (int code = 0; code < 256; ++code) {
        const auto b = [code](int i) { return ((code >> i) & 1) != 0; };
        const int c = int(!b(0) && (b(1) || b(2))) + int(!b(2) && (b(3) || b(4))) + int(!b(4) && (b(5) || b(6))) +
                      int(!b(6) && (b(7) || b(0)));
        const int n1 = int(b(7) || b(0)) + int(b(1) || b(2)) + int(b(3) || b(4)) + int(b(5) || b(6));
        const int n2 = int(b(0) || b(1)) + int(b(2) || b(3)) + int(b(4) || b(5)) + int(b(6) || b(7));
        const int n = n1 < n2 ? n1 : n2;
        const bool m = subiteration == 0 ? ((b(0) || b(1) || !b(3)) && b(2)) : ((b(4) || b(5) || !b(7)) && b(6));
        table[static_cast<std::size_t>(code)] = c == 1 && (n == 2 || n == 3) && !m;
    }
    return table;
}

// Built once, on first use; function-local statics are initialised thread-safely.
const DeletionTable& lutSub0() {
    static const DeletionTable table = buildGuoHallLUT(0);
    return table;
}

const DeletionTable& lutSub1() {
    static const DeletionTable table = buildGuoHallLUT(1);
    return table;
}

// Neighbour code of pixel p in a 0/1 image of row stride w.
inline unsigned neighbourCode(const std::uint8_t* img, std::ptrdiff_t p, std::ptrdiff_t w) {
    const std::uint8_t* up = img + p - w;
    const std::uint8_t* mid = img + p;
    const std::uint8_t* down = img + p + w;
    return unsigned(up[0]) | unsigned(up[1]) << 1 | unsigned(mid[1]) << 2 | unsigned(down[1]) << 3 |
           unsigned(down[0]) << 4 | unsigned(down[-1]) << 5 | unsigned(mid[-1]) << 6 | unsigned(up[-1]) << 7;
}

// The set interior pixels of one band of rows, in raster order, and the ones a pass decided to clear.
struct Band {
    std::vector<std::int32_t> candidates;
    std::vector<std::int32_t> deleted;
};

// One sub-iteration: every band records its still-set candidates the table deletes, then all of them
// are cleared at once (decisions read the image as it was before the sub-iteration). With `compact`,
// each band then drops its cleared candidates. Returns whether any pixel was cleared.
bool runSubiteration(std::uint8_t* img, std::vector<Band>& bands, std::ptrdiff_t w, const DeletionTable& table,
                     bool compact) {
    parallelFor(bands.size(), 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            Band& band = bands[b];
            band.deleted.clear();
            for (const std::int32_t p : band.candidates) {
                if (img[p] != 0 && table[neighbourCode(img, p, w)]) band.deleted.push_back(p);
            }
        }
    });
    bool changed = false;
    for (const Band& band : bands) changed = changed || !band.deleted.empty();
    parallelFor(bands.size(), 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            Band& band = bands[b];
            for (const std::int32_t p : band.deleted) img[p] = 0;
            if (!compact) continue;
            std::size_t kept = 0;
            for (const std::int32_t p : band.candidates) {
                if (img[p] != 0) band.candidates[kept++] = p;
            }
            band.candidates.resize(kept);
        }
    });
    return changed;
}

}  // namespace

std::vector<std::uint8_t> thinGuoHall(const std::vector<std::uint8_t>& binary, std::int64_t width, std::int64_t height,
                                      std::int64_t maxIterations) {
    if (width < 3 || height < 3) return binary;
    // Sizes beyond 32-bit pixel indices or a buffer shorter than the image: returned unchanged.
    if (width > std::numeric_limits<std::int32_t>::max() / height) return binary;
    const auto count = static_cast<std::size_t>(width * height);
    if (binary.size() < count) return binary;
    const auto w = static_cast<std::ptrdiff_t>(width);
    const auto h = static_cast<std::ptrdiff_t>(height);

    // img[y * w + x]: 1 = set; the border stays clear so every neighbour read is in range. It becomes
    // the result at the end. Pixels past the image in a longer buffer are kept as given.
    auto img = prefaultedVector<std::uint8_t>(binary.size());
    std::copy(binary.begin() + static_cast<std::ptrdiff_t>(count), binary.end(),
              img.begin() + static_cast<std::ptrdiff_t>(count));
    // Bands of interior rows, each with its own candidate list: decisions read only the image, and
    // every band clears only its own pixels, so the result is the same for any number of bands.
    const auto interiorRows = static_cast<std::size_t>(h - 2);
    const std::size_t bandCount = rowBandCount(interiorRows);
    std::vector<Band> bands(bandCount);
    const auto bandRow = [&](std::size_t b) { return static_cast<std::ptrdiff_t>(1 + b * interiorRows / bandCount); };
    parallelFor(bandCount, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            // The band's rows, plus the top row (with the first band) and the bottom row (with the last),
            // which stay clear.
            const std::ptrdiff_t y0 = b == 0 ? 0 : bandRow(b);
            const std::ptrdiff_t y1 = b + 1 == bandCount ? h : bandRow(b + 1);
            std::vector<std::int32_t>& candidates = bands[b].candidates;
            for (std::ptrdiff_t y = y0; y < y1; ++y) {
                std::uint8_t* out = img.data() + y * w;
                const std::uint8_t* in = binary.data() + y * w;
                if (y == 0 || y == h - 1) {
                    std::fill(out, out + w, std::uint8_t{0});
                    continue;
                }
                out[0] = 0;
                out[w - 1] = 0;
                for (std::ptrdiff_t x = 1; x + 1 < w; ++x) {
                    out[x] = in[x] != 0 ? 1 : 0;
                    if (in[x] != 0) candidates.push_back(static_cast<std::int32_t>(y * w + x));
                }
            }
        }
    });

    std::uint8_t* data = img.data();
    for (std::int64_t iteration = 0; iteration < maxIterations; ++iteration) {
        const bool changed0 = runSubiteration(data, bands, w, lutSub0(), false);
        const bool changed1 = runSubiteration(data, bands, w, lutSub1(), true);
        if (!changed0 && !changed1) break;
    }

    // Staircase pass: exactly two set neighbours, one north or south and one east or west. Decided on
    // the image as the last round left it, then cleared at once.
    parallelFor(bands.size(), 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            Band& band = bands[b];
            band.deleted.clear();
            for (const std::int32_t p : band.candidates) {
                if (data[p] == 0) continue;
                const unsigned code = neighbourCode(data, p, w);
                if (std::popcount(code) != 2 || (code & 0xAAu) != 0) continue;
                const bool vertical = (code & 0x11u) != 0;    // N or S
                const bool horizontal = (code & 0x44u) != 0;  // E or W
                if (vertical && horizontal) band.deleted.push_back(p);
            }
        }
    });
    // The result: the input's own values where the skeleton is set, 0 elsewhere.
    parallelFor(count, 65536, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) data[i] = data[i] != 0 ? binary[i] : std::uint8_t{0};
    });
    for (const Band& band : bands) {
        for (const std::int32_t p : band.deleted) data[p] = 0;
    }
    return img;
}

}  // namespace ostrel::CenterlineTracer
