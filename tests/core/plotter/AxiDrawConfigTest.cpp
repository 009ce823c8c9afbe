#include "core/plotter/AxiDrawConfig.h"

#include "core/support/system/Error.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(AxiDrawConfig, ServoAndSpeedConversionsClamp) {
    struct Case {
        int percent;
        int ticks;
    };
    for (const Case c : {Case{-5, 9855}, Case{0, 9855}, Case{30, 15195}, Case{50, 18755}, Case{60, 20535},
                         Case{100, 27655}, Case{150, 27655}}) {
        EXPECT_EQ(AxiDrawConfig::servoTicks(c.percent), c.ticks) << c.percent;
    }
    struct Speed {
        int percent;
        double draw;
        double travel;
    };
    for (const Speed s : {Speed{0, 8.05, 25.8}, Speed{5, 8.05, 25.8}, Speed{10, 12.1, 25.8}, Speed{40, 36.4, 67.2},
                          Speed{75, 64.75, 115.5}, Speed{100, 85.0, 150.0}, Speed{250, 85.0, 150.0}}) {
        AxiDrawConfig config;
        config.drawSpeedPercent = s.percent;
        config.travelSpeedPercent = s.percent;
        EXPECT_DOUBLE_EQ(config.drawSpeedMMPerSec(), s.draw) << s.percent;
        EXPECT_DOUBLE_EQ(config.travelSpeedMMPerSec(), s.travel) << s.percent;
    }
    // Out-of-range settings are kept as given, through the keyed form too; only what is derived
    // from them clamps.
    AxiDrawConfig stored;
    stored.penUpPercent = 120;
    stored.penDownPercent = -5;
    stored.drawSpeedPercent = 250;
    const AxiDrawConfig decoded = AxiDrawConfig::fromJson(Json::parse(stored.toJson().dump()));
    EXPECT_EQ(decoded.penUpPercent, 120);
    EXPECT_EQ(decoded.penDownPercent, -5);
    EXPECT_EQ(decoded.drawSpeedPercent, 250);
    EXPECT_EQ(AxiDrawConfig::servoTicks(decoded.penUpPercent), 27655);
    EXPECT_EQ(AxiDrawConfig::servoTicks(decoded.penDownPercent), 9855);
    EXPECT_DOUBLE_EQ(decoded.drawSpeedMMPerSec(), 85.0);
}

TEST(AxiDrawMachineModel, TableAndRawValues) {
    EXPECT_EQ(label(AxiDrawMachineModel::v3A4), "AxiDraw V3 / SE (A4 \u00B7 300 \u00D7 218 mm)");
    EXPECT_EQ(shortLabel(AxiDrawMachineModel::v3A3), "V3/A3");
    EXPECT_EQ(maxTravelWidthMM(AxiDrawMachineModel::miniKit), 160.0);
    EXPECT_EQ(maxTravelHeightMM(AxiDrawMachineModel::v3A3), 297.0);
    EXPECT_EQ(enumFromRaw<AxiDrawMachineModel>("minikit_a6"), AxiDrawMachineModel::miniKit);
    for (const char* bad : {"V3_A4", " v3_a4", ""}) EXPECT_FALSE(enumFromRaw<AxiDrawMachineModel>(bad)) << bad;
}

TEST(AxiDrawConfig, KeyedFormRoundTripsAndNeedsEveryKey) {
    AxiDrawConfig config;
    config.machineModel = AxiDrawMachineModel::v3A3;
    config.penDelayMs = 90;
    config.simulationSpeedMultiplier = 4.5;
    const auto encoded = config.toJson();
    std::vector<std::string> keys;
    for (const auto& item : encoded.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"machineModel", "penUpPercent", "penDownPercent", "penDelayMs",
                                              "drawSpeedPercent", "travelSpeedPercent", "pauseBetweenPenLayers",
                                              "simulationSpeedMultiplier"}));
    const Json plain = Json::parse(encoded.dump());
    EXPECT_EQ(AxiDrawConfig::fromJson(plain), config);
    EXPECT_NE(AxiDrawConfig::fromJson(plain), AxiDrawConfig{});

    Json missing = plain;
    missing.erase("simulationSpeedMultiplier");
    EXPECT_THROW((void)AxiDrawConfig::fromJson(missing), Error);
    Json wrongType = plain;
    wrongType["penDelayMs"] = "150";
    EXPECT_THROW((void)AxiDrawConfig::fromJson(wrongType), Error);
    Json unknownModel = plain;
    unknownModel["machineModel"] = "v4";
    EXPECT_THROW((void)AxiDrawConfig::fromJson(unknownModel), Error);
}

}  // namespace
}  // namespace ostrel
