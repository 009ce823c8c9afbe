#include "app/plotter/AxiDrawPlotterController.h"

#include "app/plotter/AxiDrawPlotRun.h"
#include "testsupport/FakeEbbBoard.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <set>

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FakeEbbBoard;
using test::LanguageScope;
using test::ManualRunClock;
using test::TempDir;
using Misbehaviour = FakeEbbBoard::Misbehaviour;
using Kind = AxiDrawRunState::Kind;

const std::vector<std::string> kSetUp{"SC,4,20535", "SC,5,15195", "SC,10,65535", "EM,1,1"};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

VectorPath polyline(std::int64_t id, std::vector<VectorPoint> points) {
    VectorPath path;
    path.id = id;
    path.points = std::move(points);
    return path;
}

/// Two pens: a polyline and a curve for the first, one stroke for the second ("Pen 2", 0.5 mm).
VectorizationResult twoPenDrawing() {
    VectorPath curve;
    curve.id = 2;
    curve.beziers = {{{40, 20}, {50, 10}, {60, 30}, {70, 20}}, {{70, 20}, {75, 25}, {80, 25}, {85, 20}}};
    VectorizationResult result;
    result.layers = {PenLayer::make(0, std::string("Pen 1"), 0.3, std::nullopt, true,
                                    {polyline(1, {{10, 10}, {11, 10}, {11, 20}}), curve}),
                     PenLayer::make(1, std::string("Pen 2"), 0.5, std::nullopt, true,
                                    {polyline(3, {{30, 30}, {40, 35}, {45, 50}})})};
    return result;
}

struct Move {
    long long duration, dx, dy;
};

std::vector<Move> movesIn(const std::vector<std::string>& commands) {
    std::vector<Move> moves;
    for (const std::string& c : commands) {
        if (!c.starts_with("XM,")) continue;
        Move m{};
        long long* fields[] = {&m.duration, &m.dx, &m.dy};
        const char* at = c.data() + 3;
        const char* end = c.data() + c.size();
        for (long long* field : fields) {
            at = std::from_chars(at, end, *field).ptr;
            if (at < end && *at == ',') ++at;
        }
        moves.push_back(m);
    }
    return moves;
}

