#include "core/model/ParameterTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace ostrel {
namespace {

/// The default of a numeric or toggle parameter, read from `VectorizerParams()` through the table.
double defaultOf(const ParameterSpec& spec) {
    const VectorizerParams defaults;
    if (spec.toggleField != nullptr) return defaults.*spec.toggleField ? 1 : 0;
    if (spec.integerField != nullptr) return static_cast<double>(defaults.*spec.integerField);
    return defaults.*spec.realField;
}

bool contains(const ValueRange& outer, const ValueRange& inner) {
    return outer.lower <= inner.lower && inner.upper <= outer.upper;
}

TEST(ParameterTable, EveryFieldOnceWithAFieldPointerMatchingItsKind) {
    std::set<std::string> keys;
    for (const ParameterSpec* spec : kAllParameters) {
        EXPECT_TRUE(keys.insert(std::string(spec->key)).second) << spec->key;
        EXPECT_EQ(findParameter(spec->key), spec);
        const int pointers =
            (spec->toggleField != nullptr) + (spec->integerField != nullptr) + (spec->realField != nullptr);
        switch (spec->kind) {
            case ParameterKind::toggle:
                EXPECT_NE(spec->toggleField, nullptr) << spec->key;
                break;
            case ParameterKind::integer:
                EXPECT_NE(spec->integerField, nullptr) << spec->key;
                break;
            case ParameterKind::real:
                EXPECT_NE(spec->realField, nullptr) << spec->key;
                break;
            case ParameterKind::choice:
            case ParameterKind::widthList:
                EXPECT_EQ(pointers, 0) << spec->key;
                break;
        }
        EXPECT_LE(pointers, 1) << spec->key;
    }
    EXPECT_EQ(keys.size(), 28u);
    EXPECT_EQ(findParameter("Threshold"), nullptr);  // exact spelling only
    EXPECT_EQ(findParameter(""), nullptr);
}

TEST(ParameterTable, DefaultsLieInsideTheRangesAndSlidersStepEvenlyInsideTheAcceptedRange) {
    for (const ParameterSpec* spec : kAllParameters) {
        if (spec->accepted) {
            EXPECT_LT(spec->accepted->lower, spec->accepted->upper) << spec->key;
            EXPECT_GE(defaultOf(*spec), spec->accepted->lower) << spec->key;
            EXPECT_LE(defaultOf(*spec), spec->accepted->upper) << spec->key;
        }
        if (!spec->slider) continue;
        EXPECT_GT(spec->sliderStep, 0) << spec->key;
        const double steps = (spec->slider->upper - spec->slider->lower) / spec->sliderStep;
        EXPECT_NEAR(steps, std::round(steps), 1e-9) << spec->key;  // the span is a whole number of steps
        if (spec->accepted) {
            EXPECT_TRUE(contains(*spec->accepted, *spec->slider)) << spec->key;
        }
    }
    EXPECT_FALSE(parameter::hatchAngleDeg.accepted);  // any finite angle
    EXPECT_EQ(parameter::hatchSpacingPx.accepted, (ValueRange{2.5, 20}));
    EXPECT_EQ(parameter::hatchSpacingPx.slider, (ValueRange{3, 16}));
}

}  // namespace
}  // namespace ostrel
