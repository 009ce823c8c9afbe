#include "core/plotter/AxiDrawConfig.h"

#include "core/support/system/Error.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ostrel {

namespace {

// Indexed by the position of the case in allCases<AxiDrawMachineModel>().
constexpr std::array<double, 3> kTravelWidthsMM{300.0, 430.0, 160.0};
constexpr std::array<double, 3> kTravelHeightsMM{218.0, 297.0, 101.0};

std::size_t position(AxiDrawMachineModel value) noexcept { return static_cast<std::size_t>(value); }

Error decodingError(const std::string& message) { return Error("AxiDrawConfig", 1, message); }

const Json& requiredKey(const Json& object, const char* key) {
    if (!object.is_object()) throw decodingError("plotter settings are not an object");
    const auto it = object.find(key);
    if (it == object.end()) throw decodingError(std::string("missing key ") + key);
    return *it;
}

int requiredInt(const Json& object, const char* key) {
    const Json& value = requiredKey(object, key);
    if (!value.is_number_integer()) throw decodingError(std::string("not an integer: ") + key);
    const auto number = value.get<std::int64_t>();
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
        throw decodingError(std::string("integer out of range: ") + key);
    }
    return static_cast<int>(number);
}

}  // namespace

std::string_view rawValue(AxiDrawMachineModel value) noexcept {
    switch (value) {
        case AxiDrawMachineModel::v3A4:
            return "v3_a4";
        case AxiDrawMachineModel::v3A3:
            return "v3_a3";
        case AxiDrawMachineModel::miniKit:
            return "minikit_a6";
    }
    return "v3_a4";
}

std::string label(AxiDrawMachineModel value) {
    switch (value) {
        case AxiDrawMachineModel::v3A4:
            return "AxiDraw V3 / SE (A4 \u00B7 300 \u00D7 218 mm)";
        case AxiDrawMachineModel::v3A3:
            return "AxiDraw V3/A3 / SE/A3 (A3 \u00B7 430 \u00D7 297 mm)";
        case AxiDrawMachineModel::miniKit:
            return "AxiDraw MiniKit 2 (A6 \u00B7 160 \u00D7 101 mm)";
    }
    return {};
}

std::string shortLabel(AxiDrawMachineModel value) {
    switch (value) {
        case AxiDrawMachineModel::v3A4:
            return "V3 (A4)";
        case AxiDrawMachineModel::v3A3:
            return "V3/A3";
        case AxiDrawMachineModel::miniKit:
            return "MiniKit";
    }
    return {};
}

double maxTravelWidthMM(AxiDrawMachineModel value) noexcept { return kTravelWidthsMM[position(value)]; }
double maxTravelHeightMM(AxiDrawMachineModel value) noexcept { return kTravelHeightsMM[position(value)]; }

int AxiDrawConfig::servoTicks(int percent) noexcept { return 9855 + 178 * std::clamp(percent, 0, 100); }

double AxiDrawConfig::drawSpeedMMPerSec() const noexcept {
    return 4.0 + 81.0 * static_cast<double>(std::clamp(drawSpeedPercent, 5, 100)) / 100.0;
}

double AxiDrawConfig::travelSpeedMMPerSec() const noexcept {
    return 12.0 + 138.0 * static_cast<double>(std::clamp(travelSpeedPercent, 10, 100)) / 100.0;
}

nlohmann::ordered_json AxiDrawConfig::toJson() const {
    nlohmann::ordered_json object;
    object["machineModel"] = std::string(rawValue(machineModel));
    object["penUpPercent"] = penUpPercent;
    object["penDownPercent"] = penDownPercent;
    object["penDelayMs"] = penDelayMs;
    object["drawSpeedPercent"] = drawSpeedPercent;
    object["travelSpeedPercent"] = travelSpeedPercent;
    object["pauseBetweenPenLayers"] = pauseBetweenPenLayers;
    object["simulationSpeedMultiplier"] = simulationSpeedMultiplier;
    return object;
}

AxiDrawConfig AxiDrawConfig::fromJson(const Json& object) {
    AxiDrawConfig config;
    const Json& model = requiredKey(object, "machineModel");
    if (!model.is_string()) throw decodingError("not a text: machineModel");
    const auto parsed = enumFromRaw<AxiDrawMachineModel>(model.get<std::string>());
    if (!parsed) throw decodingError("unknown machine model: " + model.get<std::string>());
    config.machineModel = *parsed;
    config.penUpPercent = requiredInt(object, "penUpPercent");
    config.penDownPercent = requiredInt(object, "penDownPercent");
    config.penDelayMs = requiredInt(object, "penDelayMs");
    config.drawSpeedPercent = requiredInt(object, "drawSpeedPercent");
    config.travelSpeedPercent = requiredInt(object, "travelSpeedPercent");
    const Json& pause = requiredKey(object, "pauseBetweenPenLayers");
    if (!pause.is_boolean()) throw decodingError("not a Boolean: pauseBetweenPenLayers");
    config.pauseBetweenPenLayers = pause.get<bool>();
    const Json& multiplier = requiredKey(object, "simulationSpeedMultiplier");
    if (!multiplier.is_number()) throw decodingError("not a number: simulationSpeedMultiplier");
    config.simulationSpeedMultiplier = multiplier.get<double>();
    return config;
}

}  // namespace ostrel