/// Every move has steps and a duration of at least 4 ms, and all of them bring the head home.
void expectMovesReturnHome(const std::vector<std::string>& commands) {
    long long x = 0;
    long long y = 0;
    const auto moves = movesIn(commands);
    EXPECT_FALSE(moves.empty());
    for (const Move& m : moves) {
        EXPECT_TRUE(m.dx != 0 || m.dy != 0);
        EXPECT_GE(m.duration, 4);
        x += m.dx;
        y += m.dy;
    }
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

class PlotterOnBoard : public ::testing::Test {
protected:
    PlotterOnBoard() {
        test::ensureQtApp();
        fs::create_symlink(board.slavePath(), dir.path() / "ttyACM0");
        controller =
            std::make_unique<AxiDrawPlotterController>(AxiDrawPlotterController::Environment{dir.path(), clock});
    }

    /// Turns the event loop until every queued command went out and its outcome was applied.
    void settle() {
        ASSERT_TRUE(test::spinUntil([&] { return !controller->isLinkBusy(); }));
    }

    /// The commands the board received, once the queued ones are through.
    std::vector<std::string> sent() {
        settle();
        return board.commandTexts();
    }

    /// Releases the oldest held sleep and waits until the run sleeps again (its next command was
    /// answered).
    void releaseAndAwaitNextSleep() {
        clock->releaseNext();
        ASSERT_TRUE(test::spinUntil([&] { return clock->pendingCount() == 1; }));
    }

    /// Turns the event loop (releasing held sleeps) until the run is no longer playing.
    bool finishRun() {
        return test::spinUntil([&] {
            if (clock->pendingCount() > 0) clock->releaseNext();
            return !controller->runState().isRunning();
        });
    }

    /// Asks for a pause when `count` steps are done.
    void pauseWhenCompleted(std::int64_t count) {
        QObject::connect(controller.get(), &AxiDrawPlotterController::completedStepCountChanged, controller.get(),
                         [this, count] {
                             if (controller->completedStepCount() == count && controller->runState().isRunning()) {
                                 controller->pausePlot();
                             }
                         });
    }

    LanguageScope english{AppLanguage::en};
    FakeEbbBoard board;
    TempDir dir;
    std::shared_ptr<ManualRunClock> clock = std::make_shared<ManualRunClock>();
    std::unique_ptr<AxiDrawPlotterController> controller;
};

TEST_F(PlotterOnBoard, SetUpAndManualCommands) {
    EXPECT_EQ(controller->selectedPortPath(), (dir.path() / "ttyACM0").string());
    EXPECT_EQ(controller->statusLog(), "Ready (Home 0, 0 mm)");
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_TRUE(sent().empty());

    controller->raisePen();
    EXPECT_EQ(sent(), concat({{"V"}, kSetUp, kSetUp, {"SP,1,150"}}));
    EXPECT_EQ(controller->firmwareVersion(), FakeEbbBoard::firmwareLine);
    EXPECT_EQ(controller->statusLog(), "Pen raised (60%)");
    EXPECT_FALSE(controller->isPenDown());

    board.clearCommands();
    controller->ensureConnected();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    {
        LanguageScope french(AppLanguage::fr);
        controller->lowerPen();
        settle();
        EXPECT_EQ(controller->statusLog(), "Stylo baissé (30 %)");
    }
    EXPECT_EQ(sent(), concat({kSetUp, {"SP,0,150"}}));
    EXPECT_TRUE(controller->isPenDown());

    board.clearCommands();
    AxiDrawConfig config = controller->config();
    config.penUpPercent = 150;
    config.penDownPercent = -5;
    config.penDelayMs = 90;
    controller->setConfig(config);
    controller->reapplyServoSetupIfConnected();
    EXPECT_EQ(sent(), (std::vector<std::string>{"SC,4,27655", "SC,5,9855", "SC,10,65535", "EM,1,1"}));

    board.clearCommands();
    controller->unlockMotorsAndZeroOrigin();
    EXPECT_EQ(sent(), (std::vector<std::string>{"ES", "SP,1,90", "SP,1,90", "EM,0,0"}));
    EXPECT_EQ(controller->statusLog(), "Motors unlocked — move carriage to home (0, 0)");

    board.clearCommands();
    controller->returnToHome();  // already home: no move
    EXPECT_EQ(sent(), concat({{"SC,4,27655", "SC,5,9855", "SC,10,65535", "EM,1,1"}, {"SP,1,90"}}));
    EXPECT_EQ(controller->statusLog(), "Returned to home (0, 0 mm)");
}

TEST_F(PlotterOnBoard, WholePlotWithoutPenChanges) {
    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    const auto job = AxiDrawCompiledJob::compile(twoPenDrawing(), config);
    controller->startPlot(twoPenDrawing());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::plotting());
    EXPECT_EQ(controller->statusLog(), "AxiDraw plotting in progress…");
    EXPECT_EQ(controller->totalStepCount(), static_cast<std::int64_t>(job.steps.size()));
    ASSERT_TRUE(finishRun());

    const auto commands = sent();
    // Stop (the link was not open yet, so nothing), connection, launch set-up, then the job.
    ASSERT_GE(commands.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 9), concat({{"V"}, kSetUp, kSetUp}));
    // To (10, 10) at 115.5 mm/s: 122 ms; then 1 mm drawn at 36.4 mm/s: 27 ms.
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 9, commands.begin() + 12),
              (std::vector<std::string>{"XM,122,800,800", "SP,0,150", "XM,27,80,0"}));
    expectMovesReturnHome(commands);

    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->statusLog(), "AxiDraw plot complete — returned to (0, 0 mm)");
    EXPECT_EQ(controller->progressFraction(), 1.0);
    EXPECT_EQ(controller->completedStepCount(), controller->totalStepCount());
    EXPECT_EQ(controller->currentPosMM(), VectorPoint::zero);
    EXPECT_FALSE(controller->isPenDown());
    EXPECT_FALSE(controller->activePathID());
    // Hardware pacing: pen steps wait their delay, moves at most 40 ms.
    for (long long ms : clock->sleeps) EXPECT_TRUE(ms == 150 || (ms >= 4 && ms <= 40)) << ms;

    // Every command waited for its reply in turn: times never go backwards.
    const auto log = board.commands();
    EXPECT_TRUE(std::is_sorted(log.begin(), log.end(), [](const auto& a, const auto& b) { return a.at < b.at; }));
}

