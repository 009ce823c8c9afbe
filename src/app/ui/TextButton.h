// A text button with an optional symbol before its title. Prominent and destructive buttons are
// filled with their base colour (the tint, else danger for destructive, else accent) and draw
// their text in the background colour; tinted ones sit on a light tint fill; plain ones on a faint
// white fill. Compact buttons are smaller. A flexible button takes the width it is offered, title
// centred; otherwise it keeps its natural width and never truncates its title. Where room is short
// a button with a symbol may show the symbol alone (its title stays its text). The title is drawn
// as written: an "&" in it is no mnemonic. Emits clicked().
#pragma once

#include "app/ui/HoverFade.h"

#include <QAbstractButton>
#include <QColor>

#include <optional>
#include <string>

namespace ostrel {

class TextButton final : public QAbstractButton {
    Q_OBJECT

public:
    struct Style {
        std::string symbol = {};  // empty: no symbol
        bool prominent = false;
        bool destructive = false;
        std::optional<QColor> tint = std::nullopt;
        bool compact = false;
        bool flexibleWidth = false;
    };

    TextButton(const QString& title, Style style, bool disabled = false, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    /// Shows the symbol without the title (only for a button with a symbol).
    void setSymbolOnly(bool symbolOnly);
    [[nodiscard]] bool isSymbolOnly() const noexcept { return symbolOnly_; }
    void setStyle(Style style);
    [[nodiscard]] const Style& style() const noexcept { return style_; }
    [[nodiscard]] bool isHovering() const noexcept { return hover_->hovering(); }

    /// The base colour: the tint, else danger when destructive, else accent.
    [[nodiscard]] QColor baseColor() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    [[nodiscard]] QFont titleFont() const;
    [[nodiscard]] double symbolPoints() const noexcept { return style_.compact ? 10 : 11; }
    [[nodiscard]] QMarginsF padding() const noexcept;
    [[nodiscard]] QSizeF contentSize() const;
    [[nodiscard]] bool filled() const noexcept { return style_.prominent || style_.destructive; }

    [[nodiscard]] bool showsTitle() const noexcept { return !symbolOnly_ && !text().isEmpty(); }

    Style style_;
    bool symbolOnly_ = false;
    HoverFade* hover_;
};

}  // namespace ostrel
