// A port the plotter may sit on: a serial device or the built-in simulator.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

struct AxiDrawPortDevice {
    std::string path;         // device path, or simulatorPath
    std::string displayName;  // shown in the port picker
    bool isSimulator = false;

    static constexpr std::string_view simulatorPath = "virtual://axidraw-simulator";

    /// The simulator device; its display name is chosen in the interface language of the call.
    [[nodiscard]] static AxiDrawPortDevice simulator();

    [[nodiscard]] const std::string& id() const noexcept { return path; }
    friend bool operator==(const AxiDrawPortDevice&, const AxiDrawPortDevice&) = default;
};

}  // namespace ostrel
