// The window's single-key shortcuts, as one application event filter. It acts only on keys sent to
// the main window while no modal dialog is open and no text field has the focus, so Backspace in
// the settings window or a file dialog never deletes strokes. For every key it handles it also
// accepts the ShortcutOverride event, so a menu item with the same key does not fire as well.
// What each key does is the model's (AppModel::handleWindowKey).
#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace ostrel {

class AppModel;

class WindowKeyFilter final : public QObject {
    Q_OBJECT

public:
    /// Installs itself on the application; removed when destroyed.
    WindowKeyFilter(AppModel& model, QWidget* mainWindow, QObject* parent = nullptr);
    ~WindowKeyFilter() override;

    /// True while keys should reach the model: the receiver is in the main window, no modal dialog
    /// is open, and the focus is not in a text field.
    [[nodiscard]] static bool isWindowKeyTarget(const QObject* receiver, const QWidget* mainWindow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<AppModel> model_;
    QPointer<QWidget> mainWindow_;
};

}  // namespace ostrel
