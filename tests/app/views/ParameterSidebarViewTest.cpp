#include "app/views/sidebar/ParameterSidebarView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/SliderRow.h"
#include "app/ui/TextButton.h"
#include "app/views/sidebar/ParameterChange.h"
#include "app/views/sidebar/SidebarControls.h"
#include "core/model/ParameterTable.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace ostrel {
namespace {

using test::LanguageScope;

/// The delay of the run now waiting for its time, if one is.
std::optional<int> pendingRunDelay(VectorizerController& document) {
    for (QTimer* timer : document.findChildren<QTimer*>()) {
        if (timer->isActive() && timer->isSingleShot()) return timer->interval();
    }
    return std::nullopt;
}

/// Moves a slider row's slider to the position of `value` the way a drag does (the slider reports
/// the move), even when it already stands there.
void dragTo(SliderRow& row, double value) {
    QSlider* slider = row.slider();
    const int position = row.positionOf(value);
    if (slider->value() == position) {
        const QSignalBlocker quiet(slider);
        slider->setValue(position == slider->minimum() ? slider->maximum() : slider->minimum());
    }
    slider->setValue(position);
}

class ParameterSidebarTest : public ::testing::Test {
protected:
    ParameterSidebarTest() { test::ensureQtApp(); }

    /// A document with a result and no run waiting.
    void loadDrawing() {
        ASSERT_TRUE(document().loadImage(test::threeStrokeDrawing(), "strokes", true));
        ASSERT_TRUE(document().result().has_value());
        ASSERT_FALSE(pendingRunDelay(document()).has_value());
    }

    /// Parameters as OSC or HTTP would write them, before the drawing is loaded (so no run waits).
    void setFromOutside(const std::function<void(VectorizerParams&)>& change) {
        VectorizerParams params = document().params();
        change(params);
        document().setParams(params, RunSchedule::after(0));
    }

