// The small controls of the two window bars that no other view uses: the segment buttons of the
// canvas layout and edit tools, the output-mode badge, the face of a drop-down menu, the plain
// text buttons of the status bar (and its update capsule), a vertical divider and the activity
// indicator (a turning arc while busy, else a dot).
#pragma once

#include "app/ui/HoverFade.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>
#include <string>

class QMenu;
class QTimer;

namespace ostrel {

/// A view-mode or edit-tool button: symbol and title on a rounded fill that shows the selection.
class SegmentButton final : public QAbstractButton {
    Q_OBJECT

public:
    enum class Look { viewMode, editTool };

    SegmentButton(Look look, std::string symbol, const QString& title, QWidget* parent = nullptr);

    void setSelected(bool selected);
    [[nodiscard]] bool isSelected() const noexcept { return selected_; }
    /// A compact button shows its symbol alone and names itself in its tooltip.
    void setCompact(bool compact);
    [[nodiscard]] bool isCompact() const noexcept { return compact_; }
    /// The width the title adds to the symbol.
    [[nodiscard]] int titleWidth() const;
    /// The colour of the symbol and title now.
    [[nodiscard]] QColor ink() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    [[nodiscard]] QFont titleFont() const;

    Look look_;
    std::string symbol_;
    bool selected_ = false;
    bool compact_ = false;
    QString helpText_;  // the tooltip when not compact
};

/// The output-mode badge: a symbol and a monospaced title in one colour on a light fill of it.
class OutputModeBadge final : public QAbstractButton {
    Q_OBJECT

public:
    explicit OutputModeBadge(QWidget* parent = nullptr);

    void setFace(std::string symbol, const QString& title, QColor color);
    [[nodiscard]] const std::string& symbol() const noexcept { return symbol_; }
    [[nodiscard]] QColor color() const noexcept { return color_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    std::string symbol_;
    QColor color_;
};

/// The face of a drop-down menu: a symbol, and a title when it has one, on a faint rounded fill;
/// a click pops the menu up below it.
class MenuFace final : public QAbstractButton {
    Q_OBJECT

public:
    MenuFace(std::string symbol, const QString& title, QMenu* menu, QWidget* parent = nullptr);

    [[nodiscard]] QMenu* menu() const noexcept { return menu_; }
    /// Shows the symbol alone in a 24 × 24 face; the title stays the text (and names the menu in
    /// the tooltip when there is no other).
    void setSymbolOnly(bool symbolOnly);
    [[nodiscard]] bool isSymbolOnly() const noexcept { return symbolOnly_ || text().isEmpty(); }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    std::string symbol_;
    QMenu* menu_;
    HoverFade* hover_;
    bool symbolOnly_ = false;
};

/// A borderless text button of the status bar; as a badge, the text sits on a filled capsule.
class StatusTextButton final : public QAbstractButton {
    Q_OBJECT

public:
    StatusTextButton(const QString& text, QColor color, QFont font, QWidget* parent = nullptr);

    /// Draws the text in `textColor` on a capsule of `fill`, padded 6 × 1.5.
    void setCapsule(QColor fill);
    [[nodiscard]] QColor color() const noexcept { return color_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    QColor color_;
    QFont font_;
    std::optional<QColor> capsule_;
};

/// One line of text that shortens in the middle to the width it gets, and asks for none.
class MiddleElidedText final : public QWidget {
    Q_OBJECT

public:
    MiddleElidedText(QFont font, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setColor(QColor color);
    [[nodiscard]] const QString& text() const noexcept { return text_; }
    [[nodiscard]] QColor color() const noexcept { return color_; }
    /// The text as drawn at the current width.
    [[nodiscard]] QString shownText() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont font_;
    QString text_;
    QColor color_;
};

/// A vertical hairline of `height`, one pixel wide.
[[nodiscard]] QWidget* makeVerticalDivider(int height, QWidget* parent);

/// A turning arc in a 10 × 10 box while busy; otherwise a 6 × 6 dot in its colour.
class ActivityIndicator final : public QWidget {
    Q_OBJECT

public:
    explicit ActivityIndicator(QWidget* parent = nullptr);

    void setBusy(bool busy);
    void setDotColor(QColor color);
    [[nodiscard]] bool isBusy() const noexcept { return busy_; }
    [[nodiscard]] QColor dotColor() const noexcept { return dotColor_; }

    [[nodiscard]] QSize sizeHint() const override { return {10, 10}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void syncTimer();

    bool busy_ = false;
    QColor dotColor_;
    int angle_ = 0;
    QTimer* timer_;
};

}  // namespace ostrel
