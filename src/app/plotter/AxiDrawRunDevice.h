// The plotter as a plot run drives it from the main thread. Step commands go
// out in order on the controller's serial link thread, and their outcome comes
// back later as a main-thread call, so the run never waits for a reply. The
// device also says how long the run rests after a step it took.
//
// Two devices: the serial board, which answers a step as soon as it has
// queued it and plays it afterwards (so the controller keeps count of how
// long it stays busy), and the simulator, which answers at once and whose
// rests follow the simulation speed.
#pragma once

#include "core/plotter/AxiDrawConfig.h"
#include "core/plotter/AxiDrawPortDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ostrel {

class EbbLinkSession;

class AxiDrawRunDevice {
public:
    /// Called on the main thread with the first failure's message, or none.
    using Reply = std::function<void(const std::optional<std::string>& failure)>;

    virtual ~AxiDrawRunDevice() = default;

    [[nodiscard]] virtual const AxiDrawPortDevice& port() const noexcept = 0;
    /// Opens the port first when `connect` (unless the link is open on it already), else requires
    /// the link to be open on it; then the servo and motor set-up of `config`.
    virtual void prepare(bool connect, const AxiDrawConfig& config, Reply reply) = 0;
    /// One command on the port, which the link must be open on.
    virtual void send(std::string command, int timeoutMs, Reply reply) = 0;
    /// Counts a command the device took: `boardMs` is how long it keeps the board busy, `isMove`
    /// whether the head travels.
    virtual void noteTaken(int boardMs, bool isMove) = 0;
    /// How long the run rests after a pen step of `delayMs` the device took.
    [[nodiscard]] virtual std::int64_t restAfterPen(std::int64_t delayMs) const noexcept = 0;
    /// How long the run rests after a move of `durationMs` the device took.
    [[nodiscard]] virtual std::int64_t restAfterMove(std::int64_t durationMs) const noexcept = 0;

protected:
    AxiDrawRunDevice() = default;
    AxiDrawRunDevice(const AxiDrawRunDevice&) = delete;
    AxiDrawRunDevice& operator=(const AxiDrawRunDevice&) = delete;
};

/// A device whose commands go through the controller's serial link thread.
class LinkedRunDevice : public AxiDrawRunDevice {
public:
    /// Link-thread work; it must not touch main-thread objects.
    using Work = std::function<void(EbbLinkSession&)>;
    /// Queues `work` on the serial link behind everything posted before it and calls the reply
    /// with its outcome.
    using Post = std::function<void(Work work, Reply reply)>;
    /// Counts how long the board stays busy with a command it took (`isMove`: the head travels).
    using NoteBoardTime = std::function<void(int boardMs, bool isMove)>;

    /// The simulator for the simulator port (its rests divided by `speedMultiplier`, at least 1),
    /// else the serial board, whose busy time goes to `noteBoardTime`.
    [[nodiscard]] static std::unique_ptr<AxiDrawRunDevice> forPort(AxiDrawPortDevice port, Post post,
                                                                   NoteBoardTime noteBoardTime, double speedMultiplier);

    [[nodiscard]] const AxiDrawPortDevice& port() const noexcept final { return port_; }
    void prepare(bool connect, const AxiDrawConfig& config, Reply reply) final;
    void send(std::string command, int timeoutMs, Reply reply) final;

protected:
    LinkedRunDevice(AxiDrawPortDevice port, Post post);

private:
    AxiDrawPortDevice port_;
    Post post_;
};

/// The EBB board on a serial port: the pen delay is waited out in full and moves rest at most
/// 40 ms, as the board plays them from its own queue.
class SerialBoardRunDevice final : public LinkedRunDevice {
public:
    SerialBoardRunDevice(AxiDrawPortDevice port, Post post, NoteBoardTime noteBoardTime);
    [[nodiscard]] std::int64_t restAfterPen(std::int64_t delayMs) const noexcept override;
    [[nodiscard]] std::int64_t restAfterMove(std::int64_t durationMs) const noexcept override;
    void noteTaken(int boardMs, bool isMove) override;

private:
    NoteBoardTime noteBoardTime_;
};

/// The simulator: rests are the board's times divided by the speed multiplier, with a floor of
/// 8 ms after a pen step and 2 ms after a move; nothing stays busy.
class SimulatorRunDevice final : public LinkedRunDevice {
public:
    SimulatorRunDevice(AxiDrawPortDevice port, Post post, double speedMultiplier);
    [[nodiscard]] std::int64_t restAfterPen(std::int64_t delayMs) const noexcept override;
    [[nodiscard]] std::int64_t restAfterMove(std::int64_t durationMs) const noexcept override;
    void noteTaken(int, bool) override {}

private:
    double speedMultiplier_;
};

}  // namespace ostrel
