// The floating pieces over the canvas: selection bar, zoom bar, edit hint, plotter banner (driven
// by the plotter simulator), as the canvas shows them.
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/shell/Theme.h"
#include "app/ui/IconButton.h"
#include "app/ui/TextButton.h"
#include "app/views/canvas/CanvasEditingController.h"
#include "app/views/canvas/CanvasOverlayParts.h"
#include "app/views/canvas/EditHintPill.h"
#include "app/views/canvas/PlotterLiveBanner.h"
#include "app/views/canvas/SelectionActionBar.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "app/views/canvas/ZoomBar.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../../shell/ShellFixtures.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

class CanvasOverlayBarsTest : public ::testing::Test {
protected:
    CanvasOverlayBarsTest() {
        test::ensureQtApp();
        host.resize(900, 600);
        host.show();
    }

    AppModel::Environment environment() {
        AppModel::Environment env;
        env.settings = &settings;
        env.panels = std::make_shared<test::ScriptedPanels>();
        env.pasteboard = std::make_shared<test::MemoryPasteboard>();
        env.plotter = AxiDrawPlotterController::Environment{ports.path(), clock};
        return env;
    }

    /// A document of two pen layers with a few strokes each.
    void openTwoPenDocument() {
        VectorizerParams params = model.vectorizer().params();
        params.penCount = 2;
        model.vectorizer().setParams(params, RunSchedule::now());
        ASSERT_TRUE(model.vectorizer().loadImage(test::threeStrokeDrawing(), "strokes", true));
        ASSERT_TRUE(model.vectorizer().result().has_value());
    }

    /// The ids of the current result's strokes, in layer and stroke order.
    std::vector<std::int64_t> strokeIDs() const {
        std::vector<std::int64_t> all;
        for (const PenLayer& layer : model.vectorizer().result()->layers) {
            for (const VectorPath& path : layer.paths) all.push_back(path.id);
        }
        return all;
    }

    /// The visible text buttons' titles of `widget`, left to right.
    static std::vector<QString> buttonTitles(const QWidget& widget) {
        std::vector<const TextButton*> buttons;
        for (const TextButton* button : widget.findChildren<TextButton*>()) {
            if (!button->isHidden()) buttons.push_back(button);
        }
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        std::vector<QString> titles;
        for (const TextButton* button : buttons) titles.push_back(button->text());
        return titles;
    }

    static std::vector<QAbstractButton*> penChips(const QWidget& bar) {
        std::vector<QAbstractButton*> chips;
        for (QAbstractButton* button : bar.findChildren<QAbstractButton*>()) {
            if (!qobject_cast<TextButton*>(button) && !qobject_cast<IconButton*>(button) && !button->isHidden()) {
                chips.push_back(button);
            }
        }
        std::sort(chips.begin(), chips.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        return chips;
    }

    // Widgets need the application before they are made.
    bool appReady = (test::ensureQtApp(), true);
    test::TempDir ports;
    std::shared_ptr<test::ManualRunClock> clock = std::make_shared<test::ManualRunClock>();
    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, environment()};
    QWidget host;
};

// ---- Selection bar ------------------------------------------------------------------------------

TEST_F(CanvasOverlayBarsTest, CountTextInBothLanguages) {
    const struct {
        std::int64_t n;
        const char* french;
        const char* english;
    } cases[] = {{1, "1 trait sélectionné", "1 stroke selected"},
                 {2, "2 traits sélectionnés", "2 strokes selected"},
                 {12345, "12345 traits sélectionnés", "12345 strokes selected"}};
    for (const auto& c : cases) {
        {
            test::LanguageScope french(AppLanguage::fr);
            EXPECT_EQ(SelectionActionBar::countText(c.n), QString::fromUtf8(c.french));
        }
        test::LanguageScope english(AppLanguage::en);
        EXPECT_EQ(SelectionActionBar::countText(c.n), QString::fromUtf8(c.english));
    }
}

