// The pill at the bottom left of the canvas naming the current edit tool's gestures: the tool's
// symbol and its one-line hint, cut at the tail when the pill is narrowed. No action.
#pragma once

#include "app/shell/CanvasModes.h"

#include <QWidget>

#include <string_view>

namespace ostrel {

class AppModel;
class OneLineLabel;

class EditHintPill final : public QWidget {
    Q_OBJECT

public:
    explicit EditHintPill(AppModel& model, QWidget* parent = nullptr);

    /// The symbol name of `tool`: "hand.draw", "cursorarrow.click", "eraser", "pencil.tip".
    [[nodiscard]] static std::string_view symbolName(CanvasEditTool tool) noexcept;
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] std::string_view shownSymbol() const noexcept { return symbol_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void placeLabel();

    AppModel& model_;
    std::string_view symbol_;
    OneLineLabel* text_;
};

}  // namespace ostrel
