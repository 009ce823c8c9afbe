#include "app/plotter/AxiDrawPlotRun.h"

#include "core/model/Localization.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/plotter/AxiDrawRunClock.h"
#include "app/plotter/EbbLinkThread.h"
#include "core/plotter/EBBSerialTransport.h"
#include "core/support/text/NumberFormat.h"


#include <algorithm>
#include <cmath>
#include <exception>

namespace ostrel {

namespace {

constexpr int kPauseCommandTimeoutMs = 2500;
constexpr int kPenTimeoutMarginMs = 1500;
constexpr int kMoveTimeoutMarginMs = 2500;
constexpr double kMinimumSpeedMMPerSec = 2.0;
constexpr std::int64_t kMinimumMoveMs = 4;
constexpr std::int64_t kHardwareMoveSleepCapMs = 40;
constexpr std::int64_t kSimulatorPenSleepFloorMs = 8;
constexpr std::int64_t kSimulatorMoveSleepFloorMs = 2;
constexpr std::int64_t kProgressTextEvery = 12;

std::string rounded(double value) { return integerText(roundedInt64(value).value_or(0)); }

std::int64_t simulatorSleep(std::int64_t milliseconds, double multiplier, std::int64_t floor) {
    const auto scaled = checkedInt64(static_cast<double>(milliseconds) / multiplier).value_or(0);
    return std::max(scaled, floor);
}

}  // namespace

AxiDrawPlotRun::AxiDrawPlotRun(AxiDrawPlotterController& controller, std::uint64_t generation, Inputs inputs,
                               std::shared_ptr<AxiDrawRunClock> clock)
    : QObject(&controller),
      controller_(&controller),
      generation_(generation),
      inputs_(std::move(inputs)),
      clock_(std::move(clock)),
      index_(inputs_.startIndex) {}

std::int64_t AxiDrawPlotRun::motorSteps(double millimetres) noexcept {
    return roundedInt64(millimetres * EBBSerialTransport::stepsPerMM).value_or(0);
}

std::int64_t AxiDrawPlotRun::moveDurationMs(double distanceMM, double speedMMPerSec) noexcept {
    const double v = std::max(speedMMPerSec, kMinimumSpeedMMPerSec);
    return std::max(roundedInt64(distanceMM / v * 1000.0).value_or(0), kMinimumMoveMs);
}

std::vector<AxiDrawJobStep> AxiDrawPlotRun::restoreSteps(const std::vector<AxiDrawJobStep>& steps, std::int64_t index,
                                                         std::int64_t stepsX, std::int64_t stepsY, bool isPenDown,
                                                         int penDelayMs) {
    // A job starts with the pen up at home; replay the state its steps leave before `index`.
    VectorPoint expectedPosition = VectorPoint::zero;
    bool expectedPenDown = false;
    const auto end = std::min<std::int64_t>(std::max<std::int64_t>(index, 0), static_cast<std::int64_t>(steps.size()));
    for (std::int64_t k = 0; k < end; ++k) {
        const AxiDrawJobStep& step = steps[static_cast<std::size_t>(k)];
        if (const auto* pen = step.as<AxiDrawJobStep::SetPen>()) expectedPenDown = pen->down;
        if (const auto* move = step.as<AxiDrawJobStep::MoveXY>()) expectedPosition = move->targetMM;
        if (step.as<AxiDrawJobStep::BeginLayer>()) expectedPenDown = false;
    }

    std::vector<AxiDrawJobStep> out;
    bool penDown = isPenDown;
    if (motorSteps(expectedPosition.x) != stepsX || motorSteps(expectedPosition.y) != stepsY) {
        if (penDown) out.push_back(AxiDrawJobStep::setPen(false, penDelayMs));
        penDown = false;
        out.push_back(AxiDrawJobStep::moveXY(expectedPosition, false, std::nullopt));
    }
    if (expectedPenDown || penDown) out.push_back(AxiDrawJobStep::setPen(expectedPenDown, penDelayMs));
    return out;
}

void AxiDrawPlotRun::start() {
    AxiDrawPlotterController& c = *controller_;
    QPointer<AxiDrawPlotRun> self(this);
    c.postLink(
        [device = inputs_.device, connect = inputs_.connect, config = inputs_.config](EbbLinkSession& link) {
            if (connect) {
                link.connect(device, config);
            } else {
                link.requireDevice(device);
            }
            link.sendSetup(config);
        },
        [self](const AxiDrawPlotterController::LinkReport& report) {
            if (!self || !self->isCurrent()) return;
            if (report.failure) {
                self->controller_->fail(*report.failure);
                return;
            }
            self->begin();
        });
}

void AxiDrawPlotRun::sendStep(std::string command, int timeoutMs, int boardMs, bool isMove,
                              std::function<void()> then) {
    QPointer<AxiDrawPlotRun> self(this);
    controller_->postLink(
        [device = inputs_.device, command = std::move(command), timeoutMs](EbbLinkSession& link) {
            link.requireDevice(device);
            link.send(command, timeoutMs);
        },
        [self, boardMs, isMove, then = std::move(then)](const AxiDrawPlotterController::LinkReport& report) {
            if (!self || !self->isCurrent()) return;
            AxiDrawPlotterController& c = *self->controller_;
            if (report.failure) {
                c.fail(*report.failure);
                return;
            }
            c.noteBoardTime(self->inputs_.isSimulator, boardMs, isMove);
            then();
        });
}

bool AxiDrawPlotRun::isCurrent() const noexcept {
    return controller_ && controller_->runGeneration_ == generation_;
}

void AxiDrawPlotRun::begin() {
    if (!isCurrent()) return;
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    if (index_ >= n) {
        complete();
        return;
    }
    runNextStep();
}

void AxiDrawPlotRun::runNextStep() {
    if (!isCurrent()) return;
    AxiDrawPlotterController& c = *controller_;
    if (c.stopRequested_) return;
    if (c.pauseRequested_) {
        pauseForUser();
        return;
    }
    const bool isRestore = restoreIndex_ < inputs_.restore.size();
    const AxiDrawJobStep& step =
        isRestore ? inputs_.restore[restoreIndex_] : inputs_.job.steps[static_cast<std::size_t>(index_)];
    if (const auto* layer = step.as<AxiDrawJobStep::BeginLayer>()) {
        pauseForPenChange(*layer);
    } else if (const auto* pen = step.as<AxiDrawJobStep::SetPen>()) {
        playSetPen(*pen, isRestore);
    } else if (const auto* move = step.as<AxiDrawJobStep::MoveXY>()) {
        playMoveXY(*move, isRestore);
    }
}

void AxiDrawPlotRun::playSetPen(const AxiDrawJobStep::SetPen& step, bool isRestore) {
    std::string command = std::string(step.down ? "SP,0," : "SP,1,") + integerText(step.delayMs);
    const bool down = step.down;
    const std::int64_t delay = step.delayMs;
    sendStep(std::move(command), step.delayMs + kPenTimeoutMarginMs, step.delayMs, false, [this, down, delay, isRestore] {
        controller_->setIsPenDown(down);
        sleepThen(inputs_.isSimulator ? simulatorSleep(delay, inputs_.speedMultiplier, kSimulatorPenSleepFloorMs)
                                      : delay,
                  isRestore);
    });
}

void AxiDrawPlotRun::playMoveXY(const AxiDrawJobStep::MoveXY& step, bool isRestore) {
    AxiDrawPlotterController& c = *controller_;
    const std::int64_t sx = motorSteps(step.targetMM.x);
    const std::int64_t sy = motorSteps(step.targetMM.y);
    const std::int64_t dx = sx - c.currentStepsX_;
    const std::int64_t dy = sy - c.currentStepsY_;
    const double distance = c.currentPosMM_.distance(step.targetMM);
    const double speed = step.penDown ? c.config_.drawSpeedMMPerSec() : c.config_.travelSpeedMMPerSec();
    const std::int64_t duration = moveDurationMs(distance, speed);
    const AxiDrawJobStep::MoveXY move = step;
    auto arrived = [this, move, sx, sy, duration, isRestore] {
        AxiDrawPlotterController& controller = *controller_;
        controller.currentStepsX_ = sx;
        controller.currentStepsY_ = sy;
        controller.setCurrentPosMM(move.targetMM);
        controller.setIsPenDown(move.penDown);
        controller.setActivePathID(move.pathID);
        sleepThen(inputs_.isSimulator ? simulatorSleep(duration, inputs_.speedMultiplier, kSimulatorMoveSleepFloorMs)
                                      : std::min(duration, kHardwareMoveSleepCapMs),
                  isRestore);
    };
    if (dx == 0 && dy == 0) {
        arrived();
        return;
    }
    sendStep("XM," + integerText(duration) + "," + integerText(dx) + "," + integerText(dy),
             static_cast<int>(duration) + kMoveTimeoutMarginMs, static_cast<int>(duration), true, std::move(arrived));
}

void AxiDrawPlotRun::sleepThen(std::int64_t milliseconds, bool wasRestoreStep) {
    clock_->sleep(std::chrono::milliseconds(std::max<std::int64_t>(milliseconds, 0)), this,
                  [this, wasRestoreStep] { afterSleep(wasRestoreStep); });
}

void AxiDrawPlotRun::afterSleep(bool wasRestoreStep) {
    // A stop or a newer launch may have come in during the sleep: then this run is over.
    if (!isCurrent()) return;
    if (wasRestoreStep) {
        ++restoreIndex_;
        runNextStep();
        return;
    }
    AxiDrawPlotterController& c = *controller_;
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    const std::int64_t done = index_ + 1;
    const std::string percentBefore = rounded(c.progressFraction_ * 100.0);
    c.setCompletedStepCount(done);
    c.setProgressFraction(static_cast<double>(done) / static_cast<double>(n));
    // The text names the same whole percent as the bar beside it: it is rewritten whenever that
    // percent changes, and every few steps for the position.
    if (done == n || done % kProgressTextEvery == 0 || rounded(c.progressFraction_ * 100.0) != percentBefore) {
        writeProgressText();
    }
    if (done == n) {
        complete();
        return;
    }
    index_ = done;
    runNextStep();
}

void AxiDrawPlotRun::writeProgressText() {
    AxiDrawPlotterController& c = *controller_;
    const std::string p = rounded(c.progressFraction_ * 100.0);
    const std::string x = rounded(c.currentPosMM_.x);
    const std::string y = rounded(c.currentPosMM_.y);
    if (inputs_.isFraming) {
        c.setStatusLog(L("Cadrage " + p + " % (" + x + ", " + y + " mm)", "Framing " + p + "% (" + x + ", " + y + " mm)"));
    } else {
        c.setStatusLog(
            L("Tracé " + p + " % — (" + x + ", " + y + " mm)", "Plotting " + p + "% — (" + x + ", " + y + " mm)"));
    }
}

void AxiDrawPlotRun::pauseForPenChange(const AxiDrawJobStep::BeginLayer& step) {
    AxiDrawPlotterController& c = *controller_;
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    c.setCompletedStepCount(index_ + 1);
    c.setProgressFraction(static_cast<double>(index_ + 1) / static_cast<double>(n));
    c.setIsPenDown(false);
    c.setActivePathID(std::nullopt);
    c.setRunState(AxiDrawRunState::pausedForPenChange(step.penIndex, step.penName, step.widthMM));
    const std::string width = Localization::isEnglish() ? fixed(step.widthMM, 1) : withDecimalComma(fixed(step.widthMM, 1));
    c.setStatusLog(L("Changement de stylo : insérez " + step.penName + " (" + width + " mm) puis cliquez sur Reprendre",
                     "Pen change: insert " + step.penName + " (" + width + " mm) then click Resume"));
}

void AxiDrawPlotRun::pauseForUser() {
    const int delay = controller_->config_.penDelayMs;
    QPointer<AxiDrawPlotRun> self(this);
    controller_->postLink(
        [device = inputs_.device, command = "SP,1," + integerText(delay)](EbbLinkSession& link) {
            // Best effort: the pause goes on without the pen-up.
            link.requireDevice(device);
            link.send(command, kPauseCommandTimeoutMs);
        },
        [self, delay](const AxiDrawPlotterController::LinkReport& report) {
            if (!self || !self->isCurrent()) return;
            if (!report.failure) self->controller_->noteBoardTime(self->inputs_.isSimulator, delay, false);
            self->holdForUser();
        });
}

void AxiDrawPlotRun::holdForUser() {
    AxiDrawPlotterController& c = *controller_;
    c.setIsPenDown(false);
    c.setCompletedStepCount(index_);
    c.setRunState(AxiDrawRunState::pausedByUser());
    const std::string done = integerText(index_);
    const std::string total = integerText(static_cast<std::int64_t>(inputs_.job.steps.size()));
    c.setStatusLog(L("En pause (" + done + "/" + total + ") — cliquer sur Reprendre",
                     "Paused (" + done + "/" + total + ") — click Resume"));
}

void AxiDrawPlotRun::complete() {
    AxiDrawPlotterController& c = *controller_;
    const std::string note = AxiDrawPlotterController::clampNote(inputs_.job.clampedPointCount);
    c.setIsPenDown(false);
    c.setActivePathID(std::nullopt);
    c.setProgressFraction(1.0);
    c.activeCompiledJob_.reset();
    c.setRunState(AxiDrawRunState::idle());
    if (inputs_.isFraming) {
        c.setStatusLog(L("Cadrage terminé — retour à (0, 0 mm)", "Framing complete — returned to (0, 0 mm)") + note);
    } else {
        c.setStatusLog(L("Tracé AxiDraw terminé — retour à (0, 0 mm)", "AxiDraw plot complete — returned to (0, 0 mm)") +
                       note);
    }
}

}  // namespace ostrel
