// Small pieces shared by the floating bars over the canvas: the rounded panel they sit on, a dot, a
// one-line label that cuts its text at the tail when narrowed, and the short vertical divider.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class QPainter;

namespace ostrel {

/// How a floating bar's panel looks: fill `Theme.panel` at `fillOpacity`, a 1-point border drawn
/// inside its edge in `border`, corners of `radius`.
struct FloatingPanelLook {
    double radius = 6;
    double fillOpacity = 0.92;
    QColor border;  // with its opacity
};

/// Paints the panel over the whole of `rect`.
void paintFloatingPanel(QPainter& painter, const QRectF& rect, const FloatingPanelLook& look);

/// Gives `widget` a drop shadow in black at `opacity`, blur radius 8, 2 points down.
void addFloatingShadow(QWidget* widget, double opacity);

/// A filled circle of a fixed diameter.
class DotWidget final : public QWidget {
    Q_OBJECT

public:
    DotWidget(double diameter, QColor color, QWidget* parent = nullptr);
    void setColor(QColor color);
    [[nodiscard]] QColor color() const noexcept { return color_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double diameter_;
    QColor color_;
};

/// One line of text in one font and colour; its natural width fits the whole text, and when it is
/// given less the text is cut at the tail with an ellipsis.
class OneLineLabel final : public QWidget {
    Q_OBJECT

public:
    OneLineLabel(const QString& text, QFont font, QColor color, QWidget* parent = nullptr);
    void setText(const QString& text);
    [[nodiscard]] const QString& text() const noexcept { return text_; }
    /// The text as drawn at the current width.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    QColor color_;
};

/// A determinate progress bar: a faint rounded track and a fill of the fraction (clamped to 0…1)
/// in one colour.
class ProgressLine final : public QWidget {
    Q_OBJECT

public:
    ProgressLine(QColor color, QWidget* parent = nullptr);
    void setFraction(double fraction);
    [[nodiscard]] double fraction() const noexcept { return fraction_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    double fraction_ = 0;
};

/// A vertical divider 14 points high.
[[nodiscard]] QWidget* makeBarDivider(QWidget* parent);

}  // namespace ostrel
