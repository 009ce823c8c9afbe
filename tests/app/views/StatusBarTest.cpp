#include "app/views/bars/StatusBar.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/views/bars/BarControls.h"
#include "core/model/Format.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../shell/ShellFixtures.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cmath>
#include <fstream>
#include <functional>

namespace ostrel {
namespace {

using namespace std::chrono_literals;

class StatusBarTest : public ::testing::Test {
protected:
    StatusBarTest() { test::ensureQtApp(); }

    /// A model without services whose updater reads its feed from `feed`.
    void make(AppModel::Options options = {}) {
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = std::make_shared<test::ScriptedPanels>();
        environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
        environment.updater.variable = [this](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "KAVRIN_UPDATE_URL") return "file://" + feed.string();
            return std::nullopt;
        };
        environment.updater.launchDelay = std::chrono::hours(1);
        environment.flashDuration = 300ms;
        model = std::make_unique<AppModel>(options, std::move(environment));
        bar = std::make_unique<StatusBar>(*model);
        bar->resize(1200, StatusBar::barHeight);
        bar->show();
        QCoreApplication::processEvents();
    }

    template <class T = QWidget>
    T* part(const char* name) const {
        T* found = bar->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QColor pixelAtCentreOf(const char* name) const {
        const QWidget* widget = part(name);
        return QColor(bar->grab().toImage().pixel(widget->mapTo(bar.get(), widget->rect().center())));
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    test::TempDir files;
    std::filesystem::path feed = files.path() / "feed.json";
    std::unique_ptr<AppModel> model;
    std::unique_ptr<StatusBar> bar;
};

TEST_F(StatusBarTest, MessagePriorityIndicatorAndErrorColour) {
    make();
    VectorizerController& document = model->vectorizer();
    auto* indicator = part<ActivityIndicator>("indicator");
    auto* message = part<MiddleElidedText>("message");

    EXPECT_FALSE(indicator->isBusy());
    EXPECT_EQ(message->text().toStdString(), document.statusMessage());
    EXPECT_EQ(message->color(), Theme::textDim());
    EXPECT_EQ(pixelAtCentreOf("indicator"), Theme::alive());

    // A drawing, then a file that cannot be read: red dot, the status in red.
    document.loadPreset(SyntheticPreset::hatching, true);
    ASSERT_FALSE(model->open(files.path() / "missing.png"));
    EXPECT_FALSE(indicator->isBusy());
    EXPECT_EQ(message->text(), "Could not load image \"missing.png\".");
    EXPECT_EQ(message->color(), Theme::danger());
    EXPECT_EQ(pixelAtCentreOf("indicator"), Theme::danger());

    // A flash wins over the status and is drawn in the colour of its own kind, whatever stands.
    model->flash("Write error: disk full", FlashKind::error);
    EXPECT_EQ(message->color(), Theme::danger());
    model->flash("Saved: plot.svg");
    EXPECT_EQ(message->text(), "Saved: plot.svg");
    EXPECT_EQ(message->color(), Theme::textDim());
    EXPECT_EQ(pixelAtCentreOf("indicator"), Theme::danger()) << "the dot still tells the error";

    // A run under way while the earlier error stands: spinner, the flash first, then the stage.
    VectorizerParams params = document.params();
    params.curveSmoothing = params.curveSmoothing > 0.5 ? 0.2 : 0.8;
    document.setParams(params, RunSchedule::after(3600 * 1000));
    ASSERT_TRUE(document.isProcessing());
    EXPECT_TRUE(indicator->isBusy());
    EXPECT_EQ(message->text(), "Saved: plot.svg");
    ASSERT_TRUE(test::spinUntil([&] { return !model->flashMessage(); }, 10s));
    EXPECT_EQ(message->text().toStdString(), document.progressStage());
    EXPECT_EQ(message->color(), Theme::danger());

    // A finished run clears the error.
    document.runSynchronousVectorization();
    EXPECT_FALSE(indicator->isBusy());
    EXPECT_EQ(message->color(), Theme::textDim());
    EXPECT_EQ(message->text().toStdString(), document.statusMessage());
    EXPECT_EQ(pixelAtCentreOf("indicator"), Theme::alive());
}

TEST_F(StatusBarTest, AGoodDocumentAfterAFailedOpenClearsTheErrorAtOnce) {
    make();
    auto* message = part<MiddleElidedText>("message");
    const auto good = files.path() / "good.png";
    test::writeDrawing(good);
    for (const auto& open : std::vector<std::function<bool()>>{
             [&] { return model->open(good); },
             [&] { return model->vectorizer().loadImage(test::threeStrokeDrawing(), "pasted", false); },
             [&] {
                 model->vectorizer().loadPreset(SyntheticPreset::rosette, false);
                 return true;
             }}) {
        ASSERT_FALSE(model->open(files.path() / "missing.png"));
        ASSERT_EQ(message->color(), Theme::danger());
        ASSERT_TRUE(open());
        // The new document's run has not even finished: the old failure no longer stands.
        EXPECT_FALSE(model->vectorizer().lastError());
        EXPECT_EQ(message->color(), Theme::textDim());
        EXPECT_EQ(pixelAtCentreOf("indicator").rgb() == Theme::danger().rgb(), false);
        model->vectorizer().runSynchronousVectorization();
    }
}

TEST_F(StatusBarTest, FiguresAppearWithTheFirstResult) {
    make();
    auto* figures = part<QLabel>("figures");
    EXPECT_FALSE(figures->isVisibleTo(bar.get()));

    model->vectorizer().loadPreset(SyntheticPreset::rosette, true);
    ASSERT_TRUE(model->vectorizer().result());
    const PlotterMetrics& metrics = model->vectorizer().result()->metrics;
    EXPECT_TRUE(figures->isVisibleTo(bar.get()));
    EXPECT_EQ(figures->text().toStdString(), std::to_string(metrics.bezierSegmentCount) + " curves · " +
                                                 std::to_string(metrics.penLifts) + " lifts · ~" +
                                                 Format::duration(metrics.estimatedPlotSeconds));

    const test::LanguageScope french(AppLanguage::fr);
    StatusBar frenchBar(*model);
    const auto* frenchFigures = frenchBar.findChild<QLabel*>("figures");
    EXPECT_TRUE(frenchFigures->text().contains(" courbes · "));
    EXPECT_TRUE(frenchFigures->text().contains(" levées · ~"));
}

TEST_F(StatusBarTest, ALongMessageShortensInTheMiddleAndTheRestKeepsItsWidth) {
    make();
    model->vectorizer().loadPreset(SyntheticPreset::rosette, true);
    bar->resize(700, StatusBar::barHeight);
    const QString start = "Start of a very long message ";
    const QString end = " and its end";
    model->flash((start + QString(400, 'x') + end).toStdString());
    QCoreApplication::processEvents();

    const auto* message = part<MiddleElidedText>("message");
    const QString shown = message->shownText();
    EXPECT_TRUE(shown.startsWith("Start of")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("its end")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(message->geometry().right(), part("figures")->geometry().left());
    for (const char* name : {"figures", "osc", "help", "shortcuts", "version"}) {
        const QWidget* widget = part(name);
        EXPECT_GE(widget->width(), widget->sizeHint().width()) << name;
    }
}

TEST_F(StatusBarTest, ButtonsRaiseTheirSheetsAndTheBadgeFollowsTheUpdater) {
    make();
    EXPECT_EQ(part<QAbstractButton>("osc")->text(), "OSC :9140");
    EXPECT_EQ(part<QAbstractButton>("version")->text().toStdString(), "v" + StatusBar::versionText());
    EXPECT_EQ(part<QAbstractButton>("help")->text(), "? help");
    EXPECT_EQ(part<QAbstractButton>("shortcuts")->text(), "Ctrl+/ shortcuts");
    EXPECT_FALSE(part("update")->isVisibleTo(bar.get()));

    struct Case {
        const char* button;
        std::function<bool()> flag;
    };
    const Case cases[] = {
        {"osc", [&] { return model->showOSCGuide(); }},
        {"help", [&] { return model->showHelp(); }},
        {"shortcuts", [&] { return model->showShortcuts(); }},
        {"version", [&] { return model->showAbout(); }},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.flag()) << c.button;
        QTest::mouseClick(part<QAbstractButton>(c.button), Qt::LeftButton);
        EXPECT_TRUE(c.flag()) << c.button;
    }

    std::ofstream(feed) << R"({"version": "99.1.0", "url": "https://example.org/Ostrel.zip"})";
    model->updater().checkForUpdates(false);
    ASSERT_TRUE(test::spinUntil([&] { return model->updater().availableRelease().has_value(); }, 20s));
    auto* badge = part<StatusTextButton>("update");
    EXPECT_TRUE(badge->isVisibleTo(bar.get()));
    EXPECT_EQ(badge->text(), "↑ Update v99.1.0");
    EXPECT_EQ(badge->toolTip(), "Ostrel v99.1.0 update available");
    QCoreApplication::processEvents();
    // The capsule's left padding, clear of the text.
    const QPoint padding = badge->mapTo(bar.get(), QPoint(3, badge->height() / 2));
    EXPECT_EQ(QColor(bar->grab().toImage().pixel(padding)), Theme::accent());
    QTest::mouseClick(badge, Qt::LeftButton);
    EXPECT_TRUE(model->showUpdater());
}

TEST_F(StatusBarTest, TheOSCButtonShowsTheServersPort) {
    // Ports the system picks, so that the test never collides with a running application.
    ::setenv("OSTREL_API_PORT", "0", 1);
    ::setenv("OSTREL_OSC_IN_PORT", "0", 1);
    make(AppModel::Options{true, false, false});
    ::unsetenv("OSTREL_API_PORT");
    ::unsetenv("OSTREL_OSC_IN_PORT");
    RemoteControl* remote = model->remoteControl();
    ASSERT_NE(remote, nullptr);
    auto* osc = part<QAbstractButton>("osc");
    EXPECT_EQ(osc->text(), QStringLiteral("OSC :") + QString::number(remote->oscPort()));

    remote->startOSCServer(47123);
    EXPECT_EQ(osc->text(), "OSC :47123");
}

TEST(StatusBarVersionTest, TheBuildComesInParenthesesWhenThereIsOne) {
    AppVersion withBuild;
    withBuild.version = "1.4";
    withBuild.build = "57";
    EXPECT_EQ(StatusBar::versionText(withBuild), "1.4 (57)");
    AppVersion withoutBuild;
    withoutBuild.version = "1.4";
    EXPECT_EQ(StatusBar::versionText(withoutBuild), "1.4");
}

}  // namespace
}  // namespace ostrel

#include "app/launch/Snapshot.h"

namespace ostrel {
namespace {

/// Pixels inside `area` of `image` within `tolerance` of `color` on every channel.
int pixelsOf(const QImage& image, const QRect& area, QColor color, int tolerance = 0) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const bool near = std::abs(pixel.red() - color.red()) <= tolerance &&
                              std::abs(pixel.green() - color.green()) <= tolerance &&
                              std::abs(pixel.blue() - color.blue()) <= tolerance;
            count += near ? 1 : 0;
        }
    }
    return count;
}