    ParameterSidebarView& sidebar() {
        if (!view) {
            view = std::make_unique<ParameterSidebarView>(model);
            view->resize(ParameterSidebarView::sidebarWidth, 900);
        }
        return *view;
    }
    template <class W>
    W* find(const char* name) {
        W* widget = sidebar().findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    SliderRow* slider(const char* name) { return find<SliderRow>(name); }
    VectorizerController& document() { return model.vectorizer(); }

    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, test::quietEnvironment(settings)};
    std::unique_ptr<ParameterSidebarView> view;
};

// The change rule ---------------------------------------------------------------------------------

TEST(ParameterChangeRule, IntegerFieldsRoundHalvesAwayFromZeroAndIgnoreWhatIsNotANumber) {
    test::ensureQtApp();
    VectorizerController document;
    VectorizerParams start;
    start.threshold = 12;
    start.cornerAngleDeg = -2;
    document.setParams(start, RunSchedule::after(0));

    struct Case {
        std::int64_t VectorizerParams::*field;
        double value;
        std::optional<std::int64_t> written;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {&VectorizerParams::threshold, 11.5, std::nullopt},
        {&VectorizerParams::threshold, 12.0, std::nullopt},
        {&VectorizerParams::threshold, 12.4999, std::nullopt},
        {&VectorizerParams::threshold, 12.5, 13},
        {&VectorizerParams::threshold, nan, std::nullopt},
        {&VectorizerParams::threshold, std::numeric_limits<double>::infinity(), std::nullopt},
        {&VectorizerParams::threshold, 1e300, std::nullopt},
        {&VectorizerParams::cornerAngleDeg, -2.5, -3},
    };
    for (const Case& c : cases) {
        const std::int64_t before = document.params().*c.field;
        QSignalSpy changes(&document, &VectorizerController::paramsChanged);
        const bool written = ParameterChange::writeInteger(document, c.field, c.value, 45);
        EXPECT_EQ(written, c.written.has_value()) << c.value;
        EXPECT_EQ(changes.count(), written ? 1 : 0) << c.value;
        EXPECT_EQ(document.params().*c.field, c.written.value_or(before)) << c.value;
    }
}

TEST(ParameterChangeRule, DoublesMoveOnlyBeyondOneMillionthAndChoicesOnlyWhenDifferent) {
    test::ensureQtApp();
    VectorizerController document;
    QSignalSpy changes(&document, &VectorizerController::paramsChanged);
    EXPECT_FALSE(ParameterChange::writeDouble(document, &VectorizerParams::rdpTolerance, 1.0 + 1e-6, 15));
    EXPECT_FALSE(ParameterChange::writeDouble(document, &VectorizerParams::rdpTolerance, 1.0 - 0.9e-6, 15));
    EXPECT_FALSE(ParameterChange::writeDouble(document, &VectorizerParams::rdpTolerance,
                                              std::numeric_limits<double>::quiet_NaN(), 15));
    EXPECT_FALSE(ParameterChange::writeChoice(document, &VectorizerParams::invert, false, 45));
    EXPECT_FALSE(
        ParameterChange::writeChoice(document, &VectorizerParams::algorithm, VectorAlgorithm::neuralCenterline, 10));
    EXPECT_EQ(changes.count(), 0);

    EXPECT_TRUE(ParameterChange::writeDouble(document, &VectorizerParams::rdpTolerance, 1.0 + 2e-6, 15));
    EXPECT_TRUE(ParameterChange::writeChoice(document, &VectorizerParams::algorithm, VectorAlgorithm::skeletonize, 10));
    EXPECT_EQ(changes.count(), 2);
    EXPECT_DOUBLE_EQ(document.params().rdpTolerance, 1.0 + 2e-6);
    EXPECT_EQ(document.params().algorithm, VectorAlgorithm::skeletonize);
}

TEST_F(ParameterSidebarTest, ASliderMoveBelowTheToleranceWritesNothingAndStartsNoRun) {
    LanguageScope french(AppLanguage::fr);
    setFromOutside([](VectorizerParams& p) { p.rdpTolerance = 1.0 + 4e-7; });
    loadDrawing();
    SliderRow* rdp = slider("rdpTolerance");
    QSignalSpy changes(&document(), &VectorizerController::paramsChanged);

    dragTo(*rdp, 1.0);  // the slider's step value 1.0 lies 4e-7 from the field
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(pendingRunDelay(document()).has_value());
    EXPECT_FALSE(document().isProcessing());
    EXPECT_DOUBLE_EQ(document().params().rdpTolerance, 1.0 + 4e-7);

    dragTo(*rdp, 1.2);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_NEAR(document().params().rdpTolerance, 1.2, 1e-9);
    EXPECT_EQ(pendingRunDelay(document()), 15);
    EXPECT_EQ(rdp->valueText(), "1,2 px");
}

TEST_F(ParameterSidebarTest, EachControlAsksForItsRunAfterItsOwnDelay) {
    model.setShowAxiDrawSection(true);
    setFromOutside([](VectorizerParams& p) { p.hatchEnabled = true; });
    loadDrawing();

    const struct {
        const char* name;
        int delay;
    } sliders[] = {
        {"strokeWidthScale", 12}, {"threshold", 45},      {"blurRadius", 45},     {"morphCleanup", 45},
        {"rdpTolerance", 15},     {"curveSmoothing", 15}, {"cornerAngleDeg", 15}, {"minPathLengthPx", 45},
        {"maxStitchGapPx", 45},   {"continuity", 45},     {"hatchSpacingPx", 45}, {"penCount", 45},
        {"marginMM", 10},
    };
    for (const auto& entry : sliders) {
        SliderRow* row = slider(entry.name);
        ASSERT_NE(row, nullptr);
        QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
        QTest::keyClick(row->slider(), Qt::Key_Right);  // one step, as the keyboard moves it
        EXPECT_EQ(changes.count(), 1) << entry.name;
        EXPECT_EQ(pendingRunDelay(document()), entry.delay) << entry.name;
        document().cancelScheduledVectorization();
    }

    const struct {
        const char* name;
        int delay;
    } buttons[] = {
        {"adaptiveThreshold", 45},
        {"invert", 45},
        {"stegerSubpixel", 45},
        {"crossJunctions", 45},
        {"crossHatch", 45},
        {"hatchEnabled", 45},
        {"optimize2Opt", 10},
        {"algorithm.skeletonize", 10},
        {"illustrationStrokeStyle.per_stroke_width", 10},
        {"outputMode.axidraw", 10},
    };
    for (const auto& entry : buttons) {
        auto* button = find<QAbstractButton>(entry.name);
        ASSERT_NE(button, nullptr);
        QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
        button->click();
        EXPECT_EQ(changes.count(), 1) << entry.name;
        EXPECT_EQ(pendingRunDelay(document()), entry.delay) << entry.name;
        document().cancelScheduledVectorization();
    }
    EXPECT_FALSE(find<QWidget>("crossHatch")->isVisibleTo(&sidebar()));  // hatching was turned off

    for (const char* name : {"paperFormat", "paperOrientation"}) {
        auto* picker = find<QComboBox>(name);
        QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
        QTest::keyClick(picker, Qt::Key_Down);
        EXPECT_EQ(changes.count(), 1) << name;
        EXPECT_EQ(pendingRunDelay(document()), 10) << name;
        document().cancelScheduledVectorization();
    }
    EXPECT_EQ(document().params().paperFormat, PaperFormat::a3);
    EXPECT_EQ(document().params().paperOrientation, PaperOrientation::portrait);
}

TEST_F(ParameterSidebarTest, ChoosingWhatIsAlreadyChosenWritesNothing) {
    model.setShowAxiDrawSection(true);
    loadDrawing();
    QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
    find<QAbstractButton>("algorithm.neural_centerline")->click();
    find<QAbstractButton>("illustrationStrokeStyle.variable_ribbon")->click();
    find<QAbstractButton>("outputMode.illustration")->click();
    auto* paper = find<QComboBox>("paperFormat");
    QTest::keyClick(paper, Qt::Key_Up);  // already the first entry
    dragTo(*slider("penCount"), 2.4);    // rounds to the current count
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(pendingRunDelay(document()).has_value());
}

TEST_F(ParameterSidebarTest, ValuesSetFromOutsideAreShownAsTheyAreAndNeverWrittenBack) {
    LanguageScope french(AppLanguage::fr);
    setFromOutside([](VectorizerParams& p) {
        p.threshold = 250;
        p.hatchEnabled = true;
        p.hatchSpacingPx = 2.5;
        p.maxStitchGapPx = 2.5;
        p.continuity = 57.5;
    });
    loadDrawing();
    EXPECT_EQ(slider("threshold")->valueText(), "250");
    EXPECT_EQ(slider("threshold")->slider()->value(), slider("threshold")->slider()->maximum());
    EXPECT_EQ(slider("hatchSpacingPx")->valueText(), "2,5 px");
    EXPECT_EQ(slider("hatchSpacingPx")->slider()->value(), 0);
    EXPECT_EQ(slider("maxStitchGapPx")->valueText(), "3 px");
    EXPECT_EQ(slider("continuity")->valueText(), "58 %");

    // Other controls and later refreshes leave the outside values alone.
    dragTo(*slider("blurRadius"), 2.0);
    setFromOutside([](VectorizerParams& p) { p.continuity = 57.4; });
    EXPECT_EQ(slider("continuity")->valueText(), "57 %");
    EXPECT_EQ(document().params().threshold, 250);
    EXPECT_DOUBLE_EQ(document().params().hatchSpacingPx, 2.5);
    EXPECT_DOUBLE_EQ(document().params().maxStitchGapPx, 2.5);
}

// Defaults and texts ------------------------------------------------------------------------------

TEST_F(ParameterSidebarTest, DefaultsReadTheSameFieldsInEitherLanguage) {
    model.setShowAxiDrawSection(true);
    setFromOutside([](VectorizerParams& p) { p.hatchEnabled = true; });
    const struct {
        const char* name;
        const char* french;
        const char* english;
    } texts[] = {
        {"strokeWidthScale", "\u00D71,00", "\u00D71.00"},
        {"threshold", "128", "128"},
        {"blurRadius", "0,8 px", "0.8 px"},
        {"morphCleanup", "0 \u00B7 Traits fins", "0 \u00B7 Fine lines"},
        {"rdpTolerance", "1,0 px", "1.0 px"},
        {"curveSmoothing", "0,65", "0.65"},
        {"cornerAngleDeg", "45\u00B0", "45\u00B0"},
        {"minPathLengthPx", "4 px", "4 px"},
        {"maxStitchGapPx", "8 px", "8 px"},
        {"continuity", "55 %", "55 %"},
        {"hatchSpacingPx", "6,0 px", "6.0 px"},
        {"penCount", "2", "2"},
        {"marginMM", "12 mm", "12 mm"},
    };
    for (const AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
        LanguageScope scope(language);
        view.reset();
        for (const auto& entry : texts) {
            EXPECT_EQ(slider(entry.name)->valueText().toStdString(),
                      language == AppLanguage::fr ? entry.french : entry.english)
                << entry.name;
        }
        EXPECT_EQ(slider("threshold")->label().toStdString(),
                  language == AppLanguage::fr ? "Fen\u00EAtre & sensibilit\u00E9" : "Window & sensitivity");
        EXPECT_EQ(slider("blurRadius")->label().toStdString(),
                  language == AppLanguage::fr ? "Flou gaussien (vDSP)" : "Gaussian blur (vDSP)");
        EXPECT_EQ(find<QAbstractButton>("hatchEnabled")->text().toStdString(),
                  language == AppLanguage::fr ? "Hachurer les aplats" : "Hatch dark fills");
        EXPECT_EQ(find<QWidget>("stegerSubpixel")->toolTip().toStdString(),
                  language == AppLanguage::fr ? "Affinement sub-pixel par d\u00E9veloppement de Taylor du Hessien"
                                              : "Sub-pixel refinement via 2nd-order Hessian Taylor expansion");
        EXPECT_EQ(find<QWidget>("algorithm.neural_centerline")->toolTip().toStdString(),
                  detail(VectorAlgorithm::neuralCenterline));
        EXPECT_EQ(find<QWidget>("blackOnWhitePreview")->toolTip().toStdString(),
                  language == AppLanguage::fr ? "Afficher les vecteurs en traits noirs sur papier blanc (B / Ctrl+B)"
                                              : "Render vectors as black strokes on white paper (B / Ctrl+B)");
        EXPECT_EQ(find<QWidget>("plotterHeader")->toolTip().toStdString(),
                  language == AppLanguage::fr ? "D\u00E9plier ou replier les r\u00E9glages sp\u00E9cifiques au traceur "
                                                "AxiDraw et aux calques multi-stylos"
                                              : "Expand or collapse AxiDraw plotter and multi-pen layer settings");
        EXPECT_EQ(find<QWidget>("outputMode.axidraw")->toolTip().toStdString(), detail(VectorOutputMode::axidraw));
        EXPECT_EQ(find<QWidget>("illustrationStrokeStyle.per_stroke_width")->toolTip().toStdString(),
                  detail(IllustrationStrokeStyle::perStrokeWidth));
        EXPECT_EQ(find<QComboBox>("paperFormat")->currentText().toStdString(), "A4 (210 \u00D7 297 mm)");
        EXPECT_EQ(find<QComboBox>("paperOrientation")->currentText().toStdString(),
                  language == AppLanguage::fr ? "Auto (selon image)" : "Auto (match image)");
    }

    // Selection marks and switches of the defaults.
    EXPECT_TRUE(find<ChoiceRow>("algorithm.neural_centerline")->isSelected());
    EXPECT_FALSE(find<ChoiceRow>("algorithm.vision_contours")->isSelected());
    EXPECT_TRUE(find<ModeCard>("outputMode.illustration")->isSelected());
    EXPECT_TRUE(find<QAbstractButton>("adaptiveThreshold")->isChecked());
    EXPECT_FALSE(find<QAbstractButton>("invert")->isChecked());
    EXPECT_TRUE(find<QAbstractButton>("optimize2Opt")->isChecked());
    EXPECT_FALSE(find<QAbstractButton>("exportBlackStrokes")->isChecked());
    EXPECT_FALSE(find<QAbstractButton>("blackOnWhitePreview")->isChecked());
}

TEST_F(ParameterSidebarTest, ValueTextsAtTheEndsOfTheirRanges) {
    LanguageScope french(AppLanguage::fr);
    const struct {
        std::function<void(VectorizerParams&)> set;
        const char* name;
        const char* expected;
    } cases[] = {
        {[](VectorizerParams& p) { p.blurRadius = 6; }, "blurRadius", "6,0 px"},
        {[](VectorizerParams& p) { p.morphCleanup = 1; }, "morphCleanup", "1 \u00B7 Fermer micro-trous"},
        {[](VectorizerParams& p) { p.morphCleanup = -1; }, "morphCleanup", "2 \u00B7 Fort (antipoussi\u00E8re)"},
        {[](VectorizerParams& p) { p.cornerAngleDeg = 90; }, "cornerAngleDeg", "90\u00B0"},
        {[](VectorizerParams& p) { p.curveSmoothing = 1; }, "curveSmoothing", "1,00"},
        {[](VectorizerParams& p) { p.strokeWidthScale = 0.3; }, "strokeWidthScale", "\u00D70,30"},
        {[](VectorizerParams& p) { p.marginMM = 12.5; }, "marginMM", "13 mm"},
        {[](VectorizerParams& p) { p.marginMM = 12.4; }, "marginMM", "12 mm"},
        {[](VectorizerParams& p) { p.marginMM = 0; }, "marginMM", "0 mm"},
        {[](VectorizerParams& p) { p.maxStitchGapPx = std::numeric_limits<double>::quiet_NaN(); }, "maxStitchGapPx",
         "\u2014 px"},
    };
    for (const auto& c : cases) {
        setFromOutside(c.set);
        EXPECT_EQ(slider(c.name)->valueText().toStdString(), c.expected) << c.name;
    }
    setFromOutside([](VectorizerParams& p) { p.adaptiveThreshold = false; });
    EXPECT_EQ(slider("threshold")->label().toStdString(), "Seuil binaire");
    EXPECT_EQ(slider("threshold")->valueText().toStdString(), "128");

    LanguageScope english(AppLanguage::en);
    view.reset();
    setFromOutside([](VectorizerParams& p) { p.morphCleanup = 2; });
    EXPECT_EQ(slider("morphCleanup")->valueText().toStdString(), "2 \u00B7 Strong (denoise)");
    EXPECT_EQ(slider("threshold")->label().toStdString(), "Binary threshold");
}

TEST_F(ParameterSidebarTest, EverySliderOfTheParameterTableDragsAcrossItsSpanByItsStep) {
    // Shown first, so that hidden sliders take drags too.
    setFromOutside([](VectorizerParams& p) {
        p.outputMode = VectorOutputMode::illustration;
        p.hatchEnabled = true;
    });
    int sliders = 0;
    for (const ParameterSpec* parameter : kAllParameters) {
        if (!parameter->slider) continue;
        ++sliders;
        const std::string key(parameter->key);
        SliderRow* row = slider(key.c_str());
        ASSERT_NE(row, nullptr) << key;
        const auto value = [&] {
            const VectorizerParams& p = document().params();
            return parameter->realField ? p.*(parameter->realField) : static_cast<double>(p.*(parameter->integerField));
        };
        dragTo(*row, parameter->slider->upper);
        EXPECT_DOUBLE_EQ(value(), parameter->slider->upper) << key;
        dragTo(*row, parameter->slider->lower);
        EXPECT_DOUBLE_EQ(value(), parameter->slider->lower) << key;
        dragTo(*row, parameter->slider->lower + parameter->sliderStep);
        EXPECT_NEAR(value(), parameter->slider->lower + parameter->sliderStep, 1e-9) << key;
    }
    EXPECT_EQ(sliders, 13);
}

TEST_F(ParameterSidebarTest, HiddenControlsFollowTheirConditionsAndKeepTheirValues) {
    model.setShowAxiDrawSection(true);
    sidebar();
    EXPECT_FALSE(find<QWidget>("crossHatch")->isVisibleTo(view.get()));
    EXPECT_FALSE(find<QWidget>("hatchSpacingPx")->isVisibleTo(view.get()));
    find<QAbstractButton>("hatchEnabled")->click();
    EXPECT_TRUE(find<QWidget>("crossHatch")->isVisibleTo(view.get()));
    EXPECT_TRUE(find<QWidget>("hatchSpacingPx")->isVisibleTo(view.get()));

    EXPECT_TRUE(find<QWidget>("illustrationOptions")->isVisibleTo(view.get()));
    find<QAbstractButton>("outputMode.axidraw")->click();
    EXPECT_EQ(document().params().outputMode, VectorOutputMode::axidraw);
    EXPECT_FALSE(find<QWidget>("illustrationOptions")->isVisibleTo(view.get()));
    EXPECT_TRUE(find<ModeCard>("outputMode.axidraw")->isSelected());

    EXPECT_TRUE(find<QWidget>("marginMM")->isVisibleTo(view.get()));
    setFromOutside([](VectorizerParams& p) {
        p.paperFormat = PaperFormat::original;
        p.marginMM = 20;
    });
    EXPECT_FALSE(find<QWidget>("marginMM")->isVisibleTo(view.get()));
    setFromOutside([](VectorizerParams& p) { p.paperFormat = PaperFormat::a5; });
    EXPECT_TRUE(find<QWidget>("marginMM")->isVisibleTo(view.get()));
    EXPECT_EQ(slider("marginMM")->valueText(), "20 mm");
}

TEST_F(ParameterSidebarTest, TheColumnIsFixedWidthInsideAScrollingSidebar) {
    sidebar().show();
    ASSERT_TRUE(test::spinUntil([&] { return view->contentColumn()->height() > 0; }));
    EXPECT_EQ(view->width(), ParameterSidebarView::sidebarWidth);
    EXPECT_EQ(view->contentColumn()->width(), ParameterSidebarView::innerWidth);
    EXPECT_EQ(view->contentColumn()->mapTo(view->scrollArea()->widget(), QPoint(0, 0)), QPoint(14, 14));
    // Taller than the window: the column scrolls.
    view->resize(ParameterSidebarView::sidebarWidth, 300);
    ASSERT_TRUE(test::spinUntil([&] { return view->scrollArea()->verticalScrollBar()->maximum() > 0; }));

    // The panel colour shows in the padding; the selected mode card is filled with the selected
    // lane colour, the other one is not, and a click swaps them.
    auto cardFill = [&](const char* name) {
        auto* card = find<ModeCard>(name);
        const QImage image = view->grab().toImage();
        return QColor(image.pixel(card->mapTo(view.get(), QPoint(card->width() - 5, card->height() - 4))));
    };
    EXPECT_EQ(QColor(view->grab().toImage().pixel(5, 5)), Theme::panel());
    EXPECT_EQ(cardFill("outputMode.illustration"), Theme::laneSelected());
    EXPECT_NE(cardFill("outputMode.axidraw"), Theme::laneSelected());
    find<QAbstractButton>("outputMode.axidraw")->click();
    EXPECT_EQ(cardFill("outputMode.axidraw"), Theme::laneSelected());
    EXPECT_NE(cardFill("outputMode.illustration"), Theme::laneSelected());
}

// Plotter block -----------------------------------------------------------------------------------

TEST_F(ParameterSidebarTest, ThePlotterHeaderFoldsTheBlockAndSummarisesPensAndPaper) {
    sidebar();
    CollapsibleHeader* header = view->plotterHeader();
    EXPECT_FALSE(header->isExpanded());
    EXPECT_EQ(header->chevronSymbol(), "chevron.right");
    EXPECT_EQ(header->summary().toStdString(), "2 stylos \u00B7 A4");
    EXPECT_FALSE(view->plotterBlock()->isVisibleTo(view.get()));

    header->click();
    EXPECT_TRUE(model.showAxiDrawSection());
    EXPECT_EQ(header->chevronSymbol(), "chevron.down");
    EXPECT_TRUE(view->plotterBlock()->isVisibleTo(view.get()));
    EXPECT_TRUE(find<QWidget>("directPlotterCard")->isVisibleTo(view.get()));

    // On screen the block slides: it opens shown at once and is hidden once it has closed.
    view->show();
    header->click();
    EXPECT_FALSE(model.showAxiDrawSection());
    EXPECT_EQ(header->chevronSymbol(), "chevron.right");
    ASSERT_TRUE(test::spinUntil([&] { return !view->plotterBlock()->isVisible(); }));
    header->click();
    EXPECT_TRUE(view->plotterBlock()->isVisible());
    ASSERT_TRUE(test::spinUntil([&] { return view->plotterBlock()->maximumHeight() == QWIDGETSIZE_MAX; }));
    EXPECT_TRUE(view->plotterBlock()->isVisible());
    view->hide();

    const struct {
        std::int64_t pens;
        PaperFormat format;
        const char* summary;
    } summaries[] = {
        {1, PaperFormat::a4, "1 stylo \u00B7 A4"},
        {4, PaperFormat::a4, "4 stylos \u00B7 A4"},
        {2, PaperFormat::original, "2 stylos \u00B7 Pixels"},
    };
    for (const AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
        LanguageScope scope(language);
        for (const auto& s : summaries) {
            setFromOutside([&s](VectorizerParams& p) {
                p.penCount = s.pens;
                p.paperFormat = s.format;
            });
            EXPECT_EQ(header->summary().toStdString(), s.summary);
        }
    }
}

TEST_F(ParameterSidebarTest, ThePlotterBlockStateIsStoredOnlyWithPersistence) {
    for (const bool persist : {false, true}) {
        test::RecordingSettingsStore store;
        {
            AppModel persisted(AppModel::Options{false, persist, false}, test::quietEnvironment(store));
            ParameterSidebarView column(persisted);
            column.plotterHeader()->click();
            EXPECT_TRUE(persisted.showAxiDrawSection());
        }
        const bool written =
            std::find(store.writes.begin(), store.writes.end(), "showAxiDrawSection") != store.writes.end();
        EXPECT_EQ(written, persist);
        AppModel relaunched(AppModel::Options{false, persist, false}, test::quietEnvironment(store));
        ParameterSidebarView column(relaunched);
        EXPECT_EQ(column.plotterHeader()->isExpanded(), persist);
        EXPECT_EQ(column.plotterBlock()->isVisibleTo(&column), persist);
    }
}

TEST_F(ParameterSidebarTest, TheBlackOnWhiteSwitchChangesOnlyThePreview) {
    loadDrawing();
    QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
    find<QAbstractButton>("blackOnWhitePreview")->click();
    EXPECT_TRUE(model.blackOnWhitePreview());
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(pendingRunDelay(document()).has_value());
    model.setBlackOnWhitePreview(false);
    EXPECT_FALSE(find<QAbstractButton>("blackOnWhitePreview")->isChecked());
}

// Faults of the export switch, pen widths and Reset -----------------------------------------------

TEST_F(ParameterSidebarTest, BlackSVGStrokesRewriteTheSVGWithoutARun) {
    setFromOutside([](VectorizerParams& p) { p.outputMode = VectorOutputMode::axidraw; });
    loadDrawing();
    const std::string coloured = document().result()->svgAxiDraw;
    ASSERT_EQ(coloured.find("#000000"), std::string::npos);
    const std::vector<PenLayer> layers = document().result()->layers;

    QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
    find<QAbstractButton>("exportBlackStrokes")->click();
    EXPECT_TRUE(document().params().exportBlackStrokes);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(pendingRunDelay(document()).has_value());
    EXPECT_FALSE(document().isProcessing());
    EXPECT_NE(document().result()->svgAxiDraw.find("#000000"), std::string::npos);
    EXPECT_EQ(document().result()->layers, layers);
    EXPECT_TRUE(find<QAbstractButton>("exportBlackStrokes")->isChecked());

    find<QAbstractButton>("exportBlackStrokes")->click();
    EXPECT_EQ(document().result()->svgAxiDraw, coloured);
}

TEST_F(ParameterSidebarTest, BlackSVGStrokesSwitchedDuringARunReachItsResult) {
    setFromOutside([](VectorizerParams& p) { p.outputMode = VectorOutputMode::axidraw; });
    loadDrawing();
    document().scheduleVectorization(0, false);
    find<QAbstractButton>("exportBlackStrokes")->click();
    ASSERT_TRUE(test::spinUntil([&] { return !document().isProcessing(); }));
    EXPECT_NE(document().result()->svgAxiDraw.find("#000000"), std::string::npos);
}

TEST_F(ParameterSidebarTest, PenRowsShowEachLayerAndAnEqualWidthIsNoChange) {
    LanguageScope french(AppLanguage::fr);
    model.setShowAxiDrawSection(true);
    sidebar();
    EXPECT_FALSE(find<QWidget>("penRows")->isVisibleTo(view.get()));
    loadDrawing();
    ASSERT_FALSE(document().result()->layers.empty());
    const PenLayer first = document().result()->layers.front();
    auto* row = find<PenLayerRow>(("penLayer." + std::to_string(first.index)).c_str());
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->penColor(), Theme::penColor(first.index));
    EXPECT_EQ(row->nameLabel()->text().toStdString(), first.name);
    EXPECT_EQ(row->countLabel()->text().toStdString(), std::to_string(first.paths.size()) + " ch.");
    EXPECT_EQ(row->widthBadge()->text().toStdString(), penWidthText(first.widthMM).toStdString());
    EXPECT_EQ(row->visibilityButton()->symbol(), "eye.fill");
    ASSERT_EQ(row->widthMenu()->actions().size(), 10);
    EXPECT_EQ(row->widthMenu()->actions().at(6)->text().toStdString(), "1,0 mm");

