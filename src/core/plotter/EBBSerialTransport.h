// The serial link to an EBB plotter board: port discovery, a raw 115200 8N1
// line on POSIX termios, and one EBB text command at a time with its reply
// line judged by the board's reply rule. The port list ends with the
// simulator port, which PlotterSimulator plays (PlotterDevice::forPort).
//
// Wire format: each command is sent as UTF-8 text ending in one carriage
// return; the board answers one line ending in CR LF ("OK", a version line,
// or "!<n> Err: <text>"). "ES" answers a status line and then "OK".
#pragma once

#include "core/plotter/AxiDrawPortDevice.h"
#include "core/plotter/PlotterDevice.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

class EBBSerialTransport final : public PlotterDevice {
public:
    /// Motor steps per millimetre on both axes.
    static constexpr double stepsPerMM = 80.0;
    /// Domain of every error this transport throws.
    static constexpr std::string_view errorDomain = "EBBSerialTransport";
    // Error codes besides system error numbers.
    static constexpr int closedPortCode = -1;
    static constexpr int errorReplyCode = -2;

    /// Real ports first — entries of `directory` named ttyACM* or ttyUSB*, in natural order
    /// (ttyACM2 before ttyACM10) — then the simulator. Never fails: an unreadable directory
    /// lists no real port.
    [[nodiscard]] static std::vector<AxiDrawPortDevice> availablePorts(const std::filesystem::path& directory = "/dev");

    /// A closed transport for the serial port `device`.
    explicit EBBSerialTransport(AxiDrawPortDevice device);
    ~EBBSerialTransport() override;

    /// Opens the line and reads the firmware version (1 s at most). Throws Error with the system
    /// error number when the device cannot be opened; does nothing on an open port.
    void open() override;
    /// Closes the descriptor; never fails. The firmware text stays.
    void close() noexcept override;
    /// Sends one command and judges its reply; throws Error on a closed port (-1), a write error
    /// or hang-up (system error number), or an error reply (-2, "EBB: <reply>"). A reply that does
    /// not come before the time-out counts as success. "ES" is read through its closing "OK".
    void sendCommand(std::string_view command, int timeoutMs) override;

    [[nodiscard]] bool isOpen() const noexcept override { return fd_ >= 0; }
    [[nodiscard]] const AxiDrawPortDevice& device() const noexcept override { return device_; }
    [[nodiscard]] const std::string& firmwareVersion() const noexcept override { return firmwareVersion_; }

private:
    using Clock = std::chrono::steady_clock;

    /// Writes the framed command and returns its first reply line as text (possibly partial or empty).
    std::string sendRaw(std::string_view command, int timeoutMs);
    /// One line up to and including its LF, or what arrived before `deadline`.
    std::string readLine(Clock::time_point deadline);
    [[noreturn]] void failHangUp(int errorNumber);

    int fd_ = -1;  // the open serial device
    AxiDrawPortDevice device_;
    std::string firmwareVersion_;
};

}  // namespace ostrel
