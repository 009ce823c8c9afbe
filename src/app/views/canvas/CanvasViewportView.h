// The canvas column of the main window. Without a document it shows the welcome state; with one,
// the panes of the current view mode (side by side: the picture, a 1-point divider and the
// vectors; overlay: both in one pane; vector only: the vectors, on the plot sheet when the plotter
// section is shown), a dashed frame while a drag hovers the window, and the overlay column.
//
// Hooks for the canvas interaction:
// - setEventHandler(): every pane body hands its mouse, wheel, key, hover and gesture events to the
//   handler (CanvasPaneEventHandler::handlePaneEvent) and, in editable panes, lets it paint the
//   editing overlay above the drawing (paintEditingOverlay). A pane body exposes its current
//   CanvasTransformGeometry, whether it is editable and whether it shows the paper.
// - gestureState(): the marquee, freehand points and hover point every pane shares; call
//   updatePanes() after changing it.
// - setDisplayedZoomPan(): while a zoom or pan animates, the zoom and pan the panes draw at (the
//   model already holds the final values); reset it to nullopt when the animation ends.
// - setOverlayWidgets(): the plotter banner, the selection bar, the edit hint and the zoom bar.
//   They become children of the viewport, placed above the panes and the drop frame: the banner 34
//   points below the top while the plotter is active, the selection bar under it (8 points) or 34
//   points below the top while strokes are selected, the hint at the bottom left and the zoom bar at
//   the bottom right, 14 points in. Each is shown only while a document is open; the room between
//   them is not covered, so clicks there reach the panes.
#pragma once

#include "app/views/canvas/CanvasPane.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ostrel {

class AppModel;
class CanvasWelcomeView;
struct AxiDrawRunState;

class CanvasViewportView final : public QWidget {
    Q_OBJECT

public:
    struct OverlayWidgets {
        QWidget* plotterBanner = nullptr;
        QWidget* selectionBar = nullptr;
        QWidget* editHint = nullptr;
        QWidget* zoomBar = nullptr;
    };

    static constexpr int kOverlayTop = 34;
    static constexpr int kOverlaySpacing = 8;
    static constexpr int kOverlayInset = 14;

    explicit CanvasViewportView(AppModel& model, QWidget* parent = nullptr);
    ~CanvasViewportView() override;

    /// True while a drag with something droppable hovers over the window (drawn as a dashed frame).
    void setDropTargeted(bool targeted);
    [[nodiscard]] bool isDropTargeted() const noexcept { return dropTargeted_; }

    /// Draws now, on this thread, whatever picture of the drawing is still pending, so that a grab
    /// right after shows it.
    void renderPendingNow();

    void setEventHandler(CanvasPaneEventHandler* handler);
    [[nodiscard]] CanvasGestureState& gestureState() noexcept { return context_->gesture; }
    void setDisplayedZoomPan(std::optional<std::pair<double, QPointF>> zoomPan);
    void setOverlayWidgets(OverlayWidgets widgets);
    /// Repaints every pane body (after a change of the gesture state).
    void updatePanes();
    /// Places and shows or hides the overlay widgets again (also done on their size changes).
    void layoutOverlays();

    /// The panes shown now, left to right; empty while the welcome state is shown.
    [[nodiscard]] const std::vector<CanvasPane*>& panes() const noexcept { return panes_; }
    [[nodiscard]] CanvasWelcomeView& welcomeView() noexcept { return *welcome_; }
    [[nodiscard]] bool isShowingWelcome() const;

    /// "W × H px" of the source image, else empty.
    [[nodiscard]] QString sourceSizeBadge() const;
    /// "n chemins · d" / "n paths · d" of the result, else empty.
    [[nodiscard]] QString vectorPathsBadge() const;
    /// Plotting, framing or paused (for any reason).
    [[nodiscard]] static bool isPlotterActive(const AxiDrawRunState& state) noexcept;

signals:
    /// The panes were replaced (document opened or closed, view mode or plot sheet changed): pane
    /// bodies from before are gone.
    void panesRebuilt();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Layout {
        bool hasDocument = false;
        CanvasViewMode mode = CanvasViewMode::sideBySide;
        bool plotSheet = false;
        friend bool operator==(const Layout&, const Layout&) = default;
    };

    [[nodiscard]] Layout currentLayout() const;
    void rebuildPanes();
    void updateTexts();
    void layoutPanes();
    void restack();

    AppModel& model_;
    std::unique_ptr<CanvasViewContext> context_;
    bool dropTargeted_ = false;
    std::optional<Layout> layout_;
    std::vector<CanvasPane*> panes_;
    CanvasWelcomeView* welcome_;
    QWidget* dropFrame_;
    OverlayWidgets overlays_;
};

}  // namespace ostrel