TEST_F(PlotterOnBoard, PenChangePauseAndResume) {
    const auto job = AxiDrawCompiledJob::compile(twoPenDrawing(), {});
    const auto layerStep = std::find_if(job.steps.begin(), job.steps.end(),
                                        [](const auto& s) { return s.template as<AxiDrawJobStep::BeginLayer>(); });
    ASSERT_NE(layerStep, job.steps.end());
    const auto layerIndex = layerStep - job.steps.begin();

    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::pausedForPenChange(1, "Pen 2", 0.5));
    EXPECT_EQ(controller->statusLog(), "Pen change: insert Pen 2 (0.5 mm) then click Resume");
    EXPECT_EQ(controller->completedStepCount(), layerIndex + 1);
    EXPECT_FALSE(controller->isPenDown());

    board.clearCommands();
    controller->resumePlot();
    EXPECT_EQ(controller->runState(), AxiDrawRunState::plotting());
    ASSERT_TRUE(finishRun());
    const auto commands = sent();
    // The set-up again, then straight on with the next pen's travel (pen up, at home as expected).
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 5), concat({kSetUp, {"XM,367,2400,2400"}}));
    EXPECT_EQ(controller->statusLog(), "AxiDraw plot complete — returned to (0, 0 mm)");
    EXPECT_EQ(controller->currentSteps(), (std::pair<std::int64_t, std::int64_t>{0, 0}));
}

TEST_F(PlotterOnBoard, UserPauseLiftsThePenAndResumeLowersItAgain) {
    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    // Step 3 draws from (11, 10) to (11, 20): the pen is down there.
    const auto job = AxiDrawCompiledJob::compile(twoPenDrawing(), config);
    ASSERT_TRUE(job.steps[3].as<AxiDrawJobStep::MoveXY>() && job.steps[3].as<AxiDrawJobStep::MoveXY>()->penDown);
    pauseWhenCompleted(3);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::pausedByUser());
    const std::string total = std::to_string(job.steps.size());
    EXPECT_EQ(controller->statusLog(), "Paused (3/" + total + ") — click Resume");
    EXPECT_EQ(sent().back(), "SP,1,150");
    EXPECT_FALSE(controller->isPenDown());

    const auto before = static_cast<std::ptrdiff_t>(sent().size());
    controller->resumePlot();
    ASSERT_TRUE(finishRun());
    const auto commands = sent();
    ASSERT_GE(commands.size(), static_cast<std::size_t>(before + 6));
    // Set-up, the pen back down where the stroke was left, then step 3 itself.
    EXPECT_EQ(std::vector<std::string>(commands.begin() + before, commands.begin() + before + 6),
              concat({kSetUp, {"SP,0,150", "XM,275,0,800"}}));
    expectMovesReturnHome(commands);
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
}

