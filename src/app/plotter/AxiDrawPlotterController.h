// The one object through which the application drives a plotter: the port
// list and the chosen port, the plotter settings, the serial link, the run
// state, and the live position, pen state and progress. It opens the link on
// demand, sends the servo and motor set-up, carries out the manual commands
// and starts, pauses, resumes and stops plot and framing runs (the steps of a
// run are played by AxiDrawPlotRun, which reports back through its Owner
// interface).
//
// Main thread only, and it never waits for the board: every command goes to
// the serial link's own thread (EbbLinkThread) in the order it was asked for,
// and its outcome comes back as a main-thread event. Operations change the
// state that does not depend on the board at once and the rest when the reply
// is in. No operation throws: every failure ends in the run state
// `error(message)` with the same text in `statusLog`. Each field emits its
// change signal on every assignment.
#pragma once

#include "app/plotter/PlotterLink.h"

#include "core/model/VectorModel.h"
#include "core/plotter/AxiDrawCompiledJob.h"
#include "core/plotter/AxiDrawConfig.h"
#include "core/plotter/AxiDrawPortDevice.h"
#include "app/plotter/AxiDrawPlotRun.h"
#include "app/plotter/AxiDrawRunClock.h"
#include "app/plotter/AxiDrawRunState.h"

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

class EbbLinkSession;
class EbbLinkThread;

class AxiDrawPlotterController final : public QObject, public PlotterLink, private AxiDrawPlotRun::Owner {
    Q_OBJECT

public:
    /// Where ports are listed and what measures time; the defaults are the real ones.
    struct Environment {
        std::filesystem::path portDirectory = "/dev";
        std::shared_ptr<AxiDrawRunClock> clock;  // null: SystemRunClock
    };

    explicit AxiDrawPlotterController(QObject* parent = nullptr);
    explicit AxiDrawPlotterController(Environment environment, QObject* parent = nullptr);
    ~AxiDrawPlotterController() override;

    // Observable fields.
    [[nodiscard]] const std::vector<AxiDrawPortDevice>& availablePorts() const noexcept { return availablePorts_; }
    [[nodiscard]] const std::string& selectedPortPath() const noexcept { return selectedPortPath_; }
    [[nodiscard]] const AxiDrawConfig& config() const noexcept { return config_; }
    [[nodiscard]] const AxiDrawRunState& runState() const noexcept { return runState_; }
    [[nodiscard]] const std::string& firmwareVersion() const noexcept { return firmwareVersion_; }
    [[nodiscard]] VectorPoint currentPosMM() const noexcept { return currentPosMM_; }
    [[nodiscard]] bool isPenDown() const noexcept { return isPenDown_; }
    [[nodiscard]] std::optional<std::int64_t> activePathID() const noexcept { return activePathID_; }
    [[nodiscard]] double progressFraction() const noexcept { return progressFraction_; }
    [[nodiscard]] std::int64_t completedStepCount() const noexcept { return completedStepCount_; }
    [[nodiscard]] std::int64_t totalStepCount() const noexcept { return totalStepCount_; }
    [[nodiscard]] const std::string& statusLog() const noexcept { return statusLog_; }
    /// Motor position in steps from the origin (80 per millimetre).
    [[nodiscard]] std::pair<std::int64_t, std::int64_t> currentSteps() const noexcept {
        return {currentStepsX_, currentStepsY_};
    }
    /// False after a stop cut a motion short: the head is somewhere on the way, so home moves and
    /// new runs wait for unlockMotorsAndZeroOrigin.
    [[nodiscard]] bool isPositionKnown() const noexcept { return positionKnown_; }
    /// The first listed port with the selected path, else the simulator.
    [[nodiscard]] AxiDrawPortDevice selectedDevice() const;
    /// Whether the link was open after its last reported command (the simulator counts as open).
    [[nodiscard]] bool isLinkOpen() const noexcept { return linkOpen_; }
    /// Whether commands are still on their way to the board or their outcome not yet applied.
    [[nodiscard]] bool isLinkBusy() const noexcept { return outstandingLinkJobs_ > 0; }

    /// The port picker's choice.
    void setSelectedPortPath(std::string path);
    /// The plotter card's settings; a new pen delay or speed applies to the next command.
    void setConfig(const AxiDrawConfig& config);

