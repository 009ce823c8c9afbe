// A square symbol button, 26 × 24: the symbol (12 pt) on a rounded fill that shows the on state in
// the tint, and a faint hover fill otherwise. A disabled button ignores clicks and draws its symbol
// faint; the whole rectangle takes clicks. Emits clicked().
#pragma once

#include "app/ui/HoverFade.h"

#include <QAbstractButton>
#include <QColor>

#include <string>

namespace ostrel {

class IconButton final : public QAbstractButton {
    Q_OBJECT

public:
    IconButton(std::string symbol, const QString& helpText, bool active, QColor tint, bool disabled,
               QWidget* parent = nullptr);

    void setSymbol(std::string symbol);
    void setActive(bool active);
    void setTint(QColor tint);
    [[nodiscard]] bool isActive() const noexcept { return active_; }
    [[nodiscard]] bool isHovering() const noexcept { return hover_->hovering(); }

    [[nodiscard]] QSize sizeHint() const override { return {26, 24}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    std::string symbol_;
    bool active_;
    QColor tint_;
    HoverFade* hover_;
};

}  // namespace ostrel
