#include "app/views/canvas/CanvasOverlayColumn.h"

#include "app/shell/AppModel.h"
#include "app/views/canvas/EditHintPill.h"
#include "app/views/canvas/PlotterLiveBanner.h"
#include "app/views/canvas/SelectionActionBar.h"
#include "app/views/canvas/ZoomBar.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace ostrel {

CanvasOverlayColumn::CanvasOverlayColumn(AppModel& model, QWidget& host)
    : QObject(&host),
      model_(model),
      host_(host),
      banner_(new PlotterLiveBanner(model.plotter(), &host)),
      selectionBar_(new SelectionActionBar(model, &host)),
      editHint_(new EditHintPill(model, &host)),
      zoomBar_(new ZoomBar(model, &host)) {
    connect(&model, &AppModel::languageChanged, banner_, &PlotterLiveBanner::refresh);
    connect(&model.plotter(), &AxiDrawPlotterController::runStateChanged, this, &CanvasOverlayColumn::place);
    connect(&model, &AppModel::selectedPathIDsChanged, this, &CanvasOverlayColumn::place);
    host_.installEventFilter(this);
    for (QWidget* piece : {static_cast<QWidget*>(banner_), static_cast<QWidget*>(selectionBar_),
                           static_cast<QWidget*>(editHint_), static_cast<QWidget*>(zoomBar_)}) {
        piece->installEventFilter(this);
        piece->raise();
    }
    place();
}

void CanvasOverlayColumn::setPresent(bool present) {
    present_ = present;
    place();
}

bool CanvasOverlayColumn::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool relevant = watched == &host_ ? type == QEvent::Resize
                                            : type == QEvent::Resize || type == QEvent::Show || type == QEvent::Hide ||
                                                  type == QEvent::LayoutRequest;
    if (relevant && !placing_) place();
    return QObject::eventFilter(watched, event);
}

void CanvasOverlayColumn::place() {
    placing_ = true;
    const QRect area = host_.rect();
    const bool bannerShown = present_ && PlotterLiveBanner::isPlotterActive(banner_->plotter().runState());
    banner_->setVisible(bannerShown);
    const bool barShown = present_ && !model_.selectedPathIDs().empty();
    selectionBar_->setVisible(barShown);
    editHint_->setVisible(present_);
    zoomBar_->setVisible(present_);

    int top = area.top() + kTopInset;
    if (bannerShown) {
        const QSize size = banner_->sizeHint();
        banner_->setGeometry(area.center().x() - size.width() / 2, top, size.width(), size.height());
        top += size.height() + kBarGap;
    }
    if (barShown) {
        const QSize size = selectionBar_->sizeHint();
        selectionBar_->setGeometry(area.center().x() - size.width() / 2, top, size.width(), size.height());
    }
    const QSize zoom = zoomBar_->sizeHint();
    const int bottom = area.bottom() + 1 - kBottomInset;
    zoomBar_->setGeometry(area.right() + 1 - kBottomInset - zoom.width(), bottom - zoom.height(), zoom.width(),
                          zoom.height());
    const QSize hint = editHint_->sizeHint();
    const int hintRoom = std::max(0, zoomBar_->x() - kBarGap - (area.left() + kBottomInset));
    const int hintWidth = std::clamp(hint.width(), std::min(editHint_->minimumSizeHint().width(), hintRoom), hintRoom);
    editHint_->setGeometry(area.left() + kBottomInset, bottom - hint.height(), hintWidth, hint.height());
    placing_ = false;
}

}  // namespace ostrel