    // The width already in use: nothing happens.
    QSignalSpy changes(&document(), &VectorizerController::paramsChanged);
    const auto& choices = kPenWidthChoicesMM;
    const auto same =
        std::find_if(choices.begin(), choices.end(), [&](double w) { return std::abs(w - first.widthMM) < 1e-9; });
    ASSERT_NE(same, choices.end());
    row->widthMenu()->actions().at(static_cast<int>(same - choices.begin()))->trigger();
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(pendingRunDelay(document()).has_value());

    row->widthMenu()->actions().at(9)->trigger();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_DOUBLE_EQ(document().params().penWidthsMM.at(static_cast<std::size_t>(first.index)), 2.0);
    EXPECT_EQ(pendingRunDelay(document()), 15);
    document().cancelScheduledVectorization();

    // Hiding the layer: eye and name go faint, no run.
    row->visibilityButton()->click();
    EXPECT_FALSE(pendingRunDelay(document()).has_value());
    auto* hidden = find<PenLayerRow>(("penLayer." + std::to_string(first.index)).c_str());
    ASSERT_EQ(hidden, row);  // updated in place: the clicked button outlives its click
    EXPECT_EQ(hidden->visibilityButton()->symbol(), "eye.slash");
    EXPECT_EQ(hidden->visibilityButton()->color(), Theme::textFaint());
    EXPECT_EQ(hidden->nameLabel()->palette().color(QPalette::WindowText), Theme::textFaint());
    EXPECT_EQ(hidden->penColor(), Theme::penColor(first.index));

