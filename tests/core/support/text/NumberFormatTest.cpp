#include "core/support/text/NumberFormat.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace ostrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberFormat, FixedRoundsTheExactBinaryValueTiesToEven) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {0.801, 2, "0.80"}, {40.125, 2, "40.12"}, {3.375, 2, "3.38"},
        {2.675, 2, "2.67"},  // 2.675 is below the tie
        {62.5, 0, "62"},    {63.5, 0, "64"},      {8.25, 1, "8.2"},
        {-1.5, 0, "-2"},    {-0.001, 2, "-0.00"}, {1e21, 1, "1000000000000000000000.0"},
        {55.2, 0, "55"},    {0.3, -1, "0"},       {kNaN, 2, "nan"},
        {kInf, 1, "inf"},   {-kInf, 0, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(fixed(c.value, c.decimals), c.text) << c.value << " / " << c.decimals;
    EXPECT_EQ(integerText(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(withDecimalComma("1.25 m"), "1,25 m");
    EXPECT_EQ(asciiLower("EN-us \xC3\x89"), "en-us \xC3\x89");
}

/// printf's "%.Nf" as the standard library computes it.
std::string referenceFixed(double value, int decimals) {
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    EXPECT_EQ(ec, std::errc());
    return std::string(buffer, end);
}

/// Compares appendFixed (appending after a prefix) and fixed with the reference for 0…4 decimals.
void expectSameAsReference(double value) {
    for (int decimals = 0; decimals <= 4; ++decimals) {
        const std::string expected = referenceFixed(value, decimals);
        std::string appended = "x";
        appendFixed(appended, value, decimals);
        ASSERT_EQ(appended, "x" + expected) << std::hexfloat << value << " / " << decimals;
        ASSERT_EQ(fixed(value, decimals), expected) << std::hexfloat << value << " / " << decimals;
    }
}

TEST(NumberFormat, FixedAgreesWithTheStandardLibraryBitForBit) {
    const double tricky[] = {0.125,
                             0.375,
                             2.675,
                             1.005,
                             0.0625,
                             0.5,
                             1.5,
                             2.5,
                             -0.5,
                             -2.5,
                             -0.004,
                             -0.005,
                             -0.0,
                             0.0,
                             1e15,
                             -1e15,
                             0.0005,
                             999.9995,
                             9.995,
                             99.995,
                             1234.5,
                             1234.25,
                             std::nextafter(0.125, 1.0),
                             std::nextafter(0.125, 0.0),
                             4503599627370495.5,  // largest half below 2^52: fast path
                             4503599627370496.0,  // 2^52: the to_chars path
                             4503599627370497.0,
                             9007199254740993.0,
                             1e21,
                             -1e300,
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest()};
    for (const double value : tricky) expectSameAsReference(value);

    std::mt19937_64 rng(2024);
    // Every exponent: random bit patterns, NaNs and infinities skipped (their texts are fixed above).
    for (int i = 0; i < 400000; ++i) {
        const double value = std::bit_cast<double>(rng());
        if (std::isfinite(value)) expectSameAsReference(value);
    }
    // Drawing coordinates and measures: mostly inexact, where the last digit is decided by the binary value.
    std::uniform_real_distribution<double> coordinate(-5000, 5000);
    for (int i = 0; i < 600000; ++i) expectSameAsReference(coordinate(rng));
    // Dyadic values j / 2^t hold every exact tie (x.5, x.25, x.125, x.0625 …) and their neighbours.
    std::uniform_int_distribution<std::int64_t> numerator(-(std::int64_t{1} << 40), std::int64_t{1} << 40);
    std::uniform_int_distribution<int> power(0, 16);
    for (int i = 0; i < 600000; ++i) {
        const double value = std::ldexp(static_cast<double>(numerator(rng)), -power(rng));
        expectSameAsReference(value);
        expectSameAsReference(std::nextafter(value, 1e300));
        expectSameAsReference(std::nextafter(value, -1e300));
    }
}

TEST(NumberFormat, AppendersKeepWhatIsAlreadyThere) {
    std::string out = "d=";
    appendFixed(out, std::numeric_limits<double>::quiet_NaN(), 2);
    out += ',';
    appendFixed(out, -std::numeric_limits<double>::infinity(), 2);
    out += ',';
    appendFixed(out, 3.14159, -2);
    out += ',';
    appendInteger(out, std::numeric_limits<std::int64_t>::min());
    out += ',';
    appendInteger(out, 0);
    EXPECT_EQ(out, "d=nan,-inf,3,-9223372036854775808,0");
}

TEST(NumberFormat, IntegerConversionOnlyForFiniteValuesInRange) {
    struct Case {
        double value;
        std::optional<std::int64_t> truncated;
        std::optional<std::int64_t> rounded;
    };
    const Case cases[] = {
        {2.5, 2, 3},
        {-2.5, -2, -3},
        {-0.4, 0, 0},
        {9223372036854774784.0, 9223372036854774784LL, 9223372036854774784LL},  // largest double below 2^63
        {9223372036854775808.0, std::nullopt, std::nullopt},                    // 2^63
        {-9223372036854775808.0, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min()},
        {-9223372036854777856.0, std::nullopt, std::nullopt},  // next double below -2^63
        {kNaN, std::nullopt, std::nullopt},
        {kInf, std::nullopt, std::nullopt},
        {-kInf, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checkedInt64(c.value), c.truncated) << c.value;
        EXPECT_EQ(roundedInt64(c.value), c.rounded) << c.value;
    }
}

}  // namespace
}  // namespace ostrel
