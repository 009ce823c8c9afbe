#include "app/plotter/AxiDrawPlotterController.h"

#include "app/plotter/AxiDrawRunDevice.h"
#include "app/plotter/EbbLinkThread.h"
#include "core/model/Localization.h"
#include "core/plotter/EBBSerialTransport.h"
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

AxiDrawPlotterController::AxiDrawPlotterController(QObject* parent) : AxiDrawPlotterController(Environment{}, parent) {}

AxiDrawPlotterController::AxiDrawPlotterController(Environment environment, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      clock_(environment_.clock ? environment_.clock : std::make_shared<SystemRunClock>()),
      selectedPortPath_(AxiDrawPortDevice::simulatorPath),
      statusLog_(L("Prêt (Origine 0, 0 mm)", "Ready (Home 0, 0 mm)")),
      link_(std::make_unique<EbbLinkThread>()) {
    refreshPorts();
}

AxiDrawPlotterController::~AxiDrawPlotterController() {
    if (plotTask_) plotTask_->cancel();
    delete plotTask_;
    plotTask_ = nullptr;
    // Sends what is still queued (a stop's pen-up above all), each command within its time-out.
    link_.reset();
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
    availablePorts_ = EBBSerialTransport::availablePorts(environment_.portDirectory);
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

void AxiDrawPlotterController::postLink(LinkWork work, LinkDone done) {
    ++outstandingLinkJobs_;
    link_->post([this, work = std::move(work), done = std::move(done)](EbbLinkSession& session) mutable {
        const bool wasOpen = session.isOpen();
        const std::string wasPath = session.device().path;
        LinkReport report;
        try {
            work(session);
        } catch (const std::exception& failure) {
            report.failure = failure.what();
        }
        report.isOpen = session.isOpen();
        report.device = session.device();
        report.firmware = session.firmwareVersion();
        report.opened = report.isOpen && (!wasOpen || wasPath != report.device.path);
        // The controller outlives every job (its destructor drains the link before it goes).
        QMetaObject::invokeMethod(
            this,
            [this, done = std::move(done), report = std::move(report)] {
                --outstandingLinkJobs_;
                linkOpen_ = report.isOpen;
                linkDevice_ = report.device;
                if (report.opened) setFirmwareVersion(report.firmware);
                if (done) done(report);
            },
            Qt::QueuedConnection);
    });
}

void AxiDrawPlotterController::ensureConnected() {
    const AxiDrawPortDevice device = selectedDevice();
    const AxiDrawConfig config = config_;
    postLink([device, config](EbbLinkSession& link) { link.connect(device, config); },
             [this](const LinkReport& report) {
                 if (report.failure) {
                     fail(*report.failure);
                 } else if (report.opened && runState_.kind == AxiDrawRunState::Kind::error) {
                     setRunState(AxiDrawRunState::idle());
                 }
             });
}

void AxiDrawPlotterController::noteBoardTime(bool isSimulator, int boardMs, bool isMove) {
    // The board answers as soon as a step is queued and plays it afterwards; keep count of when
    // the head stops so a stop knows whether it cut a move short.
    if (isSimulator || boardMs <= 0) return;
    boardBusyUntil_ = std::max(boardBusyUntil_, clock_->now()) + std::chrono::milliseconds(boardMs);
    if (isMove) headStopsAt_ = boardBusyUntil_;
}

void AxiDrawPlotterController::reapplyServoSetupIfConnected() {
    const AxiDrawConfig config = config_;
    // Ignored failure: the next command reports a broken link.
    postLink(
        [config](EbbLinkSession& link) {
            if (link.isOpen()) link.sendSetup(config);
        },
        nullptr);
}

void AxiDrawPlotterController::applyPenHeights(int penUpPercent, int penDownPercent) {
    AxiDrawConfig next = config_;
    next.penUpPercent = penUpPercent;
    next.penDownPercent = penDownPercent;
    if (!linkOpen_ && outstandingLinkJobs_ == 0) {
        setConfig(next);
        return;
    }
    postLink(
        [next](EbbLinkSession& link) {
            if (link.isOpen()) link.sendSetup(next);
        },
        [this, penUpPercent, penDownPercent](const LinkReport& report) {
            if (report.failure) {
                setStatusLog(L("Hauteurs non appliquées : ", "Pen heights not applied: ") + *report.failure);
                emit configChanged();  // the heights the board still has
                return;
            }
            AxiDrawConfig taken = config_;
            taken.penUpPercent = penUpPercent;
            taken.penDownPercent = penDownPercent;
            setConfig(taken);
        });
}

// MARK: Manual commands

void AxiDrawPlotterController::raisePen() { setPenByHand(false); }

void AxiDrawPlotterController::lowerPen() { setPenByHand(true); }

void AxiDrawPlotterController::setPenByHand(bool down) {
    const AxiDrawPortDevice device = selectedDevice();
    const AxiDrawConfig config = config_;
    const std::string command = (down ? "SP,0," : "SP,1,") + integerText(config.penDelayMs);
    const std::string percent = integerText(down ? config.penDownPercent : config.penUpPercent);
    std::string done = down ? L("Stylo baissé (" + percent + " %)", "Pen lowered (" + percent + "%)")
                            : L("Stylo levé (" + percent + " %)", "Pen raised (" + percent + "%)");
    postLink(
        [device, config, command](EbbLinkSession& link) {
            link.connect(device, config);
            link.sendSetup(config);
            link.send(command, kCommandTimeoutMs);
        },
        [this, down, delay = config.penDelayMs, done = std::move(done)](const LinkReport& report) {
            if (report.failure) {
                fail(*report.failure);
                return;
            }
            if (report.opened && runState_.kind == AxiDrawRunState::Kind::error) setRunState(AxiDrawRunState::idle());
            noteBoardTime(report.device.isSimulator, delay, false);
            setIsPenDown(down);
            setStatusLog(done);
        });
}

void AxiDrawPlotterController::unlockMotorsAndZeroOrigin() {
    stopPlot();
    const AxiDrawPortDevice device = selectedDevice();
    const AxiDrawConfig config = config_;
    const std::string penUp = "SP,1," + integerText(config.penDelayMs);
    std::string done =
        L("Moteurs débloqués — placez la tête à l'origine (0, 0)", "Motors unlocked — move carriage to home (0, 0)");
    postLink(
        [device, config, penUp](EbbLinkSession& link) {
            link.connect(device, config);
            link.send(penUp, kCommandTimeoutMs);
            link.send("EM,0,0", kCommandTimeoutMs);
        },
        [this, delay = config.penDelayMs, done = std::move(done)](const LinkReport& report) {
            if (report.failure) {
                fail(*report.failure);
                return;
            }
            if (report.opened && runState_.kind == AxiDrawRunState::Kind::error) setRunState(AxiDrawRunState::idle());
            noteBoardTime(report.device.isSimulator, delay, false);
            setIsPenDown(false);
            setCurrentPosMM(VectorPoint::zero);
            currentStepsX_ = 0;
            currentStepsY_ = 0;
            positionKnown_ = true;
            headStopsAt_ = clock_->now();
            setActivePathID(std::nullopt);
            setRunState(AxiDrawRunState::idle());
            setStatusLog(done);
        });
}

void AxiDrawPlotterController::stopPlot() {
    cancelRun();
    // "ES" drops whatever the board still has to play: a head still moving stops somewhere on the way.
    if (clock_->now() < headStopsAt_) positionKnown_ = false;
    const int delay = config_.penDelayMs;
    boardBusyUntil_ = clock_->now();
    headStopsAt_ = boardBusyUntil_;
    if (linkOpen_ || outstandingLinkJobs_ > 0) {
        const std::string penUp = "SP,1," + integerText(delay);
        postLink(
            [penUp](EbbLinkSession& link) {
                if (!link.isOpen()) return;
                try {
                    link.send("ES", kCommandTimeoutMs);
                } catch (const std::exception&) {
                    // Ignored: the pen-up still goes out.
                }
                try {
                    link.send(penUp, kCommandTimeoutMs);
                } catch (const std::exception&) {
                    // Ignored.
                }
            },
            nullptr);
        noteBoardTime(linkDevice_.isSimulator, delay, false);
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
    const AxiDrawPortDevice device = selectedDevice();
    const AxiDrawConfig config = config_;
    const std::string penUp = "SP,1," + integerText(config.penDelayMs);
    const std::int64_t stepsX = -currentStepsX_;
    const std::int64_t stepsY = -currentStepsY_;
    std::int64_t duration = 0;
    std::string move;
    if (stepsX != 0 || stepsY != 0) {
        const double distance = currentPosMM_.distance(VectorPoint::zero);
        const double speed = std::max(config.travelSpeedMMPerSec(), kMinimumHomeSpeedMMPerSec);
        duration = std::max(roundedInt64(distance / speed * 1000.0).value_or(0), kMinimumHomeMoveMs);
        move = "XM," + integerText(duration) + "," + integerText(stepsX) + "," + integerText(stepsY);
    }
    // Commands queued after this one start from home: count the head there now, and put it back
    // where it was if the board refuses.
    const VectorPoint from = currentPosMM_;
    const std::pair<std::int64_t, std::int64_t> fromSteps{currentStepsX_, currentStepsY_};
    currentStepsX_ = 0;
    currentStepsY_ = 0;
    setCurrentPosMM(VectorPoint::zero);
    std::string done = L("Retour à l'origine (0, 0 mm)", "Returned to home (0, 0 mm)");
    postLink(
        [device, config, penUp, move, duration](EbbLinkSession& link) {
            link.connect(device, config);
            link.sendSetup(config);
            link.send(penUp, kCommandTimeoutMs);
            if (!move.empty()) link.send(move, static_cast<int>(duration) + kCommandTimeoutMs);
        },
        [this, from, fromSteps, duration, hasMove = !move.empty(), delay = config.penDelayMs,
         done = std::move(done)](const LinkReport& report) {
            if (report.failure) {
                if (currentStepsX_ == 0 && currentStepsY_ == 0) {
                    currentStepsX_ = fromSteps.first;
                    currentStepsY_ = fromSteps.second;
                    setCurrentPosMM(from);
                }
                fail(*report.failure);
                return;
            }
            if (report.opened && runState_.kind == AxiDrawRunState::Kind::error) setRunState(AxiDrawRunState::idle());
            noteBoardTime(report.device.isSimulator, delay, false);
            if (hasMove) noteBoardTime(report.device.isSimulator, static_cast<int>(duration), true);
            setIsPenDown(false);
            setActivePathID(std::nullopt);
            setStatusLog(done);
        });
}

// MARK: Runs

void AxiDrawPlotterController::startPlot(const VectorizationResult& result) {
    stopPlot();
    if (refuseUnknownPosition()) return;
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
    AxiDrawCompiledJob job = AxiDrawCompiledJob::compileBoundingBoxTour(result, config_);
    if (job.steps.empty()) {
        setStatusLog(L("Aucun chemin à cadrer", "No paths to frame"));
        return;
    }
    launchJob(std::move(job), 0, true, false);
}

void AxiDrawPlotterController::pausePlot() {
    if (!runState_.isRunning()) return;
    if (plotTask_) plotTask_->requestPause();
    setStatusLog(L("Mise en pause…", "Pausing…"));
}

void AxiDrawPlotterController::resumePlot() {
    if (!plotTask_ || plotTask_->phase() != AxiDrawPlotRun::Phase::paused || !runState_.isPaused()) return;
    AxiDrawCompiledJob job = plotTask_->job();
    launchJob(std::move(job), completedStepCount_, plotTask_->isFraming(), true);
}

void AxiDrawPlotterController::launchJob(AxiDrawCompiledJob job, std::int64_t startIndex, bool isFraming,
                                         bool isResume) {
    cancelRun();

    AxiDrawPlotRun::Inputs inputs;
    if (isResume) {
        // The pause raised the pen and the head may have been moved meanwhile: put both back where
        // the job left them before its next step.
        inputs.restore = AxiDrawPlotRun::restoreSteps(job.steps, startIndex, currentStepsX_, currentStepsY_, isPenDown_,
                                                      config_.penDelayMs);
    }
    const std::int64_t total = static_cast<std::int64_t>(job.steps.size());
    const std::string note = AxiDrawPlotRun::clampNote(job.clampedPointCount);
    setTotalStepCount(total);
    setCompletedStepCount(startIndex);
    if (isFraming) {
        setRunState(AxiDrawRunState::framingBoundingBox());
        setStatusLog(L("Cadrage du rectangle englobant (stylo levé)…", "Framing bounding box (pen up)…") + note);
    } else {
        setRunState(AxiDrawRunState::plotting());
        setStatusLog(L("Tracé AxiDraw en cours…", "AxiDraw plotting in progress…") + note);
    }

    inputs.job = std::move(job);
    inputs.startIndex = startIndex;
    inputs.connect = !isResume;
    inputs.config = config_;
    inputs.isFraming = isFraming;
    inputs.from = {currentStepsX_, currentStepsY_, currentPosMM_, progressFraction_};
    // A new run opens the selected port; a resumed one goes on on the link it was playing on.
    AxiDrawPortDevice port = isResume ? linkDevice_ : selectedDevice();
    auto device = LinkedRunDevice::forPort(
        std::move(port),
        [this](LinkedRunDevice::Work work, AxiDrawRunDevice::Reply reply) {
            postLink(std::move(work), [reply = std::move(reply)](const LinkReport& report) { reply(report.failure); });
        },
        [this](int boardMs, bool isMove) { noteBoardTime(false, boardMs, isMove); }, config_.simulationSpeedMultiplier);
    plotTask_ = new AxiDrawPlotRun(*this, *this, std::move(device), std::move(inputs), clock_);
    plotTask_->start();
}

void AxiDrawPlotterController::cancelRun() {
    if (plotTask_) {
        plotTask_->cancel();
        plotTask_->deleteLater();
        plotTask_ = nullptr;
    }
}

void AxiDrawPlotterController::runSetHead(VectorPoint positionMM, std::int64_t stepsX, std::int64_t stepsY) {
    currentStepsX_ = stepsX;
    currentStepsY_ = stepsY;
    setCurrentPosMM(positionMM);
}

void AxiDrawPlotterController::fail(const std::string& message) {
    setRunState(AxiDrawRunState::error(message));
    setStatusLog(message);
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
