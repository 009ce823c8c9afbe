#include "app/shell/AppModel.h"
#include "app/shell/BuildNumber.h"
#include "app/remote/RemoteControl.h"
#include "core/support/app/AppVersion.h"

#include "app/shell/ShellFixtures.h"
#include "testsupport/ConfigHomeScope.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>

#include <cmath>
#include <limits>
#include <thread>

namespace ostrel {
namespace {

using namespace std::chrono_literals;

class AppModelTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureQtApp(); }

    std::unique_ptr<AppModel> makeModel(bool persist, std::chrono::milliseconds flash = 2600ms) {
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        environment.flashDuration = flash;
        return std::make_unique<AppModel>(AppModel::Options{false, persist, false}, std::move(environment));
    }

    test::RecordingSettingsStore settings;
    std::shared_ptr<test::ScriptedPanels> panels = std::make_shared<test::ScriptedPanels>();
    std::shared_ptr<test::MemoryPasteboard> pasteboard = std::make_shared<test::MemoryPasteboard>();
    test::TempDir files;
};

TEST_F(AppModelTest, StartsWithTheInitialValuesAndNoDocument) {
    const auto model = makeModel(false);
    EXPECT_EQ(model->viewMode(), CanvasViewMode::sideBySide);
    EXPECT_EQ(model->editTool(), CanvasEditTool::select);
    EXPECT_TRUE(model->showSidebar());
    EXPECT_FALSE(model->showTravelMoves() || model->showControlPoints() || model->blackOnWhitePreview() ||
                 model->showAxiDrawSection());
    EXPECT_DOUBLE_EQ(model->bitmapOpacity(), 0.45);
    EXPECT_DOUBLE_EQ(model->vectorOpacity(), 1.0);
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_FALSE(model->selectedVertex());
    EXPECT_EQ(model->activeDrawPenIndex(), 0);
    EXPECT_DOUBLE_EQ(model->eraserRadiusPx(), 8.0);
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1.0);
    EXPECT_EQ(model->panOffset(), QPointF(0, 0));
    EXPECT_FALSE(model->hasOpenSheet());
    EXPECT_EQ(model->exportFormat(), VectorExportFormat::svgAxiDraw);
    EXPECT_FALSE(model->flashMessage());
    EXPECT_EQ(model->language(), Localization::current());
    EXPECT_FALSE(model->vectorizer().result());
    EXPECT_EQ(model->remoteControl(), nullptr);
    EXPECT_EQ(model->updater().appName(), "Ostrel");
    EXPECT_EQ(model->updater().currentVersion(), AppVersion::current().version);
    EXPECT_EQ(model->plotting().plotter(), &model->plotter());
}

TEST_F(AppModelTest, TheDefaultPresetIsVectorizedAtOnceWithoutServices) {
    AppModel::Environment environment;
    environment.settings = &settings;
    AppModel model(AppModel::Options{false, false, true}, std::move(environment));
    EXPECT_EQ(model.vectorizer().activePreset(), SyntheticPreset::portrait);
    EXPECT_TRUE(model.vectorizer().result());
}

TEST_F(AppModelTest, WithServicesTheModelStartsTheRemoteEndpoints) {
    // Ports the system picks, so that the test never collides with a running application.
    struct PortScope {
        PortScope() {
            ::setenv("OSTREL_API_PORT", "0", 1);
            ::setenv("OSTREL_OSC_IN_PORT", "0", 1);
        }
        ~PortScope() {
            ::unsetenv("OSTREL_API_PORT");
            ::unsetenv("OSTREL_OSC_IN_PORT");
        }
    } ports;
    AppModel::Environment environment;
    environment.settings = &settings;
    AppModel model(AppModel::Options{true, false, false}, std::move(environment));
    ASSERT_NE(model.remoteControl(), nullptr);
    EXPECT_TRUE(model.remoteControl()->isHTTPServerRunning());
    EXPECT_NE(model.remoteControl()->httpPort(), 0);
    EXPECT_EQ(model.remoteControl()->document(), &model.vectorizer());
}

TEST_F(AppModelTest, PersistenceOffNeverTouchesTheStoredToggles) {
    settings.store.setString("blackOnWhitePreview", "true");
    settings.store.setString("showAxiDrawSection", "true");
    const auto model = makeModel(false);
    EXPECT_FALSE(model->blackOnWhitePreview());
    EXPECT_FALSE(model->showAxiDrawSection());
    model->setBlackOnWhitePreview(true);
    model->setShowAxiDrawSection(true);
    model->clearRecentURLs();
    EXPECT_TRUE(settings.writes.empty());
    EXPECT_FALSE(settings.reads.count("blackOnWhitePreview"));
    EXPECT_FALSE(settings.reads.count("showAxiDrawSection"));
}

