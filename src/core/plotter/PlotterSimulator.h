// The built-in simulator: a plotter that is always open, answers every command
// at once and moves nothing. No input or output.
#pragma once

#include "core/plotter/PlotterDevice.h"

namespace ostrel {

class PlotterSimulator final : public PlotterDevice {
public:
    /// The firmware text the simulator reports once opened.
    static constexpr std::string_view firmware = "EBBv13_and_above EB Firmware Version 2.8.1 (Sim)";

    /// The simulator on `device` (normally AxiDrawPortDevice::simulator()).
    explicit PlotterSimulator(AxiDrawPortDevice device = AxiDrawPortDevice::simulator());

    void open() override;
    void close() noexcept override {}
    /// Sends nothing and never fails.
    void sendCommand(std::string_view, int) override {}

    [[nodiscard]] bool isOpen() const noexcept override { return true; }
    [[nodiscard]] const AxiDrawPortDevice& device() const noexcept override { return device_; }
    [[nodiscard]] const std::string& firmwareVersion() const noexcept override { return firmwareVersion_; }

private:
    AxiDrawPortDevice device_;
    std::string firmwareVersion_;
};

}  // namespace ostrel
