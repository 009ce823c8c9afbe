#include "app/views/sidebar/SidebarControls.h"

#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextRoom.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {

QColor white(double opacity) { return Theme::withOpacity(Qt::white, opacity); }

/// Draws `text` on one line in `box`: at `font`, shrunk down to `minimumScale` of its size when
/// it does not fit, then cut at its end.
void drawShrinkingText(QPainter& painter, const QRectF& box, const QFont& font, const QString& text,
                       double minimumScale) {
    const FittedLine line = fitOneLine(font, text, box.width(), minimumScale);
    painter.setFont(line.font);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line.shown);
}

int ceilInt(double value) { return static_cast<int>(std::ceil(value)); }

QFont modeLabelFont(bool selected) { return UIFonts::text(11.5, selected ? QFont::DemiBold : QFont::Medium); }
QFont modeSubtitleFont() { return UIFonts::text(9.5); }
QFont badgeFont() { return UIFonts::mono(9.5, QFont::DemiBold); }
QFont headerTitleFont() {
    QFont font = UIFonts::text(10, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return font;
}
QFont summaryFont() { return UIFonts::mono(9.5, QFont::Medium); }

}  // namespace

void paintLane(QPainter& painter, const QRectF& rect, double radius, const QColor& fill, const QColor& border) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, radius - 0.5),
                            std::max(0.0, radius - 0.5));
}

// LanePanel ---------------------------------------------------------------------------------------

LanePanel::LanePanel(double radius, QColor fill, QColor border, QWidget* parent)
    : QWidget(parent), radius_(radius), fill_(fill), border_(border) {}

void LanePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLane(painter, QRectF(rect()), radius_, fill_, border_);
}

// SidebarToggle -----------------------------------------------------------------------------------

SidebarToggle::SidebarToggle(const QString& text, bool singleLine, QWidget* parent) : QCheckBox(text, parent) {
    setFont(UIFonts::text(11));
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Theme::text());
    palette.setColor(QPalette::Highlight, Theme::accent());
    setPalette(palette);
    setFocusPolicy(Qt::NoFocus);
    if (singleLine) setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SidebarToggle::setCheckedQuietly(bool on) {
    const QSignalBlocker quiet(this);
    setChecked(on);
}

// ModeCard ----------------------------------------------------------------------------------------

ModeCard::ModeCard(std::string symbol, const QString& label, const QString& subtitle, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), label_(label), subtitle_(subtitle) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void ModeCard::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize ModeCard::sizeHint() const {
    const double top =
        std::max(QFontMetricsF(modeLabelFont(true)).height(), QFontMetricsF(UIFonts::symbols(11)).height());
    const double height = 7 + top + 3 + QFontMetricsF(modeSubtitleFont()).height() + 7;
    const double width = 8 + 11 + 5 + QFontMetricsF(modeLabelFont(true)).horizontalAdvance(label_) + 8;
    return {ceilInt(width), ceilInt(height)};
}

QSize ModeCard::minimumSizeHint() const { return {40, sizeHint().height()}; }

QRectF ModeCard::labelBox() const {
    const double top =
        std::max(QFontMetricsF(modeLabelFont(true)).height(), QFontMetricsF(UIFonts::symbols(11)).height());
    const QRectF inner = QRectF(rect()).adjusted(8, 7, -8, -7);
    const double left = inner.left() + 12 + 5;
    return {left, inner.top(), inner.right() - left, top};
}

QRectF ModeCard::subtitleBox() const {
    const QRectF label = labelBox();
    const QRectF inner = QRectF(rect()).adjusted(8, 7, -8, -7);
    return {inner.left(), label.bottom() + 3, inner.width(), QFontMetricsF(modeSubtitleFont()).height()};
}

std::pair<FittedLine, FittedLine> ModeCard::lines() const {
    return {fitOneLine(modeLabelFont(selected_), label_, labelBox().width(), 0.85),
            fitOneLine(modeSubtitleFont(), subtitle_, subtitleBox().width(), 0.85)};
}