TEST(WindowBarsSnapshot, TheSplitViewShowsTheRealBars) {
    test::ensureQtApp();
    test::TempDir folder;
    const std::string path = (folder.path() / "split.png").string();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_EQ(Snapshot::runCLISnapshot(path, "split", out, err), 0);
    std::fclose(out);
    std::fclose(err);
    const QImage image(QString::fromStdString(path));
    ASSERT_EQ(image.size(), QSize(1380, 820));

    // Top bar: its own fill, and the selected "side by side" button filled with the accent.
    EXPECT_EQ(image.pixelColor(600, 1), Theme::header());
    EXPECT_GT(pixelsOf(image, QRect(150, 8, 250, 24), Theme::accent()), 200);
    // The prominent Export SVG… at the right end.
    EXPECT_GT(pixelsOf(image, QRect(1250, 8, 120, 24), Theme::accent()), 200);
    // Status bar: the panel fill, the green dot of a finished run, the OSC port in its colour.
    EXPECT_EQ(image.pixelColor(600, 817), Theme::panel());
    EXPECT_GT(pixelsOf(image, QRect(8, 800, 16, 16), Theme::alive()), 10);
    EXPECT_GT(pixelsOf(image, QRect(900, 800, 480, 18), Theme::osc(), 24), 5);  // thin antialiased text
}

}  // namespace
}  // namespace ostrel
