#include "app/ui/HoverFade.h"

#include <QWidget>

namespace ostrel {

HoverFade::HoverFade(QWidget& owner) : QObject(&owner) {
    animation_.setDuration(120);
    animation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this, &owner](const QVariant& value) {
        amount_ = value.toDouble();
        owner.update();
    });
}

void HoverFade::setHovering(bool hovering) {
    if (hovering == hovering_) return;
    hovering_ = hovering;
    animation_.stop();
    animation_.setStartValue(amount_);
    animation_.setEndValue(hovering ? 1.0 : 0.0);
    animation_.start();
}

}  // namespace ostrel
