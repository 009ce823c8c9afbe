// The canvas column of the main window: the panes of the current view mode with the drawing.
#pragma once

#include <QWidget>

namespace ostrel {

class AppModel;

class CanvasViewportView final : public QWidget {
    Q_OBJECT

public:
    explicit CanvasViewportView(AppModel& model, QWidget* parent = nullptr);

    /// True while a drag with something droppable hovers over the window (drawn as a highlight).
    void setDropTargeted(bool targeted);
    [[nodiscard]] bool isDropTargeted() const noexcept { return dropTargeted_; }

    /// Draws now, on this thread, whatever picture of the drawing is still pending, so that a grab
    /// right after shows it.
    void renderPendingNow();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppModel& model_;
    bool dropTargeted_ = false;
};

}  // namespace ostrel
