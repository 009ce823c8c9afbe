#include "app/remote/JSONParams.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace ostrel {
namespace {

VectorizerParams applied(const char* body) {
    VectorizerParams params;
    applyJSONParams(Json::parse(body), params);
    return params;
}

TEST(JSONParams, TruncatesAndClampsEachField) {
    struct Case {
        const char* body;
        std::function<void(VectorizerParams&)> expect;  // edits the defaults into the expected result
    };
    const Case cases[] = {
        {"{}", [](VectorizerParams&) {}},
        {R"({"threshold": 300})", [](VectorizerParams& p) { p.threshold = 255; }},
        {R"({"threshold": -4})", [](VectorizerParams& p) { p.threshold = 0; }},
        {R"({"threshold": 255.9})", [](VectorizerParams& p) { p.threshold = 255; }},
        {R"({"threshold": "128"})", [](VectorizerParams&) {}},
        {R"({"threshold": 1e300})", [](VectorizerParams& p) { p.threshold = 255; }},
        {R"({"threshold": -1e300})", [](VectorizerParams& p) { p.threshold = 0; }},
        {R"({"threshold": 18446744073709551615})", [](VectorizerParams& p) { p.threshold = 255; }},
        {R"({"threshold": -9223372036854775808})", [](VectorizerParams& p) { p.threshold = 0; }},
        {R"({"blurRadius": 3})", [](VectorizerParams& p) { p.blurRadius = 3.0; }},
        {R"({"blurRadius": 12.5})", [](VectorizerParams& p) { p.blurRadius = 10.0; }},
        {R"({"morphCleanup": 2.99})", [](VectorizerParams& p) { p.morphCleanup = 2; }},
        {R"({"morphCleanup": -0.5})", [](VectorizerParams& p) { p.morphCleanup = 0; }},
        {R"({"rdpTolerance": 0})", [](VectorizerParams& p) { p.rdpTolerance = 0.1; }},
        {R"({"curveSmoothing": 1.5})", [](VectorizerParams& p) { p.curveSmoothing = 1.0; }},
        {R"({"cornerAngleDeg": 100.7})", [](VectorizerParams& p) { p.cornerAngleDeg = 90; }},
        {R"({"cornerAngleDeg": 14.9})", [](VectorizerParams& p) { p.cornerAngleDeg = 15; }},
        {R"({"minPathLengthPx": 0})", [](VectorizerParams& p) { p.minPathLengthPx = 1; }},
        {R"({"maxStitchGapPx": 40})", [](VectorizerParams& p) { p.maxStitchGapPx = 25.0; }},
        {R"({"continuity": -1})", [](VectorizerParams& p) { p.continuity = 0.0; }},
        {R"({"hatchSpacingPx": 1})", [](VectorizerParams& p) { p.hatchSpacingPx = 2.5; }},
        {R"({"hatchAngleDeg": -725.5})", [](VectorizerParams& p) { p.hatchAngleDeg = -725.5; }},
        {R"({"penCount": 0.99})", [](VectorizerParams& p) { p.penCount = 1; }},
        {R"({"penCount": 9})", [](VectorizerParams& p) { p.penCount = 4; }},
        {R"({"marginMM": 80})", [](VectorizerParams& p) { p.marginMM = 50.0; }},
        {R"({"algorithm": "Skeletonize"})", [](VectorizerParams&) {}},
        {R"({"algorithm": "skeletonize"})", [](VectorizerParams& p) { p.algorithm = VectorAlgorithm::skeletonize; }},
        {R"({"paperFormat": "a3"})", [](VectorizerParams& p) { p.paperFormat = PaperFormat::a3; }},
        {R"({"paperFormat": "ORIGINAL"})", [](VectorizerParams& p) { p.paperFormat = PaperFormat::original; }},
        {R"({"paperFormat": "letter"})", [](VectorizerParams&) {}},
        {R"({"paperOrientation": "LANDSCAPE"})",
         [](VectorizerParams& p) { p.paperOrientation = PaperOrientation::landscape; }},
        {R"({"paperOrientation": "automatic"})", [](VectorizerParams&) {}},
        {R"({"invert": true})", [](VectorizerParams& p) { p.invert = true; }},
        {R"({"invert": "true"})", [](VectorizerParams&) {}},
        {R"({"invert": 1})", [](VectorizerParams&) {}},
        {R"({"adaptiveThreshold": false, "hatchEnabled": true, "crossHatch": true, "optimize2Opt": false,
             "exportBlackStrokes": true, "stegerSubpixel": false, "crossJunctions": false})",
         [](VectorizerParams& p) {
             p.adaptiveThreshold = false;
             p.hatchEnabled = true;
             p.crossHatch = true;
             p.optimize2Opt = false;
             p.exportBlackStrokes = true;
             p.stegerSubpixel = false;
             p.crossJunctions = false;
         }},
        {R"({"outputMode": "axidraw", "penWidthsMM": [1, 2], "strokeWidthScale": 3,
             "illustrationStrokeStyle": "perStrokeWidth"})",
         [](VectorizerParams&) {}},
        {R"({"threshold": null, "blurRadius": [1], "penCount": {"n": 2}, "marginMM": true})", [](VectorizerParams&) {}},
        {R"({"threshold": "x", "penCount": 3, "blurRadius": "2"})", [](VectorizerParams& p) { p.penCount = 3; }},
    };
    for (const Case& c : cases) {
        VectorizerParams expected;
        c.expect(expected);
        EXPECT_EQ(applied(c.body), expected) << c.body;
    }
}

TEST(JSONParams, NonNumbersAndNonFiniteValuesNeverReachAnIntegerConversion) {
    // Objects built in code can hold what JSON text cannot.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    VectorizerParams params;
    applyJSONParams(Json{{"threshold", nan},
                         {"penCount", inf},
                         {"cornerAngleDeg", -inf},
                         {"hatchAngleDeg", inf},
                         {"blurRadius", nan},
                         {"continuity", -inf}},
                    params);
    VectorizerParams expected;
    expected.penCount = 4;
    expected.cornerAngleDeg = 15;
    expected.blurRadius = 10.0;  // the upper bound wins over NaN
    expected.continuity = 0.0;
    EXPECT_EQ(params, expected);

    VectorizerParams untouched;
    applyJSONParams(Json::array({1, 2}), untouched);
    applyJSONParams(Json("threshold"), untouched);
    EXPECT_EQ(untouched, VectorizerParams{});
}

TEST(JSONParams, ReportsEachAcceptedKeyAsOneChangeInTableOrder) {
    std::vector<VectorizerParams> changes;
    VectorizerParams params;
    applyJSONParams(
        Json::parse(R"({"penCount": 2, "threshold": 10, "bogus": 1, "invert": "no", "algorithm": "canny_edges"})"),
        params, [&](const VectorizerParams& now) { changes.push_back(now); });
    ASSERT_EQ(changes.size(), 3u);  // penCount is reported although unchanged
    EXPECT_EQ(changes[0].algorithm, VectorAlgorithm::cannyEdges);
    EXPECT_EQ(changes[0].threshold, 128);
    EXPECT_EQ(changes[1].threshold, 10);
    EXPECT_EQ(changes[2], params);
}

}  // namespace
}  // namespace ostrel