TEST_F(PlotterOnBoard, ResumeAfterTheHeadWasMovedTravelsBackPenUp) {
    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    pauseWhenCompleted(3);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    ASSERT_EQ(controller->runState(), AxiDrawRunState::pausedByUser());
    controller->lowerPen();      // someone tries the pen…
    controller->returnToHome();  // …and sends the head home
    EXPECT_EQ(sent().back(), "XM,129,-880,-800");
    EXPECT_EQ(controller->runState(), AxiDrawRunState::pausedByUser());

    board.clearCommands();
    controller->resumePlot();
    ASSERT_TRUE(finishRun());
    const auto commands = sent();
    // Back to (11, 10) pen-up, pen down, then step 3.
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 7),
              concat({kSetUp, {"XM,129,880,800", "SP,0,150", "XM,275,0,800"}}));
    expectMovesReturnHome(commands);
    EXPECT_EQ(controller->statusLog(), "AxiDraw plot complete — returned to (0, 0 mm)");
}

TEST_F(PlotterOnBoard, ReturnHomeMoveFromAPausedRun) {
    VectorizationResult result;
    result.layers = {
        PenLayer::make(0, std::nullopt, std::nullopt, std::nullopt, true, {polyline(1, {{30, 40}, {35, 40}})})};
    pauseWhenCompleted(1);
    controller->startPlot(result);
    controller->returnToHome();  // while plotting: nothing
    EXPECT_EQ(controller->runState(), AxiDrawRunState::plotting());
    ASSERT_TRUE(finishRun());
    ASSERT_EQ(controller->runState(), AxiDrawRunState::pausedByUser());
    board.clearCommands();
    controller->returnToHome();
    EXPECT_EQ(sent(), concat({kSetUp, {"SP,1,150", "XM,433,-2400,-3200"}}));
    EXPECT_EQ(controller->currentPosMM(), VectorPoint::zero);
    EXPECT_EQ(controller->statusLog(), "Returned to home (0, 0 mm)");
}

TEST_F(PlotterOnBoard, StopEndsTheRunAndAStaleRunNeverWritesAgain) {
    clock->setHeld(true);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(test::spinUntil([&] { return clock->pendingCount() == 1; }));
    releaseAndAwaitNextSleep();  // step 0 counted; step 1 (pen down) played and sleeping
    releaseAndAwaitNextSleep();  // step 1 counted; step 2 (a 1 mm stroke) played and sleeping
    ASSERT_EQ(clock->pendingCount(), 1u);
    ASSERT_EQ(controller->completedStepCount(), 2);

    board.clearCommands();
    controller->stopPlot();
    EXPECT_EQ(sent(), (std::vector<std::string>{"ES", "SP,1,150"}));
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");
    EXPECT_EQ(controller->completedStepCount(), 0);
    EXPECT_EQ(controller->totalStepCount(), 0);
    EXPECT_EQ(controller->progressFraction(), 0.0);
    EXPECT_EQ(controller->currentPosMM(), (VectorPoint{11, 10}));  // left where it was
    // The stop cut the board's queued motion short: the position is no longer trusted.
    EXPECT_FALSE(controller->isPositionKnown());

    // The old run's sleep ends after the stop: it must not count its step or go on.
    clock->releaseNext();
    EXPECT_EQ(controller->completedStepCount(), 0);
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");
    EXPECT_EQ(clock->pendingCount(), 0u);
    controller->resumePlot();  // a stopped run cannot be resumed
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(sent().size(), 2u);

    board.clearCommands();
    controller->returnToHome();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(controller->statusLog(),
              "Position unknown after the stop — unlock motors and move carriage to home (0, 0)");
    controller->startPlot(twoPenDrawing());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->statusLog(),
              "Position unknown after the stop — unlock motors and move carriage to home (0, 0)");

    controller->unlockMotorsAndZeroOrigin();
    settle();
    EXPECT_TRUE(controller->isPositionKnown());
    EXPECT_EQ(sent().back(), "EM,0,0");
    EXPECT_EQ(controller->currentPosMM(), VectorPoint::zero);
}

