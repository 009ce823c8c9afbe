// What makes the canvas editable: it takes the pane bodies' input events and hands them, in pane
// points, to one CanvasInteraction (one gesture at a time across all panes); it paints the editing
// overlay of editable panes from the viewport's shared gesture state; it animates zoom steps and
// resets through the viewport's displayed zoom and pan; and it gives the viewport its floating
// bars (plotter banner, selection bar, edit hint, zoom bar).
#pragma once

#include "app/views/canvas/CanvasInteraction.h"
#include "app/views/canvas/CanvasPane.h"
#include "app/views/canvas/CanvasViewAnimator.h"

#include <QObject>

namespace ostrel {

class AppModel;
class CanvasViewportView;
class EditHintPill;
class PlotterLiveBanner;
class SelectionActionBar;
class ZoomBar;

class CanvasEditingController final : public QObject, public CanvasPaneEventHandler {
    Q_OBJECT

public:
    /// Attaches itself to `viewport` as its event handler, overlay painter and overlay bars; a
    /// child of the viewport.
    CanvasEditingController(AppModel& model, CanvasViewportView& viewport);

    bool handlePaneEvent(CanvasPaneBody& pane, QEvent* event) override;
    void paintEditingOverlay(CanvasPaneBody& pane, QPainter& painter) override;

    [[nodiscard]] CanvasInteraction& interaction() noexcept { return interaction_; }
    [[nodiscard]] CanvasViewAnimator& animator() noexcept { return animator_; }
    [[nodiscard]] PlotterLiveBanner* plotterBanner() const noexcept { return banner_; }
    [[nodiscard]] SelectionActionBar* selectionBar() const noexcept { return selectionBar_; }
    [[nodiscard]] EditHintPill* editHint() const noexcept { return editHint_; }
    [[nodiscard]] ZoomBar* zoomBar() const noexcept { return zoomBar_; }

private:
    AppModel& model_;
    CanvasViewportView& viewport_;
    CanvasInteraction interaction_;
    CanvasViewAnimator animator_;
    PlotterLiveBanner* banner_;
    SelectionActionBar* selectionBar_;
    EditHintPill* editHint_;
    ZoomBar* zoomBar_;
};

}  // namespace ostrel
