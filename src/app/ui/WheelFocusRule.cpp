#include "app/ui/WheelFocusRule.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QPointer>

namespace ostrel {

namespace {

/// The control a wheel over `widget` would change: the widget itself or the number box whose
/// text field it is.
const QWidget* valueControl(const QWidget& widget) {
    if (qobject_cast<const QAbstractSlider*>(&widget) != nullptr ||
        qobject_cast<const QComboBox*>(&widget) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(&widget) != nullptr) {
        return &widget;
    }
    const QWidget* parent = widget.parentWidget();
    return parent != nullptr && qobject_cast<const QAbstractSpinBox*>(parent) != nullptr ? parent : nullptr;
}

/// Whether `control` sits in the scrolled content of a scroll area (the area's own scroll bars,
/// sliders too, do not).
bool insideScrollArea(const QWidget& control) {
    for (const QWidget* w = control.parentWidget(); w != nullptr && !w->isWindow(); w = w->parentWidget()) {
        if (const auto* area = qobject_cast<const QAbstractScrollArea*>(w))
            return area->viewport()->isAncestorOf(&control);
    }
    return false;
}

class Filter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish && watched->isWidgetType()) {
            // A picker takes the focus from a wheel by default, which would let the first notch
            // that passes over it change it: here only a click or the Tab key focuses a control.
            auto* widget = static_cast<QWidget*>(watched);
            if (valueControl(*widget) == widget && (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus) {
                widget->setFocusPolicy(Qt::StrongFocus);
            }
            return false;
        }
        if (event->type() != QEvent::Wheel || !watched->isWidgetType()) return false;
        if (!WheelFocusRule::passesWheelOn(*static_cast<const QWidget*>(watched))) return false;
        // Kept from the control and left unaccepted: the application hands it to the parents, up
        // to the scroll area's viewport.
        event->ignore();
        return true;
    }
};

QPointer<Filter> installed;

}  // namespace

void WheelFocusRule::install() {
    if (installed || qApp == nullptr) return;
    installed = new Filter(qApp);
    qApp->installEventFilter(installed);
}

bool WheelFocusRule::passesWheelOn(const QWidget& widget) {
    const QWidget* control = valueControl(widget);
    return control != nullptr && !control->hasFocus() && insideScrollArea(*control);
}

}  // namespace ostrel
