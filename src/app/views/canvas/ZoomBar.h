// The zoom bar at the bottom right of the canvas: zoom out, the zoom as a percentage (a click
// resets the view to 100 % and centres it), zoom in. Every change goes through AppModel, which
// carries the animation hint; the bar only follows `zoomScale`.
#pragma once

#include <QWidget>

class QAbstractButton;

namespace ostrel {

class AppModel;
class IconButton;

class ZoomBar final : public QWidget {
    Q_OBJECT

public:
    explicit ZoomBar(AppModel& model, QWidget* parent = nullptr);

    /// zoom × 100 rounded half away from zero, then " %": 1.5625 gives "156 %".
    [[nodiscard]] static QString percentText(double zoomScale);

    [[nodiscard]] IconButton* zoomOutButton() const noexcept { return zoomOut_; }
    [[nodiscard]] QAbstractButton* percentButton() const noexcept { return percent_; }
    [[nodiscard]] IconButton* zoomInButton() const noexcept { return zoomIn_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void retranslate();

    AppModel& model_;
    IconButton* zoomOut_;
    QAbstractButton* percent_;
    IconButton* zoomIn_;
};

}  // namespace ostrel
