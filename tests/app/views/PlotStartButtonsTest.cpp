// Every button that starts a plotter run (the top bar's Plot, the sidebar's Plot or Simulate, Frame
// sheet) follows one rule: a result that no pending run is about to replace, and no run playing.
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/plotter/PlotStart.h"
#include "app/ui/TextButton.h"
#include "app/views/ContentView.h"
#include "app/views/MainWindow.h"
#include "app/views/bars/TopBar.h"
#include "app/views/sidebar/DirectPlotterCard.h"
#include "app/views/sidebar/PlotActionRow.h"
#include "app/views/sidebar/PlotterJogToolbar.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QTest>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

class PlotStartButtonsTest : public ::testing::Test {
protected:
    PlotStartButtonsTest() {
        test::ensureQtApp();
        clock->setHeld(true);  // a started run stays under way
        model.setShowAxiDrawSection(true);
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.show();
        topPlot = window.findChild<TopBar*>()->findChild<TextButton*>(QStringLiteral("plot"));
        const auto* card = window.findChild<DirectPlotterCard*>();
        sidePlot = card->actionRow()->plotButton();
        frame = card->jogToolbar()->button(PlotterJogToolbar::frameSheet);
    }

    static AppModel::Environment environment(test::RecordingSettingsStore& settings,
                                             std::shared_ptr<test::ManualRunClock> clock) {
        AppModel::Environment env = test::quietEnvironment(settings);
        env.plotter.clock = std::move(clock);
        return env;
    }

    /// Whether the top bar's Plot, the sidebar's Plot and Frame sheet can be pressed now.
    [[nodiscard]] std::array<bool, 3> pressable() const {
        return {topPlot->isEnabled(), sidePlot->isEnabled() && sidePlot->isVisible(), frame->isEnabled()};
    }

    std::shared_ptr<test::ManualRunClock> clock = std::make_shared<test::ManualRunClock>();
    QCoreApplication& application = test::ensureQtApp();  // first: the widgets below need it
    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, environment(settings, clock)};
    MainWindow window{model};
    TextButton* topPlot = nullptr;
    TextButton* sidePlot = nullptr;
    TextButton* frame = nullptr;
};

TEST_F(PlotStartButtonsTest, APendingRunOrARunningPlotDisablesEveryStartButtonAlike) {
    using Buttons = std::array<bool, 3>;
    VectorizerController& document = model.vectorizer();
    AxiDrawPlotterController& plotter = model.plotter();
    ASSERT_TRUE(topPlot->isVisible());
    EXPECT_EQ(pressable(), (Buttons{false, false, false})) << "no result";

    ASSERT_TRUE(document.loadImage(test::threeStrokeDrawing(), "strokes", true));
    EXPECT_EQ(pressable(), (Buttons{true, true, true}));

    // A parameter change waiting for its run: the result shown is about to be replaced.
    VectorizerParams params = document.params();
    params.curveSmoothing = params.curveSmoothing > 0.5 ? 0.2 : 0.8;
    document.setParams(params, RunSchedule::after(3600 * 1000));
    ASSERT_TRUE(document.hasPendingRun());
    EXPECT_EQ(pressable(), (Buttons{false, false, false}));
    QTest::mouseClick(topPlot, Qt::LeftButton);
    EXPECT_EQ(plotter.runState().kind, AxiDrawRunState::Kind::idle) << "the top bar's Plot started a run";
    EXPECT_FALSE(PlotStart::start(PlotStart::Kind::frame, document, plotter));

    document.runSynchronousVectorization();
    ASSERT_FALSE(document.hasPendingRun());
    EXPECT_EQ(pressable(), (Buttons{true, true, true}));

    QTest::mouseClick(topPlot, Qt::LeftButton);
    ASSERT_TRUE(plotter.runState().isRunning());
    // The top bar now offers Pause; nothing can start another run.
    EXPECT_TRUE(topPlot->isEnabled());
    EXPECT_FALSE(sidePlot->isVisible());
    EXPECT_FALSE(frame->isEnabled());
    EXPECT_FALSE(PlotStart::isAllowed(document, plotter));
    plotter.stopPlot();
    EXPECT_EQ(pressable(), (Buttons{true, true, true}));
}

}  // namespace
}  // namespace ostrel
