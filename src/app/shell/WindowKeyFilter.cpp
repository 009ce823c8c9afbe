#include "app/shell/WindowKeyFilter.h"

#include "app/shell/AppModel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace ostrel {

namespace {

bool isTextField(const QWidget* widget) {
    if (widget == nullptr) return false;
    if (qobject_cast<const QLineEdit*>(widget) != nullptr || qobject_cast<const QAbstractSpinBox*>(widget) != nullptr) {
        return true;
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->isEditable();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget)) return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    return false;
}

}  // namespace

WindowKeyFilter::WindowKeyFilter(AppModel& model, QWidget* mainWindow, QObject* parent)
    : QObject(parent), model_(&model), mainWindow_(mainWindow) {
    qApp->installEventFilter(this);
}

WindowKeyFilter::~WindowKeyFilter() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool WindowKeyFilter::isWindowKeyTarget(const QObject* receiver, const QWidget* mainWindow) {
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    if (widget == nullptr || mainWindow == nullptr) return false;
    if (widget->window() != mainWindow) return false;
    if (QApplication::activeModalWidget() != nullptr) return false;
    const QWidget* focus = QApplication::focusWidget();
    return !isTextField(focus) && !isTextField(widget);
}

bool WindowKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    if (model_ == nullptr || !isWindowKeyTarget(watched, mainWindow_)) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (type == QEvent::ShortcutOverride) {
        // Claim the key for the key press that follows, instead of a menu shortcut.
        if (!model_->wouldHandleWindowKey(key->key(), key->modifiers())) return false;
        key->accept();
        return true;
    }
    if (!model_->handleWindowKey(key->key(), key->modifiers())) return false;
    key->accept();
    return true;
}

}  // namespace ostrel