TEST_F(AppModelTest, PersistenceOnRestoresStoredTogglesAndWritesEveryAssignment) {
    {
        const auto model = makeModel(true);
        EXPECT_FALSE(model->blackOnWhitePreview());
        EXPECT_FALSE(model->showAxiDrawSection());
        EXPECT_TRUE(settings.writes.empty()) << "absent keys stay absent";
    }
    settings.store.setString("blackOnWhitePreview", "true");
    {
        const auto model = makeModel(true);
        EXPECT_TRUE(model->blackOnWhitePreview());
        EXPECT_FALSE(model->showAxiDrawSection());
        EXPECT_EQ(settings.writes, std::vector<std::string>{"blackOnWhitePreview"}) << "restored through the setter";
        model->setShowAxiDrawSection(false);  // an unchanged value is written too
        EXPECT_EQ(settings.store.string("showAxiDrawSection"), "false");
        model->setBlackOnWhitePreview(false);
        EXPECT_EQ(settings.store.string("blackOnWhitePreview"), "false");
    }
}

TEST_F(AppModelTest, StoredTogglesSurviveARestartOnTheSameSettingsFile) {
    test::ConfigHomeScope configHome;
    {
        AppModel model(AppModel::Options{false, true, false}, AppModel::Environment{});
        model.setBlackOnWhitePreview(true);
        model.setShowAxiDrawSection(true);
    }
    AppModel restarted(AppModel::Options{false, true, false}, AppModel::Environment{});
    EXPECT_TRUE(restarted.blackOnWhitePreview());
    EXPECT_TRUE(restarted.showAxiDrawSection());
    QSettings ini(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Ostrel"), QStringLiteral("Ostrel"));
    EXPECT_TRUE(ini.fileName().startsWith(QString::fromStdString(configHome.path().string())))
        << ini.fileName().toStdString();
    EXPECT_EQ(ini.value(QString::fromStdString(SettingsStore::keyFor("blackOnWhitePreview"))).toString(), "true");
}

TEST(BuildNumber, TheUpdaterAlwaysReceivesANumber) {
    struct Case {
        std::optional<std::string> text;
        std::int64_t build;
    };
    const Case cases[] = {
        {std::nullopt, 1},
        {"42", 42},
        {"+7", 7},
        {"-3", -3},
        {"4.2", 1},
        {"", 1},
        {"+", 1},
        {"-", 1},
        {"4a", 1},
        {" 42", 1},
        {"٤٢", 1},  // only ASCII digits
        {"9223372036854775807", 9223372036854775807},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", 1},
        {"99999999999999999999999", 1},  // no overflow
    };
    for (const Case& c : cases) EXPECT_EQ(updaterBuildNumber(c.text), c.build) << c.text.value_or("(none)");
}

TEST_F(AppModelTest, OutputModeSwitchesTheDocumentAndThePlotterSection) {
    const auto model = makeModel(true);
    QSignalSpy params(&model->vectorizer(), &VectorizerController::paramsChanged);
    QSignalSpy section(model.get(), &AppModel::showAxiDrawSectionChanged);
    model->setOutputMode(VectorOutputMode::illustration);  // the current mode
    EXPECT_EQ(params.count(), 0);
    EXPECT_EQ(section.count(), 0);
    model->setOutputMode(VectorOutputMode::axidraw);
    EXPECT_EQ(model->vectorizer().params().outputMode, VectorOutputMode::axidraw);
    EXPECT_TRUE(model->showAxiDrawSection());
    EXPECT_EQ(settings.store.string("showAxiDrawSection"), "true");
    ASSERT_EQ(section.count(), 1);
    EXPECT_EQ(section.front().front().value<ViewAnimation>(), ViewAnimation::outputModeSwitch);
    VectorizerParams expected;
    expected.outputMode = VectorOutputMode::axidraw;
    EXPECT_EQ(model->vectorizer().params(), expected) << "no other parameter changes";
    model->setOutputMode(VectorOutputMode::illustration);
    EXPECT_FALSE(model->showAxiDrawSection());
    EXPECT_EQ(settings.store.string("showAxiDrawSection"), "false");
}

TEST_F(AppModelTest, ANewerFlashReplacesTheTextAndRestartsItsPeriod) {
    constexpr auto period = 300ms;
    const auto model = makeModel(false, period);
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<std::optional<std::string>, Clock::time_point>> shown;
    QObject::connect(model.get(), &AppModel::flashMessageChanged,
                     [&] { shown.emplace_back(model->flashMessage(), Clock::now()); });
    model->flash("first");
    test::spinUntil([] { return false; }, 150ms);
    model->flash("second");
    ASSERT_TRUE(test::spinUntil([&] { return !model->flashMessage(); }, 3s));
    test::spinUntil([] { return false; }, 100ms);
    ASSERT_EQ(shown.size(), 3u) << "the first flash's timer cleared nothing";
    EXPECT_EQ(shown[1].first, "second");
    EXPECT_FALSE(shown[2].first);
    EXPECT_GE(shown[2].second - shown[1].second, period - 2ms) << "the second text stays its whole period";
}

TEST_F(AppModelTest, ZoomIsClampedAndKeepsTheAnchoredPointInPlace) {
    const auto model = makeModel(false);
    model->applyZoom(100, {0, 0});
    EXPECT_DOUBLE_EQ(model->zoomScale(), 64);
    model->applyZoom(0.05, {0, 0});
    EXPECT_DOUBLE_EQ(model->zoomScale(), 0.2);

    model->resetZoom(false);
    model->setPanOffset({10, 0});
    model->applyZoom(2, {0, 0});
    EXPECT_EQ(model->panOffset(), QPointF(20, 0));
    model->applyZoom(4, {30, -10});  // the content point under (30, -10) stays there
    EXPECT_EQ(model->panOffset(), QPointF(2 * (20 - 30) + 30, 2 * (0 + 10) - 10));

    const QPointF pan = model->panOffset();
    QSignalSpy zoom(model.get(), &AppModel::zoomScaleChanged);
    QSignalSpy panned(model.get(), &AppModel::panOffsetChanged);
    model->applyZoom(4.00001, {5, 5});
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    model->applyZoom(nan, {0, 0});
    model->applyZoom(inf, {0, 0});
    model->applyZoom(2, {nan, 0});
    model->applyZoom(2, {0, -inf});
    EXPECT_EQ(zoom.count() + panned.count(), 0);
    EXPECT_DOUBLE_EQ(model->zoomScale(), 4);
    EXPECT_EQ(model->panOffset(), pan);
}

TEST_F(AppModelTest, ZoomStepsStopAtTheLimitsAndResetReturnsHome) {
    const auto model = makeModel(false);
    std::vector<std::string> order;
    QObject::connect(model.get(), &AppModel::panOffsetChanged, [&](ViewAnimation) { order.push_back("pan"); });
    QObject::connect(model.get(), &AppModel::zoomScaleChanged,
                     [&](ViewAnimation a) { order.push_back(a == ViewAnimation::zoomStep ? "zoom step" : "zoom"); });
    model->zoomIn();
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1.25);
    EXPECT_EQ(order, (std::vector<std::string>{"pan", "zoom step"})) << "pan is assigned before zoom";
    for (int i = 0; i < 40; ++i) model->zoomIn();
    EXPECT_DOUBLE_EQ(model->zoomScale(), 64);
    order.clear();
    model->zoomIn();
    EXPECT_TRUE(order.empty());
    for (int i = 0; i < 60; ++i) model->zoomOut();
    EXPECT_DOUBLE_EQ(model->zoomScale(), 0.2);

    model->setPanOffset({-7, 9});
    QSignalSpy reset(model.get(), &AppModel::zoomScaleChanged);
    model->resetZoom(true);
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1);
    EXPECT_EQ(model->panOffset(), QPointF(0, 0));
    ASSERT_EQ(reset.count(), 1);
    EXPECT_EQ(reset.front().front().value<ViewAnimation>(), ViewAnimation::zoomReset);
}

