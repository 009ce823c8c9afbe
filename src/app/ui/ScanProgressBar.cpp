#include "app/ui/ScanProgressBar.h"

#include "app/shell/Theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ostrel {

ScanProgressBar::ScanProgressBar(double fraction, bool active, QWidget* parent) : QWidget(parent) {
    setFixedHeight(2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    fillAnimation_.setDuration(120);
    fillAnimation_.setEasingCurve(QEasingCurve::Linear);
    fadeAnimation_.setDuration(200);
    fadeAnimation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&fillAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownFill_ = value.toDouble();
        update();
    });
    connect(&fadeAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownOpacity_ = value.toDouble();
        update();
    });
    // The first state is shown as it is, without animating in.
    fraction_ = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    active_ = active;
    shownFill_ = active_ ? fraction_ : 0;
    shownOpacity_ = active_ ? 1 : 0;
}

bool ScanProgressBar::isAnimating() const noexcept {
    return fillAnimation_.state() == QAbstractAnimation::Running ||
           fadeAnimation_.state() == QAbstractAnimation::Running;
}

void ScanProgressBar::setFraction(double fraction) {
    fraction_ = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    animateFill();
}

void ScanProgressBar::setActive(bool active) {
    if (active != active_) {
        active_ = active;
        fadeAnimation_.stop();
        fadeAnimation_.setStartValue(shownOpacity_);
        fadeAnimation_.setEndValue(active ? 1.0 : 0.0);
        fadeAnimation_.start();
    }
    animateFill();
}

void ScanProgressBar::animateFill() {
    const double target = active_ ? fraction_ : 0.0;
    fillAnimation_.stop();
    fillAnimation_.setStartValue(shownFill_);
    fillAnimation_.setEndValue(target);
    fillAnimation_.start();
}

void ScanProgressBar::paintEvent(QPaintEvent*) {
    if (shownOpacity_ <= 0) return;
    QPainter painter(this);
    painter.setOpacity(shownOpacity_);
    // The track belongs to the active look; it fades with the bar.
    painter.fillRect(rect(), Theme::withOpacity(Qt::white, 0.05));
    const double fillWidth = std::max(0.0, width() * shownFill_);
    painter.fillRect(QRectF(0, 0, fillWidth, height()), Theme::accent());
}

}  // namespace ostrel
