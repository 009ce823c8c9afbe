// The plot run on its own, against a scripted device that holds every reply until the test gives
// it, and an owner that records each report in order.
#include "app/plotter/AxiDrawPlotRun.h"

#include "testsupport/LanguageScope.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>

namespace ostrel {
namespace {

using Phase = AxiDrawPlotRun::Phase;
using Step = AxiDrawJobStep;

class ScriptedDevice final : public AxiDrawRunDevice {
public:
    [[nodiscard]] const AxiDrawPortDevice& port() const noexcept override { return port_; }
    void prepare(bool connect, const AxiDrawConfig&, Reply reply) override {
        sent.push_back(connect ? "<connect and set up>" : "<set up>");
        replies.push_back(std::move(reply));
    }
    void send(std::string command, int, Reply reply) override {
        sent.push_back(std::move(command));
        replies.push_back(std::move(reply));
    }
    void noteTaken(int boardMs, bool isMove) override { taken.push_back({boardMs, isMove}); }
    [[nodiscard]] std::int64_t restAfterPen(std::int64_t delayMs) const noexcept override { return delayMs / 10; }
    [[nodiscard]] std::int64_t restAfterMove(std::int64_t) const noexcept override { return 3; }

    /// Answers the oldest command still waiting.
    void answer(std::optional<std::string> failure = std::nullopt) {
        ASSERT_FALSE(replies.empty());
        Reply reply = std::move(replies.front());
        replies.pop_front();
        reply(failure);
    }

    std::vector<std::string> sent;
    std::vector<std::pair<int, bool>> taken;
    std::deque<Reply> replies;

private:
    AxiDrawPortDevice port_{"/dev/ttyACM0", "AxiDraw USB (ttyACM0)", false};
};

class RecordingOwner final : public AxiDrawPlotRun::Owner {
public:
    [[nodiscard]] const AxiDrawConfig& runConfig() const override { return config; }
    void runSetPenDown(bool down) override { log.push_back(down ? "pen down" : "pen up"); }
    void runSetActivePath(std::optional<std::int64_t> id) override {
        log.push_back("path " + (id ? std::to_string(*id) : std::string("none")));
    }
    void runSetHead(VectorPoint mm, std::int64_t sx, std::int64_t sy) override {
        log.push_back("head " + std::to_string(std::lround(mm.x)) + "," + std::to_string(std::lround(mm.y)) + " mm " +
                      std::to_string(sx) + "," + std::to_string(sy));
    }
    void runSetCompletedStepCount(std::int64_t count) override { log.push_back("done " + std::to_string(count)); }
    void runSetProgressFraction(double fraction) override {
        log.push_back("progress " + std::to_string(std::lround(fraction * 100)));
    }
    void runSetState(AxiDrawRunState state) override { states.push_back(std::move(state)); }
    void runSetStatus(std::string text) override { log.push_back("status " + text); }
    void runFailed(const std::string& message) override { log.push_back("failed " + message); }

    AxiDrawConfig config;
    std::vector<std::string> log;
    std::vector<AxiDrawRunState> states;
};

class PlotRunAlone : public ::testing::Test {
protected:
    PlotRunAlone() {
        test::ensureQtApp();
        clock->setHeld(true);
        owner.config.penDelayMs = 120;
    }

    /// A run of pen down, a 10 mm move along x, pen up.
    void startRun() {
        AxiDrawPlotRun::Inputs inputs;
        inputs.job.steps = {Step::setPen(true, 100), Step::moveXY({10, 0}, true, 7), Step::setPen(false, 100)};
        inputs.connect = true;
        inputs.config = owner.config;
        auto scripted = std::make_unique<ScriptedDevice>();
        device = scripted.get();
        run = std::make_unique<AxiDrawPlotRun>(parent, owner, std::move(scripted), std::move(inputs), clock);
        run->start();
    }

