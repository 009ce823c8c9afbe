#include "app/plotter/AxiDrawPlotterController.h"

#include "core/model/Localization.h"
#include "app/plotter/AxiDrawPlotRun.h"
#include "core/plotter/EbbSerialTransport.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace ostrel {

namespace {

constexpr int kCommandTimeoutMs = 2500;
constexpr double kMinimumHomeSpeedMMPerSec = 10.0;
constexpr std::int64_t kMinimumHomeMoveMs = 25;

}  // namespace

AxiDrawPlotterController::AxiDrawPlotterController(QObject* parent)
    : AxiDrawPlotterController(Environment{}, parent) {}

AxiDrawPlotterController::AxiDrawPlotterController(Environment environment, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      clock_(environment_.clock ? environment_.clock : std::make_shared<SystemRunClock>()),
      selectedPortPath_(AxiDrawPortDevice::simulatorPath),
      statusLog_(L("Prêt (Origine 0, 0 mm)", "Ready (Home 0, 0 mm)")) {
    refreshPorts();
}

AxiDrawPlotterController::~AxiDrawPlotterController() {
    ++runGeneration_;
    delete plotTask_;
    plotTask_ = nullptr;
}

AxiDrawPortDevice AxiDrawPlotterController::selectedDevice() const {
    const auto it = std::find_if(availablePorts_.begin(), availablePorts_.end(),
                                 [&](const AxiDrawPortDevice& port) { return port.path == selectedPortPath_; });
    return it != availablePorts_.end() ? *it : AxiDrawPortDevice::simulator();
}

void AxiDrawPlotterController::setSelectedPortPath(std::string path) {
    selectedPortPath_ = std::move(path);
    emit selectedPortPathChanged();
}

void AxiDrawPlotterController::setConfig(const AxiDrawConfig& config) {
    config_ = config;
    emit configChanged();
}

// MARK: Ports and link

void AxiDrawPlotterController::refreshPorts() {
    availablePorts_ = EbbSerialTransport::availablePorts(environment_.portDirectory);
    emit availablePortsChanged();
    const auto listed = [&](const std::string& path) {
        return std::any_of(availablePorts_.begin(), availablePorts_.end(),
                           [&](const AxiDrawPortDevice& port) { return port.path == path; });
    };
    const auto firstPlotter = std::find_if(availablePorts_.begin(), availablePorts_.end(),
                                           [](const AxiDrawPortDevice& port) { return !port.isSimulator; });
    if (firstPlotter != availablePorts_.end() &&
        (selectedPortPath_ == AxiDrawPortDevice::simulatorPath || !listed(selectedPortPath_))) {
        setSelectedPortPath(firstPlotter->path);
        return;
    }
    if (!listed(selectedPortPath_)) setSelectedPortPath(std::string(AxiDrawPortDevice::simulatorPath));
}

bool AxiDrawPlotterController::ensureConnected() {
    const AxiDrawPortDevice device = selectedDevice();
    if (transport_ && transport_->device() == device && transport_->isOpen()) return true;
    if (transport_) transport_->close();
    auto fresh = std::make_shared<EbbSerialTransport>(device);
    try {
        fresh->open();
    } catch (const std::exception& failure) {
        fail(failure.what());
        return false;
    }
    transport_ = fresh;
    setFirmwareVersion(fresh->firmwareVersion());
    try {
        configureEbbServoAndMotors(*fresh);
    } catch (const std::exception& failure) {
        fail(failure.what());
        return false;
    }
    if (runState_.kind == AxiDrawRunState::Kind::error) setRunState(AxiDrawRunState::idle());
    return true;
}

void AxiDrawPlotterController::configureEbbServoAndMotors(EbbSerialTransport& transport) {
    send(transport, "SC,4," + integerText(AxiDrawConfig::servoTicks(config_.penUpPercent)), kCommandTimeoutMs);
    send(transport, "SC,5," + integerText(AxiDrawConfig::servoTicks(config_.penDownPercent)), kCommandTimeoutMs);
    send(transport, "SC,10,65535", kCommandTimeoutMs);
    send(transport, "EM,1,1", kCommandTimeoutMs);
}

void AxiDrawPlotterController::send(EbbSerialTransport& transport, const std::string& command, int timeoutMs,
                                    int boardMs, bool isMove) {
    transport.sendCommand(command, timeoutMs);
    // The board answers as soon as a step is queued and plays it afterwards; keep count of when
    // the head stops so a stop knows whether it cut a move short.
    if (!transport.device().isSimulator && boardMs > 0) {
        boardBusyUntil_ = std::max(boardBusyUntil_, clock_->now()) + std::chrono::milliseconds(boardMs);
        if (isMove) headStopsAt_ = boardBusyUntil_;
    }
}

void AxiDrawPlotterController::reapplyServoSetupIfConnected() {
    if (!transport_ || !transport_->isOpen()) return;
    try {
        configureEbbServoAndMotors(*transport_);
    } catch (const std::exception&) {
        // Ignored: the next command reports a broken link.
    }
}

// MARK: Manual commands

void AxiDrawPlotterController::raisePen() { setPenByHand(false); }

void AxiDrawPlotterController::lowerPen() { setPenByHand(true); }

void AxiDrawPlotterController::setPenByHand(bool down) {
    if (!ensureConnected() || !transport_) return;
    try {
        configureEbbServoAndMotors(*transport_);
        send(*transport_, (down ? "SP,0," : "SP,1,") + integerText(config_.penDelayMs), kCommandTimeoutMs,
             config_.penDelayMs);
    } catch (const std::exception& failure) {
        fail(failure.what());
        return;
    }
    setIsPenDown(down);
    const std::string percent = integerText(down ? config_.penDownPercent : config_.penUpPercent);
    setStatusLog(down ? L("Stylo baissé (" + percent + " %)", "Pen lowered (" + percent + "%)")
                      : L("Stylo levé (" + percent + " %)", "Pen raised (" + percent + "%)"));
}

void AxiDrawPlotterController::unlockMotorsAndZeroOrigin() {
    stopPlot();
    if (!ensureConnected() || !transport_) return;
    try {
        send(*transport_, "SP,1," + integerText(config_.penDelayMs), kCommandTimeoutMs, config_.penDelayMs);
        send(*transport_, "EM,0,0", kCommandTimeoutMs);
    } catch (const std::exception& failure) {
        fail(failure.what());
        return;
    }
    setIsPenDown(false);
    setCurrentPosMM(VectorPoint::zero);
    currentStepsX_ = 0;
    currentStepsY_ = 0;
    positionKnown_ = true;
    headStopsAt_ = clock_->now();
    setActivePathID(std::nullopt);
    setRunState(AxiDrawRunState::idle());
    setStatusLog(L("Moteurs débloqués — placez la tête à l'origine (0, 0)", "Motors unlocked — move carriage to home (0, 0)"));
}

void AxiDrawPlotterController::stopPlot() {
    stopRequested_ = true;
    pauseRequested_ = false;
    cancelRun();
    activeCompiledJob_.reset();
    if (transport_ && transport_->isOpen()) {
        const bool motionPending = !transport_->device().isSimulator && clock_->now() < headStopsAt_;
        try {
            send(*transport_, "ES", kCommandTimeoutMs);
        } catch (const std::exception&) {
            // Ignored: the pen-up still goes out.
        }
        boardBusyUntil_ = clock_->now();
        headStopsAt_ = boardBusyUntil_;
        try {
            send(*transport_, "SP,1," + integerText(config_.penDelayMs), kCommandTimeoutMs, config_.penDelayMs);
        } catch (const std::exception&) {
            // Ignored.
        }
        // "ES" dropped whatever the board still had to play: the head stopped somewhere on the way.
        if (motionPending) positionKnown_ = false;
    }
    setIsPenDown(false);
    setActivePathID(std::nullopt);
    setProgressFraction(0);
    setCompletedStepCount(0);
    setTotalStepCount(0);
    if (runState_.kind != AxiDrawRunState::Kind::error) setRunState(AxiDrawRunState::idle());
    setStatusLog(L("Tracé arrêté (stylo levé)", "Plot stopped (pen up)"));
}

bool AxiDrawPlotterController::refuseUnknownPosition() {
    if (positionKnown_) return false;
    setStatusLog(L("Position inconnue après l'arrêt — débloquez les moteurs et placez la tête à l'origine (0, 0)",
                   "Position unknown after the stop — unlock motors and move carriage to home (0, 0)"));
    return true;
}

void AxiDrawPlotterController::returnToHome() {
    if (runState_.isRunning()) return;
    if (refuseUnknownPosition()) return;
    if (!ensureConnected() || !transport_) return;
    try {
        configureEbbServoAndMotors(*transport_);
        send(*transport_, "SP,1," + integerText(config_.penDelayMs), kCommandTimeoutMs, config_.penDelayMs);
    } catch (const std::exception& failure) {
        fail(failure.what());
        return;
    }
    setIsPenDown(false);
    const std::int64_t stepsX = -currentStepsX_;
    const std::int64_t stepsY = -currentStepsY_;
    if (stepsX != 0 || stepsY != 0) {
        const double distance = currentPosMM_.distance(VectorPoint::zero);
        const double speed = std::max(config_.travelSpeedMMPerSec(), kMinimumHomeSpeedMMPerSec);
        const std::int64_t duration =
            std::max(roundedInt64(distance / speed * 1000.0).value_or(0), kMinimumHomeMoveMs);
        try {
            send(*transport_, "XM," + integerText(duration) + "," + integerText(stepsX) + "," + integerText(stepsY),
                 static_cast<int>(duration) + kCommandTimeoutMs, static_cast<int>(duration), true);
        } catch (const std::exception& failure) {
            fail(failure.what());
            return;
        }
    }
    setCurrentPosMM(VectorPoint::zero);
    currentStepsX_ = 0;
    currentStepsY_ = 0;
    setActivePathID(std::nullopt);
    setStatusLog(L("Retour à l'origine (0, 0 mm)", "Returned to home (0, 0 mm)"));
}

// MARK: Runs

void AxiDrawPlotterController::startPlot(const VectorizationResult& result) {
    stopPlot();
    if (refuseUnknownPosition()) return;
    if (!ensureConnected()) return;
    AxiDrawCompiledJob job = AxiDrawCompiledJob::compile(result, config_, std::nullopt);
    if (job.steps.empty()) {
        setStatusLog(L("Aucun chemin visible à tracer", "No visible paths to plot"));
        return;
    }
    launchJob(std::move(job), 0, false, false);
}

void AxiDrawPlotterController::startBoundingBoxFrame(const VectorizationResult& result) {
    stopPlot();
    if (refuseUnknownPosition()) return;
    if (!ensureConnected()) return;
    AxiDrawCompiledJob job = AxiDrawCompiledJob::compileBoundingBoxTour(result, config_);
    if (job.steps.empty()) {
        setStatusLog(L("Aucun chemin à cadrer", "No paths to frame"));
        return;
    }
    launchJob(std::move(job), 0, true, false);
}

void AxiDrawPlotterController::pausePlot() {
    if (!runState_.isRunning()) return;
    pauseRequested_ = true;
    setStatusLog(L("Mise en pause…", "Pausing…"));
}

void AxiDrawPlotterController::resumePlot() {
    if (!activeCompiledJob_ || !runState_.isPaused()) return;
    pauseRequested_ = false;
    stopRequested_ = false;
    AxiDrawCompiledJob job = *activeCompiledJob_;
    launchJob(std::move(job), completedStepCount_, activeRunIsFraming_, true);
}

void AxiDrawPlotterController::launchJob(AxiDrawCompiledJob job, std::int64_t startIndex, bool isFraming,
                                         bool isResume) {
    if (!transport_) return;
    try {
        configureEbbServoAndMotors(*transport_);
    } catch (const std::exception& failure) {
        fail(failure.what());
        return;
    }
    cancelRun();

    AxiDrawPlotRun::Inputs inputs;
    if (isResume) {
        // The pause raised the pen and the head may have been moved meanwhile: put both back where
        // the job left them before its next step.
        inputs.restore = AxiDrawPlotRun::restoreSteps(job.steps, startIndex, currentStepsX_, currentStepsY_,
                                                      isPenDown_, config_.penDelayMs);
    }
    const std::int64_t total = static_cast<std::int64_t>(job.steps.size());
    const std::string note = clampNote(job.clampedPointCount);
    activeCompiledJob_ = job;
    activeRunIsFraming_ = isFraming;
    setTotalStepCount(total);
    setCompletedStepCount(startIndex);
    pauseRequested_ = false;
    stopRequested_ = false;
    if (isFraming) {
        setRunState(AxiDrawRunState::framingBoundingBox());
        setStatusLog(L("Cadrage du rectangle englobant (stylo levé)…", "Framing bounding box (pen up)…") + note);
    } else {
        setRunState(AxiDrawRunState::plotting());
        setStatusLog(L("Tracé AxiDraw en cours…", "AxiDraw plotting in progress…") + note);
    }

    inputs.job = std::move(job);
    inputs.startIndex = startIndex;
    inputs.transport = transport_;
    inputs.isSimulator = transport_->device().isSimulator;
    const double m = config_.simulationSpeedMultiplier;
    inputs.speedMultiplier = std::isnan(m) ? 1.0 : std::max(m, 1.0);
    inputs.isFraming = isFraming;
    plotTask_ = new AxiDrawPlotRun(*this, runGeneration_, std::move(inputs), clock_);
    plotTask_->start();
}

void AxiDrawPlotterController::cancelRun() {
    ++runGeneration_;
    if (plotTask_) {
        plotTask_->deleteLater();
        plotTask_ = nullptr;
    }
}

void AxiDrawPlotterController::fail(const std::string& message) {
    setRunState(AxiDrawRunState::error(message));
    setStatusLog(message);
}

std::string AxiDrawPlotterController::clampNote(std::int64_t clampedPointCount) {
    if (clampedPointCount <= 0) return {};
    const std::string n = integerText(clampedPointCount);
    if (clampedPointCount == 1) {
        return L(" — 1 point hors de la zone de course ramené au bord",
                 " — 1 point outside the travel area moved to its edge");
    }
    return L(" — " + n + " points hors de la zone de course ramenés au bord",
             " — " + n + " points outside the travel area moved to its edge");
}

// MARK: Field writers (every assignment notifies)

void AxiDrawPlotterController::setRunState(AxiDrawRunState state) {
    runState_ = std::move(state);
    emit runStateChanged();
}
void AxiDrawPlotterController::setStatusLog(std::string text) {
    statusLog_ = std::move(text);
    emit statusLogChanged();
}
void AxiDrawPlotterController::setFirmwareVersion(std::string text) {
    firmwareVersion_ = std::move(text);
    emit firmwareVersionChanged();
}
void AxiDrawPlotterController::setCurrentPosMM(VectorPoint point) {
    currentPosMM_ = point;
    emit currentPosMMChanged();
}
void AxiDrawPlotterController::setIsPenDown(bool down) {
    isPenDown_ = down;
    emit isPenDownChanged();
}
void AxiDrawPlotterController::setActivePathID(std::optional<std::int64_t> id) {
    activePathID_ = id;
    emit activePathIDChanged();
}
void AxiDrawPlotterController::setProgressFraction(double fraction) {
    progressFraction_ = fraction;
    emit progressFractionChanged();
}
void AxiDrawPlotterController::setCompletedStepCount(std::int64_t count) {
    completedStepCount_ = count;
    emit completedStepCountChanged();
}
void AxiDrawPlotterController::setTotalStepCount(std::int64_t count) {
    totalStepCount_ = count;
    emit totalStepCountChanged();
}

PlotterStatusReport AxiDrawPlotterController::statusReport() const {
    PlotterStatusReport report;
    report.port = selectedPortPath_;
    report.isSimulator = selectedDevice().isSimulator;
    report.isBusy = runState_.kind == AxiDrawRunState::Kind::plotting ||
                    runState_.kind == AxiDrawRunState::Kind::framingBoundingBox;
    report.isPaused = runState_.kind == AxiDrawRunState::Kind::pausedByUser ||
                      runState_.kind == AxiDrawRunState::Kind::pausedForPenChange;
    report.isPenDown = isPenDown_;
    report.positionMM = currentPosMM_;
    report.progress = progressFraction_;
    report.status = statusLog_;
    return report;
}

}  // namespace ostrel