    // A result with fewer layers leaves as many rows shown.
    auto shownRows = [&] {
        int shown = 0;
        for (auto* r : view->findChildren<PenLayerRow*>()) shown += r->isVisibleTo(view.get()) ? 1 : 0;
        return shown;
    };
    EXPECT_EQ(shownRows(), static_cast<int>(document().result()->layers.size()));
    VectorizerParams onePen = document().params();
    onePen.penCount = 1;
    document().setParams(onePen, RunSchedule::now());
    ASSERT_EQ(document().result()->layers.size(), 1U);
    EXPECT_EQ(shownRows(), 1);
}

TEST(PenLayerRowColour, FollowsThePenIndexModuloFourWithNegativesAsTheFirst) {
    test::ensureQtApp();
    const struct {
        std::int64_t index;
        QColor colour;
    } cases[] = {{0, Theme::accent()}, {3, Theme::alive()}, {5, Theme::tcp()}, {-2, Theme::accent()}};
    for (const auto& c : cases) {
        PenLayer layer;
        layer.index = c.index;
        layer.visible = true;
        PenLayerRow row(layer);
        EXPECT_EQ(row.penColor(), c.colour) << c.index;
        EXPECT_EQ(row.visibilityButton()->color(), c.colour) << c.index;
    }
}

