#include "app/plotter/AxiDrawPlotRun.h"

#include "app/plotter/AxiDrawRunClock.h"
#include "core/model/Localization.h"
#include "core/plotter/EBBSerialTransport.h"
#include "core/support/text/NumberFormat.h"

#include <QPointer>

#include <algorithm>
#include <utility>

namespace ostrel {

namespace {

constexpr int kPauseCommandTimeoutMs = 2500;
constexpr int kPenTimeoutMarginMs = 1500;
constexpr int kMoveTimeoutMarginMs = 2500;
constexpr double kMinimumSpeedMMPerSec = 2.0;
constexpr std::int64_t kMinimumMoveMs = 4;
constexpr std::int64_t kProgressTextEvery = 12;

std::string rounded(double value) { return integerText(roundedInt64(value).value_or(0)); }

}  // namespace

AxiDrawPlotRun::AxiDrawPlotRun(QObject& parent, Owner& owner, std::unique_ptr<AxiDrawRunDevice> device, Inputs inputs,
                               std::shared_ptr<AxiDrawRunClock> clock)
    : QObject(&parent),
      owner_(owner),
      device_(std::move(device)),
      inputs_(std::move(inputs)),
      clock_(std::move(clock)),
      index_(inputs_.startIndex),
      stepsX_(inputs_.from.stepsX),
      stepsY_(inputs_.from.stepsY),
      positionMM_(inputs_.from.positionMM),
      progressFraction_(inputs_.from.progressFraction) {}

AxiDrawPlotRun::~AxiDrawPlotRun() = default;

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

std::string AxiDrawPlotRun::clampNote(std::int64_t clampedPointCount) {
    if (clampedPointCount <= 0) return {};
    const std::string n = integerText(clampedPointCount);
    if (clampedPointCount == 1) {
        return L(" — 1 point hors de la zone de course ramené au bord",
                 " — 1 point outside the travel area moved to its edge");
    }
    return L(" — " + n + " points hors de la zone de course ramenés au bord",
             " — " + n + " points outside the travel area moved to its edge");
}

void AxiDrawPlotRun::start() {
    QPointer<AxiDrawPlotRun> self(this);
    device_->prepare(inputs_.connect, inputs_.config, [self](const std::optional<std::string>& failure) {
        if (!self || !self->isLive()) return;
        if (failure) {
            self->fail(*failure);
            return;
        }
        self->begin();
    });
}

void AxiDrawPlotRun::requestPause() noexcept {
    if (phase_ == Phase::starting || phase_ == Phase::playing) phase_ = Phase::pauseRequested;
}

void AxiDrawPlotRun::sendStep(std::string command, int timeoutMs, int boardMs, bool isMove,
                              std::function<void()> then) {
    QPointer<AxiDrawPlotRun> self(this);
    device_->send(std::move(command), timeoutMs,
                  [self, boardMs, isMove, then = std::move(then)](const std::optional<std::string>& failure) {
                      if (!self || !self->isLive()) return;
                      if (failure) {
                          self->fail(*failure);
                          return;
                      }
                      self->device_->noteTaken(boardMs, isMove);
                      then();
                  });
}

void AxiDrawPlotRun::fail(const std::string& message) {
    phase_ = Phase::finished;
    owner_.runFailed(message);
}

void AxiDrawPlotRun::begin() {
    if (!isLive()) return;
    if (phase_ == Phase::starting) phase_ = Phase::playing;
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    if (index_ >= n) {
        complete();
        return;
    }
    runNextStep();
}

void AxiDrawPlotRun::runNextStep() {
    if (!isLive()) return;
    if (phase_ == Phase::pauseRequested) {
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
    sendStep(std::move(command), step.delayMs + kPenTimeoutMarginMs, step.delayMs, false,
             [this, down, delay, isRestore] {
                 owner_.runSetPenDown(down);
                 sleepThen(device_->restAfterPen(delay), isRestore);
             });
}

void AxiDrawPlotRun::playMoveXY(const AxiDrawJobStep::MoveXY& step, bool isRestore) {
    const std::int64_t sx = motorSteps(step.targetMM.x);
    const std::int64_t sy = motorSteps(step.targetMM.y);
    const std::int64_t dx = sx - stepsX_;
    const std::int64_t dy = sy - stepsY_;
    const double distance = positionMM_.distance(step.targetMM);
    const AxiDrawConfig& config = owner_.runConfig();
    const double speed = step.penDown ? config.drawSpeedMMPerSec() : config.travelSpeedMMPerSec();
    const std::int64_t duration = moveDurationMs(distance, speed);
    const AxiDrawJobStep::MoveXY move = step;
    auto arrived = [this, move, sx, sy, duration, isRestore] {
        stepsX_ = sx;
        stepsY_ = sy;
        positionMM_ = move.targetMM;
        owner_.runSetHead(move.targetMM, sx, sy);
        owner_.runSetPenDown(move.penDown);
        owner_.runSetActivePath(move.pathID);
        sleepThen(device_->restAfterMove(duration), isRestore);
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
    if (!isLive()) return;
    if (wasRestoreStep) {
        ++restoreIndex_;
        runNextStep();
        return;
    }
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    const std::int64_t done = index_ + 1;
    const std::string percentBefore = rounded(progressFraction_ * 100.0);
    progressFraction_ = static_cast<double>(done) / static_cast<double>(n);
    owner_.runSetCompletedStepCount(done);
    owner_.runSetProgressFraction(progressFraction_);
    // The text names the same whole percent as the bar beside it: it is rewritten whenever that
    // percent changes, and every few steps for the position.
    if (done == n || done % kProgressTextEvery == 0 || rounded(progressFraction_ * 100.0) != percentBefore) {
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
    const std::string p = rounded(progressFraction_ * 100.0);
    const std::string x = rounded(positionMM_.x);
    const std::string y = rounded(positionMM_.y);
    if (inputs_.isFraming) {
        owner_.runSetStatus(
            L("Cadrage " + p + " % (" + x + ", " + y + " mm)", "Framing " + p + "% (" + x + ", " + y + " mm)"));
    } else {
        owner_.runSetStatus(
            L("Tracé " + p + " % — (" + x + ", " + y + " mm)", "Plotting " + p + "% — (" + x + ", " + y + " mm)"));
    }
}

void AxiDrawPlotRun::pauseForPenChange(const AxiDrawJobStep::BeginLayer& step) {
    phase_ = Phase::paused;
    const auto n = static_cast<std::int64_t>(inputs_.job.steps.size());
    progressFraction_ = static_cast<double>(index_ + 1) / static_cast<double>(n);
    owner_.runSetCompletedStepCount(index_ + 1);
    owner_.runSetProgressFraction(progressFraction_);
    owner_.runSetPenDown(false);
    owner_.runSetActivePath(std::nullopt);
    owner_.runSetState(AxiDrawRunState::pausedForPenChange(step.penIndex, step.penName, step.widthMM));
    const std::string width =
        Localization::isEnglish() ? fixed(step.widthMM, 1) : withDecimalComma(fixed(step.widthMM, 1));
    owner_.runSetStatus(
        L("Changement de stylo : insérez " + step.penName + " (" + width + " mm) puis cliquez sur Reprendre",
          "Pen change: insert " + step.penName + " (" + width + " mm) then click Resume"));
}

void AxiDrawPlotRun::pauseForUser() {
    phase_ = Phase::pausing;
    const int delay = owner_.runConfig().penDelayMs;
    QPointer<AxiDrawPlotRun> self(this);
    // Best effort: the pause goes on without the pen-up.
    device_->send("SP,1," + integerText(delay), kPauseCommandTimeoutMs,
                  [self, delay](const std::optional<std::string>& failure) {
                      if (!self || !self->isLive()) return;
                      if (!failure) self->device_->noteTaken(delay, false);
                      self->holdForUser();
                  });
}

void AxiDrawPlotRun::holdForUser() {
    phase_ = Phase::paused;
    owner_.runSetPenDown(false);
    owner_.runSetCompletedStepCount(index_);
    owner_.runSetState(AxiDrawRunState::pausedByUser());
    const std::string done = integerText(index_);
    const std::string total = integerText(static_cast<std::int64_t>(inputs_.job.steps.size()));
    owner_.runSetStatus(L("En pause (" + done + "/" + total + ") — cliquer sur Reprendre",
                          "Paused (" + done + "/" + total + ") — click Resume"));
}

void AxiDrawPlotRun::complete() {
    phase_ = Phase::finished;
    const std::string note = clampNote(inputs_.job.clampedPointCount);
    progressFraction_ = 1.0;
    owner_.runSetPenDown(false);
    owner_.runSetActivePath(std::nullopt);
    owner_.runSetProgressFraction(1.0);
    owner_.runSetState(AxiDrawRunState::idle());
    if (inputs_.isFraming) {
        owner_.runSetStatus(L("Cadrage terminé — retour à (0, 0 mm)", "Framing complete — returned to (0, 0 mm)") +
                            note);
    } else {
        owner_.runSetStatus(
            L("Tracé AxiDraw terminé — retour à (0, 0 mm)", "AxiDraw plot complete — returned to (0, 0 mm)") + note);
    }
}

}  // namespace ostrel
