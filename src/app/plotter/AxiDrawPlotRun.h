// The plot run: a planner that walks the steps of one compiled job from a
// start index, turns each pen or move step into a command for its device (the
// serial board or the simulator, AxiDrawRunDevice), rests between steps with
// short timer sleeps on the main thread, reports position, pen, progress and
// status to its owner, and ends on completion, a pen change, a user pause, a
// failed command, or a cancel.
//
// A state machine driven by the device's replies and single-shot timers: the
// run goes on when a reply or a sleep comes back, so the main thread is never
// blocked and pause and cancel requests get in between steps. Its phase is one
// enum; every reply and timer callback first checks that the run was not
// cancelled, so a stopped or replaced run never reports again.
#pragma once

#include "app/plotter/AxiDrawRunDevice.h"
#include "app/plotter/AxiDrawRunState.h"
#include "core/model/VectorModel.h"
#include "core/plotter/AxiDrawCompiledJob.h"
#include "core/plotter/AxiDrawConfig.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

class AxiDrawRunClock;

class AxiDrawPlotRun final : public QObject {
    Q_OBJECT

public:
    /// What the run reads from and reports to the object that started it. Each report is one
    /// change of the owner's observable state, made in the order the run makes it.
    class Owner {
    public:
        /// The settings now in force: a new speed or pen delay applies to the next step.
        [[nodiscard]] virtual const AxiDrawConfig& runConfig() const = 0;
        virtual void runSetPenDown(bool down) = 0;
        virtual void runSetActivePath(std::optional<std::int64_t> pathID) = 0;
        /// The head arrived at `positionMM`, `stepsX`, `stepsY` motor steps from the origin.
        virtual void runSetHead(VectorPoint positionMM, std::int64_t stepsX, std::int64_t stepsY) = 0;
        virtual void runSetCompletedStepCount(std::int64_t count) = 0;
        virtual void runSetProgressFraction(double fraction) = 0;
        virtual void runSetState(AxiDrawRunState state) = 0;
        virtual void runSetStatus(std::string text) = 0;
        /// A command failed: the run ended with `message`.
        virtual void runFailed(const std::string& message) = 0;

    protected:
        ~Owner() = default;
    };

    /// Where the run takes over: the owner's head and progress at launch.
    struct Start {
        std::int64_t stepsX = 0;
        std::int64_t stepsY = 0;
        VectorPoint positionMM;
        double progressFraction = 0;
    };

    struct Inputs {
        AxiDrawCompiledJob job;
        std::int64_t startIndex = 0;
        bool connect = false;  // open the device first (a new run); else it must be open already
        AxiDrawConfig config;  // the servo set-up sent before the first step
        bool isFraming = false;
        Start from;
        /// Steps played before the job's step `startIndex` that are not part of the job: they bring
        /// the pen and head back to where the job left them (see restoreSteps).
        std::vector<AxiDrawJobStep> restore;
    };

    enum class Phase {
        starting,        // the connection and the servo set-up are on their way
        playing,         // steps are playing
        pauseRequested,  // playing; the run pauses before its next step
        pausing,         // the pause's pen-up is on its way
        paused,          // ended by a pen change or a user pause; the job may be resumed
        finished,        // ended: the job is done or a command failed
        cancelled,       // stopped or replaced: it never reports again
    };

    /// `owner` outlives the run (it is the run's parent).
    AxiDrawPlotRun(QObject& parent, Owner& owner, std::unique_ptr<AxiDrawRunDevice> device, Inputs inputs,
                   std::shared_ptr<AxiDrawRunClock> clock);
    ~AxiDrawPlotRun() override;

    /// Queues the connection and the servo set-up; the first step plays once they are done.
    void start();
    /// Pauses before the next step (pen up first). Only while starting or playing.
    void requestPause() noexcept;
    /// Ends the run at once: nothing it still waits for reports.
    void cancel() noexcept { phase_ = Phase::cancelled; }

    [[nodiscard]] Phase phase() const noexcept { return phase_; }
    [[nodiscard]] const AxiDrawCompiledJob& job() const noexcept { return inputs_.job; }
    [[nodiscard]] bool isFraming() const noexcept { return inputs_.isFraming; }
    [[nodiscard]] const AxiDrawPortDevice& port() const noexcept { return device_->port(); }

    /// What to play before resuming `steps` at `index` so the head stands where step index−1 left
    /// it and the pen is as the job expects there: when the head has moved (in motor steps), raise
    /// the pen if it is down and travel back pen-up; then raise or lower the pen to the expected
    /// state (a pen expected down is always lowered again).
    [[nodiscard]] static std::vector<AxiDrawJobStep> restoreSteps(const std::vector<AxiDrawJobStep>& steps,
                                                                  std::int64_t index, std::int64_t stepsX,
                                                                  std::int64_t stepsY, bool isPenDown, int penDelayMs);

    /// Motor steps of a coordinate: millimetres × 80, rounded half away from zero.
    [[nodiscard]] static std::int64_t motorSteps(double millimetres) noexcept;
    /// Move duration in milliseconds: distance / max(speed, 2) × 1000, rounded, at least 4.
    [[nodiscard]] static std::int64_t moveDurationMs(double distanceMM, double speedMMPerSec) noexcept;
    /// Status text suffix naming the points moved onto the travel border, or empty.
    [[nodiscard]] static std::string clampNote(std::int64_t clampedPointCount);

private:
    [[nodiscard]] bool isLive() const noexcept { return phase_ != Phase::cancelled; }
    void begin();
    void runNextStep();
    /// Sends `command` to the device; `then` runs on the main thread after the device took it, and
    /// only while the run is live. A failure ends the run in error.
    void sendStep(std::string command, int timeoutMs, int boardMs, bool isMove, std::function<void()> then);
    void afterSleep(bool wasRestoreStep);
    void sleepThen(std::int64_t milliseconds, bool wasRestoreStep);
    void playSetPen(const AxiDrawJobStep::SetPen& step, bool isRestore);
    void playMoveXY(const AxiDrawJobStep::MoveXY& step, bool isRestore);
    void pauseForPenChange(const AxiDrawJobStep::BeginLayer& step);
    void pauseForUser();
    void holdForUser();
    void complete();
    void fail(const std::string& message);
    void writeProgressText();

    Owner& owner_;
    std::unique_ptr<AxiDrawRunDevice> device_;
    Inputs inputs_;
    std::shared_ptr<AxiDrawRunClock> clock_;
    Phase phase_ = Phase::starting;
    std::int64_t index_;            // the job step to play next
    std::size_t restoreIndex_ = 0;  // the restore step to play next
    // The head and progress as this run left them (the owner shows the same).
    std::int64_t stepsX_;
    std::int64_t stepsY_;
    VectorPoint positionMM_;
    double progressFraction_;
};

}  // namespace ostrel