TEST_F(PlotterOnBoard, StopThenStartIgnoresTheOldRunsLastSleep) {
    clock->setHeld(true);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(test::spinUntil([&] { return clock->pendingCount() == 1; }));
    clock->advance(10s);  // the board has finished its moves: the position stays known
    controller->stopPlot();
    EXPECT_TRUE(controller->isPositionKnown());

    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    controller->startPlot(twoPenDrawing());
    const auto total = controller->totalStepCount();
    settle();  // the stop and the new run's set-up and first step went out
    board.clearCommands();
    clock->releaseNext();  // the first run's sleep
    EXPECT_EQ(controller->completedStepCount(), 0);
    EXPECT_EQ(controller->statusLog(), "AxiDraw plotting in progress…");
    EXPECT_TRUE(sent().empty());

    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->completedStepCount(), total);
}

// The link works on its own thread: a stop that comes while a step's reply is still on its way
// returns at once, goes out right after that step, and the stopped run never acts on the reply.
TEST_F(PlotterOnBoard, StopWhileAReplyIsOnItsWayIgnoresThatReply) {
    board.misbehave("XM", Misbehaviour::lateReply, 0, 1000ms);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(test::spinUntil([&] {
        const auto texts = board.commandTexts();
        return !texts.empty() && texts.back().starts_with("XM,");
    }));
    const auto before = std::chrono::steady_clock::now();
    controller->stopPlot();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 250ms);  // waiting here would take ~1 s
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");

    const auto commands = sent();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(commands.end() - 3, commands.end()),
              (std::vector<std::string>{"XM,122,800,800", "ES", "SP,1,150"}));
    // The late reply came after the stop: the step is not counted and the head not moved on.
    EXPECT_EQ(controller->completedStepCount(), 0);
    EXPECT_EQ(controller->currentPosMM(), VectorPoint::zero);
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");
    EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST_F(PlotterOnBoard, ErrorReplyEndsTheRunInError) {
    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    controller->raisePen();
    board.misbehave("XM", Misbehaviour::errorReply, 2);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::error("EBB: !8 Err: Unknown command"));
    EXPECT_EQ(controller->statusLog(), "EBB: !8 Err: Unknown command");
    // Steps 0 to 2 are done (two moves and a pen step); the third move failed.
    EXPECT_EQ(controller->completedStepCount(), 3);
    EXPECT_EQ(controller->currentPosMM(), (VectorPoint{11, 10}));
    EXPECT_EQ(controller->currentSteps(), (std::pair<std::int64_t, std::int64_t>{880, 800}));

    controller->pausePlot();
    controller->stopPlot();
    EXPECT_EQ(controller->runState().kind, Kind::error);
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");
}

TEST_F(PlotterOnBoard, HangUpMidPlotEndsInErrorWithoutHanging) {
    board.misbehave("XM", Misbehaviour::hangUp, 3);
    controller->startPlot(twoPenDrawing());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(finishRun());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(controller->runState(), AxiDrawRunState::error("AxiDraw serial port disconnected"));
    EXPECT_EQ(controller->statusLog(), "AxiDraw serial port disconnected");
    EXPECT_TRUE(board.hungUp());
}

TEST_F(PlotterOnBoard, PortSelectionAndFailedConnection) {
    fs::remove(dir.path() / "ttyACM0");
    controller->refreshPorts();
    EXPECT_EQ(controller->selectedPortPath(), "virtual://axidraw-simulator");

    const std::string dangling = (dir.path() / "ttyACM1").string();
    fs::create_symlink(dir.path() / "no-such-device", dangling);
    controller->refreshPorts();
    EXPECT_EQ(controller->selectedPortPath(), dangling);
    controller->refreshPorts();
    EXPECT_EQ(controller->selectedPortPath(), dangling);

    controller->ensureConnected();
    settle();
    const std::string message = "Could not open " + dangling + ": No such file or directory";
    EXPECT_EQ(controller->runState(), AxiDrawRunState::error(message));
    EXPECT_EQ(controller->statusLog(), message);
    controller->stopPlot();
    EXPECT_EQ(controller->runState(), AxiDrawRunState::error(message));
    EXPECT_EQ(controller->statusLog(), "Plot stopped (pen up)");

    // A working port again: a new link leaves the error state.
    fs::create_symlink(board.slavePath(), dir.path() / "ttyACM0");
    controller->refreshPorts();
    EXPECT_EQ(controller->selectedPortPath(), dangling);  // still listed, still selected
    controller->setSelectedPortPath((dir.path() / "ttyACM0").string());
    controller->ensureConnected();
    settle();
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
}

