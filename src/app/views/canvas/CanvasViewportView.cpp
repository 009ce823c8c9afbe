#include "app/views/canvas/CanvasViewportView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

#include <QPainter>

namespace ostrel {

CanvasViewportView::CanvasViewportView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CanvasViewportView::setDropTargeted(bool targeted) {
    if (dropTargeted_ == targeted) return;
    dropTargeted_ = targeted;
    update();
}

void CanvasViewportView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background());
}

}  // namespace ostrel
