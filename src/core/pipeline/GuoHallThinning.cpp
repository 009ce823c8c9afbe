// Guo-Hall thinning of an ink mask to a one-pixel-wide 8-connected skeleton.
//
// Z. Guo, R. W. Hall, "Parallel thinning with two-subiteration algorithms", CACM 32(3), 1989. Each
// pixel is decided by one look-up of its 8-bit neighbour code in a 256-entry table per sub-iteration;
// only a shrinking list of still-set candidates is visited, so a round costs O(set pixels). A final
// staircase pass removes the inner corners of one-pixel stair steps.
#include "pipeline/CenterlineTracer.h"

#include <array>
#include <bit>
#include <cstddef>
#include <limits>

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

// One sub-iteration: records every still-set candidate the table deletes, then clears them all at once.
bool runSubiteration(std::uint8_t* img, const std::vector<std::int32_t>& candidates, std::ptrdiff_t w,
                     const DeletionTable& table, std::vector<std::int32_t>& deleted) {
    deleted.clear();
    for (const std::int32_t p : candidates) {
        if (img[p] != 0 && table[neighbourCode(img, p, w)]) deleted.push_back(p);
    }
    for (const std::int32_t p : deleted) img[p] = 0;
    return !deleted.empty();
}

}  // namespace

std::vector<std::uint8_t> thinGuoHall(const std::vector<std::uint8_t>& binary, std::int64_t width,
                                      std::int64_t height, std::int64_t maxIterations) {
    if (width < 3 || height < 3) return binary;
    // Sizes beyond 32-bit pixel indices or a buffer shorter than the image: returned unchanged.
    if (width > std::numeric_limits<std::int32_t>::max() / height) return binary;
    const auto count = static_cast<std::size_t>(width * height);
    if (binary.size() < count) return binary;
    const auto w = static_cast<std::ptrdiff_t>(width);
    const auto h = static_cast<std::ptrdiff_t>(height);

    // img[y * w + x]: 1 = set; the border stays clear so every neighbour read is in range.
    std::vector<std::uint8_t> img(count, 0);
    std::vector<std::int32_t> candidates;  // set interior pixels, raster order
    candidates.reserve(count / 8);
    for (std::ptrdiff_t y = 1; y + 1 < h; ++y) {
        for (std::ptrdiff_t x = 1; x + 1 < w; ++x) {
            const std::ptrdiff_t p = y * w + x;
            if (binary[static_cast<std::size_t>(p)] != 0) {
                img[static_cast<std::size_t>(p)] = 1;
                candidates.push_back(static_cast<std::int32_t>(p));
            }
        }
    }

    std::vector<std::int32_t> deleted;
    deleted.reserve(4096);
    std::uint8_t* data = img.data();
    for (std::int64_t iteration = 0; iteration < maxIterations; ++iteration) {
        const bool changed0 = runSubiteration(data, candidates, w, lutSub0(), deleted);
        const bool changed1 = runSubiteration(data, candidates, w, lutSub1(), deleted);
        if (!changed0 && !changed1) break;
        std::size_t kept = 0;
        for (const std::int32_t p : candidates) {
            if (data[p] != 0) candidates[kept++] = p;
        }
        candidates.resize(kept);
    }

    // Staircase pass: exactly two set neighbours, one north or south and one east or west.
    deleted.clear();
    for (const std::int32_t p : candidates) {
        if (data[p] == 0) continue;
        const unsigned code = neighbourCode(data, p, w);
        if (std::popcount(code) != 2 || (code & 0xAAu) != 0) continue;
        const bool vertical = (code & 0x11u) != 0;   // N or S
        const bool horizontal = (code & 0x44u) != 0;  // E or W
        if (vertical && horizontal) deleted.push_back(p);
    }
    for (const std::int32_t p : deleted) data[p] = 0;

    std::vector<std::uint8_t> result(binary.begin(), binary.end());
    for (std::size_t i = 0; i < count; ++i) {
        if (img[i] == 0) result[i] = 0;
    }
    return result;
}

}  // namespace ostrel::CenterlineTracer