TEST_F(PlotterOnBoard, NothingToPlotAndIgnoredRequests) {
    controller->startPlot(VectorizationResult{});
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
    EXPECT_EQ(controller->statusLog(), "No visible paths to plot");
    controller->startBoundingBoxFrame(VectorizationResult{});
    EXPECT_EQ(controller->statusLog(), "No paths to frame");
    controller->pausePlot();
    controller->resumePlot();
    EXPECT_EQ(controller->statusLog(), "No paths to frame");
    EXPECT_EQ(controller->runState(), AxiDrawRunState::idle());
}

TEST_F(PlotterOnBoard, FramingRunAndClampedPointsAreReported) {
    VectorizationResult result;
    result.layers = {PenLayer::make(0, std::nullopt, std::nullopt, std::nullopt, true,
                                    {polyline(1, {{20, 30}, {120, 80}, {350, 80}, {120, 250}})})};
    controller->startBoundingBoxFrame(result);
    EXPECT_EQ(controller->runState(), AxiDrawRunState::framingBoundingBox());
    EXPECT_EQ(controller->statusLog(),
              "Framing bounding box (pen up)… — 2 points outside the travel area moved to its edge");
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->statusLog(),
              "Framing complete — returned to (0, 0 mm) — 2 points outside the travel area moved to its edge");
    const auto commands = sent();
    EXPECT_EQ(movesIn(commands).size(), 6u);
    expectMovesReturnHome(commands);

    clock->advance(10s);  // the board has played the tour to its end
    controller->startPlot(result);
    EXPECT_EQ(controller->statusLog(),
              "AxiDraw plotting in progress… — 2 points outside the travel area moved to its edge");
}

// The simulator: the same states and texts, no input or output, sleeps divided by the multiplier.
TEST_F(PlotterOnBoard, SimulatorPlaysTheSameRunFaster) {
    controller->setSelectedPortPath("virtual://axidraw-simulator");
    AxiDrawConfig config;
    config.pauseBetweenPenLayers = false;
    controller->setConfig(config);
    std::vector<std::string> texts;
    std::set<std::string> textPercents;  // the percent each progress text names, with the fraction then
    std::set<std::string> barPercents;   // every whole percent the bar showed
    QObject::connect(controller.get(), &AxiDrawPlotterController::statusLogChanged, controller.get(), [&] {
        texts.push_back(controller->statusLog());
        if (!texts.back().starts_with("Plotting ")) return;
        const std::string named = texts.back().substr(9, texts.back().find('%') - 9);
        textPercents.insert(named);
        EXPECT_EQ(named, std::to_string(std::lround(controller->progressFraction() * 100))) << texts.back();
    });
    QObject::connect(controller.get(), &AxiDrawPlotterController::progressFractionChanged, controller.get(), [&] {
        if (controller->runState().isRunning() && controller->progressFraction() > 0) {
            barPercents.insert(std::to_string(std::lround(controller->progressFraction() * 100)));
        }
    });
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_TRUE(board.commands().empty());
    EXPECT_EQ(controller->firmwareVersion(), "EBBv13_and_above EB Firmware Version 2.8.1 (Sim)");
    // 122 ms / 4, pen 150 ms / 4, 27 ms / 4 (at least 2).
    ASSERT_GE(clock->sleeps.size(), 3u);
    EXPECT_EQ(std::vector<long long>(clock->sleeps.begin(), clock->sleeps.begin() + 3),
              (std::vector<long long>{30, 37, 6}));
    for (long long ms : clock->sleeps) EXPECT_GE(ms, 2);

    const auto n = controller->totalStepCount();
    std::vector<std::string> progress;
    std::copy_if(texts.begin(), texts.end(), std::back_inserter(progress),
                 [](const std::string& t) { return t.starts_with("Plotting "); });
    // The text never lags the bar: each whole percent the bar reached was also written out.
    EXPECT_EQ(textPercents, barPercents);
    EXPECT_GE(static_cast<std::int64_t>(progress.size()), n / 12);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), "Plotting 100% — (0, 0 mm)");
    EXPECT_EQ(texts.back(), "AxiDraw plot complete — returned to (0, 0 mm)");

    // A multiplier below 1 plays in real time.
    clock->sleeps.clear();
    config.simulationSpeedMultiplier = 0.5;
    controller->setConfig(config);
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(std::vector<long long>(clock->sleeps.begin(), clock->sleeps.begin() + 3),
              (std::vector<long long>{122, 150, 27}));
}

