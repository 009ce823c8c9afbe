#include "app/views/bars/TopBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/IconButton.h"
#include "app/ui/TextButton.h"
#include "app/views/bars/BarControls.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../shell/ShellFixtures.h"

#include <QMenu>
#include <QSlider>
#include <QVBoxLayout>
#include <QTest>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

class TopBarTest : public ::testing::Test {
protected:
    TopBarTest() {
        test::ensureQtApp();
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        environment.plotter.clock = clock;
        model = std::make_unique<AppModel>(AppModel::Options{}, std::move(environment));
        bar = std::make_unique<TopBar>(*model);
        bar->resize(1600, TopBar::barHeight);
        bar->show();
    }

    template <class T = QAbstractButton>
    T* control(const char* name) const {
        T* found = bar->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    /// Clicks a control once the layout has given it a size.
    void click(const char* name) {
        QAbstractButton* button = control(name);
        ASSERT_NE(button, nullptr);
        QCoreApplication::processEvents();
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    void loadPreset(SyntheticPreset preset = SyntheticPreset::rosette) {
        model->vectorizer().loadPreset(preset, true);
        ASSERT_TRUE(model->vectorizer().result());
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    std::shared_ptr<test::ScriptedPanels> panels = std::make_shared<test::ScriptedPanels>();
    std::shared_ptr<test::MemoryPasteboard> pasteboard = std::make_shared<test::MemoryPasteboard>();
    std::shared_ptr<test::ManualRunClock> clock = std::make_shared<test::ManualRunClock>();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<TopBar> bar;
};

TEST_F(TopBarTest, DocumentActionsWaitForAResultAndTheirStacks) {
    model->setOutputMode(VectorOutputMode::axidraw);
    for (const char* name : {"copySVG", "exportSVG", "plot", "undo", "redo"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    }
    EXPECT_EQ(control("plot")->text(), "Plot");
    for (const char* name : {"sidebar", "open", "preview", "handles", "outputMode"}) {
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    }

    loadPreset();
    for (const char* name : {"copySVG", "exportSVG", "plot"}) EXPECT_TRUE(control(name)->isEnabled()) << name;
    EXPECT_FALSE(control("undo")->isEnabled());

    // Undo with an empty stack flashes nothing.
    click("undo");
    EXPECT_FALSE(model->flashMessage());

    model->selectAllPaths();
    model->deleteSelectedPaths();
    ASSERT_TRUE(control("undo")->isEnabled());
    EXPECT_FALSE(control("redo")->isEnabled());
    model->selectAllPaths();
    click("undo");
    EXPECT_TRUE(control("redo")->isEnabled());
    EXPECT_FALSE(control("undo")->isEnabled());
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_EQ(model->flashMessage(), "Edit undone");
    click("redo");
    EXPECT_EQ(model->flashMessage(), "Edit redone");
    EXPECT_TRUE(control("undo")->isEnabled());
}

TEST_F(TopBarTest, TravelSwitchAndPlotButtonFollowTheSectionAndTheMode) {
    struct Case {
        VectorOutputMode mode;
        bool sectionShown;
        bool travel;
        bool plot;
    };
    const Case cases[] = {
        {VectorOutputMode::illustration, false, false, false},
        {VectorOutputMode::axidraw, false, false, true},
        {VectorOutputMode::illustration, true, true, true},
        {VectorOutputMode::axidraw, true, true, true},
    };
    for (const Case& c : cases) {
        model->setOutputMode(c.mode);
        model->setShowAxiDrawSection(c.sectionShown);
        const auto what = ::testing::Message()
                          << "axidraw " << (c.mode == VectorOutputMode::axidraw) << ", section " << c.sectionShown;
        EXPECT_EQ(control("travel")->isVisibleTo(bar.get()), c.travel) << what;
        EXPECT_EQ(control("plot")->isVisibleTo(bar.get()), c.plot) << what;
    }
}

TEST_F(TopBarTest, OutputModeButtonSwitchesAndShowsTheOtherFace) {
    VectorizerParams params = model->vectorizer().params();
    params.outputMode = VectorOutputMode::illustration;
    params.paperFormat = PaperFormat::a3;
    params.illustrationStrokeStyle = IllustrationStrokeStyle::perStrokeWidth;
    model->vectorizer().setParams(params, RunSchedule::after(100000));
    auto* badge = control<OutputModeBadge>("outputMode");
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(badge->text(), "Per-stroke");
    EXPECT_EQ(badge->color(), Theme::tcp());

    click("outputMode");
    EXPECT_EQ(model->vectorizer().params().outputMode, VectorOutputMode::axidraw);
    EXPECT_TRUE(model->showAxiDrawSection());
    EXPECT_EQ(badge->text(), "AxiDraw · A3");
    EXPECT_EQ(badge->color(), Theme::accent());
    EXPECT_EQ(badge->symbol(), "scribble.variable");
    EXPECT_TRUE(control("plot")->isVisibleTo(bar.get()));

    click("outputMode");
    EXPECT_EQ(model->vectorizer().params().outputMode, VectorOutputMode::illustration);
    EXPECT_EQ(badge->text(), "Per-stroke");
    EXPECT_EQ(badge->symbol(), "paintbrush.pointed.fill");
    EXPECT_FALSE(control("plot")->isVisibleTo(bar.get()));
}

TEST_F(TopBarTest, PlotButtonFormsFollowTheRunState) {
    using Kind = AxiDrawRunState::Kind;
    struct Case {
        Kind kind;
        const char* title;
        bool prominent;
        TopBar::PlotForm::Action action;
    };
    const Case cases[] = {
        {Kind::idle, "Plot", false, TopBar::PlotForm::Action::plot},
        {Kind::error, "Plot", false, TopBar::PlotForm::Action::plot},
        {Kind::disconnected, "Plot", false, TopBar::PlotForm::Action::plot},
        {Kind::plotting, "Pause", false, TopBar::PlotForm::Action::pause},
        {Kind::framingBoundingBox, "Pause", false, TopBar::PlotForm::Action::pause},
        {Kind::pausedByUser, "Resume", true, TopBar::PlotForm::Action::resume},
        {Kind::pausedForPenChange, "Resume", true, TopBar::PlotForm::Action::resume},
    };
    for (const Case& c : cases) {
        const TopBar::PlotForm form = TopBar::plotForm(c.kind);
        EXPECT_EQ(form.title, c.title) << static_cast<int>(c.kind);
        EXPECT_EQ(form.prominent, c.prominent) << static_cast<int>(c.kind);
        EXPECT_EQ(form.action, c.action) << static_cast<int>(c.kind);
    }
}

TEST_F(TopBarTest, PlotPauseAndResumeDriveTheSimulator) {
    clock->setHeld(true);  // the run waits in its first pause so the test can act during it
    loadPreset();
    model->setOutputMode(VectorOutputMode::axidraw);
    auto* plot = control<TextButton>("plot");
    ASSERT_NE(plot, nullptr);
    EXPECT_FALSE(plot->toolTip().isEmpty());
    EXPECT_FALSE(plot->isEnabled()) << "the mode's run is still to come";
    model->vectorizer().runSynchronousVectorization();

    click("plot");
    ASSERT_EQ(model->plotter().runState().kind, AxiDrawRunState::Kind::plotting);
    EXPECT_EQ(plot->text(), "Pause");
    EXPECT_FALSE(plot->style().prominent);
    EXPECT_TRUE(plot->toolTip().isEmpty());

    // Pause and Resume stay enabled without a result (a new drawing is on its way).
    model->vectorizer().loadPreset(SyntheticPreset::portrait, false);
    ASSERT_FALSE(model->vectorizer().result());
    EXPECT_TRUE(plot->isEnabled());
    click("plot");
    ASSERT_TRUE(test::spinUntil([&] {
        if (clock->pendingCount() > 0) clock->releaseNext();
        return model->plotter().runState().kind == AxiDrawRunState::Kind::pausedByUser;
    }));
    EXPECT_EQ(plot->text(), "Resume");
    EXPECT_TRUE(plot->style().prominent);
    EXPECT_TRUE(plot->isEnabled());
    click("plot");
    EXPECT_EQ(model->plotter().runState().kind, AxiDrawRunState::Kind::plotting);
    model->plotter().stopPlot();
}

TEST_F(TopBarTest, ViewModesToolsAndSwitchesWriteTheModel) {
    click("viewMode.overlay");
    EXPECT_EQ(model->viewMode(), CanvasViewMode::overlay);
    click("tool.erase");
    EXPECT_EQ(model->editTool(), CanvasEditTool::erase);
    EXPECT_TRUE(control<SegmentButton>("tool.erase")->isSelected());
    EXPECT_FALSE(control<SegmentButton>("tool.select")->isSelected());
    EXPECT_EQ(control<SegmentButton>("tool.erase")->ink(), Theme::tcp());
    EXPECT_EQ(control<SegmentButton>("viewMode.overlay")->ink(), Theme::background());
    EXPECT_EQ(control<SegmentButton>("viewMode.split")->ink(), Theme::textDim());

    struct Switch {
        const char* name;
        std::function<bool()> value;
    };
    const Switch switches[] = {
        {"sidebar", [&] { return model->showSidebar(); }},
        {"preview", [&] { return model->blackOnWhitePreview(); }},
        {"handles", [&] { return model->showControlPoints(); }},
    };
    for (const Switch& s : switches) {
        const bool before = s.value();
        click(s.name);
        EXPECT_NE(s.value(), before) << s.name;
        EXPECT_EQ(control<IconButton>(s.name)->isActive(), !before) << s.name;
        click(s.name);
        EXPECT_EQ(s.value(), before) << s.name;
    }
    model->setShowAxiDrawSection(true);
    click("travel");
    EXPECT_TRUE(model->showTravelMoves());
    EXPECT_TRUE(settings.writes.empty()) << "nothing is stored with persistence off";
}

TEST_F(TopBarTest, OpacitySlidersExistOnlyInOverlayAndWriteContinuously) {
    QWidget* sliders = control<QWidget>("opacities");
    ASSERT_NE(sliders, nullptr);
    for (const CanvasViewMode mode : kAllCanvasViewModes) {
        model->setViewMode(mode);
        EXPECT_EQ(sliders->isVisibleTo(bar.get()), mode == CanvasViewMode::overlay) << rawValue(mode);
    }
    model->setViewMode(CanvasViewMode::overlay);
    auto* bitmap = control<QSlider>("bitmapOpacity");
    auto* vector = control<QSlider>("vectorOpacity");
    EXPECT_EQ(bitmap->value(), 450);
    EXPECT_EQ(vector->value(), 1000);
    bitmap->setValue(200);
    EXPECT_DOUBLE_EQ(model->bitmapOpacity(), 0.2);
    model->setVectorOpacity(0.25);
    EXPECT_EQ(vector->value(), 250);

    // The overlay's sliders sit between the layout buttons and the tools.
    QCoreApplication::processEvents();
    EXPECT_GT(sliders->geometry().left(), control("viewMode.vector")->mapTo(bar.get(), QPoint(0, 0)).x());
    EXPECT_LT(sliders->geometry().right(), control("tool.pan")->mapTo(bar.get(), QPoint(0, 0)).x());
}

TEST_F(TopBarTest, RecentMenuListsTheFilesAndClears) {
    auto* menu = control<QMenu>("recentMenu");
    ASSERT_NE(menu, nullptr);
    // The menu as read: "[section]", "item", "item (inert)"; bare dividers left out.
    const auto entries = [&] {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->text().isEmpty()) continue;
            if (action->isSeparator()) {
                texts << "[" + action->text() + "]";
            } else {
                texts << action->text() + (action->isEnabled() ? "" : " (inert)");
            }
        }
        return texts.join(" | ").toStdString();
    };
    EXPECT_EQ(entries(), "No Recent Files (inert)");

    test::TempDir folder;
    for (const char* name : {"first.png", "second.png"}) {
        test::writeDrawing(folder.path() / name);
        ASSERT_TRUE(model->open(folder.path() / name));
    }
    EXPECT_EQ(entries(), "[Recent Files] | second.png | first.png | Clear Menu");

    // Choosing an entry opens that file.
    for (QAction* action : menu->actions()) {
        if (action->text() == "first.png") action->trigger();
    }
    ASSERT_TRUE(test::spinUntil([&] { return model->vectorizer().sourceTitle() == "first.png"; }));
    EXPECT_EQ(model->recentURLs().front(), folder.path() / "first.png");
    EXPECT_EQ(entries(), "[Recent Files] | first.png | second.png | Clear Menu");

    menu->findChild<QAction*>("clearRecent")->trigger();
    ASSERT_TRUE(test::spinUntil([&] { return model->recentURLs().empty(); }));
    EXPECT_EQ(entries(), "No Recent Files (inert)");
}

TEST_F(TopBarTest, PresetsMenuLoadsEachBuiltInDrawing) {
    auto* menu = control<QMenu>("presetsMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_EQ(control("presets")->text(), "Presets");
    model->applyZoom(3, {20, 20});
    model->setSelectedPathIDs({1, 2});
    for (QAction* action : menu->actions()) {
        const auto preset = syntheticPresetFromRaw(action->data().toString().toStdString());
        ASSERT_TRUE(preset) << action->data().toString().toStdString();
        // Shown as written: an "&" in the title is doubled, so it names no mnemonic.
        EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty()) << action->text().toStdString();
        EXPECT_EQ(QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString(),
                  label(*preset));
        action->trigger();
        EXPECT_EQ(model->vectorizer().activePreset(), preset);
        EXPECT_EQ(model->vectorizer().sourceTitle(), label(*preset));
        EXPECT_EQ(model->zoomScale(), 1.0);
        EXPECT_TRUE(model->selectedPathIDs().empty());
        // The vectorization runs in the background and arrives.
        ASSERT_TRUE(
            test::spinUntil([&] { return model->vectorizer().result().has_value(); }, std::chrono::seconds(60)));
        EXPECT_EQ(model->saveBaseName(), rawValue(*preset));
    }
}

TEST_F(TopBarTest, FrenchTextsAndTheSelectedLayoutIsDrawnInAccent) {
    const test::LanguageScope french(AppLanguage::fr);
    TopBar frenchBar(*model);
    frenchBar.resize(1600, TopBar::barHeight);
    frenchBar.show();
    model->setOutputMode(VectorOutputMode::axidraw);
    const auto text = [&](const char* name) {
        return frenchBar.findChild<QAbstractButton*>(QString::fromLatin1(name))->text();
    };
    EXPECT_EQ(text("open"), "Ouvrir…");
    EXPECT_EQ(text("presets"), "Modèles");
    EXPECT_EQ(text("viewMode.split"), "Côte à côte");
    EXPECT_EQ(text("tool.draw"), "Tracer");
    EXPECT_EQ(text("plot"), "Tracer");
    EXPECT_EQ(text("copySVG"), "Copier SVG");
    EXPECT_EQ(text("exportSVG"), "Exporter SVG…");
    EXPECT_EQ(frenchBar.findChild<QWidget*>("sidebar")->toolTip(), "Afficher ou masquer les paramètres (Ctrl+Alt+S)");

    const QImage image = frenchBar.grab().toImage();
    const QWidget* selected = frenchBar.findChild<QWidget*>("viewMode.split");
    const QPoint inside = selected->mapTo(&frenchBar, QPoint(3, selected->height() / 2));
    EXPECT_EQ(QColor(image.pixel(inside)), Theme::accent());
    EXPECT_EQ(QColor(image.pixel(2, 2)), Theme::header());
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

TEST_F(TopBarTest, ANarrowBarDropsToolTitlesThenLayoutTitlesAndKeepsTheActionsWhole) {
    const test::LanguageScope french(AppLanguage::fr);
    TopBar frenchBar(*model);
    frenchBar.show();
    model->setViewMode(CanvasViewMode::overlay);
    model->setOutputMode(VectorOutputMode::axidraw);
    bool sawToolsAlone = false;
    for (int width = 2000; width >= 900; width -= 20) {
        frenchBar.resize(width, TopBar::barHeight);
        QCoreApplication::processEvents();
        const bool tools = frenchBar.showsCompactToolButtons();
        const bool modes = frenchBar.showsCompactLayoutButtons();
        EXPECT_TRUE(tools || !modes) << width << ": the tools give up their titles first";
        sawToolsAlone = sawToolsAlone || (tools && !modes);
        if (width == 2000) {
            EXPECT_FALSE(tools);
        }
        if (width <= 980) {
            EXPECT_TRUE(modes) << width;
        }

        const QWidget* exportButton = frenchBar.findChild<QWidget*>("exportSVG");
        const QWidget* badge = frenchBar.findChild<QWidget*>("outputMode");
        EXPECT_LE(exportButton->geometry().right(), width - 10) << width;
        EXPECT_GE(exportButton->width(), exportButton->sizeHint().width()) << width;
        // While titles are shown, the whole left part is in view before the output mode.
        if (!modes) {
            const QWidget* last = frenchBar.findChild<QWidget*>("handles");
            EXPECT_LT(last->mapTo(&frenchBar, QPoint(last->width(), 0)).x(), badge->geometry().left()) << width;
        }
    }
    EXPECT_TRUE(sawToolsAlone);
    EXPECT_LT(frenchBar.minimumSizeHint().width(), 700) << "the bar never holds the window wider";
}

TEST_F(TopBarTest, TitlesAreFittedWhenShownAndWhenWhatTheBarShowsChanges) {
    // Shown at the window's default width inside a window: every title has room from the start.
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    auto* placed = new TopBar(*model, &window);
    column->addWidget(placed);
    column->addStretch(1);
    window.resize(1380, 200);
    window.show();
    ASSERT_TRUE(test::spinUntil([&] { return placed->width() == 1380; }));
    EXPECT_EQ(placed->droppedTitleSteps(), 0);

    // The plot button and the travel switch appear: titles go at once, without a resize, so the
    // left part still ends before the output mode; they come back when the two go.
    const test::LanguageScope french(AppLanguage::fr);
    TopBar frenchBar(*model);
    frenchBar.show();
    const auto leftPartEndsInTime = [&] {
        const QWidget* travel = frenchBar.findChild<QWidget*>("travel");
        const QWidget* badge = frenchBar.findChild<QWidget*>("outputMode");
        return travel->mapTo(&frenchBar, QPoint(travel->width(), 0)).x() <= badge->geometry().left();
    };
    bool sawTitlesGo = false;
    for (int width = 1600; width >= 1000; width -= 20) {
        SCOPED_TRACE(width);
        frenchBar.resize(width, TopBar::barHeight);
        QCoreApplication::processEvents();
        const int before = frenchBar.droppedTitleSteps();
        model->setShowAxiDrawSection(true);
        model->setOutputMode(VectorOutputMode::axidraw);
        QCoreApplication::processEvents();
        sawTitlesGo = sawTitlesGo || frenchBar.droppedTitleSteps() > before;
        EXPECT_TRUE(leftPartEndsInTime());
        for (const char* name : {"open", "presets", "plot", "copySVG", "exportSVG"}) {
            const QWidget* button = frenchBar.findChild<QWidget*>(name);
            EXPECT_GE(button->width(), button->sizeHint().width()) << name << ": a title is whole or absent";
        }
        model->setShowAxiDrawSection(false);
        model->setOutputMode(VectorOutputMode::illustration);
        QCoreApplication::processEvents();
        EXPECT_EQ(frenchBar.droppedTitleSteps(), before);
    }
    EXPECT_TRUE(sawTitlesGo);
}

}  // namespace
}  // namespace ostrel
