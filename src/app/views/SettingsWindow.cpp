#include "app/views/SettingsWindow.h"

#include "app/shell/AppModel.h"
#include "app/views/sheets/PreferencesView.h"
#include "core/model/Localization.h"

#include <QKeySequence>
#include <QShortcut>
#include <QVBoxLayout>

namespace ostrel {

SettingsWindow::SettingsWindow(AppModel& model, QWidget* parent) : QWidget(parent, Qt::Window) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    preferences_ = new PreferencesView(model, this);
    layout->addWidget(preferences_);
    retitle();
    // Connected after the preferences' own refresh, so the size below is that of the new texts.
    connect(&model, &AppModel::languageChanged, this, &SettingsWindow::retitle);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
}

void SettingsWindow::retitle() {
    setWindowTitle(QString::fromStdString(L("Réglages", "Settings")));
    setFixedSize(preferences_->minimumSize().expandedTo(preferences_->sizeHint()));
}

}  // namespace ostrel
