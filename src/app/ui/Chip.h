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
    [[nodiscard]] const QString& text() const noexcept { return text_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor tint_;
    bool filled_;
};

}  // namespace ostrel
