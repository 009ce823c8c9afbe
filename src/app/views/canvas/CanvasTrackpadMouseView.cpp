#include "app/views/canvas/CanvasTrackpadMouseView.h"

#include "app/views/canvas/CanvasEditingState.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QWheelEvent>

namespace ostrel {

CanvasTrackpadMouseView::CanvasTrackpadMouseView(AppModel& model, CanvasEditingState& state, bool isVectorEditable,
                                                 bool showPaperFrame, QWidget* parent)
    : QWidget(parent), interaction_(model), isVectorEditable_(isVectorEditable), showPaperFrame_(showPaperFrame) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_AcceptTouchEvents, false);
    CanvasEditingState* shared = &state;
    interaction_.setBindings([shared](std::optional<QRectF> r) { shared->setMarqueeRect(r); },
                             [shared](std::vector<VectorPoint> p) { shared->setFreehandPointsPx(std::move(p)); },
                             [shared](std::optional<QPointF> p) { shared->setHoverPointPane(p); });
    updatePane();
}

void CanvasTrackpadMouseView::setFlags(bool isVectorEditable, bool showPaperFrame) {
    isVectorEditable_ = isVectorEditable;
    showPaperFrame_ = showPaperFrame;
    updatePane();
}

void CanvasTrackpadMouseView::updatePane() { interaction_.setPane(QSizeF(size()), isVectorEditable_, showPaperFrame_); }

void CanvasTrackpadMouseView::resizeEvent(QResizeEvent*) { updatePane(); }

bool CanvasTrackpadMouseView::event(QEvent* event) {
    // Each event works with the view's size at that moment.
    updatePane();
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            interaction_.pinch(gesture->value(), gesture->position());
            return true;
        }
    }
    return QWidget::event(event);
}

void CanvasTrackpadMouseView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    interaction_.press(event->button(), event->position(), event->modifiers(), 1);
}

void CanvasTrackpadMouseView::mouseDoubleClickEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    interaction_.press(event->button(), event->position(), event->modifiers(), 2);
}

void CanvasTrackpadMouseView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton) {
        interaction_.hover(event->position());
    } else {
        interaction_.drag(event->position());
    }
}

void CanvasTrackpadMouseView::mouseReleaseEvent(QMouseEvent* event) {
    interaction_.release(event->button(), event->position());
}

void CanvasTrackpadMouseView::leaveEvent(QEvent*) { interaction_.leave(); }

void CanvasTrackpadMouseView::wheelEvent(QWheelEvent* event) {
    interaction_.scroll(event->position(), event->pixelDelta(), event->angleDelta(), event->modifiers());
    event->accept();
}

void CanvasTrackpadMouseView::keyPressEvent(QKeyEvent* event) {
    if (!interaction_.key(event->key(), event->modifiers())) QWidget::keyPressEvent(event);
}

}  // namespace ostrel
