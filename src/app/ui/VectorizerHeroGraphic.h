// The application's line drawing for the empty canvas and the about and update sheets: a faint
// frame circle, a staircase of bitmap pixels, and the cubic Bézier they become with its dashed
// handles, control points and anchors. Drawn in a square of `size` points.
#pragma once

#include <QWidget>

class QPainter;

namespace ostrel {

class VectorizerHeroGraphic final : public QWidget {
    Q_OBJECT

public:
    /// `active` is kept for the callers; the drawing does not depend on it.
    VectorizerHeroGraphic(bool active, double size, QWidget* parent = nullptr);

    void setActive(bool active) { active_ = active; }
    [[nodiscard]] bool isActive() const noexcept { return active_; }
    [[nodiscard]] QSize sizeHint() const override;

    /// Draws the graphic in the square (0, 0, size, size) of `painter`.
    static void draw(QPainter& painter, double size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool active_;
    double size_;
};

}  // namespace ostrel
