#include "app/ui/IconButton.h"

#include "app/shell/Theme.h"
#include "app/ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace ostrel {

IconButton::IconButton(std::string symbol, const QString& helpText, bool active, QColor tint, bool disabled,
                       QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), active_(active), tint_(tint), hover_(new HoverFade(*this)) {
    setToolTip(helpText);
    setEnabled(!disabled);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover, true);
}

void IconButton::setSymbol(std::string symbol) {
    symbol_ = std::move(symbol);
    update();
}

void IconButton::setActive(bool active) {
    active_ = active;
    update();
}

void IconButton::setTint(QColor tint) {
    tint_ = tint;
    update();
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const bool disabled = !isEnabled();
    QColor fill = tint_;
    if (!active_) {
        const double opacity = disabled ? 0.02 : blend(0.06, 0.10, hover_->amount());
        fill = Theme::withOpacity(Qt::white, opacity);
    }
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 5, 5);
    painter.fillPath(shape, fill);
    const QColor symbolColor = disabled ? Theme::textFaint() : active_ ? Theme::background() : Theme::text();
    Symbols::paint(painter, symbol_, QRectF(rect()), 12, symbolColor);
}

void IconButton::enterEvent(QEnterEvent* event) {
    hover_->setHovering(true);
    QAbstractButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event) {
    hover_->setHovering(false);
    QAbstractButton::leaveEvent(event);
}

}  // namespace ostrel
