// The event layer of a canvas pane: a transparent widget on top of the pane body that alone takes
// the pointer, wheel, pinch and key events, translates them into pane points and hands them to its
// CanvasInteraction. It draws nothing. The pane tells it its flags; its own size is the pane size.
#pragma once

#include "app/views/canvas/CanvasInteraction.h"

#include <QWidget>

namespace ostrel {

class AppModel;
class CanvasEditingState;

class CanvasTrackpadMouseView final : public QWidget {
    Q_OBJECT

public:
    /// Writes the gestures' transient values into `state` (shared by the canvas's panes).
    CanvasTrackpadMouseView(AppModel& model, CanvasEditingState& state, bool isVectorEditable, bool showPaperFrame,
                            QWidget* parent = nullptr);

    void setFlags(bool isVectorEditable, bool showPaperFrame);
    [[nodiscard]] CanvasInteraction& interaction() noexcept { return interaction_; }

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updatePane();

    CanvasInteraction interaction_;
    bool isVectorEditable_;
    bool showPaperFrame_;
};

}  // namespace ostrel
