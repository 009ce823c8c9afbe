// Helpers of the sheet tests: a model with a clipboard of its own and no release checks on its
// own, the texts a widget shows, key presses and a record of the closures a sheet is given.
#pragma once

#include "app/shell/AppModel.h"
#include "app/views/sheets/SheetParts.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::test {

/// A model whose clipboard and panels are the test's; services as asked, the launch check far off.
struct SheetModel {
    explicit SheetModel(bool services = false, std::function<std::optional<std::string>(const char*)> variable = {}) {
        ensureQtApp();
        AppModel::Environment env;
        env.settings = &settings;
        env.panels = std::make_shared<ScriptedPanels>();
        env.pasteboard = pasteboard;
        env.updater.launchDelay = std::chrono::hours(24);
        env.updater.variable =
            variable ? std::move(variable) : [](const char*) -> std::optional<std::string> { return std::nullopt; };
        model = std::make_unique<AppModel>(AppModel::Options{services, false, false}, std::move(env));
    }

    RecordingSettingsStore settings;
    std::shared_ptr<MemoryPasteboard> pasteboard = std::make_shared<MemoryPasteboard>();
    std::unique_ptr<AppModel> model;
};

/// Every label text under `root`, visible or not, in widget order.
inline std::vector<std::string> labelTexts(const QWidget& root) {
    std::vector<std::string> texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) texts.push_back(label->text().toStdString());
    return texts;
}

inline bool showsText(const QWidget& root, const std::string& text) {
    for (const std::string& shown : labelTexts(root)) {
        if (shown == text) return true;
    }
    return false;
}

inline bool showsTextContaining(const QWidget& root, const std::string& part) {
    for (const std::string& shown : labelTexts(root)) {
        if (shown.find(part) != std::string::npos) return true;
    }
    return false;
}

/// A key press delivered to `widget` as the window would deliver it to its focus.
inline void pressKey(QWidget& widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

/// Records in order which of a sheet's closures ran.
struct CallLog {
    std::function<void()> recorder(std::string name) {
        return [this, name = std::move(name)] { calls.push_back(name); };
    }
    std::vector<std::string> calls;
};

/// Sends the event that tells a widget tree the interface language changed.
inline void announceLanguageChange(QWidget& widget) {
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&widget, &change);
}

}  // namespace ostrel::test