QStringList ModeCard::cutTexts() const {
    const auto [label, subtitle] = lines();
    QStringList cut;
    if (label.cut) cut << label_;
    if (subtitle.cut) cut << subtitle_;
    return cut;
}

void ModeCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLane(painter, QRectF(rect()), 6, selected_ ? Theme::laneSelected() : Theme::withOpacity(Theme::lane(), 0.6),
              selected_ ? Theme::withOpacity(Theme::accent(), 0.55) : white(0.05));
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF label = labelBox();
    const QRectF iconBox(label.left() - 5 - 12, label.top(), 12, label.height());
    Symbols::paint(painter, symbol_, iconBox, 11, selected_ ? Theme::accent() : Theme::textDim());
    painter.setPen(selected_ ? Theme::text() : Theme::textDim());
    drawShrinkingText(painter, label, modeLabelFont(selected_), label_, 0.85);
    painter.setPen(selected_ ? Theme::textDim() : Theme::textFaint());
    drawShrinkingText(painter, subtitleBox(), modeSubtitleFont(), subtitle_, 0.85);
}

// ChoiceRow ---------------------------------------------------------------------------------------

ChoiceRow::Look ChoiceRow::algorithmLook() {
    return {Theme::accent(),
            7,
            11.5,
            8,
            9,
            6,
            6,
            Theme::laneSelected(),
            Theme::withOpacity(Theme::lane(), 0.6),
            Theme::withOpacity(Theme::accent(), 0.45),
            white(0.05)};
}

ChoiceRow::Look ChoiceRow::strokeStyleLook() {
    return {Theme::tcp(),
            6.5,
            11,
            7,
            8,
            5,
            5,
            Theme::withOpacity(Theme::laneSelected(), 0.85),
            Theme::withOpacity(Theme::lane(), 0.5),
            Theme::withOpacity(Theme::tcp(), 0.45),
            white(0.04)};
}

ChoiceRow::ChoiceRow(const QString& label, const QString& badge, Look look, QWidget* parent)
    : QAbstractButton(parent), label_(label), badge_(badge), look_(look) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void ChoiceRow::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize ChoiceRow::sizeHint() const {
    const QFont label = UIFonts::text(look_.labelPoints, QFont::DemiBold);
    const double line = std::max(QFontMetricsF(label).height(), QFontMetricsF(badgeFont()).height());
    const double width = 2 * look_.horizontalPadding + look_.dotSize + look_.spacing +
                         QFontMetricsF(label).horizontalAdvance(label_) + look_.spacing +
                         QFontMetricsF(badgeFont()).horizontalAdvance(badge_);
    return {ceilInt(width), ceilInt(line + 2 * look_.verticalPadding)};
}

QSize ChoiceRow::minimumSizeHint() const { return {60, sizeHint().height()}; }

QRectF ChoiceRow::inner() const {
    return QRectF(rect()).adjusted(look_.horizontalPadding, look_.verticalPadding, -look_.horizontalPadding,
                                   -look_.verticalPadding);
}

double ChoiceRow::badgeWidth() const { return std::ceil(QFontMetricsF(badgeFont()).horizontalAdvance(badge_)); }

QRectF ChoiceRow::labelBox() const {
    const QRectF box = inner();
    const double left = box.left() + look_.dotSize + look_.spacing;
    return {left, box.top(), std::max(0.0, box.right() - badgeWidth() - look_.spacing - left), box.height()};
}

FittedLine ChoiceRow::labelLine() const {
    const QFont font = UIFonts::text(look_.labelPoints, selected_ ? QFont::DemiBold : QFont::Normal);
    return fitOneLine(font, label_, labelBox().width(), 0.85);
}

QStringList ChoiceRow::cutTexts() const { return labelLine().cut ? QStringList{label_} : QStringList{}; }

void ChoiceRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLane(painter, QRectF(rect()), look_.radius, selected_ ? look_.selectedFill : look_.idleFill,
              selected_ ? look_.selectedBorder : look_.idleBorder);
    const QRectF box = inner();
    painter.setPen(Qt::NoPen);
    painter.setBrush(selected_ ? look_.tint : Theme::withOpacity(Theme::textFaint(), 0.4));
    painter.drawEllipse(QRectF(box.left(), box.center().y() - look_.dotSize / 2, look_.dotSize, look_.dotSize));

    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const double badge = badgeWidth();
    painter.setFont(badgeFont());
    painter.setPen(selected_ ? look_.tint : Theme::textFaint());
    painter.drawText(QRectF(box.right() - badge, box.top(), badge, box.height()),
                     Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, badge_);
    const FittedLine label = labelLine();
    painter.setFont(label.font);
    painter.setPen(selected_ ? Theme::text() : Theme::textDim());
    painter.drawText(labelBox(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label.shown);
}

// CollapsibleHeader -------------------------------------------------------------------------------

CollapsibleHeader::CollapsibleHeader(const QString& title, QWidget* parent) : QAbstractButton(parent), title_(title) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void CollapsibleHeader::setExpanded(bool expanded) {
    if (expanded_ == expanded) return;
    expanded_ = expanded;
    update();
}

void CollapsibleHeader::setSummary(const QString& summary) {
    if (summary_ == summary) return;
    summary_ = summary;
    updateGeometry();
    update();
}

QSize CollapsibleHeader::sizeHint() const {
    const double line = std::max({QFontMetricsF(headerTitleFont()).height(), QFontMetricsF(summaryFont()).height(),
                                  QFontMetricsF(UIFonts::symbols(9.5)).height()});
    const double width = 6 + 10 + 6 + QFontMetricsF(headerTitleFont()).horizontalAdvance(title_) + 4 +
                         QFontMetricsF(summaryFont()).horizontalAdvance(summary_) + 6;
    return {ceilInt(width), ceilInt(line + 8)};
}

QSize CollapsibleHeader::minimumSizeHint() const { return {60, sizeHint().height()}; }

double CollapsibleHeader::summaryWidth() const {
    return std::ceil(QFontMetricsF(summaryFont()).horizontalAdvance(summary_));
}

QRectF CollapsibleHeader::titleBox() const {
    const QRectF box = inner();
    const double left = box.left() + 10 + 6;
    return {left, box.top(), std::max(0.0, box.right() - summaryWidth() - 4 - left), box.height()};
}

FittedLine CollapsibleHeader::titleLine() const {
    return fitOneLine(headerTitleFont(), title_, titleBox().width(), 0.85);
}

QStringList CollapsibleHeader::cutTexts() const {
    QStringList cut;
    if (titleLine().cut) cut << title_;
    if (summaryWidth() > inner().width() - 16) cut << summary_;
    return cut;
}

void CollapsibleHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLane(painter, QRectF(rect()), 5, Theme::withOpacity(Theme::lane(), 0.65), white(0.05));
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF box = inner();
    Symbols::paint(painter, chevronSymbol(), QRectF(box.left(), box.top(), 10, box.height()), 9.5, Theme::accent());
    const double summary = summaryWidth();
    painter.setFont(summaryFont());
    painter.setPen(Theme::textDim());
    painter.drawText(QRectF(box.right() - summary, box.top(), summary, box.height()),
                     Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, summary_);
    const FittedLine title = titleLine();
    painter.setFont(title.font);
    painter.setPen(Theme::textFaint());
    painter.drawText(titleBox(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title.shown);
}

// LinkButton --------------------------------------------------------------------------------------

LinkButton::LinkButton(const QString& text, QFont font, QColor color, QWidget* parent)
    : QAbstractButton(parent), font_(std::move(font)), color_(color) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {ceilInt(metrics.horizontalAdvance(text())), ceilInt(metrics.height())};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font_);
    painter.setPen(isDown() ? Theme::withOpacity(color_, 0.6) : color_);
    painter.drawText(QRectF(rect()), Qt::AlignCenter | Qt::TextSingleLine, text());
}

// SymbolButton ------------------------------------------------------------------------------------

