#include "app/views/canvas/CanvasViewportView.h"

#include "app/plotter/AxiDrawRunState.h"
#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/views/canvas/CanvasWelcomeView.h"
#include "app/views/canvas/SelectionActionBar.h"
#include "core/model/Format.h"
#include "core/model/Localization.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

/// The dashed accent frame shown while a drag hovers the window; takes no input.
class DropFrame final : public QWidget {
public:
    explicit DropFrame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(8, 8, -8, -8);
        if (area.isEmpty()) return;
        p.fillRect(area, Theme::withOpacity(Theme::accent(), 0.06));
        // The border lies inside the edge: its centre line is half its width in.
        constexpr double kWidth = 2.5;
        const QRectF border = area.adjusted(kWidth / 2, kWidth / 2, -kWidth / 2, -kWidth / 2);
        QPainterPath path;
        path.addRoundedRect(border, 8 - kWidth / 2, 8 - kWidth / 2);
        QPen pen(Theme::accent(), kWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        pen.setDashPattern({8 / kWidth, 4 / kWidth});
        pen.setDashOffset(0);
        p.strokePath(path, pen);
    }
};

}  // namespace

CanvasViewportView::CanvasViewportView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      context_(std::make_unique<CanvasViewContext>()),
      welcome_(new CanvasWelcomeView(model, this)),
      dropFrame_(new DropFrame(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    dropFrame_->hide();
    context_->updatePanes = [this] { updatePanes(); };

    VectorizerController& document = model_.vectorizer();
    connect(&document, &VectorizerController::sourceImageChanged, this, [this] {
        rebuildPanes();
        layoutOverlays();
    });
    connect(&document, &VectorizerController::resultChanged, this, &CanvasViewportView::updateTexts);
    connect(&document, &VectorizerController::paramsChanged, this, &CanvasViewportView::updateTexts);
    connect(&model_, &AppModel::viewModeChanged, this, &CanvasViewportView::rebuildPanes);
    connect(&model_, &AppModel::showAxiDrawSectionChanged, this, &CanvasViewportView::rebuildPanes);
    connect(&model_, &AppModel::languageChanged, this, &CanvasViewportView::updateTexts);
    connect(&model_, &AppModel::selectedPathIDsChanged, this, &CanvasViewportView::layoutOverlays);
    connect(&model_.plotter(), &AxiDrawPlotterController::runStateChanged, this, &CanvasViewportView::layoutOverlays);
    rebuildPanes();
}

CanvasViewportView::~CanvasViewportView() {
    // The pane bodies refer to the shared context: they go first.
    for (CanvasPane* pane : panes_) delete pane;
    panes_.clear();
}

bool CanvasViewportView::isPlotterActive(const AxiDrawRunState& state) noexcept {
    return state.isRunning() || state.isPaused();
}

bool CanvasViewportView::isShowingWelcome() const { return !welcome_->isHidden(); }

void CanvasViewportView::setDropTargeted(bool targeted) {
    if (dropTargeted_ == targeted) return;
    dropTargeted_ = targeted;
    dropFrame_->setVisible(targeted);
    restack();
}

void CanvasViewportView::renderPendingNow() {
    // A hidden viewport (the offscreen snapshot) may not have had its resize events yet.
    layoutPanes();
    for (CanvasPane* pane : panes_) pane->body().renderPendingNow();
}

void CanvasViewportView::setEventHandler(CanvasPaneEventHandler* handler) {
    context_->handler = handler;
    updatePanes();
}

void CanvasViewportView::setDisplayedZoomPan(std::optional<std::pair<double, QPointF>> zoomPan) {
    context_->displayedZoomPan = zoomPan;
    for (CanvasPane* pane : panes_) {
        pane->body().update();
        pane->body().scheduleRender();
    }
}

void CanvasViewportView::setOverlayWidgets(OverlayWidgets widgets) {
    overlays_ = widgets;
    for (QWidget* w : {overlays_.plotterBanner, overlays_.selectionBar, overlays_.editHint, overlays_.zoomBar}) {
        if (w != nullptr) w->setParent(this);
    }
    layoutOverlays();
}

void CanvasViewportView::updatePanes() {
    for (CanvasPane* pane : panes_) pane->body().gestureChanged();
}

CanvasViewportView::Layout CanvasViewportView::currentLayout() const {
    Layout layout;
    layout.hasDocument = model_.vectorizer().sourceImage() != nullptr;
    layout.mode = model_.viewMode();
    layout.plotSheet = layout.mode == CanvasViewMode::vectorOnly && model_.showAxiDrawSection();
    return layout;
}

void CanvasViewportView::rebuildPanes() {
    const Layout layout = currentLayout();
    if (layout_ == layout) return;
    layout_ = layout;
    for (CanvasPane* pane : panes_) delete pane;
    panes_.clear();
    welcome_->setVisible(!layout.hasDocument);
    if (layout.hasDocument) {
        const auto add = [this](CanvasPaneKind kind, bool paper) {
            auto* pane = new CanvasPane(model_, *context_, kind, paper, this);
            panes_.push_back(pane);
        };
        switch (layout.mode) {
            case CanvasViewMode::sideBySide:
                add(CanvasPaneKind::original, false);
                add(CanvasPaneKind::vector, false);
                break;
            case CanvasViewMode::overlay:
                add(CanvasPaneKind::overlay, false);
                break;
            case CanvasViewMode::vectorOnly:
                add(CanvasPaneKind::vector, layout.plotSheet);
                break;
        }
    }
    updateTexts();
    layoutPanes();
    for (CanvasPane* pane : panes_) pane->show();
    restack();
    update();
    emit panesRebuilt();
}

QString CanvasViewportView::sourceSizeBadge() const {
    const RasterImage* source = model_.vectorizer().sourceImage();
    if (source == nullptr) return {};
    return QString("%1 × %2 px").arg(source->width).arg(source->height);
}

QString CanvasViewportView::vectorPathsBadge() const {
    const auto& result = model_.vectorizer().result();
    if (!result) return {};
    const std::string count = std::to_string(result->metrics.pathCount);
    const std::string distance = Format::distanceMM(result->metrics.drawDistanceMM);
    return qs(L(count + " chemins · " + distance, count + " paths · " + distance));
}

void CanvasViewportView::updateTexts() {
    if (!layout_ || !layout_->hasDocument) return;
    const QString paths = vectorPathsBadge();
    switch (layout_->mode) {
        case CanvasViewMode::sideBySide:
            if (panes_.size() == 2) {
                panes_[0]->setTitle(qs(L("ORIGINAL (BITMAP)", "ORIGINAL (BITMAP)")));
                panes_[0]->setBadge(sourceSizeBadge());
                panes_[1]->setTitle(qs(L("VECTORISÉ (SVG)", "VECTORIZED (SVG)")));
                panes_[1]->setBadge(paths);
            }
            break;
        case CanvasViewMode::overlay:
            if (!panes_.empty()) {
                panes_[0]->setTitle(qs(L("SUPERPOSITION BITMAP + VECTEUR", "BITMAP + VECTOR OVERLAY")));
                panes_[0]->setBadge(paths);
            }
            break;
        case CanvasViewMode::vectorOnly:
            if (!panes_.empty()) {
                if (layout_->plotSheet) {
                    const std::string format = shortLabel(model_.vectorizer().params().paperFormat);
                    panes_[0]->setTitle(
                        qs(L("FEUILLE DE TRACÉ AXIDRAW (" + format + ")", "AXIDRAW PLOT SHEET (" + format + ")")));
                } else {
                    panes_[0]->setTitle(qs(L("APERÇU VECTORIEL (SVG)", "VECTOR PREVIEW (SVG)")));
                }
                panes_[0]->setBadge(paths);
            }
            break;
    }
}

void CanvasViewportView::layoutPanes() {
    welcome_->setGeometry(rect());
    dropFrame_->setGeometry(rect());
    if (panes_.size() == 2) {
        // Two equal halves around the 1-point divider.
        const int room = std::max(0, width() - 1);
        const int left = room / 2;
        panes_[0]->setGeometry(0, 0, left, height());
        panes_[1]->setGeometry(left + 1, 0, room - left, height());
    } else if (panes_.size() == 1) {
        panes_[0]->setGeometry(rect());
    }
    for (CanvasPane* pane : panes_) pane->layoutBody();
}

void CanvasViewportView::layoutOverlays() {
    const bool hasDocument = model_.vectorizer().sourceImage() != nullptr;
    const bool plotterActive = hasDocument && isPlotterActive(model_.plotter().runState());
    const bool selection = hasDocument && !model_.selectedPathIDs().empty();
    int top = kOverlayTop;
    const auto placeTop = [&](QWidget* w, bool show) {
        if (w == nullptr) return;
        w->setVisible(show);
        if (!show) return;
        const QSize size = w->sizeHint().expandedTo(w->minimumSize()).boundedTo(this->size());
        w->setGeometry((width() - size.width()) / 2, top, size.width(), size.height());
        top += size.height() + kOverlaySpacing;
    };
    placeTop(overlays_.plotterBanner, plotterActive);
    if (auto* bar = qobject_cast<SelectionActionBar*>(overlays_.selectionBar))
        bar->fitWidth(width() - 2 * kOverlayInset);
    placeTop(overlays_.selectionBar, selection);
    // The bottom row: the hint at the left, the zoom bar at the right, centred on one line.
    QWidget* hint = overlays_.editHint;
    QWidget* zoom = overlays_.zoomBar;
    const QSize zoomSize = zoom != nullptr ? zoom->sizeHint() : QSize();
    const QSize hintSize = hint != nullptr ? hint->sizeHint() : QSize();
    const int rowHeight = std::max(zoomSize.height(), hintSize.height());
    const int rowTop = height() - kOverlayInset - rowHeight;
    if (zoom != nullptr) {
        zoom->setVisible(hasDocument);
        zoom->setGeometry(width() - kOverlayInset - zoomSize.width(), rowTop + (rowHeight - zoomSize.height()) / 2,
                          zoomSize.width(), zoomSize.height());
    }
    if (hint != nullptr) {
        hint->setVisible(hasDocument);
        const int room = width() - 2 * kOverlayInset - (zoom != nullptr ? zoomSize.width() + kOverlaySpacing : 0);
        hint->setGeometry(kOverlayInset, rowTop + (rowHeight - hintSize.height()) / 2,
                          std::max(0, std::min(hintSize.width(), room)), hintSize.height());
    }
    restack();
}

void CanvasViewportView::restack() {
    dropFrame_->raise();
    for (QWidget* w : {overlays_.plotterBanner, overlays_.selectionBar, overlays_.editHint, overlays_.zoomBar}) {
        if (w != nullptr) w->raise();
    }
}

void CanvasViewportView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanes();
    layoutOverlays();
}

bool CanvasViewportView::event(QEvent* event) {
    // An overlay widget changed its size hint.
    if (event->type() == QEvent::LayoutRequest) layoutOverlays();
    return QWidget::event(event);
}

void CanvasViewportView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background());
    if (panes_.size() == 2)
        painter.fillRect(QRect(panes_[0]->geometry().right() + 1, 0, 1, height()), Theme::separator());
}

}  // namespace ostrel
