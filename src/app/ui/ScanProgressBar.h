// The thin progress bar under the top bar: 2 points tall, as wide as it is given. While a run is
// under way it shows a faint track and an accent fill of the run's fraction (clamped to 0…1);
// otherwise it fades out but keeps its height. The fill follows the fraction linearly over 0.12 s;
// the bar fades over 0.2 s.
#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace ostrel {

class ScanProgressBar final : public QWidget {
    Q_OBJECT

public:
    explicit ScanProgressBar(double fraction = 0, bool active = false, QWidget* parent = nullptr);

    void setFraction(double fraction);
    void setActive(bool active);
    [[nodiscard]] double fraction() const noexcept { return fraction_; }
    [[nodiscard]] bool isActive() const noexcept { return active_; }
    /// The fill and opacity drawn now (they trail the values while animating).
    [[nodiscard]] double shownFill() const noexcept { return shownFill_; }
    [[nodiscard]] double shownOpacity() const noexcept { return shownOpacity_; }
    /// Whether the fill or the fade is still animating.
    [[nodiscard]] bool isAnimating() const noexcept;

    [[nodiscard]] QSize sizeHint() const override { return {100, 2}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {0, 2}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void animateFill();

    double fraction_ = 0;
    bool active_ = false;
    double shownFill_ = 0;
    double shownOpacity_ = 0;
    QVariantAnimation fillAnimation_;
    QVariantAnimation fadeAnimation_;
};

}  // namespace ostrel
