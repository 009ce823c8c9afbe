// What the reference sheets (remote-control guide, shortcuts, About, user guide) share: a frame
// that rebuilds its content when asked (a change of language, of a port) and maps Return to its
// default button and Escape to its close action; labels, rules, rounded boxes and symbol glyphs
// in the theme's fonts and colours; and the few texts that depend on this installation.
#pragma once

#include "core/support/app/AppVersion.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QHBoxLayout;
class QVBoxLayout;

namespace ostrel {

class AppModel;

/// A sheet whose whole content is one child widget, built by `buildContent` and built again by
/// `rebuild`. Return (or Enter) clicks the default button; Escape runs the close action.
class SheetFrame : public QWidget {
    Q_OBJECT

public:
    [[nodiscard]] QPushButton* defaultButton() const noexcept { return defaultButton_.data(); }
    [[nodiscard]] QWidget* content() const noexcept { return content_; }

protected:
    SheetFrame(std::function<void()> close, QWidget* parent);

    /// Replaces the content by a fresh one from `buildContent`. Never call it from inside a
    /// handler of the content's own widgets.
    void rebuild();
    /// The content; the frame owns it. Texts are chosen by `L` here, so a rebuild follows the language.
    [[nodiscard]] virtual QWidget* buildContent() = 0;
    /// The button Return clicks; set while building the content.
    void setDefaultButton(QPushButton* button);
    void runClose() const;

    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> close_;
    QVBoxLayout* layout_;
    QWidget* content_ = nullptr;
    QPointer<QPushButton> defaultButton_;
};

/// A widget filled with a rounded rectangle (and an optional inner border); a plain container.
/// A negative radius draws a capsule (half the height).
class RoundedBox : public QWidget {
    Q_OBJECT

public:
    RoundedBox(QColor fill, double radius, QWidget* parent = nullptr, QColor border = Qt::transparent);
    void setFill(QColor fill);
    [[nodiscard]] QColor fill() const noexcept { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    QColor border_;
    double radius_;
};

/// A plain-style button whose label is a row of child widgets (texts, symbols) on an optional
/// rounded fill; the whole rectangle takes the click, the children take no mouse events.
class ClickableRow final : public QAbstractButton {
    Q_OBJECT

public:
    /// `radius` < 0 draws a capsule (half the height).
    explicit ClickableRow(QMargins padding, int spacing, QWidget* parent = nullptr, QColor fill = Qt::transparent,
                          double radius = 0);

    /// Appends `child` to the row (stretch 0), or a flexible space for null.
    void add(QWidget* child, Qt::Alignment alignment = Qt::AlignVCenter);
    void addStretch();
    void setFill(QColor fill);
    [[nodiscard]] QColor fill() const noexcept { return fill_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    QHBoxLayout* row_;
    QColor fill_;
    double radius_;
};

/// One symbol of the symbol table, centred in a box of fixed size.
class SymbolGlyph final : public QWidget {
    Q_OBJECT

public:
    SymbolGlyph(std::string symbol, double points, QColor color, QSize box, QWidget* parent = nullptr);
    void setColor(QColor color);
    [[nodiscard]] QColor color() const noexcept { return color_; }
    [[nodiscard]] QSize sizeHint() const override { return box_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbol_;
    double points_;
    QColor color_;
    QSize box_;
};

namespace SheetParts {

[[nodiscard]] inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// A one-line label (or a wrapping one) in `font` and `color`, transparent to the theme's background.
[[nodiscard]] QLabel* label(const QString& text, const QFont& font, QColor color, bool wraps = false,
                            QWidget* parent = nullptr);
/// A hairline of `Theme.separator`, 1 point thick, across its parent's layout.
[[nodiscard]] QWidget* rule(Qt::Orientation orientation, QWidget* parent = nullptr);
/// A standard push button showing `title` as written; the default one is what Return clicks.
[[nodiscard]] QPushButton* standardButton(const QString& title, QWidget* parent = nullptr);
/// Fills `widget`'s background with `color`.
void fillBackground(QWidget& widget, QColor color);

/// The OSC port the remote control listens on (or was asked for); 9140 without services.
[[nodiscard]] std::uint16_t liveOSCPort(AppModel& model);
/// The HTTP API's port; 17940 until it has bound, and without services.
[[nodiscard]] std::uint16_t liveHTTPPort(AppModel& model);
/// Runs `refresh` (in `context`) whenever either server restarts.
void onPortsChanged(AppModel& model, QObject* context, const std::function<void()>& refresh);

/// Where the MCP bridge of the program in `programFolder` is: "ostrel-mcp" beside it when it is
/// there (an installed tree), else the bridge of the build that made this program when that exists
/// (a build tree, where the bridge has a folder of its own), else beside it all the same.
[[nodiscard]] std::string mcpBridgePath(const QString& programFolder);
/// The same for the running program.
[[nodiscard]] std::string mcpBridgePath();
/// The version as the sheets show it: "v" + version, then " (" + build + ")" when there is one.
[[nodiscard]] std::string versionBadgeText(const AppVersion& version);

}  // namespace SheetParts

}  // namespace ostrel
