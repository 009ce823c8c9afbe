// A small label: monospaced 10 pt semibold text on a rounded tint fill, solid (dark text) when
// filled, a light tint behind tinted text otherwise. No clicks, no states.
#pragma once

#include <QColor>
#include <QWidget>

namespace ostrel {

class Chip final : public QWidget {
    Q_OBJECT

public:
    Chip(const QString& text, QColor tint, bool filled, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setTint(QColor tint);
    /// The space left and right of the text and the corner radius (5.5 and 3.5 by default).
    void setShape(double horizontalPadding, double cornerRadius);
    [[nodiscard]] const QString& text() const noexcept { return text_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor tint_;
    bool filled_;
    double horizontalPadding_ = 5.5;
    double cornerRadius_ = 3.5;
};

}  // namespace ostrel
