#include "app/views/bars/BarControls.h"

#include "app/shell/Theme.h"
#include "app/ui/Symbols.h"
#include "app/ui/UIFonts.h"

#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <cmath>

namespace ostrel {

namespace {

constexpr double kFaceSpacing = 4;

int ceilInt(double value) { return static_cast<int>(std::ceil(value)); }

/// The width and height of a glyph box at `points`.
double symbolSide(double points) { return QFontMetricsF(UIFonts::symbols(points)).height(); }

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

}  // namespace

// SegmentButton -----------------------------------------------------------------------------------

SegmentButton::SegmentButton(Look look, std::string symbol, const QString& title, QWidget* parent)
    : QAbstractButton(parent), look_(look), symbol_(std::move(symbol)) {
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SegmentButton::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    updateGeometry();  // the title's weight changes its width
    update();
}

void SegmentButton::setCompact(bool compact) {
    if (compact == compact_) return;
    if (compact) helpText_ = toolTip();
    compact_ = compact;
    setToolTip(compact ? (helpText_.isEmpty() ? text() : helpText_) : helpText_);
    updateGeometry();
    update();
}

int SegmentButton::titleWidth() const {
    return ceilInt(kFaceSpacing + QFontMetricsF(titleFont()).horizontalAdvance(text()));
}

QFont SegmentButton::titleFont() const {
    if (look_ == Look::viewMode) return UIFonts::text(11, selected_ ? QFont::DemiBold : QFont::Medium);
    return UIFonts::text(10.5, selected_ ? QFont::DemiBold : QFont::Normal);
}

QColor SegmentButton::ink() const {
    if (!selected_) return Theme::textDim();
    return look_ == Look::viewMode ? Theme::background() : Theme::tcp();
}

QSize SegmentButton::sizeHint() const {
    const QFontMetricsF metrics(titleFont());
    const double side = symbolSide(10.5);
    return {ceilInt(6 + side + 6) + (compact_ ? 0 : titleWidth()), ceilInt(4 + std::max(side, metrics.height()) + 4)};
}

void SegmentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box = QRectF(rect());
    if (look_ == Look::viewMode) {
        painter.fillPath(roundedRect(box, 5), selected_ ? Theme::accent() : Theme::withOpacity(Qt::white, 0.05));
    } else {
        painter.fillPath(roundedRect(box, 5),
                         selected_ ? Theme::withOpacity(Theme::tcp(), 0.16) : Theme::withOpacity(Qt::white, 0.04));
        if (selected_) {
            painter.setPen(QPen(Theme::withOpacity(Theme::tcp(), 0.5), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(roundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 4.5));
        }
    }
    const double side = symbolSide(10.5);
    const QColor color = ink();
    Symbols::paint(painter, symbol_, QRectF(6, (height() - side) / 2, side, side), 10.5, color);
    if (compact_) return;
    painter.setFont(titleFont());
    painter.setPen(color);
    const double x = 6 + side + kFaceSpacing;
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     text());
}

// OutputModeBadge ---------------------------------------------------------------------------------

OutputModeBadge::OutputModeBadge(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void OutputModeBadge::setFace(std::string symbol, const QString& title, QColor color) {
    symbol_ = std::move(symbol);
    color_ = color;
    setText(title);
    updateGeometry();
    update();
}

QSize OutputModeBadge::sizeHint() const {
    const QFontMetricsF metrics(UIFonts::mono(10, QFont::DemiBold));
    const double side = symbolSide(9.5);
    return {ceilInt(7 + side + kFaceSpacing + metrics.horizontalAdvance(text()) + 7),
            ceilInt(3 + std::max(side, metrics.height()) + 3)};
}

void OutputModeBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(roundedRect(QRectF(rect()), 4), Theme::withOpacity(color_, 0.14));
    const double side = symbolSide(9.5);
    Symbols::paint(painter, symbol_, QRectF(7, (height() - side) / 2, side, side), 9.5, color_);
    painter.setFont(UIFonts::mono(10, QFont::DemiBold));
    painter.setPen(color_);
    const double x = 7 + side + kFaceSpacing;
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     text());
}

// MenuFace ----------------------------------------------------------------------------------------

MenuFace::MenuFace(std::string symbol, const QString& title, QMenu* menu, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), menu_(menu), hover_(new HoverFade(*this)) {
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover, true);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (menu_ != nullptr) menu_->popup(mapToGlobal(QPoint(0, height() + 2)));
    });
}

void MenuFace::setSymbolOnly(bool symbolOnly) {
    if (symbolOnly == symbolOnly_) return;
    symbolOnly_ = symbolOnly;
    updateGeometry();
    update();
}

