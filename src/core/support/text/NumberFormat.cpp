#include "core/support/text/NumberFormat.h"

#include <fmt/format.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

namespace ostrel {

namespace {

constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000};
constexpr int kMaxExactDecimals = 3;

/// "00" "01" … "99": two digits per division by 100 halve the dependent divisions of a number.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

/// Writes the two digits of `pair` (0…99) ending at `end`; returns the first character written.
char* writePair(char* end, std::uint64_t pair) noexcept {
    std::memcpy(end - 2, kDigitPairs.data() + 2 * pair, 2);
    return end - 2;
}

/// Writes the digits of q ending at `end`; returns the first character written.
char* writeUnsigned(char* p, std::uint64_t q) noexcept {
    while (q >= 100) {
        p = writePair(p, q % 100);
        q /= 100;
    }
    if (q >= 10) return writePair(p, q);
    *--p = static_cast<char>('0' + q);
    return p;
}

/// Writes q / 10^decimals (decimals 0…3) ending at `end`: the digits of q with a point before the last
/// `decimals` of them and at least one digit before the point. Returns the first character written.
/// Each case divides by a constant, which compiles to a multiplication.
char* writeScaled(char* end, std::uint64_t q, int decimals) noexcept {
    char* p = end;
    switch (decimals) {
        case 1:
            *--p = static_cast<char>('0' + q % 10);
            q /= 10;
            break;
        case 2:
            p = writePair(p, q % 100);
            q /= 100;
            break;
        case 3:
            p = writePair(p, q % 100);
            *--p = static_cast<char>('0' + q / 100 % 10);
            q /= 1000;
            break;
        default:
            return writeUnsigned(p, q);
    }
    *--p = '.';
    return writeUnsigned(p, q);
}

/// The fast path of appendFixed for 0 ≤ decimals ≤ 3. A finite double is m / 2^s exactly (m < 2^53);
/// below 2^52 the shift s is at least 1, and n = m · 10^decimals stays below 2^63. The text is then
/// q = round-half-even(n / 2^s) with a point `decimals` digits from the right: exact in integers,
/// the same text as printf for every such value. Returns false (appending nothing) outside the range.
bool appendFixedExact(std::string& out, double value, int decimals) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased >= 1075) return false;  // |value| ≥ 2^52, infinities and NaNs
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int shift = biased == 0 ? 1074 : 1075 - biased;  // value = ±m / 2^shift, shift ≥ 1
    const std::uint64_t n = m * kPowersOfTen[decimals];    // < 2^53 · 1000 < 2^63
    std::uint64_t q = 0;
    if (shift < 64) {
        q = n >> shift;
        const std::uint64_t rest = n & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        // Round up above the half, and on the half when q is odd; without branches, which the
        // random last bits of drawing coordinates would mispredict half of the time.
        q += (static_cast<std::uint64_t>(rest > half) | (static_cast<std::uint64_t>(rest == half) & q)) & 1;
    }                 // else n / 2^shift < 2^63 / 2^64 = 1/2, which rounds to 0
    char buffer[32];  // q < 2^62: at most 19 digits, the point and the sign
    char* const end = buffer + sizeof buffer;
    char* begin = writeScaled(end, q, decimals);
    if ((bits >> 63) != 0) *--begin = '-';  // like printf, "-0.00" for -0.0 and small negatives
    out.append(begin, static_cast<std::size_t>(end - begin));
    return true;
}

}  // namespace

void appendFixed(std::string& out, double value, int decimals) {
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    if (decimals < 0) decimals = 0;
    if (decimals <= kMaxExactDecimals && appendFixedExact(out, value, decimals)) return;
    // std::to_chars with a precision is printf's "%.Nf" in the C locale.
    char buffer[400];  // enough for any finite double in fixed notation with few decimals
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        fmt::format_to(std::back_inserter(out), "{:.{}f}", value, decimals);
        return;
    }
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

std::string fixed(double value, int decimals) {
    std::string out;
    appendFixed(out, value, decimals);
    return out;
}

void appendInteger(std::string& out, std::int64_t value) {
    char buffer[24];  // 19 digits and a sign
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;  // cannot fail: the buffer holds every 64-bit integer
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

std::string integerText(std::int64_t value) {
    std::string out;
    appendInteger(out, value);
    return out;
}

std::string shortestText(double value) { return fmt::format("{}", value); }

std::string withDecimalComma(std::string text) {
    for (char& c : text) {
        if (c == '.') c = ',';
    }
    return text;
}

std::optional<std::int64_t> checkedInt64(double value) noexcept {
    // 2^63 is exactly representable; anything at or above it overflows.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(value)) return std::nullopt;
    const double truncated = std::trunc(value);
    if (truncated >= kLimit || truncated < -kLimit) return std::nullopt;
    return static_cast<std::int64_t>(truncated);
}

std::optional<std::int64_t> roundedInt64(double value) noexcept {
    if (!std::isfinite(value)) return std::nullopt;
    return checkedInt64(std::round(value));
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace ostrel
