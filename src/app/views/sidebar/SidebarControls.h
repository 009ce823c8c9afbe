// The painted pieces of the parameter sidebar: rounded lane backgrounds, the output-mode cards,
// the selectable choice rows (algorithms, illustration stroke styles), the collapsible header of
// the plotter block, the small on/off switches, the plain text link and the pen layer row. They
// hold what they show and report clicks; the sidebar decides what a click writes.
#pragma once

#include "core/model/VectorModel.h"

#include "app/ui/TextRoom.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

class QLabel;
class QMenu;

namespace ostrel {

class Chip;

/// A rounded rectangle filled with `fill` and outlined along the inside by a 1-point `border`.
void paintLane(QPainter& painter, const QRectF& rect, double radius, const QColor& fill, const QColor& border);

/// A plain container drawn as a rounded lane behind its children.
class LanePanel final : public QWidget {
    Q_OBJECT

public:
    LanePanel(double radius, QColor fill, QColor border, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_;
    QColor fill_;
    QColor border_;
};

/// An on/off switch with its label in the 11-point text font and the primary text colour.
class SidebarToggle final : public QCheckBox {
    Q_OBJECT

public:
    SidebarToggle(const QString& text, bool singleLine, QWidget* parent = nullptr);
    /// Shows `on` without reporting it.
    void setCheckedQuietly(bool on);
};

/// One output-mode card: symbol and label over the subtitle, highlighted while selected. Both
/// texts shrink down to 0.85 of their size before they are cut.
class ModeCard final : public QAbstractButton, public TextRoom {
    Q_OBJECT

public:
    ModeCard(std::string symbol, const QString& label, const QString& subtitle, QWidget* parent = nullptr);

    void setSelected(bool selected);
    [[nodiscard]] bool isSelected() const noexcept { return selected_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] QStringList cutTexts() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    /// The label's line and the subtitle's line as drawn now.
    [[nodiscard]] std::pair<FittedLine, FittedLine> lines() const;
    [[nodiscard]] QRectF labelBox() const;
    [[nodiscard]] QRectF subtitleBox() const;

    std::string symbol_;
    QString label_;
    QString subtitle_;
    bool selected_ = false;
};

/// One selectable row: a dot, the label, a flexible space and a monospaced badge. The label
/// shrinks down to 0.85 of its size before it is cut.
class ChoiceRow final : public QAbstractButton, public TextRoom {
    Q_OBJECT

public:
    struct Look {
        QColor tint;     // dot, badge and border when selected
        double dotSize;  // points
        double labelPoints;
        double spacing;  // between the row's pieces
        double horizontalPadding;
        double verticalPadding;
        double radius;
        QColor selectedFill;
        QColor idleFill;
        QColor selectedBorder;
        QColor idleBorder;
    };

    /// The look of an extraction-algorithm row and of an illustration stroke-style row.
    [[nodiscard]] static Look algorithmLook();
    [[nodiscard]] static Look strokeStyleLook();

    ChoiceRow(const QString& label, const QString& badge, Look look, QWidget* parent = nullptr);

    void setSelected(bool selected);
    [[nodiscard]] bool isSelected() const noexcept { return selected_; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] QStringList cutTexts() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    [[nodiscard]] QRectF inner() const;
    [[nodiscard]] double badgeWidth() const;
    /// The label as drawn now, and its box.
    [[nodiscard]] FittedLine labelLine() const;
    [[nodiscard]] QRectF labelBox() const;

    QString label_;
    QString badge_;
    Look look_;
    bool selected_ = false;
};

/// The header that folds the plotter block: chevron, title, flexible space, summary. The title
/// shrinks down to 0.85 of its size before it is cut; the summary is never cut.
class CollapsibleHeader final : public QAbstractButton, public TextRoom {
    Q_OBJECT

public:
    CollapsibleHeader(const QString& title, QWidget* parent = nullptr);

    void setExpanded(bool expanded);
    void setSummary(const QString& summary);
    [[nodiscard]] bool isExpanded() const noexcept { return expanded_; }
    [[nodiscard]] const QString& summary() const noexcept { return summary_; }
    /// The symbol name of the chevron now shown.
    [[nodiscard]] std::string chevronSymbol() const { return expanded_ ? "chevron.down" : "chevron.right"; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] QStringList cutTexts() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    [[nodiscard]] QRectF inner() const { return QRectF(rect()).adjusted(6, 4, -6, -4); }
    [[nodiscard]] double summaryWidth() const;
    /// The title as drawn now, and its box.
    [[nodiscard]] FittedLine titleLine() const;
    [[nodiscard]] QRectF titleBox() const;

    QString title_;
    QString summary_;
    bool expanded_ = false;
};

/// A borderless text button: a text in the given font and colour, nothing else.
class LinkButton final : public QAbstractButton {
    Q_OBJECT

public:
    LinkButton(const QString& text, QFont font, QColor color, QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont font_;
    QColor color_;
};

/// A symbol-only borderless button of a fixed width.
class SymbolButton final : public QAbstractButton {
    Q_OBJECT

public:
    SymbolButton(std::string symbol, double points, QColor color, int width, QWidget* parent = nullptr);
    void setSymbol(std::string symbol, QColor color);
    [[nodiscard]] const std::string& symbol() const noexcept { return symbol_; }
    [[nodiscard]] QColor color() const noexcept { return color_; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbol_;
    double points_;
    QColor color_;
};

/// The pen widths a pen layer row offers, in millimetres, in menu order.
inline constexpr std::array<double, 10> kPenWidthChoicesMM{0.2, 0.3, 0.4, 0.5, 0.7, 0.8, 1.0, 1.2, 1.5, 2.0};

/// "0,3 mm" / "0.3 mm": one decimal, a decimal comma unless the interface is English.
[[nodiscard]] QString penWidthText(double widthMM);

/// One pen layer of the result: visibility, colour dot, name, stroke count and pen width menu.
/// A row is updated in place for the next result, so a click or an open menu never loses its row.
class PenLayerRow final : public QWidget {
    Q_OBJECT

public:
    explicit PenLayerRow(const PenLayer& layer, QWidget* parent = nullptr);

    void setLayer(const PenLayer& layer);

    [[nodiscard]] std::int64_t penIndex() const noexcept { return index_; }
    [[nodiscard]] QColor penColor() const noexcept { return color_; }
    [[nodiscard]] SymbolButton* visibilityButton() const noexcept { return eye_; }
    [[nodiscard]] QLabel* nameLabel() const noexcept { return name_; }
    [[nodiscard]] QLabel* countLabel() const noexcept { return count_; }
    [[nodiscard]] QToolButton* widthButton() const noexcept { return widthButton_; }
    [[nodiscard]] Chip* widthBadge() const noexcept { return badge_; }
    [[nodiscard]] QMenu* widthMenu() const noexcept { return menu_; }

signals:
    void visibilityToggled(std::int64_t index);
    void widthChosen(std::int64_t index, double widthMM);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class PenDot;

    std::int64_t index_ = 0;
    QColor color_;
    SymbolButton* eye_;
    PenDot* dot_;
    QLabel* name_;
    QLabel* count_;
    QToolButton* widthButton_;
    Chip* badge_;
    QMenu* menu_;
};

}  // namespace ostrel