TEST(CanvasModes, RawValuesMatchExactly) {
    EXPECT_EQ(canvasViewModeFromRaw("vector"), CanvasViewMode::vectorOnly);
    EXPECT_EQ(canvasViewModeFromRaw("split"), CanvasViewMode::sideBySide);
    EXPECT_EQ(canvasViewModeFromRaw("overlay"), CanvasViewMode::overlay);
    EXPECT_FALSE(canvasViewModeFromRaw("Vector"));
    EXPECT_FALSE(canvasViewModeFromRaw("vectorOnly"));
    EXPECT_FALSE(canvasViewModeFromRaw(""));
    EXPECT_EQ(canvasEditToolFromRaw("erase"), CanvasEditTool::erase);
    EXPECT_FALSE(canvasEditToolFromRaw("Erase"));
    test::LanguageScope english(AppLanguage::en);
    EXPECT_EQ(helpText(CanvasEditTool::select),
              "Select, drag vertices/strokes, change pen layer, or delete (Backspace)");
}

TEST_F(AppModelTest, RecentFilesAreStandardizedUniqueNewestFirstAndAtMostTwelve) {
    const auto model = makeModel(true);
    std::vector<std::filesystem::path> drawings;
    for (int i = 0; i < 13; ++i) {
        drawings.push_back(files.path() / ("d" + std::to_string(i) + ".png"));
        test::writeDrawing(drawings.back());
    }
    ASSERT_TRUE(model->open(drawings[0]));
    ASSERT_TRUE(model->open(drawings[1]));
    std::filesystem::create_directories(files.path() / "sub");
    ASSERT_TRUE(model->open(files.path() / "sub" / ".." / "d0.png"));  // the same file again
    EXPECT_EQ(model->recentURLs(), (std::vector<std::filesystem::path>{drawings[0], drawings[1]}));
    for (int i = 2; i < 13; ++i) ASSERT_TRUE(model->open(drawings[i]));
    ASSERT_EQ(model->recentURLs().size(), 12u);
    EXPECT_EQ(model->recentURLs().front(), drawings[12]);
    EXPECT_EQ(model->recentURLs().back(), drawings[0]) << "reopened, so d1 was the oldest and is dropped";
    EXPECT_EQ(std::find(model->recentURLs().begin(), model->recentURLs().end(), drawings[1]),
              model->recentURLs().end());
    const auto stored = settings.store.stringList("recentPaths");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->front(), drawings[12].string());
    EXPECT_EQ(stored->size(), 12u);
}

