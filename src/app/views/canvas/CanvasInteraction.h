// What a canvas pane does with the pointer, the trackpad, the wheel and the keys: pan, zoom about
// the pointer, select strokes by click or marquee, drag a vertex or whole strokes, erase strokes
// under the eraser circle and draw new strokes by hand. It receives translated events in pane
// points (origin top left, y down), converts them through the pane's CanvasTransformGeometry,
// and acts on AppModel and its document controller. The marquee, the freehand points and the
// eraser hover point go back to the canvas through the three setters, for the overlay to draw.
//
// One gesture at a time: a press of another button while a gesture runs is ignored until the
// gesture's own button is released. A gesture that edits the drawing records exactly one undo
// snapshot, at its first real change (a stroke or vertex that moves, a stroke that is erased); a
// freehand stroke is recorded by the document controller when it is added. When a vectorization
// run replaces the result, the gesture in progress ends (its strokes are gone).
//
// A drag of selected strokes shows each step at once (the panes move their picture of the selection,
// see CanvasSelectionDrag) and commits the moves gathered since the last commit in one edit, at the
// release and, while it runs, once the events waiting are handled (at most one commit per frame) as
// long as a commit takes less than kLiveCommitMs; a larger selection, whose commit would hold up the
// next steps, is committed when the pointer rests for kRestingCommitMs. The undo step and the final
// strokes are those of one commit per step.
//
// Hit tests scan the visible strokes linearly; the render cache's per-stroke bounds, grown by the
// tolerance, reject a stroke before any segment distance is computed.
#pragma once

#include "app/document/StrokeEdit.h"
#include "app/views/canvas/CanvasGestureState.h"
#include "app/views/canvas/CanvasTransformGeometry.h"
#include "core/model/VectorModel.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>
#include <variant>
#include <vector>

namespace ostrel {

class AppModel;

class CanvasInteraction final : public QObject {
    Q_OBJECT

public:
    // The gesture in progress.
    struct Pan {
        QPointF startPan;  // the pan offset when the pan began
        QPointF startPt;   // the pointer then, pane points
    };
    // The edit gestures carry the key that makes their edits one undo step.
    struct MoveVertex {
        std::int64_t pathID = 0;
        std::int64_t vertexIdx = 0;
        EditGestureKey gesture = noGesture;
    };
    struct MovePaths {
        VectorPoint lastImagePt;  // the last image position taken
        EditGestureKey gesture = noGesture;
        QPointF movedPx;             // the move since the press, image pixels
        QPointF committedPx;         // the part of it the document holds
        std::set<std::int64_t> ids;  // the strokes dragged: the selection once the press has changed it
    };
    struct Marquee {
        QPointF startPt;
        bool additive = false;  // adds to the selection held at the press
    };
    struct Erase {
        EditGestureKey gesture = noGesture;
    };
    struct Draw {
        std::vector<VectorPoint> pointsPx;  // at least 1.2 image pixels apart
    };
    using DragMode = std::variant<std::monostate, Pan, MoveVertex, MovePaths, Marquee, Erase, Draw>;

    /// 9 points on screen, never less than 3 image pixels; vertices take 1.15 times as much.
    static constexpr double kHitTolerancePoints = 9;
    static constexpr double kMinHitTolerancePx = 3;
    static constexpr double kVertexToleranceFactor = 1.15;
    static constexpr double kMoveThresholdPx = 0.1;
    static constexpr double kFreehandSpacingPx = 1.2;
    /// A drag's moves are committed every frame while a commit takes at most this long, and at first
    /// for selections of at most kLiveCommitStrokes strokes; otherwise after this rest of the pointer.
    static constexpr double kLiveCommitMs = 8;
    static constexpr std::size_t kLiveCommitStrokes = 300;
    static constexpr int kRestingCommitMs = 250;

    using Bounds = std::unordered_map<std::int64_t, QRectF>;

    explicit CanvasInteraction(AppModel& model, QObject* parent = nullptr);

    /// The pane this interaction serves: its size in points and its two flags.
    void setPane(QSizeF size, bool isVectorEditable, bool showPaperFrame);
    /// Where the four transient values go; an absent setter skips its write.
    void setBindings(std::function<void(std::optional<QRectF>)> setMarquee,
                     std::function<void(std::vector<VectorPoint>)> setFreehand,
                     std::function<void(std::optional<QPointF>)> setHover,
                     std::function<void(std::optional<CanvasSelectionDrag>)> setSelectionDrag = {});