TEST_F(ParameterSidebarTest, ResetAsksFirstWhenTheDocumentHoldsHandEdits) {
    loadDrawing();
    setFromOutside([](VectorizerParams& p) { p.threshold = 90; });
    auto* reset = find<QAbstractButton>("resetParameters");

    // No hand edits: Reset at once, back to illustration mode; the plotter block stays as it was.
    model.setShowAxiDrawSection(true);
    setFromOutside([](VectorizerParams& p) { p.outputMode = VectorOutputMode::axidraw; });
    EXPECT_FALSE(find<QWidget>("illustrationOptions")->isVisibleTo(view.get()));
    reset->click();
    EXPECT_EQ(document().params(), VectorizerParams());
    EXPECT_TRUE(find<QWidget>("illustrationOptions")->isVisibleTo(view.get()));
    EXPECT_TRUE(model.showAxiDrawSection());
    EXPECT_EQ(view->resetConfirmation(), nullptr);
    ASSERT_TRUE(test::spinUntil([&] { return !document().isProcessing(); }));

    setFromOutside([](VectorizerParams& p) { p.threshold = 90; });
    ASSERT_TRUE(test::spinUntil([&] { return !document().isProcessing(); }));
    ASSERT_TRUE(document().result());
    document().applyEdit(StrokeEdits::Reverse{{document().result()->layers.front().paths.front().id}});
    ASSERT_FALSE(document().undoStack().empty());

    for (const char* answer : {"cancelReset", "confirmReset"}) {
        reset->click();
        QMessageBox* question = view->resetConfirmation();
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(document().params().threshold, 90);  // nothing yet
        reset->click();                                // a second click opens no second question
        EXPECT_EQ(view->findChildren<QMessageBox*>().size(), 1);
        question->findChild<QPushButton*>(answer)->click();
        ASSERT_TRUE(test::spinUntil([&] { return view->resetConfirmation() == nullptr; }));
        const bool confirmed = std::string(answer) == "confirmReset";
        EXPECT_EQ(document().params().threshold, confirmed ? 128 : 90) << answer;
        EXPECT_EQ(document().undoStack().empty(), confirmed) << answer;
    }
}

