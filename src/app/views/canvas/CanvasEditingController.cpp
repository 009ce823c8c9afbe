#include "app/views/canvas/CanvasEditingController.h"

#include "app/shell/AppModel.h"
#include "app/views/canvas/CanvasEditingOverlay.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "app/views/canvas/EditHintPill.h"
#include "app/views/canvas/PlotterLiveBanner.h"
#include "app/views/canvas/SelectionActionBar.h"
#include "app/views/canvas/ZoomBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>

namespace ostrel {

CanvasEditingController::CanvasEditingController(AppModel& model, CanvasViewportView& viewport)
    : QObject(&viewport),
      model_(model),
      viewport_(viewport),
      interaction_(model),
      animator_(model),
      banner_(new PlotterLiveBanner(model.plotter(), &viewport)),
      selectionBar_(new SelectionActionBar(model, &viewport)),
      editHint_(new EditHintPill(model, &viewport)),
      zoomBar_(new ZoomBar(model, &viewport)) {
    CanvasViewportView* view = &viewport_;
    interaction_.setBindings(
        [view](std::optional<QRectF> rect) {
            view->gestureState().marqueeRect = rect;
            view->updatePanes();
        },
        [view](std::vector<VectorPoint> points) {
            view->gestureState().freehandPointsPx = std::move(points);
            view->updatePanes();
        },
        [view](std::optional<QPointF> point) {
            if (view->gestureState().hoverPointPane == point) return;
            view->gestureState().hoverPointPane = point;
            view->updatePanes();
        },
        [view](std::optional<CanvasSelectionDrag> drag) {
            if (view->gestureState().selectionDrag == drag) return;
            view->gestureState().selectionDrag = drag;
            view->updatePanes();
        });
    connect(&animator_, &CanvasViewAnimator::changed, this, [this] {
        viewport_.setDisplayedZoomPan(animator_.isAnimating()
                                          ? std::optional(std::pair{animator_.shownZoom(), animator_.shownPan()})
                                          : std::nullopt);
    });
    // The overlay reads the tool, the pen, the eraser size and the plotter: repaint on their changes.
    const auto repaint = [this] { viewport_.updatePanes(); };
    connect(&model_, &AppModel::editToolChanged, this, repaint);
    connect(&model_, &AppModel::activeDrawPenIndexChanged, this, repaint);
    connect(&model_, &AppModel::eraserRadiusPxChanged, this, repaint);
    AxiDrawPlotterController& plotter = model_.plotter();
    connect(&plotter, &AxiDrawPlotterController::runStateChanged, this, repaint);
    connect(&plotter, &AxiDrawPlotterController::currentPosMMChanged, this, repaint);
    connect(&plotter, &AxiDrawPlotterController::isPenDownChanged, this, repaint);
    connect(&model_, &AppModel::languageChanged, banner_, &PlotterLiveBanner::refresh);

    // The pane a gesture ran in may be gone: the gesture and the eraser's hover point end with it.
    connect(&viewport_, &CanvasViewportView::panesRebuilt, this, [this] {
        interaction_.cancelGesture();
        interaction_.leave();
    });
    // Placed again as soon as their content changes, not a turn of the event loop later.
    connect(selectionBar_, &SelectionActionBar::contentChanged, &viewport_, &CanvasViewportView::layoutOverlays);
    connect(banner_, &PlotterLiveBanner::contentChanged, &viewport_, &CanvasViewportView::layoutOverlays);
    viewport_.setOverlayWidgets({banner_, selectionBar_, editHint_, zoomBar_});
    viewport_.setEventHandler(this);
}

bool CanvasEditingController::handlePaneEvent(CanvasPaneBody& pane, QEvent* event) {
    interaction_.setPane(QSizeF(pane.size()), pane.isVectorEditable(), pane.showPaperFrame());
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            pane.setFocus(Qt::MouseFocusReason);
            interaction_.press(mouse->button(), mouse->position(), mouse->modifiers(),
                               event->type() == QEvent::MouseButtonDblClick ? 2 : 1);
            return true;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() == Qt::NoButton) {
                interaction_.hover(mouse->position());
            } else {
                interaction_.drag(mouse->position());
            }
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            interaction_.release(mouse->button(), mouse->position());
            return true;
        }
        case QEvent::Leave:
            interaction_.leave();
            return false;
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            interaction_.scroll(wheel->position(), wheel->pixelDelta(), wheel->angleDelta(), wheel->modifiers());
            return true;
        }
        case QEvent::NativeGesture: {
            auto* gesture = static_cast<QNativeGestureEvent*>(event);
            if (gesture->gestureType() != Qt::ZoomNativeGesture) return false;
            interaction_.pinch(gesture->value(), gesture->position());
            return true;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            return interaction_.key(key->key(), key->modifiers());
        }
        default:
            return false;
    }
}

void CanvasEditingController::paintEditingOverlay(CanvasPaneBody& pane, QPainter& painter) {
    if (const auto frame = editingOverlayFrame(model_, pane.gestureState(), pane.transformGeometry())) {
        ostrel::paintEditingOverlay(painter, *frame);
    }
}

}  // namespace ostrel
