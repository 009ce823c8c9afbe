#include "support/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
        {0.801, 2, "0.80"},   {40.125, 2, "40.12"}, {3.375, 2, "3.38"},   {2.675, 2, "2.67"},  // 2.675 is below the tie
        {62.5, 0, "62"},      {63.5, 0, "64"},      {8.25, 1, "8.2"},     {-1.5, 0, "-2"},
        {-0.001, 2, "-0.00"}, {1e21, 1, "1000000000000000000000.0"}, {55.2, 0, "55"}, {0.3, -1, "0"},
        {kNaN, 2, "nan"},     {kInf, 1, "inf"},     {-kInf, 0, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(fixed(c.value, c.decimals), c.text) << c.value << " / " << c.decimals;
    EXPECT_EQ(integerText(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(withDecimalComma("1.25 m"), "1,25 m");
    EXPECT_EQ(asciiLower("EN-us \xC3\x89"), "en-us \xC3\x89");
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