TEST_F(AppModelTest, RecentFilesAtStartSkipMissingFilesAndDuplicates) {
    const auto kept = files.path() / "kept.png";
    const auto gone = files.path() / "gone.png";
    test::writeDrawing(kept);
    settings.store.setStringList("recentPaths", {gone.string(), kept.string(), kept.string(), "relative.png"});
    // Read in every model, written by none at start.
    const auto model = makeModel(false);
    EXPECT_EQ(model->recentURLs(), std::vector<std::filesystem::path>{kept});
    EXPECT_TRUE(settings.writes.empty());
    EXPECT_EQ(settings.store.stringList("recentPaths")->size(), 4u);
}

TEST_F(AppModelTest, RecentFilesWithoutPersistenceLiveOnlyInMemory) {
    const auto model = makeModel(false);
    const auto drawing = files.path() / "a.png";
    test::writeDrawing(drawing);
    ASSERT_TRUE(model->open(drawing));
    EXPECT_EQ(model->recentURLs().size(), 1u);
    model->clearRecentURLs();
    EXPECT_TRUE(model->recentURLs().empty());
    EXPECT_TRUE(settings.writes.empty());
}

TEST_F(AppModelTest, ClearingTheRecentFilesRemovesTheStoredList) {
    const auto model = makeModel(true);
    const auto drawing = files.path() / "a.png";
    test::writeDrawing(drawing);
    ASSERT_TRUE(model->open(drawing));
    model->clearRecentURLs();
    EXPECT_TRUE(model->recentURLs().empty());
    EXPECT_FALSE(settings.store.stringList("recentPaths"));
}

TEST_F(AppModelTest, TheUpdaterChecksTheConfiguredFeedAndStoresOnlyWithPersistence) {
    const auto feed = files.path() / "feed.json";
    std::ofstream(feed) << R"({"version": "99.0", "url": "https://example.org/Ostrel-linux.zip"})";
    for (const bool persist : {false, true}) {
        SCOPED_TRACE(persist);
        test::RecordingSettingsStore store;
        AppModel::Environment environment;
        environment.settings = &store;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        environment.updater.variable = [&](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "KAVRIN_UPDATE_URL") return "file://" + feed.string();
            return std::nullopt;
        };
        AppModel model(AppModel::Options{false, persist, false}, std::move(environment));
        AppModel::Updater& updater = model.updater();
        EXPECT_EQ(updater.state(), AppModel::Updater::State(UpdaterState::Idle{}));
        updater.checkForUpdates(false);
        EXPECT_EQ(updater.state(), AppModel::Updater::State(UpdaterState::Checking{}));
        ASSERT_TRUE(test::spinUntil([&] { return updater.availableRelease().has_value(); }));
        EXPECT_EQ(updater.availableRelease()->version, "99.0");
        EXPECT_EQ(store.store.string("lastUpdateCheckTimestamp").has_value(), persist)
            << "the user defaults are written only with persistence on";
    }
}

}  // namespace
}  // namespace ostrel