TEST_F(CanvasOverlayBarsTest, ButtonsFollowTheSelectionAndTheVertex) {
    test::LanguageScope english(AppLanguage::en);
    openTwoPenDocument();
    SelectionActionBar bar(model, &host);
    const std::vector<std::int64_t> ids = strokeIDs();
    ASSERT_GE(ids.size(), 2u);

    model.setSelectedPathIDs({ids[0]});
    EXPECT_EQ(buttonTitles(bar), (std::vector<QString>{"Simplify", "Reverse", "Delete (Backspace)"}));
    model.setSelectedPathIDs({ids[0], ids[1]});
    EXPECT_EQ(buttonTitles(bar), (std::vector<QString>{"Simplify", "Reverse", "Join", "Delete (Backspace)"}));
    model.setSelectedVertex(SelectedVertex{ids[0], 0});
    EXPECT_EQ(buttonTitles(bar), (std::vector<QString>{"Simplify", "Reverse", "Join", "Split", "Delete (Backspace)"}));
    const auto tips = [&] {
        std::vector<QString> all;
        for (const TextButton* button : bar.findChildren<TextButton*>()) all.push_back(button->toolTip());
        return all;
    }();
    EXPECT_NE(std::find(tips.begin(), tips.end(), "Split stroke in two at selected vertex"), tips.end());

    // Join leaves one stroke and the bar says so; deselect empties the selection.
    for (TextButton* button : bar.findChildren<TextButton*>()) {
        if (button->text() == "Join") button->click();
    }
    ASSERT_EQ(model.selectedPathIDs().size(), 1u);
    EXPECT_EQ(buttonTitles(bar), (std::vector<QString>{"Simplify", "Reverse", "Delete (Backspace)"}));
    IconButton* deselect = bar.findChild<IconButton*>();
    ASSERT_NE(deselect, nullptr);
    EXPECT_EQ(deselect->toolTip(), "Deselect all (Esc)") << "the key named in words, as the menus name keys";
    deselect->click();
    EXPECT_TRUE(model.selectedPathIDs().empty());
}

TEST_F(CanvasOverlayBarsTest, PenChipsOnlyForTheResultsLayers) {
    // Pen slots come from penCount (1…4) and stop at the layers the result has.
    PenLayer layer0 = PenLayer::make(0);
    PenLayer layer2 = PenLayer::make(2);
    VectorizationResult result;
    result.layers = {layer0, PenLayer::make(1), layer2, PenLayer::make(3)};
    const struct {
        std::int64_t penCount;
        std::vector<std::int64_t> pens;
    } full[] = {{0, {0}}, {1, {0}}, {2, {0, 1}}, {3, {0, 1, 2}}, {4, {0, 1, 2, 3}}, {9, {0, 1, 2, 3}}};
    for (const auto& c : full) EXPECT_EQ(SelectionActionBar::offeredPens(c.penCount, &result), c.pens) << c.penCount;
    result.layers = {layer0, layer2};
    EXPECT_EQ(SelectionActionBar::offeredPens(4, &result), (std::vector<std::int64_t>{0, 2}));
    EXPECT_TRUE(SelectionActionBar::offeredPens(4, nullptr).empty());

    // On screen: chip "2" assigns to pen index 1, with its tooltip and colour.
    test::LanguageScope french(AppLanguage::fr);
    openTwoPenDocument();
    SelectionActionBar bar(model, &host);
    const VectorizationResult& current = *model.vectorizer().result();
    ASSERT_EQ(current.layers.size(), 2u);
    ASSERT_FALSE(current.layers[0].paths.empty());
    const std::int64_t id = current.layers[0].paths.front().id;
    model.setSelectedPathIDs({id});
    const auto chips = penChips(bar);
    ASSERT_EQ(chips.size(), 2u);
    EXPECT_EQ(chips[1]->toolTip(), "Affecter au Stylo 2");
    bar.adjustSize();
    const QImage picture = chips[1]->grab().toImage();
    EXPECT_EQ(picture.pixelColor(10, picture.height() / 2), Theme::tcp()) << "the dot of pen 2";
    chips[1]->click();
    const auto& layers = model.vectorizer().result()->layers;
    EXPECT_TRUE(
        std::any_of(layers[1].paths.begin(), layers[1].paths.end(), [id](const VectorPath& p) { return p.id == id; }));
    EXPECT_EQ(model.flashMessage(), std::optional<std::string>("Affecté au Stylo 2"));

    // A single-pen document offers no chips.
    VectorizerParams params = model.vectorizer().params();
    params.penCount = 1;
    model.vectorizer().setParams(params, RunSchedule::now());
    model.setSelectedPathIDs({model.vectorizer().result()->layers[0].paths.front().id});
    EXPECT_TRUE(penChips(bar).empty());
}

// ---- Zoom bar and hint --------------------------------------------------------------------------

