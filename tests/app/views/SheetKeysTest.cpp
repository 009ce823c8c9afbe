// Escape closes every sheet from wherever the focus is inside it, and the settings window closes
// with Escape and Ctrl+W, as windows do on the desktop.
#include "app/launch/WindowedRun.h"
#include "app/views/ContentView.h"
#include "app/views/MainWindow.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

class SheetKeysTest : public ::testing::Test {
protected:
    SheetKeysTest() {
        test::ensureQtApp();
        EXPECT_TRUE(model.vectorizer().loadImage(test::threeStrokeDrawing(), "strokes", true));
    }

    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, test::quietEnvironment(settings)};
};

TEST_F(SheetKeysTest, EscapeClosesEverySheetWhateverHasTheFocus) {
    MainWindow window(model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    using Sheet = ContentView::Sheet;
    const struct {
        Sheet sheet;
        const char* name;
        void (AppModel::*set)(bool);
        bool (AppModel::*get)() const noexcept;
    } sheets[] = {
        {Sheet::about, "about", &AppModel::setShowAbout, &AppModel::showAbout},
        {Sheet::help, "help", &AppModel::setShowHelp, &AppModel::showHelp},
        {Sheet::shortcuts, "shortcuts", &AppModel::setShowShortcuts, &AppModel::showShortcuts},
        {Sheet::oscGuide, "OSC guide", &AppModel::setShowOSCGuide, &AppModel::showOSCGuide},
        {Sheet::exportFile, "export", &AppModel::setShowExport, &AppModel::showExport},
        {Sheet::updater, "updater", &AppModel::setShowUpdater, &AppModel::showUpdater},
    };
    for (const auto& c : sheets) {
        // Each place the focus can be in the sheet (its frame, fields, buttons, scroll panes), one
        // fresh sheet at a time.
        for (std::size_t i = 0;; ++i) {
            (model.*c.set)(true);
            QDialog* dialog = window.content().sheetDialog(c.sheet);
            ASSERT_NE(dialog, nullptr) << c.name;
            ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog)) << c.name;
            std::vector<QWidget*> targets{dialog};
            for (QWidget* child : dialog->findChildren<QWidget*>()) {
                if (child->isVisible() && child->isEnabled() && child->focusPolicy() != Qt::NoFocus) {
                    targets.push_back(child);
                }
            }
            if (i >= targets.size()) {
                (model.*c.set)(false);
                break;
            }
            QWidget* target = targets[i];
            if (i == 0) {
                // As opened: the key goes where the application sends keys now.
                ASSERT_TRUE(QTest::qWaitForWindowActive(dialog)) << c.name;
                target =
                    QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : QApplication::activeWindow();
            } else {
                target->setFocus(Qt::TabFocusReason);
            }
            QTest::keyClick(target, Qt::Key_Escape);
            EXPECT_FALSE((model.*c.get)())
                << c.name << ": " << target->metaObject()->className() << " " << target->objectName().toStdString();
            (model.*c.set)(false);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
}

TEST_F(SheetKeysTest, TheSettingsWindowClosesWithEscapeAndCtrlW) {
    const std::unique_ptr<QWidget> settingsWindow = makeSettingsWindow(model);
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        settingsWindow->show();
        settingsWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(settingsWindow.get()));
        // From a text field too: the port fields keep their own keys, not these.
        QLineEdit* field = settingsWindow->findChild<QLineEdit*>();
        QWidget* target = field != nullptr ? static_cast<QWidget*>(field) : settingsWindow.get();
        target->setFocus();
        QTest::keyClick(target, keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(settingsWindow->isVisible()) << QKeySequence(keys).toString().toStdString();
    }
}

}  // namespace
}  // namespace ostrel