// Statistics --------------------------------------------------------------------------------------

TEST_F(ParameterSidebarTest, StatisticsShowEmptyMetricsThenTheResultsAndPlotterLinesOnlyWhenExpanded) {
    LanguageScope english(AppLanguage::en);
    sidebar();
    auto shownValues = [&] {
        std::vector<std::string> values;
        for (const auto& line : view->statLines()) {
            if (line.row->isVisibleTo(view.get())) values.push_back(line.value->text().toStdString());
        }
        return values;
    };
    EXPECT_EQ(view->metricsHeader()->title().toStdString(), "Statistics");
    EXPECT_EQ(shownValues(), (std::vector<std::string>{"\u2014", "0 / 0", "0 mm", "0.0 ms"}));

    model.setShowAxiDrawSection(true);
    EXPECT_EQ(view->metricsHeader()->title().toStdString(), "Statistics & Plotter");
    EXPECT_EQ(shownValues(), (std::vector<std::string>{"\u2014", "0 / 0", "0 mm", "210 \u00D7 297 mm", "0 mm (-0 %)",
                                                       "0", "\u2014", "0.0 ms"}));

    loadDrawing();
    const PlotterMetrics& metrics = document().result()->metrics;
    const std::vector<std::string> values = shownValues();
    ASSERT_EQ(values.size(), 8U);
    EXPECT_EQ(values[0], std::to_string(metrics.imageWidth) + " \u00D7 " + std::to_string(metrics.imageHeight) + " px");
    EXPECT_EQ(values[1], std::to_string(metrics.pathCount) + " / " + std::to_string(metrics.bezierSegmentCount));
    EXPECT_EQ(values[5], std::to_string(metrics.penLifts));

    find<QAbstractButton>("openExport")->click();
    EXPECT_TRUE(model.showExport());
}

}  // namespace
}  // namespace ostrel