TEST_F(CanvasOverlayBarsTest, ZoomBarPercentageSequence) {
    ZoomBar bar(model, &host);
    const auto label = [&] { return bar.percentButton()->text(); };
    EXPECT_EQ(label(), "100 %");
    for (const char* expected : {"125 %", "156 %", "195 %"}) {
        bar.zoomInButton()->click();
        EXPECT_EQ(label(), expected);
    }
    model.applyZoom(1, {40, 0});
    model.setPanOffset({30, 12});
    bar.percentButton()->click();
    EXPECT_EQ(label(), "100 %");
    EXPECT_EQ(model.panOffset(), QPointF(0, 0));
    for (const char* expected : {"80 %", "64 %", "51 %", "41 %", "33 %", "26 %", "21 %", "20 %", "20 %"}) {
        bar.zoomOutButton()->click();
        EXPECT_EQ(label(), expected);
    }
    EXPECT_DOUBLE_EQ(model.zoomScale(), 0.2);
    model.applyZoom(64, {0, 0});
    EXPECT_EQ(label(), "6400 %");
    bar.zoomInButton()->click();
    EXPECT_EQ(model.zoomScale(), 64);

    EXPECT_EQ(ZoomBar::percentText(0.125), "13 %") << "halves round away from zero";
    test::LanguageScope english(AppLanguage::en);
    model.setLanguage(AppLanguage::en);
    EXPECT_EQ(bar.zoomOutButton()->toolTip(), "Zoom out (Ctrl+-)");
    EXPECT_EQ(bar.percentButton()->toolTip(), "Reset view to 100% and center (Z / Ctrl+0)");
}

TEST_F(CanvasOverlayBarsTest, EditHintFollowsTheTool) {
    test::LanguageScope english(AppLanguage::en);
    EditHintPill pill(model, &host);
    pill.show();
    const struct {
        CanvasEditTool tool;
        const char* symbol;
    } cases[] = {{CanvasEditTool::pan, "hand.draw"},
                 {CanvasEditTool::select, "cursorarrow.click"},
                 {CanvasEditTool::erase, "eraser"},
                 {CanvasEditTool::draw, "pencil.tip"}};
    for (const auto& c : cases) {
        model.setEditTool(c.tool);
        EXPECT_EQ(pill.shownSymbol(), c.symbol);
        EXPECT_EQ(pill.shownText(), QString::fromStdString(helpText(c.tool)));
    }
    EXPECT_EQ(pill.shownText(), "Draw a new freehand stroke in the active pen layer");
    // Narrowed, the hint is cut at the tail.
    pill.resize(pill.sizeHint().width() / 2, pill.height());
    EXPECT_TRUE(pill.shownText().endsWith(QStringLiteral("…")));
    // The eraser symbol is drawn (no glyph): accent pixels in the symbol box.
    pill.resize(pill.sizeHint());
    model.setEditTool(CanvasEditTool::erase);
    const QImage picture = pill.grab().toImage();
    int accent = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 9; x < 23; ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 140 && c.blue() < 140) ++accent;
        }
    }
    EXPECT_GT(accent, 5);
}

// ---- Plotter banner -----------------------------------------------------------------------------

TEST_F(CanvasOverlayBarsTest, BannerPercentAndActiveStates) {
    const struct {
        double fraction;
        const char* text;
    } percents[] = {{0, "0 %"}, {0.004, "0 %"}, {0.005, "1 %"}, {0.5, "50 %"}, {1, "100 %"}};
    for (const auto& c : percents) EXPECT_EQ(PlotterLiveBanner::percentText(c.fraction), c.text) << c.fraction;
    using Kind = AxiDrawRunState::Kind;
    const struct {
        Kind kind;
        bool active;
    } states[] = {{Kind::idle, false},        {Kind::plotting, true},           {Kind::framingBoundingBox, true},
                  {Kind::pausedByUser, true}, {Kind::pausedForPenChange, true}, {Kind::error, false},
                  {Kind::disconnected, false}};
    for (const auto& c : states) {
        EXPECT_EQ(CanvasViewportView::isPlotterActive(AxiDrawRunState::of(c.kind)), c.active) << int(c.kind);
    }
}

