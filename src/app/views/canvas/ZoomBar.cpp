#include "app/views/canvas/ZoomBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/Theme.h"
#include "app/ui/IconButton.h"
#include "app/ui/UIFonts.h"
#include "app/views/canvas/CanvasOverlayParts.h"
#include "core/model/Localization.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>

#include <cmath>
#include <string>

namespace ostrel {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

/// The percentage: plain text, no chrome, centred in 48 points.
class PercentButton final : public QAbstractButton {
public:
    explicit PercentButton(QWidget* parent) : QAbstractButton(parent) {
        setFont(UIFonts::mono(10.5, QFont::DemiBold));
        setFixedSize(48, 24);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font());
        painter.setPen(Theme::text());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

}  // namespace

ZoomBar::ZoomBar(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      zoomOut_(new IconButton("minus.magnifyingglass", {}, false, Theme::accent(), false, this)),
      percent_(new PercentButton(this)),
      zoomIn_(new IconButton("plus.magnifyingglass", {}, false, Theme::accent(), false, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(6);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->addWidget(zoomOut_);
    row->addWidget(percent_);
    row->addWidget(zoomIn_);

    connect(zoomOut_, &QAbstractButton::clicked, this, [this] { model_.zoomOut(); });
    connect(zoomIn_, &QAbstractButton::clicked, this, [this] { model_.zoomIn(); });
    connect(percent_, &QAbstractButton::clicked, this, [this] { model_.resetZoom(true); });
    connect(&model_, &AppModel::zoomScaleChanged, this, [this] { percent_->setText(percentText(model_.zoomScale())); });
    connect(&model_, &AppModel::languageChanged, this, &ZoomBar::retranslate);
    percent_->setText(percentText(model_.zoomScale()));
    retranslate();
}

QString ZoomBar::percentText(double zoomScale) {
    const double percent = std::round(zoomScale * 100);  // std::round: halves away from zero
    return QString::number(static_cast<long long>(percent)) + QStringLiteral(" %");
}

void ZoomBar::retranslate() {
    zoomOut_->setToolTip(qs(withKeys(L("Zoom arrière", "Zoom out"), "Ctrl+-")));
    percent_->setToolTip(
        qs(withKeys(L("Réinitialiser la vue à 100 % et centrer", "Reset view to 100% and center"), "Z / Ctrl+0")));
    zoomIn_->setToolTip(qs(withKeys(L("Zoom avant", "Zoom in"), "Ctrl++")));
}

void ZoomBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFloatingPanel(painter, QRectF(rect()), {6, 0.92, QColor::fromRgbF(1, 1, 1, 0.08f)});
}

}  // namespace ostrel