    // Operations.
    void refreshPorts();
    /// Opens the selected port unless the link is already open on it; a failure ends in `error`.
    void ensureConnected();
    void reapplyServoSetupIfConnected();
    /// New pen heights from the card. With an open link the servo set-up goes out with them and
    /// they are stored once the board took it; a refusal keeps the heights the board has, reports
    /// itself in `statusLog` and emits configChanged so the card shows them again. Without a link
    /// they are stored at once and reach the board with the next set-up.
    void applyPenHeights(int penUpPercent, int penDownPercent);
    void raisePen() override;
    void lowerPen() override;
    void unlockMotorsAndZeroOrigin() override;
    void stopPlot() override;
    void returnToHome() override;
    void startPlot(const VectorizationResult& result) override;
    void startBoundingBoxFrame(const VectorizationResult& result) override;
    [[nodiscard]] PlotterStatusReport statusReport() const override;
    void pausePlot() override;
    void resumePlot() override;

signals:
    void availablePortsChanged();
    void selectedPortPathChanged();
    void configChanged();
    void runStateChanged();
    void firmwareVersionChanged();
    void currentPosMMChanged();
    void isPenDownChanged();
    void activePathIDChanged();
    void progressFractionChanged();
    void completedStepCountChanged();
    void totalStepCountChanged();
    void statusLogChanged();

private:
    /// How a link job ended, as seen on the link thread right after it.
    struct LinkReport {
        std::optional<std::string> failure;  // the first error's message
        bool opened = false;                 // the job opened a new link
        bool isOpen = false;
        AxiDrawPortDevice device;
        std::string firmware;
    };
    using LinkWork = std::function<void(EbbLinkSession&)>;
    using LinkDone = std::function<void(const LinkReport&)>;

    /// Queues `work` (it runs on the link thread and must not touch this object) and calls `done`
    /// on the main thread with its report; reports arrive in posting order.
    void postLink(LinkWork work, LinkDone done);
    /// The manual pen command: connects if needed, sends it with the pen delay, reports it.
    void setPenByHand(bool down);
    /// Counts a command the board took. It queues pen and move steps and plays them after its
    /// reply: `boardMs` is how long this one keeps it busy, `isMove` whether the head travels.
    void noteBoardTime(bool isSimulator, int boardMs, bool isMove);
    void launchJob(AxiDrawCompiledJob job, std::int64_t startIndex, bool isFraming, bool isResume);
    /// Cancels the current run, if any, and lets it go.
    void cancelRun();
    void fail(const std::string& message);
    [[nodiscard]] bool refuseUnknownPosition();

    // What the current run reports (AxiDrawPlotRun::Owner).
    [[nodiscard]] const AxiDrawConfig& runConfig() const override { return config_; }
    void runSetPenDown(bool down) override { setIsPenDown(down); }
    void runSetActivePath(std::optional<std::int64_t> pathID) override { setActivePathID(pathID); }
    void runSetHead(VectorPoint positionMM, std::int64_t stepsX, std::int64_t stepsY) override;
    void runSetCompletedStepCount(std::int64_t count) override { setCompletedStepCount(count); }
    void runSetProgressFraction(double fraction) override { setProgressFraction(fraction); }
    void runSetState(AxiDrawRunState state) override { setRunState(std::move(state)); }
    void runSetStatus(std::string text) override { setStatusLog(std::move(text)); }
    void runFailed(const std::string& message) override { fail(message); }

    void setRunState(AxiDrawRunState state);
    void setStatusLog(std::string text);
    void setFirmwareVersion(std::string text);
    void setCurrentPosMM(VectorPoint point);
    void setIsPenDown(bool down);
    void setActivePathID(std::optional<std::int64_t> id);
    void setProgressFraction(double fraction);
    void setCompletedStepCount(std::int64_t count);
    void setTotalStepCount(std::int64_t count);

    Environment environment_;
    std::shared_ptr<AxiDrawRunClock> clock_;

    std::vector<AxiDrawPortDevice> availablePorts_;
    std::string selectedPortPath_;
    AxiDrawConfig config_;
    AxiDrawRunState runState_;
    std::string firmwareVersion_;
    VectorPoint currentPosMM_;
    bool isPenDown_ = false;
    std::optional<std::int64_t> activePathID_;
    double progressFraction_ = 0;
    std::int64_t completedStepCount_ = 0;
    std::int64_t totalStepCount_ = 0;
    std::string statusLog_;
    std::int64_t currentStepsX_ = 0;
    std::int64_t currentStepsY_ = 0;

    std::unique_ptr<EbbLinkThread> link_;
    bool linkOpen_ = false;
    AxiDrawPortDevice linkDevice_;
    int outstandingLinkJobs_ = 0;
    /// The current run: playing, or ended and kept while it may be resumed. A child object,
    /// cancelled and deleted later when stopped or replaced.
    AxiDrawPlotRun* plotTask_ = nullptr;
    bool positionKnown_ = true;
    AxiDrawRunClock::TimePoint boardBusyUntil_{};  // when the board's queue runs dry, by our count
    AxiDrawRunClock::TimePoint headStopsAt_{};     // when the last queued move ends
};

}  // namespace ostrel
