#include "app/views/canvas/CanvasOverlayParts.h"

#include "app/shell/Theme.h"

#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrel {

void paintFloatingPanel(QPainter& painter, const QRectF& rect, const FloatingPanelLook& look) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect, look.radius, look.radius);
    painter.fillPath(shape, Theme::withOpacity(Theme::panel(), look.fillOpacity));
    // A 1-point line inside the edge: its centre runs half a point in.
    const QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath border;
    border.addRoundedRect(inner, look.radius - 0.5, look.radius - 0.5);
    painter.setPen(QPen(look.border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(border);
    painter.restore();
}

void addFloatingShadow(QWidget* widget, double opacity) {
    auto* shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity)));
    widget->setGraphicsEffect(shadow);
}

DotWidget::DotWidget(double diameter, QColor color, QWidget* parent)
    : QWidget(parent), diameter_(diameter), color_(color) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void DotWidget::setColor(QColor color) {
    if (color_ == color) return;
    color_ = color;
    update();
}

QSize DotWidget::sizeHint() const {
    const int side = static_cast<int>(std::ceil(diameter_));
    return {side, side};
}

void DotWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    const QRectF box(0, 0, width(), height());
    painter.drawEllipse(
        QRectF(box.center().x() - diameter_ / 2, box.center().y() - diameter_ / 2, diameter_, diameter_));
}

OneLineLabel::OneLineLabel(const QString& text, QFont font, QColor color, QWidget* parent)
    : QWidget(parent), text_(text), font_(std::move(font)), color_(color) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OneLineLabel::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

QString OneLineLabel::shownText() const { return QFontMetricsF(font_).elidedText(text_, Qt::ElideRight, width()); }

QSize OneLineLabel::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))) + 1,
            static_cast<int>(std::ceil(metrics.height()))};
}

QSize OneLineLabel::minimumSizeHint() const {
    const QFontMetricsF metrics(font_);
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(QStringLiteral("…")))) + 1,
            static_cast<int>(std::ceil(metrics.height()))};
}

void OneLineLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

ProgressLine::ProgressLine(QColor color, QWidget* parent) : QWidget(parent), color_(color) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ProgressLine::setFraction(double fraction) {
    const double clamped = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    if (clamped == fraction_) return;
    fraction_ = clamped;
    update();
}

void ProgressLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track(0, 0, width(), height());
    const double radius = height() / 2.0;
    painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.12f));
    painter.drawRoundedRect(track, radius, radius);
    if (fraction_ <= 0) return;
    painter.setBrush(color_);
    painter.drawRoundedRect(QRectF(0, 0, width() * fraction_, height()), radius, radius);
}

QWidget* makeBarDivider(QWidget* parent) {
    auto* divider = new QWidget(parent);
    divider->setFixedSize(1, 14);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(1, 1, 1, 0.12f));
    divider->setPalette(palette);
    return divider;
}

}  // namespace ostrel
