#include "core/support/text/Utf8.h"

#include <cstdint>

namespace ostrel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at `i`, or 0 and the length of
// the maximal subpart to replace in `bad` (Table 3-7 of the Unicode standard).
std::size_t wellFormedLength(std::string_view s, std::size_t i, std::size_t& bad) noexcept {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t b0 = at(i);
    bad = 1;
    if (b0 < 0x80) return 1;
    std::size_t need = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            bad = k;
            return 0;
        }
        const std::uint8_t b = at(i + k);
        const std::uint8_t low = k == 1 ? lo : 0x80;
        const std::uint8_t high = k == 1 ? hi : 0xBF;
        if (b < low || b > high) {
            bad = k;
            return 0;
        }
    }
    return need + 1;
}

}  // namespace

std::string lossyUtf8(std::string_view bytes) {
    std::size_t i = 0;
    std::size_t bad = 0;
    while (i < bytes.size()) {
        const std::size_t n = wellFormedLength(bytes, i, bad);
        if (n == 0) break;
        i += n;
    }
    if (i == bytes.size()) return std::string(bytes);

    std::string out(bytes.substr(0, i));
    out.reserve(bytes.size() + 8);
    while (i < bytes.size()) {
        const std::size_t n = wellFormedLength(bytes, i, bad);
        if (n == 0) {
            out += kReplacement;
            i += bad;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace ostrel