QSize MenuFace::sizeHint() const {
    if (isSymbolOnly()) return {24, 24};
    const QFontMetricsF metrics(UIFonts::text(11, QFont::Medium));
    return {ceilInt(6 + symbolSide(11) + kFaceSpacing + metrics.horizontalAdvance(text()) + 8), 24};
}

void MenuFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(roundedRect(QRectF(rect()), 5), Theme::withOpacity(Qt::white, blend(0.06, 0.1, hover_->amount())));
    if (isSymbolOnly()) {
        Symbols::paint(painter, symbol_, QRectF(rect()), 11, Theme::textDim());
        return;
    }
    const double side = symbolSide(11);
    Symbols::paint(painter, symbol_, QRectF(6, (height() - side) / 2, side, side), 11, Theme::textDim());
    painter.setFont(UIFonts::text(11, QFont::Medium));
    painter.setPen(Theme::textDim());
    const double x = 6 + side + kFaceSpacing;
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     text());
}

void MenuFace::enterEvent(QEnterEvent* event) {
    hover_->setHovering(true);
    QAbstractButton::enterEvent(event);
}

void MenuFace::leaveEvent(QEvent* event) {
    hover_->setHovering(false);
    QAbstractButton::leaveEvent(event);
}

// StatusTextButton --------------------------------------------------------------------------------

StatusTextButton::StatusTextButton(const QString& text, QColor color, QFont font, QWidget* parent)
    : QAbstractButton(parent), color_(color), font_(std::move(font)) {
    setText(text);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void StatusTextButton::setCapsule(QColor fill) {
    capsule_ = fill;
    updateGeometry();
    update();
}

QSize StatusTextButton::sizeHint() const {
    const QFontMetricsF metrics(font_);
    const double padX = capsule_ ? 6 : 0;
    const double padY = capsule_ ? 1.5 : 0;
    return {ceilInt(metrics.horizontalAdvance(text()) + 2 * padX), ceilInt(metrics.height() + 2 * padY)};
}

void StatusTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (capsule_) {
        const QRectF box(rect());
        painter.fillPath(roundedRect(box, box.height() / 2), *capsule_);
    }
    painter.setFont(font_);
    painter.setPen(isDown() ? Theme::withOpacity(color_, 0.7) : color_);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

// MiddleElidedText --------------------------------------------------------------------------------

MiddleElidedText::MiddleElidedText(QFont font, QWidget* parent)
    : QWidget(parent), font_(std::move(font)), color_(Theme::textDim()) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void MiddleElidedText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void MiddleElidedText::setColor(QColor color) {
    color_ = color;
    update();
}

QString MiddleElidedText::shownText() const { return QFontMetricsF(font_).elidedText(text_, Qt::ElideMiddle, width()); }

QSize MiddleElidedText::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {ceilInt(metrics.horizontalAdvance(text_)), ceilInt(metrics.height())};
}

QSize MiddleElidedText::minimumSizeHint() const { return {0, ceilInt(QFontMetricsF(font_).height())}; }

void MiddleElidedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
}

// Divider -----------------------------------------------------------------------------------------

QWidget* makeVerticalDivider(int height, QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::withOpacity(Qt::white, 0.12));
    line->setPalette(palette);
    line->setFixedSize(1, height);
    return line;
}

// ActivityIndicator -------------------------------------------------------------------------------

ActivityIndicator::ActivityIndicator(QWidget* parent)
    : QWidget(parent), dotColor_(Theme::alive()), timer_(new QTimer(this)) {
    setFixedSize(10, 10);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

void ActivityIndicator::setBusy(bool busy) {
    busy_ = busy;
    syncTimer();
    update();
}

void ActivityIndicator::setDotColor(QColor color) {
    dotColor_ = color;
    update();
}

void ActivityIndicator::syncTimer() {
    if (busy_ && isVisible()) {
        if (!timer_->isActive()) timer_->start();
    } else {
        timer_->stop();
    }
}

void ActivityIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    syncTimer();
}

void ActivityIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    syncTimer();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre = QRectF(rect()).center();
    if (busy_) {
        // The platform's mini spinner at 0.7: an arc of about 7 points.
        painter.setPen(QPen(Theme::textDim(), 1.4, Qt::SolidLine, Qt::RoundCap));
        const QRectF ring(centre.x() - 3.5, centre.y() - 3.5, 7, 7);
        painter.drawArc(ring, -angle_ * 16, 270 * 16);
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColor_);
    painter.drawEllipse(centre, 3, 3);
}

}  // namespace ostrel
