// The zoom and pan a canvas draws at. AppModel holds the final values; when a change carries an
// animation hint, the drawn values travel there over time: a zoom step eases out over 0.14 s, a
// reset follows a critically damped spring (response 0.18 s), and anything else jumps. A change
// during an animation starts the next one from where the drawing is. Frames come from a timer on
// the GUI thread; each frame emits `changed`.
#pragma once

#include "app/shell/AppModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QTimer>

namespace ostrel {

class CanvasViewAnimator final : public QObject {
    Q_OBJECT

public:
    static constexpr double kZoomStepSeconds = 0.14;
    static constexpr double kSpringResponseSeconds = 0.18;
    /// The spring is considered settled after this long (its remaining offset is below 0.1 %).
    static constexpr double kSpringSettleSeconds = 0.5;

    explicit CanvasViewAnimator(AppModel& model, QObject* parent = nullptr);

    [[nodiscard]] double shownZoom() const noexcept { return shownZoom_; }
    [[nodiscard]] QPointF shownPan() const noexcept { return shownPan_; }
    [[nodiscard]] bool isAnimating() const noexcept { return timer_.isActive(); }

    /// The fraction of the way travelled after `seconds` of a `kind` animation (0 at the start,
    /// 1 once finished).
    [[nodiscard]] static double progress(ViewAnimation kind, double seconds) noexcept;
    /// Moves the drawn values to `seconds` into the running animation (the timer does this).
    void advanceTo(double seconds);

signals:
    void changed();

private:
    void follow(ViewAnimation animation);
    [[nodiscard]] static double duration(ViewAnimation kind) noexcept;

    AppModel& model_;
    double shownZoom_;
    QPointF shownPan_;
    double fromZoom_ = 1;
    QPointF fromPan_;
    ViewAnimation kind_ = ViewAnimation::none;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace ostrel