SymbolButton::SymbolButton(std::string symbol, double points, QColor color, int width, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), points_(points), color_(color) {
    setFixedWidth(width);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setSymbol(std::string symbol, QColor color) {
    symbol_ = std::move(symbol);
    color_ = color;
    update();
}

QSize SymbolButton::sizeHint() const { return {width(), ceilInt(QFontMetricsF(UIFonts::symbols(points_)).height())}; }

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Symbols::paint(painter, symbol_, QRectF(rect()), points_, isDown() ? Theme::withOpacity(color_, 0.6) : color_);
}

// PenLayerRow -------------------------------------------------------------------------------------

QString penWidthText(double widthMM) {
    std::string number = fixed(widthMM, 1);
    if (!Localization::isEnglish()) number = withDecimalComma(std::move(number));
    return QString::fromStdString(number + " mm");
}

class PenLayerRow::PenDot final : public QWidget {
public:
    explicit PenDot(QWidget* parent) : QWidget(parent) { setFixedSize(9, 9); }
    void setColor(QColor color) {
        color_ = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

namespace {

/// The width menu's button: the badge alone, no bezel, no arrow.
class BadgeMenuButton final : public QToolButton {
public:
    BadgeMenuButton(Chip* badge, QWidget* parent) : QToolButton(parent), badge_(badge) {
        badge_->setParent(this);
        setPopupMode(QToolButton::InstantPopup);
        setAutoRaise(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFixedSize(badge_->sizeHint());
    }

protected:
    void paintEvent(QPaintEvent*) override {}
    void resizeEvent(QResizeEvent* event) override {
        QToolButton::resizeEvent(event);
        badge_->setGeometry(rect());
    }

private:
    Chip* badge_;
};

}  // namespace

PenLayerRow::PenLayerRow(const PenLayer& layer, QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 5, 8, 5);
    row->setSpacing(8);

    eye_ = new SymbolButton("eye.fill", 10.5, Theme::text(), 18, this);
    eye_->setToolTip(
        QString::fromStdString(L("Afficher ou masquer ce calque de stylo", "Show or hide this pen layer")));
    connect(eye_, &QAbstractButton::clicked, this, [this] { emit visibilityToggled(index_); });

    dot_ = new PenDot(this);

    name_ = new QLabel(this);
    name_->setFont(UIFonts::text(11, QFont::Medium));
    name_->setTextFormat(Qt::PlainText);
    name_->setMinimumWidth(0);
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    count_ = new QLabel(this);
    count_->setFont(UIFonts::mono(10));
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, Theme::textDim());
    count_->setPalette(countPalette);

    badge_ = new Chip(QString(), Theme::text(), false);
    badge_->setShape(5, 4);
    widthButton_ = new BadgeMenuButton(badge_, this);
    menu_ = new QMenu(widthButton_);
    for (const double width : kPenWidthChoicesMM) {
        QAction* action = menu_->addAction(menuText(penWidthText(width)));
        connect(action, &QAction::triggered, this, [this, width] { emit widthChosen(index_, width); });
    }
    widthButton_->setMenu(menu_);

    row->addWidget(eye_, 0, Qt::AlignVCenter);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addWidget(name_, 1, Qt::AlignVCenter);
    row->addWidget(count_, 0, Qt::AlignVCenter);
    row->addWidget(widthButton_, 0, Qt::AlignVCenter);
    setLayer(layer);
}

void PenLayerRow::setLayer(const PenLayer& layer) {
    index_ = layer.index;
    color_ = Theme::penColor(layer.index);
    eye_->setSymbol(layer.visible ? "eye.fill" : "eye.slash", layer.visible ? color_ : Theme::textFaint());
    dot_->setColor(color_);
    name_->setText(QString::fromStdString(layer.name));
    QPalette namePalette = name_->palette();
    namePalette.setColor(QPalette::WindowText, layer.visible ? Theme::text() : Theme::textFaint());
    name_->setPalette(namePalette);
    count_->setText(QString::fromStdString(integerText(static_cast<std::int64_t>(layer.paths.size())) + " ch."));
    badge_->setTint(color_);
    badge_->setText(penWidthText(layer.widthMM));
    widthButton_->setFixedSize(badge_->sizeHint());
}

void PenLayerRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLane(painter, QRectF(rect()), 5, Theme::lane(), white(0.05));
}

}  // namespace ostrel
