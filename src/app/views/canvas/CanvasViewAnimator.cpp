#include "app/views/canvas/CanvasViewAnimator.h"

#include <QEasingCurve>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrel {

CanvasViewAnimator::CanvasViewAnimator(AppModel& model, QObject* parent)
    : QObject(parent), model_(model), shownZoom_(model.zoomScale()), shownPan_(model.panOffset()) {
    timer_.setInterval(16);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { advanceTo(static_cast<double>(clock_.nsecsElapsed()) / 1e9); });
    connect(&model_, &AppModel::zoomScaleChanged, this, &CanvasViewAnimator::follow);
    connect(&model_, &AppModel::panOffsetChanged, this, &CanvasViewAnimator::follow);
}

double CanvasViewAnimator::duration(ViewAnimation kind) noexcept {
    switch (kind) {
        case ViewAnimation::zoomStep:
            return kZoomStepSeconds;
        case ViewAnimation::zoomReset:
            return kSpringSettleSeconds;
        case ViewAnimation::none:
        case ViewAnimation::outputModeSwitch:
            return 0;
    }
    return 0;
}

double CanvasViewAnimator::progress(ViewAnimation kind, double seconds) noexcept {
    const double length = duration(kind);
    if (length <= 0 || seconds >= length) return 1;
    if (seconds <= 0) return 0;
    if (kind == ViewAnimation::zoomStep) {
        // The standard ease-out: a cubic Bézier through (0, 0), (0.58, 1), (1, 1).
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment({0, 0}, {0.58, 1}, {1, 1});
        return curve.valueForProgress(seconds / length);
    }
    // Critically damped: the remaining offset is (1 + ωt)·e^(−ωt), ω = 2π / response.
    const double omega = 2 * std::numbers::pi / kSpringResponseSeconds;
    return 1 - (1 + omega * seconds) * std::exp(-omega * seconds);
}

void CanvasViewAnimator::follow(ViewAnimation animation) {
    if (animation == ViewAnimation::none || animation == ViewAnimation::outputModeSwitch) {
        // A plain change (a pan drag, a wheel step) lands at once, ending any animation.
        timer_.stop();
        shownZoom_ = model_.zoomScale();
        shownPan_ = model_.panOffset();
        emit changed();
        return;
    }
    fromZoom_ = shownZoom_;
    fromPan_ = shownPan_;
    kind_ = animation;
    clock_.start();
    timer_.start();
    advanceTo(0);
}

void CanvasViewAnimator::advanceTo(double seconds) {
    const double t = progress(kind_, seconds);
    shownZoom_ = fromZoom_ + (model_.zoomScale() - fromZoom_) * t;
    shownPan_ = fromPan_ + (model_.panOffset() - fromPan_) * t;
    if (t >= 1) timer_.stop();
    emit changed();
}

}  // namespace ostrel
