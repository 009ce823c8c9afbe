// The plotter hardware table and the user's plotter settings, with the
// conversions of the settings' percentages into machine units (servo
// positions of the EBB board, pen speeds in millimetres per second).
#pragma once

#include "core/model/VectorizerParams.h"
#include "core/support/text/Json.h"

#include <array>
#include <string>
#include <string_view>

namespace ostrel {

/// The supported plotter models; the travel area is the drawable range of the carriage.
enum class AxiDrawMachineModel { v3A4, v3A3, miniKit };

template <>
constexpr auto allCases<AxiDrawMachineModel>() {
    return std::array{AxiDrawMachineModel::v3A4, AxiDrawMachineModel::v3A3, AxiDrawMachineModel::miniKit};
}

/// "v3_a4", "v3_a3", "minikit_a6"; `enumFromRaw<AxiDrawMachineModel>` reads them back exactly.
[[nodiscard]] std::string_view rawValue(AxiDrawMachineModel value) noexcept;
/// The picker's long text, the same in both languages: "AxiDraw V3 / SE (A4 · 300 × 218 mm)".
[[nodiscard]] std::string label(AxiDrawMachineModel value);
/// "V3 (A4)", "V3/A3", "MiniKit".
[[nodiscard]] std::string shortLabel(AxiDrawMachineModel value);
/// Travel along X (width) and Y (height) in millimetres.
[[nodiscard]] double maxTravelWidthMM(AxiDrawMachineModel value) noexcept;
[[nodiscard]] double maxTravelHeightMM(AxiDrawMachineModel value) noexcept;

/// The plotter settings. Fields are stored as given; only the derived values clamp.
struct AxiDrawConfig {
    AxiDrawMachineModel machineModel = AxiDrawMachineModel::v3A4;
    int penUpPercent = 60;
    int penDownPercent = 30;
    int penDelayMs = 150;
    int drawSpeedPercent = 40;
    int travelSpeedPercent = 75;
    bool pauseBetweenPenLayers = true;
    double simulationSpeedMultiplier = 4.0;

    /// EBB servo position of a pen height: 9855 + 178 × clamp(percent, 0, 100) (0 % → 9855, 100 % → 27655).
    [[nodiscard]] static int servoTicks(int percent) noexcept;
    /// 4 + 81 × clamp(drawSpeedPercent, 5, 100) / 100: 8.05 to 85 mm/s.
    [[nodiscard]] double drawSpeedMMPerSec() const noexcept;
    /// 12 + 138 × clamp(travelSpeedPercent, 10, 100) / 100: 25.8 to 150 mm/s.
    [[nodiscard]] double travelSpeedMMPerSec() const noexcept;

    /// Keyed form with the eight field names, in declaration order.
    [[nodiscard]] nlohmann::ordered_json toJson() const;
    /// Needs all eight keys with values of the right type and a known model; throws Error otherwise.
    [[nodiscard]] static AxiDrawConfig fromJson(const Json& object);

    friend bool operator==(const AxiDrawConfig&, const AxiDrawConfig&) = default;
};

}  // namespace ostrel
