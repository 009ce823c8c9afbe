#include "app/launch/SignalQuit.h"

#include "app/launch/WindowedRun.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/shell/AppModel.h"
#include "app/views/MainWindow.h"
#include "testsupport/FakeEbbBoard.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../shell/ShellFixtures.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace ostrel {
namespace {

TEST(SignalQuit, TermAndIntRunTheActionOnTheMainThreadThenTheOldHandlersReturn) {
    test::ensureQtApp();
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    int quits = 0;
    {
        SignalQuit quit([&] { ++quits; });
        ASSERT_TRUE(quit.isInstalled());
        ASSERT_EQ(std::raise(SIGTERM), 0);
        EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_TRUE(test::spinUntil([&] { return quits == 2; }));
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(SignalQuit, SigtermDuringAPlotLiftsThePenAndEndsTheRunWithoutAskingTheWindow) {
    test::ensureQtApp();
    test::FakeEbbBoard board;
    test::TempDir ports;
    std::filesystem::create_symlink(board.slavePath(), ports.path() / "ttyACM0");
    auto clock = std::make_shared<test::ManualRunClock>();
    clock->setHeld(true);  // the run's sleeps wait: it plots until stopped
    test::RecordingSettingsStore settings;
    AppModel::Environment environment;
    environment.settings = &settings;
    environment.panels = std::make_shared<test::ScriptedPanels>();
    environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
    environment.plotter = AxiDrawPlotterController::Environment{ports.path(), clock};
    AppModel model(AppModel::Options{}, std::move(environment));
    AxiDrawPlotterController& plotter = model.plotter();
    plotter.refreshPorts();
    ASSERT_EQ(plotter.selectedPortPath(), (ports.path() / "ttyACM0").string());
    ASSERT_TRUE(model.vectorizer().loadImage(test::threeStrokeDrawing(), "strokes", true));

    MainWindow window(model);
    int questions = 0;
    window.setCloseConfirmation([&](QWidget&) {
        ++questions;
        return false;
    });
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    plotter.startPlot(*model.vectorizer().result());
    ASSERT_TRUE(test::spinUntil([&] {
        if (clock->pendingCount() > 0) clock->releaseNext();
        return plotter.isPenDown();
    }));
    board.clearCommands();

    SignalQuit quit([&model] { quitForSignal(model); });
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(2); });  // only when the signal was not obeyed
    EXPECT_EQ(QApplication::exec(), 0);

    EXPECT_EQ(questions, 0);
    EXPECT_TRUE(window.isVisible());  // never asked to close
    EXPECT_FALSE(plotter.runState().isRunning() || plotter.runState().isPaused());
    // The board hears the stop and then the pen-up (after the moves it already had).
    ASSERT_TRUE(test::spinUntil([&] {
        const std::vector<std::string> sent = board.commandTexts();
        const auto stop = std::find(sent.begin(), sent.end(), "ES");
        return stop != sent.end() && stop + 1 != sent.end();
    })) << ::testing::PrintToString(board.commandTexts());
    const std::vector<std::string> sent = board.commandTexts();
    const auto stop = std::find(sent.begin(), sent.end(), "ES");
    EXPECT_EQ((stop + 1)->rfind("SP,1", 0), 0u) << ::testing::PrintToString(sent);
    EXPECT_TRUE(std::none_of(stop, sent.end(), [](const std::string& c) { return c.starts_with("SP,0"); }));
}

}  // namespace
}  // namespace ostrel
