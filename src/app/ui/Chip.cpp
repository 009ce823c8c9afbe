#include "app/ui/Chip.h"

#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ostrel {

namespace {
QFont chipFont() { return UIFonts::mono(10, QFont::DemiBold); }
}  // namespace

Chip::Chip(const QString& text, QColor tint, bool filled, QWidget* parent)
    : QWidget(parent), text_(text), tint_(tint), filled_(filled) {
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Chip::setText(const QString& text) {
    text_ = text;
    updateGeometry();
    update();
}

void Chip::setTint(QColor tint) {
    tint_ = tint;
    update();
}

void Chip::setShape(double horizontalPadding, double cornerRadius) {
    horizontalPadding_ = horizontalPadding;
    cornerRadius_ = cornerRadius;
    updateGeometry();
    update();
}

QSize Chip::sizeHint() const {
    const QFontMetricsF metrics(chipFont());
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_) + 2 * horizontalPadding_)),
            static_cast<int>(std::ceil(metrics.height() + 2 * 2))};
}

void Chip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    painter.fillPath(shape, filled_ ? tint_ : Theme::withOpacity(tint_, 0.14));
    painter.setFont(chipFont());
    painter.setPen(filled_ ? Theme::background() : tint_);
    painter.drawText(QRectF(rect()), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace ostrel
