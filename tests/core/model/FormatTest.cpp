#include "core/model/Format.h"
#include "testsupport/LanguageScope.h"

#include <gtest/gtest.h>

#include <limits>

namespace ostrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Format, DistanceInMillimetresAndMetres) {
    struct Case {
        double mm;
        const char* french;
        const char* english;
    };
    const Case cases[] = {
        {0, "0 mm", "0 mm"},
        {-12, "0 mm", "0 mm"},
        {kNaN, "0 mm", "0 mm"},
        {kInf, "0 mm", "0 mm"},
        {0.4, "0 mm", "0 mm"},
        {2.5, "3 mm", "3 mm"},  // halves away from zero
        {999.4, "999 mm", "999 mm"},
        {999.5, "1000 mm", "1000 mm"},
        {1000, "1,00 m", "1.00 m"},
        {1234.5, "1,23 m", "1.23 m"},
        {12345.678, "12,35 m", "12.35 m"},
    };
    for (const Case& c : cases) {
        {
            test::LanguageScope french(AppLanguage::fr);
            EXPECT_EQ(Format::distanceMM(c.mm), c.french) << c.mm;
        }
        test::LanguageScope english(AppLanguage::en);
        EXPECT_EQ(Format::distanceMM(c.mm), c.english) << c.mm;
    }
}

TEST(Format, Latency) {
    struct Case {
        std::optional<double> ms;
        const char* french;
        const char* english;
    };
    const Case cases[] = {
        {std::nullopt, "\u2014", "\u2014"},
        {kNaN, "\u2014", "\u2014"},
        {-kInf, "\u2014", "\u2014"},
        {0, "0,0 ms", "0.0 ms"},
        {9.94, "9,9 ms", "9.9 ms"},
        {9.96, "10,0 ms", "10.0 ms"},  // below 10 keeps one decimal even when it rounds up
        {10, "10 ms", "10 ms"},
        {10.5, "10 ms", "10 ms"},  // "%.0f": ties to even
        {11.5, "12 ms", "12 ms"},
        {1234.4, "1234 ms", "1234 ms"},
        {-3, "-3,0 ms", "-3.0 ms"},
    };
    for (const Case& c : cases) {
        {
            test::LanguageScope french(AppLanguage::fr);
            EXPECT_EQ(Format::latency(c.ms), c.french) << c.ms.value_or(-1);
        }
        test::LanguageScope english(AppLanguage::en);
        EXPECT_EQ(Format::latency(c.ms), c.english) << c.ms.value_or(-1);
    }
}

TEST(Format, DurationInSecondsAndMinutes) {
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "\u2014"},
        {-1, "\u2014"},
        {kNaN, "\u2014"},
        {kInf, "\u2014"},
        {0.4, "0 s"},
        {0.5, "1 s"},  // halves away from zero
        {59.49, "59 s"},
        {59.5, "1 min 00 s"},
        {60, "1 min 00 s"},
        {725, "12 min 05 s"},
        {3600, "60 min 00 s"},  // no hour unit
        {3725, "62 min 05 s"},
        {1e300, "\u2014"},                  // no conversion outside the integer range
        {9223372036854775808.0, "\u2014"},  // 2^63
    };
    for (const Case& c : cases) {
        // Only the decimal separator depends on the language, and a duration has no decimals.
        for (AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
            test::LanguageScope scope(language);
            EXPECT_EQ(Format::duration(c.seconds), c.text) << c.seconds;
        }
    }
}

}  // namespace
}  // namespace ostrel
