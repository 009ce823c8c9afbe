// One canvas pane: a 26-point header bar (title, badge), a 1-point rule and the pane body. The body
// draws the 24-point grid, its content (the picture, the vectors or both) and, for editable panes,
// the editing overlay of the viewport's event handler; it passes its pointer, wheel, key and
// gesture events to that handler (see CanvasPaneEventHandler).
//
// The vectors are rendered off the GUI thread into an image (newest request wins) and blitted; until
// a new image arrives, a zoom or pan change redraws the last image transformed to the new geometry.
// When a frame differs from the one on screen only where strokes were edited, the render copies the
// image on screen and draws that part again (see incrementalRegion), and the pane repaints only
// that part. A render whose zoom is no longer the one asked for is stopped, so that the frame at the
// new zoom starts at once.
//
// While selected strokes are dragged, the pane renders two pictures once (the strokes that stay and
// the selected ones, see VectorFramePart) and paints the second moved by the drag: a drag step costs
// the GUI thread a blit, whatever the number of strokes. No whole frame is rendered meanwhile; the
// pictures stay until the first frame asked for after the drag arrives. An editable pane showing a
// selection prepares the pictures when it has nothing else to draw, so that a drag starting from that
// frame has them at once.
#pragma once

#include "app/views/canvas/CanvasGestureState.h"
#include "app/views/canvas/CanvasTransformGeometry.h"
#include "app/views/canvas/VectorCanvasRenderer.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace ostrel {

class AppModel;
class CanvasPaneBody;

/// What a pane body shows.
enum class CanvasPaneKind {
    original,  // the picture alone (not editable)
    vector,    // the vectors
    overlay,   // the picture at the bitmap opacity under the vectors at the vector opacity
};

/// The hook through which the canvas interaction and its editing overlay attach to the panes.
/// The viewport owns no handler; it passes the one given to CanvasViewportView::setEventHandler to
/// every pane body.
class CanvasPaneEventHandler {
public:
    virtual ~CanvasPaneEventHandler() = default;
    /// Every mouse, wheel, key, hover, enter/leave, focus and native gesture event reaching `pane`
    /// (a pane body, the only layer of a pane that takes input). Return true when consumed.
    virtual bool handlePaneEvent(CanvasPaneBody& pane, QEvent* event) = 0;
    /// Paints above the content of editable panes, in pane points (marquee, eraser, freehand
    /// preview, plotter head). Called on the GUI thread inside the pane's paint event.
    virtual void paintEditingOverlay(CanvasPaneBody& pane, QPainter& painter) {
        (void)pane;
        (void)painter;
    }
};

/// What the viewport shares with its pane bodies; owned by the viewport.
struct CanvasViewContext {
    CanvasPaneEventHandler* handler = nullptr;
    CanvasGestureState gesture;
    /// While set (an animated zoom or pan in progress), the panes draw at these values instead of
    /// the model's final zoom and pan.
    std::optional<std::pair<double, QPointF>> displayedZoomPan;
    /// Repaints every pane of the viewport (set by the viewport).
    std::function<void()> updatePanes;
};

class CanvasPaneBody final : public QWidget {
    Q_OBJECT

public:
    CanvasPaneBody(AppModel& model, CanvasViewContext& context, CanvasPaneKind kind, bool showPaperFrame,
                   QWidget* parent = nullptr);
    ~CanvasPaneBody() override;

    [[nodiscard]] AppModel& model() noexcept { return model_; }
    [[nodiscard]] CanvasPaneKind kind() const noexcept { return kind_; }
    [[nodiscard]] bool isVectorEditable() const noexcept { return kind_ != CanvasPaneKind::original; }
    [[nodiscard]] bool showPaperFrame() const noexcept { return showPaperFrame_; }
    [[nodiscard]] CanvasGestureState& gestureState() noexcept { return context_.gesture; }
    /// Repaints this pane and its siblings (after the gesture state changed).
    void updateAllPanes();
    /// The shared gesture state changed: repaints, and starts or ends the pictures of a drag of
    /// selected strokes.
    void gestureChanged();
    /// The zoom and pan drawn now (the animated values while an animation runs).
    [[nodiscard]] double displayedZoom() const noexcept;
    [[nodiscard]] QPointF displayedPan() const noexcept;
    /// The geometry of this pane now: the result's page (the raster's page before the first result),
    /// the pane's size, the displayed zoom and pan and the pane's paper frame.
    [[nodiscard]] CanvasTransformGeometry transformGeometry() const;