TEST_F(PlotterOnBoard, SimulatorPenChangeTextInFrench) {
    LanguageScope french(AppLanguage::fr);
    controller->setSelectedPortPath("virtual://axidraw-simulator");
    controller->startPlot(twoPenDrawing());
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->runState(), AxiDrawRunState::pausedForPenChange(1, "Pen 2", 0.5));
    EXPECT_EQ(controller->statusLog(), "Changement de stylo : insérez Pen 2 (0,5 mm) puis cliquez sur Reprendre");
    controller->resumePlot();
    ASSERT_TRUE(finishRun());
    EXPECT_EQ(controller->statusLog(), "Tracé AxiDraw terminé — retour à (0, 0 mm)");
}

TEST(AxiDrawPlotRun, RestoreStepsAndMoveArithmetic) {
    using Step = AxiDrawJobStep;
    const std::vector<Step> steps{Step::moveXY({10, 10}, false, 1), Step::setPen(true, 150),
                                  Step::moveXY({20, 10}, true, 1), Step::setPen(false, 150),
                                  Step::moveXY({0, 0}, false, std::nullopt)};
    // Where the job left things: nothing to do, or only the pen.
    EXPECT_TRUE(AxiDrawPlotRun::restoreSteps(steps, 0, 0, 0, false, 90).empty());
    EXPECT_EQ(AxiDrawPlotRun::restoreSteps(steps, 2, 800, 800, false, 90), std::vector<Step>{Step::setPen(true, 90)});
    EXPECT_EQ(AxiDrawPlotRun::restoreSteps(steps, 4, 1600, 800, true, 90), std::vector<Step>{Step::setPen(false, 90)});
    // Moved away with the pen down: lift, travel back, lower.
    EXPECT_EQ(AxiDrawPlotRun::restoreSteps(steps, 3, 0, 0, true, 90),
              (std::vector<Step>{Step::setPen(false, 90), Step::moveXY({20, 10}, false, std::nullopt),
                                 Step::setPen(true, 90)}));

    EXPECT_EQ(AxiDrawPlotRun::motorSteps(0.00625), 1);  // 0.5 step rounds away from zero
    EXPECT_EQ(AxiDrawPlotRun::motorSteps(-0.00625), -1);
    EXPECT_EQ(AxiDrawPlotRun::moveDurationMs(1.0, 36.4), 27);
    EXPECT_EQ(AxiDrawPlotRun::moveDurationMs(0.01, 36.4), 4);
    EXPECT_EQ(AxiDrawPlotRun::moveDurationMs(1.0, 0.5), 500);  // at least 2 mm/s
}

}  // namespace
}  // namespace ostrel
