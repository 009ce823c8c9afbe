// A plotter the serial link talks to: an EBB board on a serial port
// (EBBSerialTransport) or the built-in simulator (PlotterSimulator). One
// command at a time, each call blocking until its reply is judged; one thread
// uses a device at a time.
#pragma once

#include "core/plotter/AxiDrawPortDevice.h"

#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

class PlotterDevice {
public:
    virtual ~PlotterDevice() = default;

    /// A closed device for `port`: the simulator for the simulator port, else the serial board.
    /// Does no input or output.
    [[nodiscard]] static std::unique_ptr<PlotterDevice> forPort(AxiDrawPortDevice port);

    /// Makes the device ready for commands and reads its firmware version; throws Error when it
    /// cannot be opened. Does nothing on an open device.
    virtual void open() = 0;
    /// Releases the device; never fails. The firmware text stays.
    virtual void close() noexcept = 0;
    /// Sends one EBB command and judges its reply; throws Error on a failure.
    virtual void sendCommand(std::string_view command, int timeoutMs) = 0;

    [[nodiscard]] virtual bool isOpen() const noexcept = 0;
    [[nodiscard]] virtual const AxiDrawPortDevice& device() const noexcept = 0;
    /// Empty until the first open.
    [[nodiscard]] virtual const std::string& firmwareVersion() const noexcept = 0;

protected:
    PlotterDevice() = default;
    PlotterDevice(const PlotterDevice&) = delete;
    PlotterDevice& operator=(const PlotterDevice&) = delete;
};

}  // namespace ostrel
