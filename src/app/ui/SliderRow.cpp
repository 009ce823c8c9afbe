#include "app/ui/SliderRow.h"

#include "app/shell/Theme.h"
#include "app/ui/TextRoom.h"
#include "app/ui/UIFonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {

constexpr int kContinuousPositions = 1000;
constexpr int kMaxPositions = 1'000'000;
constexpr double kMinSpacer = 4;

QFont labelFont() { return UIFonts::text(11); }
QFont valueFont() { return UIFonts::mono(11, QFont::Medium); }

}  // namespace

/// The label, truncated at its end, and the whole value text at the right.
class SliderRow::TitleLine final : public QWidget, public TextRoom {
public:
    TitleLine(QString label, QString value, QColor tint, QWidget* parent)
        : QWidget(parent), label_(std::move(label)), value_(std::move(value)), tint_(tint) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(static_cast<int>(
            std::ceil(std::max(QFontMetricsF(labelFont()).height(), QFontMetricsF(valueFont()).height()))));
    }

    void setLabel(QString label) {
        label_ = std::move(label);
        update();
    }
    void setValue(QString value) {
        value_ = std::move(value);
        update();
    }
    [[nodiscard]] const QString& label() const noexcept { return label_; }
    [[nodiscard]] const QString& value() const noexcept { return value_; }

    [[nodiscard]] QSize sizeHint() const override {
        const double w = QFontMetricsF(labelFont()).horizontalAdvance(label_) + kMinSpacer +
                         QFontMetricsF(valueFont()).horizontalAdvance(value_);
        return {static_cast<int>(std::ceil(w)), height()};
    }

    [[nodiscard]] QStringList cutTexts() const override {
        return fitOneLine(labelFont(), label_, labelRoom()).cut ? QStringList{label_} : QStringList{};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        const double valueWidth = std::ceil(QFontMetricsF(valueFont()).horizontalAdvance(value_));
        painter.setFont(valueFont());
        painter.setPen(tint_);
        painter.drawText(QRectF(width() - valueWidth, 0, valueWidth, height()), Qt::AlignRight | Qt::AlignVCenter,
                         value_);
        const FittedLine label = fitOneLine(labelFont(), label_, labelRoom());
        painter.setFont(label.font);
        painter.setPen(Theme::textDim());
        painter.drawText(QRectF(0, 0, labelRoom(), height()), Qt::AlignLeft | Qt::AlignVCenter, label.shown);
    }

private:
    [[nodiscard]] double labelRoom() const {
        const double valueWidth = std::ceil(QFontMetricsF(valueFont()).horizontalAdvance(value_));
        return std::max(0.0, width() - valueWidth - kMinSpacer);
    }

    QString label_;
    QString value_;
    QColor tint_;
};

SliderRow::SliderRow(const QString& label, const QString& valueText, double value, double minimum, double maximum,
                     std::optional<double> step, QColor tint, QWidget* parent)
    : QWidget(parent), value_(value) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum)) {
        minimum = 0;
        maximum = 1;
    }
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
    const double span = maximum_ - minimum_;
    if (step && std::isfinite(*step) && *step > 0 && span > 0) {
        step_ = step;
        positions_ = static_cast<int>(std::clamp(std::round(span / *step), 1.0, double(kMaxPositions)));
    } else {
        positions_ = span > 0 ? kContinuousPositions : 0;
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    title_ = new TitleLine(label, valueText, tint, this);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, positions_);
    slider_->setSingleStep(1);
    slider_->setPageStep(std::max(1, positions_ / 10));
    QPalette palette = slider_->palette();
    palette.setColor(QPalette::Highlight, tint);
    slider_->setPalette(palette);
    column->addWidget(title_);
    column->addWidget(slider_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setValue(value);

    // The slider emits only for the user's moves: programmatic positions are set with signals blocked.
    connect(slider_, &QSlider::valueChanged, this, [this](int position) {
        value_ = valueAt(position);
        emit valueChanged(value_);
    });
}

double SliderRow::valueAt(int position) const noexcept {
    if (positions_ <= 0) return minimum_;
    const int p = std::clamp(position, 0, positions_);
    if (p == positions_) return maximum_;
    const double unit = step_ ? *step_ : (maximum_ - minimum_) / positions_;
    return std::min(maximum_, minimum_ + unit * p);
}

int SliderRow::positionOf(double value) const noexcept {
    if (positions_ <= 0 || !std::isfinite(value)) return 0;
    const double t = std::clamp((value - minimum_) / (maximum_ - minimum_), 0.0, 1.0);
    return static_cast<int>(std::lround(t * positions_));
}

void SliderRow::setValue(double value) {
    value_ = value;
    const QSignalBlocker quiet(slider_);
    slider_->setValue(positionOf(value));
}

void SliderRow::setValueText(const QString& text) { title_->setValue(text); }

QString SliderRow::label() const { return title_->label(); }

QString SliderRow::valueText() const { return title_->value(); }

void SliderRow::setLabel(const QString& label) { title_->setLabel(label); }

}  // namespace ostrel