    /// Asks for a new vector image (coalesced to one request per event-loop turn).
    void scheduleRender();
    /// Renders the newest vector image on this thread when it is not on screen yet.
    void renderPendingNow();
    /// True while the processing card is shown.
    [[nodiscard]] bool isShowingProcessingCard() const;
    /// The newest vector image on screen (null before the first), for tests and benchmarks.
    [[nodiscard]] const QImage& shownVectorImage() const noexcept { return shown_.image; }
    /// The geometry that image was drawn at.
    [[nodiscard]] const CanvasTransformGeometry& shownVectorGeometry() const noexcept { return shown_.geometry; }
    /// True while the pane paints a drag of selected strokes from its two pictures.
    [[nodiscard]] bool isShowingSelectionDrag() const noexcept { return drag_ && drag_->ready; }

signals:
    /// A rendered vector image reached the screen.
    void vectorImageShown();
    /// The pictures of a drag of selected strokes reached the screen.
    void selectionDragShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Shown {
        QImage image;
        CanvasTransformGeometry geometry;
        std::uint64_t generation = 0;
        /// What the image shows: the base of the next frame when that one only changes a part.
        std::shared_ptr<const VectorFrameInput> input;
    };
    struct Worker;  // shared with the render tasks
    /// The two pictures of a drag of selected strokes, drawn at `geometry` from the document holding
    /// `basePx` of the drag's move; painted while the drag lasts and until its final frame arrives.
    struct DragPictures {
        QImage resting;  // the strokes that stay, with the sheet
        QImage moving;   // the selected strokes, moved by movedPx − basePx when painted
        CanvasTransformGeometry geometry;
        QPointF basePx;
        QPointF movedPx;
        std::uint64_t serial = 0;
        bool ready = false;
        bool ended = false;            // the drag is over: its final frame is on its way
        std::uint64_t endRequest = 0;  // frames asked for after this generation are after the drag
        std::shared_ptr<std::atomic<bool>> stop;
        std::shared_ptr<const VectorFrameInput> input;  // the whole frame they split
        double devicePixelRatio = 1;
    };

    [[nodiscard]] bool showsVectors() const noexcept { return kind_ != CanvasPaneKind::original; }
    [[nodiscard]] std::optional<VectorFrameInput> makeVectorInput() const;
    void requestRender();
    void startNext();
    void retire(std::shared_ptr<const VectorFrameInput> input);
    void releaseRetired();
    void accept(QImage image, CanvasTransformGeometry geometry, std::uint64_t generation,
                std::shared_ptr<const VectorFrameInput> input, std::optional<QRegion> redrawn);
    void updateProcessingCard();
    void paintGrid(QPainter& painter);
    void paintBitmap(QPainter& painter);
    void paintVectors(QPainter& painter);
    [[nodiscard]] bool isDragging() const noexcept { return drag_ && !drag_->ended; }
    void startDragPictures(QPointF committedPx);
    [[nodiscard]] DragPictures renderDragPictures(std::shared_ptr<const VectorFrameInput> input);
    void prepareDragPictures();
    void dropPreparedPictures();
    /// Stops and lets go of the pictures of the drag, if any.
    void endDragPictures();
    void acceptDragPictures(std::uint64_t serial, QImage resting, QImage moving);

    AppModel& model_;
    CanvasViewContext& context_;
    CanvasPaneKind kind_;
    bool showPaperFrame_;
    QWidget* processingCard_ = nullptr;
    QTimer* renderTimer_ = nullptr;
    std::shared_ptr<Worker> worker_;
    std::uint64_t requested_ = 0;                     // newest generation asked for
    bool busy_ = false;                               // a render task is running
    std::shared_ptr<std::atomic<bool>> runningStop_;  // stops the running render
    double runningZoom_ = 0;                          // the zoom it draws at
    std::optional<DragPictures> drag_;
    std::optional<DragPictures> prepared_;  // for a drag from the frame on screen
    std::uint64_t dragSerial_ = 0;
    std::optional<std::pair<std::shared_ptr<const VectorFrameInput>, std::uint64_t>> pending_;
    Shown shown_;
    QImage spare_;  // the image shown before shown_, drawn over by the next render
    // Inputs no longer shown or asked for, let go of off the GUI thread when the next render starts:
    // each may hold the last reference to a render cache the document has replaced.
    std::vector<std::shared_ptr<const VectorFrameInput>> retired_;
    QImage bitmapLayer_;  // the overlay's faded picture, drawn again on each paint
    // One grid period's band at the pane's width (see paintGrid).
    QImage gridBand_;
    int gridBandWidth_ = 0;
    QColor gridBandColour_;
};

/// Header bar, rule and body of one pane.
class CanvasPane final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeaderHeight = 26;

    CanvasPane(AppModel& model, CanvasViewContext& context, CanvasPaneKind kind, bool showPaperFrame,
               QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setBadge(const QString& badge);
    [[nodiscard]] const QString& title() const noexcept { return title_; }
    [[nodiscard]] const QString& badge() const noexcept { return badge_; }
    [[nodiscard]] CanvasPaneBody& body() noexcept { return *body_; }
    /// Places the body under the header for the pane's current size (also before a pending resize
    /// event of a hidden pane arrives).
    void layoutBody();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString title_;
    QString badge_;
    CanvasPaneBody* body_;
};

}  // namespace ostrel
