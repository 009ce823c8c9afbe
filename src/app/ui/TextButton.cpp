#include "app/ui/TextButton.h"

#include "app/shell/Theme.h"
#include "app/ui/Symbols.h"
#include "app/ui/UIFonts.h"

#include <QFontMetricsF>
#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ostrel {

namespace {
constexpr double kSpacing = 4;
}  // namespace

TextButton::TextButton(const QString& title, Style style, bool disabled, QWidget* parent)
    : QAbstractButton(parent), style_(std::move(style)), hover_(new HoverFade(*this)) {
    setTitle(title);
    setEnabled(!disabled);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, true);
    setStyle(style_);
}

void TextButton::setTitle(const QString& title) {
    setText(title);
    setShortcut(QKeySequence());  // the text named a mnemonic when it held an "&"
    updateGeometry();
    update();
}

void TextButton::setSymbolOnly(bool symbolOnly) {
    symbolOnly = symbolOnly && !style_.symbol.empty();
    if (symbolOnly == symbolOnly_) return;
    symbolOnly_ = symbolOnly;
    updateGeometry();
    update();
}

void TextButton::setStyle(Style style) {
    style_ = std::move(style);
    // Natural width unless flexible; never fixed vertically.
    setSizePolicy(style_.flexibleWidth ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Preferred);
    updateGeometry();
    update();
}

QColor TextButton::baseColor() const {
    if (style_.tint) return *style_.tint;
    return style_.destructive ? Theme::danger() : Theme::accent();
}

QFont TextButton::titleFont() const {
    return UIFonts::text(style_.compact ? 10.5 : 11.5, filled() ? QFont::DemiBold : QFont::Medium);
}

QMarginsF TextButton::padding() const noexcept {
    return style_.compact ? QMarginsF(7, 4, 7, 4) : QMarginsF(11, 5, 11, 5);
}

QSizeF TextButton::contentSize() const {
    const QFontMetricsF titleMetrics(titleFont());
    double width = showsTitle() ? titleMetrics.horizontalAdvance(text()) : 0;
    double height = titleMetrics.height();
    if (!style_.symbol.empty()) {
        const QFontMetricsF symbolMetrics(UIFonts::symbols(symbolPoints()));
        const double side = symbolMetrics.height();
        width += side + (showsTitle() ? kSpacing : 0);
        height = std::max(height, side);
    }
    return {width, height};
}

QSize TextButton::sizeHint() const {
    const QSizeF content = contentSize();
    const QMarginsF pad = padding();
    return {static_cast<int>(std::ceil(content.width() + pad.left() + pad.right())),
            static_cast<int>(std::ceil(content.height() + pad.top() + pad.bottom()))};
}

QSize TextButton::minimumSizeHint() const { return sizeHint(); }

void TextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const bool disabled = !isEnabled();
    const double hover = hover_->amount();
    QColor fill;
    if (filled()) {
        fill = Theme::withOpacity(baseColor(), disabled ? 0.35 : blend(1.0, 0.9, hover));
    } else if (style_.tint) {
        fill = Theme::withOpacity(*style_.tint, blend(0.14, 0.22, hover));  // disabled keeps it
    } else {
        fill = Theme::withOpacity(Qt::white, disabled ? 0.02 : blend(0.07, 0.11, hover));
    }
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 5, 5);
    painter.fillPath(shape, fill);

    // A disabled filled button keeps its title readable on the dimmed fill, where the faint text
    // colour would all but vanish.
    const QColor ink = disabled      ? (filled() ? Theme::withOpacity(Theme::text(), 0.6) : Theme::textFaint())
                       : filled()    ? Theme::background()
                       : style_.tint ? *style_.tint
                                     : Theme::text();
    const QSizeF content = contentSize();
    double x = (width() - content.width()) / 2;
    if (!style_.symbol.empty()) {
        const double side = QFontMetricsF(UIFonts::symbols(symbolPoints())).height();
        Symbols::paint(painter, style_.symbol, QRectF(x, (height() - side) / 2, side, side), symbolPoints(), ink);
        x += side + kSpacing;
    }
    if (!showsTitle()) return;
    painter.setFont(titleFont());
    painter.setPen(ink);
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     text());
}

void TextButton::enterEvent(QEnterEvent* event) {
    hover_->setHovering(true);
    QAbstractButton::enterEvent(event);
}

void TextButton::leaveEvent(QEvent* event) {
    hover_->setHovering(false);
    QAbstractButton::leaveEvent(event);
}

}  // namespace ostrel
