// A mouse wheel over the sidebar, sent as real wheel events to the controls under the pointer: it
// scrolls the sidebar past every slider and picker without changing one, and a control changes
// under the wheel only once it has the focus.
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/ui/SliderRow.h"
#include "app/views/ContentView.h"
#include "app/views/MainWindow.h"
#include "app/views/sidebar/DirectPlotterCard.h"
#include "app/views/sidebar/ParameterSidebarView.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

/// One mouse-wheel notch per step at the centre of `widget` (positive: down), delivered to it as
/// the platform's events are: marked spontaneous, so an event the widget leaves goes to its parents.
void wheelOver(QWidget& widget, int notches) {
    const QPointF centre = QRectF(widget.rect()).center();
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent event(centre, widget.mapToGlobal(centre), QPoint(), QPoint(0, notches < 0 ? 120 : -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        // As QTest does for keys: sendEvent would clear the mark.
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(&widget, &event);
    }
}

class SidebarWheelTest : public ::testing::Test {
protected:
    SidebarWheelTest() {
        test::ensureQtApp();
        model.setShowAxiDrawSection(true);
        EXPECT_TRUE(model.vectorizer().loadImage(test::threeStrokeDrawing(), "strokes", true));
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QScrollArea& sidebar() { return *window.content().sidebar()->scrollArea(); }

    QCoreApplication& application = test::ensureQtApp();  // first: the widgets below need it
    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, test::quietEnvironment(settings)};
    MainWindow window{model};
};

TEST_F(SidebarWheelTest, ScrollingPastEverySliderAndPickerChangesNoValueAndSendsNothing) {
    const VectorizerParams params = model.vectorizer().params();
    const AxiDrawConfig config = model.plotter().config();
    QScrollBar& bar = *sidebar().verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0) << "the sidebar must be taller than its window";

    std::vector<QWidget*> controls;
    for (QAbstractSlider* slider : sidebar().widget()->findChildren<QAbstractSlider*>()) controls.push_back(slider);
    for (QComboBox* picker : sidebar().widget()->findChildren<QComboBox*>()) controls.push_back(picker);
    const DirectPlotterCard* card = sidebar().widget()->findChild<DirectPlotterCard*>();
    ASSERT_NE(card, nullptr);
    int visited = 0;
    for (QWidget* control : controls) {
        if (!control->isVisible()) continue;
        ++visited;
        const int before = bar.value();
        const auto valueOf = [control] {
            if (auto* slider = qobject_cast<QAbstractSlider*>(control)) return slider->value();
            return qobject_cast<QComboBox*>(control)->currentIndex();
        };
        const int value = valueOf();
        wheelOver(*control, 3);
        EXPECT_EQ(valueOf(), value) << control->metaObject()->className();
        if (before < bar.maximum()) {
            EXPECT_GT(bar.value(), before) << "the sidebar scrolls";
        }
        wheelOver(*control, -1);
        EXPECT_EQ(valueOf(), value);
    }
    EXPECT_GE(visited, 10);
    // The pen heights are among them: neither stored nor sent.
    QTest::qWait(DirectPlotterCard::kHeightQuietMs + 50);
    EXPECT_EQ(model.vectorizer().params(), params);
    EXPECT_FALSE(model.vectorizer().hasPendingRun());
    EXPECT_EQ(model.plotter().config(), config);
    EXPECT_FALSE(model.plotter().isLinkBusy());
    EXPECT_FALSE(model.plotter().isLinkOpen());
}

TEST_F(SidebarWheelTest, AControlTabbedIntoTakesTheWheelAndTheSidebarStaysPut) {
    SliderRow* row = nullptr;
    for (SliderRow* candidate : sidebar().widget()->findChildren<SliderRow*>()) {
        if (candidate->isVisible() && !candidate->parentWidget()->inherits("ostrel::DirectPlotterCard")) {
            row = candidate;
            break;
        }
    }
    ASSERT_NE(row, nullptr);
    QSlider& slider = *row->slider();
    slider.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(slider.hasFocus());
    sidebar().verticalScrollBar()->setValue(0);
    const int value = slider.value();
    const VectorizerParams params = model.vectorizer().params();

    wheelOver(slider, slider.value() < slider.maximum() ? -2 : 2);
    EXPECT_NE(slider.value(), value);
    EXPECT_EQ(sidebar().verticalScrollBar()->value(), 0);
    EXPECT_NE(model.vectorizer().params(), params);

    // Once the focus is elsewhere, the same slider lets the sidebar scroll again.
    slider.clearFocus();
    const int moved = slider.value();
    wheelOver(slider, 2);
    EXPECT_EQ(slider.value(), moved);
    EXPECT_GT(sidebar().verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace ostrel
