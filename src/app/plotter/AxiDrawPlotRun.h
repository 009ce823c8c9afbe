// The plot run: walks the steps of one compiled job from a start index,
// sends each pen or move step to the board (or to the simulator), paces the
// steps with short timer sleeps on the main thread, keeps the controller's
// position, pen, progress and status up to date, and ends on completion, a
// pen change, a user pause, a failed command, or a stop.
//
// A state machine driven by the board's replies and single-shot timers: each
// command goes out on the controller's link thread and the run goes on when
// its reply is posted back, so the main thread is never blocked and pause and
// stop requests get in between steps. Each reply and timer callback first
// checks that the run is still the controller's current one (its
// generation), so a stopped or replaced run never writes again.
#pragma once

#include "core/plotter/AxiDrawCompiledJob.h"
#include "core/plotter/AxiDrawConfig.h"
#include "core/plotter/AxiDrawPortDevice.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

class AxiDrawPlotterController;
class AxiDrawRunClock;

class AxiDrawPlotRun final : public QObject {
    Q_OBJECT

public:
    struct Inputs {
        AxiDrawCompiledJob job;
        std::int64_t startIndex = 0;
        AxiDrawPortDevice device;  // every command of the run goes to the link on this device
        bool connect = false;      // open the device first (a new run); else it must be open already
        AxiDrawConfig config;      // the servo set-up sent before the first step
        bool isSimulator = false;
        double speedMultiplier = 1.0;  // ≥ 1: how much faster the simulator plays
        bool isFraming = false;
        /// Steps played before the job's step `startIndex` that are not part of the job: they bring
        /// the pen and head back to where the job left them (see restoreSteps).
        std::vector<AxiDrawJobStep> restore;
    };

    AxiDrawPlotRun(AxiDrawPlotterController& controller, std::uint64_t generation, Inputs inputs,
                   std::shared_ptr<AxiDrawRunClock> clock);

    /// Queues the connection and the servo set-up; the first step plays once they are done.
    void start();

    /// What to play before resuming `steps` at `index` so the head stands where step index−1 left
    /// it and the pen is as the job expects there: when the head has moved (in motor steps), raise
    /// the pen if it is down and travel back pen-up; then raise or lower the pen to the expected
    /// state (a pen expected down is always lowered again).
    [[nodiscard]] static std::vector<AxiDrawJobStep> restoreSteps(const std::vector<AxiDrawJobStep>& steps,
                                                                  std::int64_t index, std::int64_t stepsX,
                                                                  std::int64_t stepsY, bool isPenDown,
                                                                  int penDelayMs);

    /// Motor steps of a coordinate: millimetres × 80, rounded half away from zero.
    [[nodiscard]] static std::int64_t motorSteps(double millimetres) noexcept;
    /// Move duration in milliseconds: distance / max(speed, 2) × 1000, rounded, at least 4.
    [[nodiscard]] static std::int64_t moveDurationMs(double distanceMM, double speedMMPerSec) noexcept;

private:
    [[nodiscard]] bool isCurrent() const noexcept;
    void begin();
    void runNextStep();
    /// Sends `command` on the run's link; `then` runs on the main thread after the board took it,
    /// and only while this run is current. A failure ends the run in error.
    void sendStep(std::string command, int timeoutMs, int boardMs, bool isMove, std::function<void()> then);
    void afterSleep(bool wasRestoreStep);
    void sleepThen(std::int64_t milliseconds, bool wasRestoreStep);
    void playSetPen(const AxiDrawJobStep::SetPen& step, bool isRestore);
    void playMoveXY(const AxiDrawJobStep::MoveXY& step, bool isRestore);
    void pauseForPenChange(const AxiDrawJobStep::BeginLayer& step);
    void pauseForUser();
    void holdForUser();
    void complete();
    void writeProgressText();

    QPointer<AxiDrawPlotterController> controller_;
    std::uint64_t generation_;
    Inputs inputs_;
    std::shared_ptr<AxiDrawRunClock> clock_;
    std::int64_t index_;             // the job step to play next
    std::size_t restoreIndex_ = 0;   // the restore step to play next
};

}  // namespace ostrel
