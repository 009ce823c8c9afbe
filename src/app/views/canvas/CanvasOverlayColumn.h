// The floating pieces over the canvas area, placed as direct children of the host so the free room
// between them passes clicks through to the panes: the plotter banner 34 points below the top, the
// selection bar under it (8 points below the banner, or 34 below the top without one), both
// centred; the edit hint at the bottom left and the zoom bar at the bottom right, 14 points in.
// The column shows the banner only while the plotter is active and the bar only while strokes are
// selected, and re-places the pieces when the host or a piece changes size.
#pragma once

#include <QObject>
#include <QRect>

class QWidget;

namespace ostrel {

class AppModel;
class EditHintPill;
class PlotterLiveBanner;
class SelectionActionBar;
class ZoomBar;

class CanvasOverlayColumn final : public QObject {
    Q_OBJECT

public:
    static constexpr int kTopInset = 34;
    static constexpr int kBarGap = 8;
    static constexpr int kBottomInset = 14;

    /// Creates the four pieces as children of `host`, above its other children.
    CanvasOverlayColumn(AppModel& model, QWidget& host);

    /// Shows or hides the whole column (it exists only while a document is open).
    void setPresent(bool present);
    [[nodiscard]] bool isPresent() const noexcept { return present_; }
    /// Shows, hides and places the pieces in the host's rectangle.
    void place();

    [[nodiscard]] PlotterLiveBanner* banner() const noexcept { return banner_; }
    [[nodiscard]] SelectionActionBar* selectionBar() const noexcept { return selectionBar_; }
    [[nodiscard]] EditHintPill* editHint() const noexcept { return editHint_; }
    [[nodiscard]] ZoomBar* zoomBar() const noexcept { return zoomBar_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppModel& model_;
    QWidget& host_;
    PlotterLiveBanner* banner_;
    SelectionActionBar* selectionBar_;
    EditHintPill* editHint_;
    ZoomBar* zoomBar_;
    bool present_ = true;
    bool placing_ = false;
};

}  // namespace ostrel