TEST_F(CanvasOverlayBarsTest, BannerFollowsASimulatedPlot) {
    test::LanguageScope english(AppLanguage::en);
    openTwoPenDocument();
    AxiDrawPlotterController& plotter = model.plotter();
    plotter.setSelectedPortPath("virtual://axidraw-simulator");
    CanvasViewportView canvas(model, &host);
    canvas.resize(host.size());
    canvas.show();
    auto* editing = new CanvasEditingController(model, canvas);
    PlotterLiveBanner& banner = *editing->plotterBanner();
    EXPECT_TRUE(banner.isHidden()) << "idle: no banner";

    clock->setHeld(true);
    plotter.startPlot(*model.vectorizer().result());
    ASSERT_EQ(plotter.runState().kind, AxiDrawRunState::Kind::plotting);
    EXPECT_FALSE(banner.isHidden());
    EXPECT_EQ(banner.y(), CanvasViewportView::kOverlayTop);
    EXPECT_FALSE(banner.pauseButton()->isHidden());
    EXPECT_TRUE(banner.resumeButton()->isHidden());
    EXPECT_EQ(banner.statusLabel()->text(), QString::fromStdString(plotter.statusLog()));

    // Some steps later the bar and the percentage follow the controller.
    ASSERT_TRUE(test::spinUntil([&] {
        if (clock->pendingCount() > 0) clock->releaseNext();
        return plotter.progressFraction() > 0;
    }));
    ASSERT_EQ(plotter.runState().kind, AxiDrawRunState::Kind::plotting);
    EXPECT_EQ(banner.percentLabel()->text(), PlotterLiveBanner::percentText(plotter.progressFraction()));
    EXPECT_EQ(banner.progressBar()->fraction(), plotter.progressFraction());
    EXPECT_EQ(banner.penDot()->color(), plotter.isPenDown() ? Theme::accent() : Theme::tcp());

    // Pause: the run stops before its next step and the banner offers Resume.
    banner.pauseButton()->click();
    EXPECT_EQ(plotter.statusLog(), "Pausing…");
    ASSERT_TRUE(test::spinUntil([&] {
        if (clock->pendingCount() > 0) clock->releaseNext();
        return plotter.runState().kind == AxiDrawRunState::Kind::pausedByUser;
    }));
    EXPECT_TRUE(banner.pauseButton()->isHidden());
    EXPECT_FALSE(banner.resumeButton()->isHidden());
    EXPECT_EQ(banner.resumeButton()->text(), "Resume");
    EXPECT_TRUE(banner.resumeButton()->style().prominent);

    // With a selection the bar sits 8 points under the banner.
    model.setSelectedPathIDs({model.vectorizer().result()->layers[0].paths.front().id});
    EXPECT_EQ(editing->selectionBar()->y(), banner.geometry().bottom() + 1 + CanvasViewportView::kOverlaySpacing);

    banner.resumeButton()->click();
    EXPECT_EQ(plotter.runState().kind, AxiDrawRunState::Kind::plotting);
    EXPECT_FALSE(banner.pauseButton()->isHidden());

    banner.stopButton()->click();
    EXPECT_EQ(plotter.runState().kind, AxiDrawRunState::Kind::idle);
    EXPECT_EQ(plotter.statusLog(), "Plot stopped (pen up)");
    EXPECT_TRUE(banner.isHidden());
    EXPECT_EQ(editing->selectionBar()->y(), CanvasViewportView::kOverlayTop);
    clock->setHeld(false);
}

TEST_F(CanvasOverlayBarsTest, TheCanvasShowsItsBarsOnlyWithADocument) {
    CanvasViewportView canvas(model, &host);
    canvas.resize(host.size());
    canvas.show();
    auto* editing = new CanvasEditingController(model, canvas);
    EXPECT_TRUE(editing->editHint()->isHidden());
    EXPECT_TRUE(editing->zoomBar()->isHidden());

    openTwoPenDocument();
    EXPECT_FALSE(editing->editHint()->isHidden());
    EXPECT_FALSE(editing->zoomBar()->isHidden());
    EXPECT_TRUE(editing->selectionBar()->isHidden());
    const QRect zoom = editing->zoomBar()->geometry();
    EXPECT_EQ(zoom.right() + 1, canvas.width() - CanvasViewportView::kOverlayInset);
    EXPECT_EQ(zoom.bottom() + 1, canvas.height() - CanvasViewportView::kOverlayInset);
    EXPECT_EQ(editing->editHint()->x(), CanvasViewportView::kOverlayInset);
    EXPECT_LT(editing->editHint()->geometry().right(), zoom.left());

    model.setSelectedPathIDs({model.vectorizer().result()->layers[0].paths.front().id});
    EXPECT_FALSE(editing->selectionBar()->isHidden());
    EXPECT_EQ(editing->selectionBar()->y(), CanvasViewportView::kOverlayTop);
    // A new bar content (two strokes: Join appears) is placed again, still centred.
    const std::vector<std::int64_t> ids = strokeIDs();
    ASSERT_GE(ids.size(), 2u);
    model.setSelectedPathIDs({ids[0], ids[1]});
    const QRect bar = editing->selectionBar()->geometry();
    EXPECT_EQ(bar.size(), editing->selectionBar()->sizeHint());
    EXPECT_GT(bar.width(), 400);
    EXPECT_LE(std::abs(bar.center().x() - canvas.width() / 2), 1);

    // A narrow canvas cuts the hint rather than overlapping the zoom bar.
    canvas.resize(300, 200);
    EXPECT_LT(editing->editHint()->geometry().right(), editing->zoomBar()->geometry().left());
    EXPECT_TRUE(editing->editHint()->shownText().endsWith(QStringLiteral("…")));
}

}  // namespace
}  // namespace ostrel