    test::LanguageScope english{AppLanguage::en};
    QObject parent;
    RecordingOwner owner;
    std::shared_ptr<test::ManualRunClock> clock = std::make_shared<test::ManualRunClock>();
    ScriptedDevice* device = nullptr;
    std::unique_ptr<AxiDrawPlotRun> run;
};

TEST_F(PlotRunAlone, PlaysEachStepAfterItsReplyAndRestsAsTheDeviceSays) {
    startRun();
    EXPECT_EQ(run->phase(), Phase::starting);
    device->answer();
    EXPECT_EQ(run->phase(), Phase::playing);
    device->answer();  // SP,0,100
    clock->releaseNext();
    device->answer();  // the move
    clock->releaseNext();
    device->answer();  // SP,1,100
    clock->releaseNext();
    EXPECT_EQ(device->sent, (std::vector<std::string>{"<connect and set up>", "SP,0,100", "XM,275,800,0", "SP,1,100"}));
    EXPECT_EQ(device->taken, (std::vector<std::pair<int, bool>>{{100, false}, {275, true}, {100, false}}));
    EXPECT_EQ(clock->sleeps, (std::vector<long long>{10, 3, 10}));
    EXPECT_EQ(run->phase(), Phase::finished);
    ASSERT_FALSE(owner.states.empty());
    EXPECT_EQ(owner.states.back(), AxiDrawRunState::idle());
    EXPECT_EQ(owner.log.back(), "status AxiDraw plot complete — returned to (0, 0 mm)");
    EXPECT_NE(std::find(owner.log.begin(), owner.log.end(), "head 10,0 mm 800,0"), owner.log.end());
}

TEST_F(PlotRunAlone, APauseAskedWhileConnectingWaitsForTheSetUpThenLiftsThePen) {
    startRun();
    run->requestPause();
    EXPECT_EQ(run->phase(), Phase::pauseRequested);
    device->answer();
    EXPECT_EQ(device->sent, (std::vector<std::string>{"<connect and set up>", "SP,1,120"}));
    EXPECT_EQ(run->phase(), Phase::pausing);
    run->requestPause();            // a second request changes nothing
    device->answer("EBB: !8 Err");  // best effort: the pause holds without the pen-up
    EXPECT_TRUE(device->taken.empty());
    EXPECT_EQ(run->phase(), Phase::paused);
    EXPECT_EQ(owner.states, std::vector<AxiDrawRunState>{AxiDrawRunState::pausedByUser()});
    EXPECT_EQ(owner.log, (std::vector<std::string>{"pen up", "done 0", "status Paused (0/3) — click Resume"}));
}

TEST_F(PlotRunAlone, ACancelledRunReportsNothingMore) {
    startRun();
    device->answer();
    device->answer();  // SP,0,100
    const std::vector<std::string> before = owner.log;
    run->cancel();
    clock->releaseNext();  // the rest after the pen step ends into a cancelled run
    EXPECT_EQ(owner.log, before);
    EXPECT_EQ(device->sent.size(), 2u);
    run->requestPause();
    EXPECT_EQ(run->phase(), Phase::cancelled);
}

TEST_F(PlotRunAlone, AFailedStepEndsTheRunWhereTheHeadWas) {
    startRun();
    device->answer();
    device->answer();  // SP,0,100
    clock->releaseNext();
    const std::size_t reports = owner.log.size();
    device->answer("EBB: !8 Err: unknown command");
    EXPECT_EQ(run->phase(), Phase::finished);
    EXPECT_EQ(std::vector<std::string>(owner.log.begin() + static_cast<std::ptrdiff_t>(reports), owner.log.end()),
              std::vector<std::string>{"failed EBB: !8 Err: unknown command"});
    EXPECT_EQ(device->taken.size(), 1u);  // only the pen step counts as taken
    EXPECT_EQ(clock->pendingCount(), 0u);
    run->requestPause();  // a finished run takes no pause
    EXPECT_EQ(run->phase(), Phase::finished);
}

}  // namespace
}  // namespace ostrel