    [[nodiscard]] const DragMode& dragMode() const noexcept { return dragMode_; }
    /// The pane's geometry now; absent without a current result.
    [[nodiscard]] std::optional<CanvasTransformGeometry> currentGeometry() const;

    // Events, positions in pane points. clickCount is 2 for the second press of a double click.
    void press(Qt::MouseButton button, QPointF pointer, Qt::KeyboardModifiers modifiers, int clickCount);
    void drag(QPointF pointer);
    void release(Qt::MouseButton button, QPointF pointer);
    /// A move with no button held, and the pointer leaving the pane.
    void hover(QPointF pointer);
    void leave();
    /// A scroll: `pixelDelta` is set by trackpads (precise), else `angleDelta` in eighths of a
    /// degree (120 per wheel notch). Trackpads pan unless Alt or Ctrl is held; otherwise it zooms
    /// about the pointer.
    void scroll(QPointF pointer, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers);
    /// A pinch step: `magnification` 0.1 zooms by 1.1, limited to [0.5, 2] per step.
    void pinch(double magnification, QPointF pointer);
    /// The canvas keys; false for a key the canvas does not take (pass it on).
    bool key(int key, Qt::KeyboardModifiers modifiers);
    /// Ends the gesture in progress without finishing it and clears what it showed.
    void cancelGesture();

    /// The id of the visible stroke nearest to `q` within `tolerancePx`; ties go to the later stroke.
    [[nodiscard]] static std::optional<std::int64_t> hitTestPath(const VectorPoint& q, double tolerancePx,
                                                                 const std::vector<PenLayer>& layers,
                                                                 const Bounds* bounds);
    /// The vertex of a stroke of `selectedIDs` nearest to `q` within `tolerancePx` (visible layers
    /// only); ties go to the later vertex.
    [[nodiscard]] static std::optional<std::pair<std::int64_t, std::int64_t>> hitTestSelectedVertex(
        const VectorPoint& q, double tolerancePx, const std::vector<PenLayer>& layers,
        const std::set<std::int64_t>& selectedIDs);
    /// The strokes of the visible layers with a polyline point inside the image box spanned by the
    /// two corners (borders included), added to `start`.
    [[nodiscard]] static std::set<std::int64_t> marqueeSelection(const VectorPoint& corner0, const VectorPoint& corner1,
                                                                 const std::vector<PenLayer>& layers,
                                                                 const Bounds* bounds, std::set<std::int64_t> start);

private:
    void pressLeft(QPointF pointer, Qt::KeyboardModifiers modifiers, int clickCount);
    void pressSelect(const CanvasTransformGeometry& geometry, QPointF pointer, Qt::KeyboardModifiers modifiers,
                     int clickCount);
    void eraseAt(const CanvasTransformGeometry& geometry, QPointF pointer, Erase& erase);
    void startPan(QPointF pointer);
    /// Starts a drag of the selected strokes from image point `q`.
    void startMove(const VectorPoint& q);
    /// Commits the move of the selected strokes not committed yet (a drag in progress).
    void commitMove();
    /// Ends the gesture; with `keepMoves`, a drag's last moves are committed first.
    void endGesture(bool keepMoves);
    void resetView();
    [[nodiscard]] const Bounds* cachedBounds() const;
    void sendMarquee(std::optional<QRectF> rect) const;
    void sendFreehand(std::vector<VectorPoint> points) const;
    void sendHover(std::optional<QPointF> point) const;
    void sendSelectionDrag(std::optional<CanvasSelectionDrag> drag) const;

    AppModel& model_;
    QSizeF paneSize_;
    bool isVectorEditable_ = false;
    bool showPaperFrame_ = false;
    std::function<void(std::optional<QRectF>)> setMarquee_;
    std::function<void(std::vector<VectorPoint>)> setFreehand_;
    std::function<void(std::optional<QPointF>)> setHover_;
    std::function<void(std::optional<CanvasSelectionDrag>)> setSelectionDrag_;
    QTimer commitTimer_;       // commits a drag's gathered moves (see kLiveCommitMs)
    bool liveCommits_ = true;  // the drag's moves are committed every frame
    DragMode dragMode_;
    Qt::MouseButton gestureButton_ = Qt::NoButton;  // the button that started dragMode_
};

}  // namespace ostrel
