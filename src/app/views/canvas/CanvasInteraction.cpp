#include "app/views/canvas/CanvasInteraction.h"

#include "app/shell/AppModel.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrel {

namespace {

constexpr double kZoomBase = 1.12;
constexpr double kPreciseZoomRate = 0.012;  // per pixel of trackpad scroll
constexpr double kWheelZoomRate = 0.085;    // per line of wheel scroll
constexpr double kAngleUnitsPerNotch = 120;
// A mouse-wheel notch arrives as 120 angle units with no acceleration; it counts as 10 lines, so a
// notch zooms by 1.12^0.85 (about 10 %) and seven notches double the scale.
constexpr double kLinesPerNotch = 10;

double distanceSquaredToPolyline(const VectorPoint& q, const std::vector<VectorPoint>& points) {
    if (points.size() == 1) return q.distanceSquared(points.front());
    double best = INFINITY;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const VectorPoint& a = points[i - 1];
        const VectorPoint& b = points[i];
        const double abx = b.x - a.x;
        const double aby = b.y - a.y;
        const double length2 = abx * abx + aby * aby;
        double d2 = 0;
        if (length2 < 1e-10) {
            d2 = q.distanceSquared(a);
        } else {
            const double t = std::clamp(((q.x - a.x) * abx + (q.y - a.y) * aby) / length2, 0.0, 1.0);
            d2 = q.distanceSquared({a.x + t * abx, a.y + t * aby});
        }
        best = std::min(best, d2);
    }
    return best;
}

}  // namespace

CanvasInteraction::CanvasInteraction(AppModel& model, QObject* parent) : QObject(parent), model_(model) {
    // A new run's stroke ids start again at 1: a gesture on the old strokes must not act on the new,
    // nor may the moves of a drag not committed yet.
    connect(&model_.vectorizer(), &VectorizerController::runResultApplied, this, [this] { endGesture(false); });
    // A zero timer fires once the events already waiting, the repaint among them, are handled.
    commitTimer_.setSingleShot(true);
    connect(&commitTimer_, &QTimer::timeout, this, &CanvasInteraction::commitMove);
}

void CanvasInteraction::setPane(QSizeF size, bool isVectorEditable, bool showPaperFrame) {
    paneSize_ = size;
    isVectorEditable_ = isVectorEditable;
    showPaperFrame_ = showPaperFrame;
}

void CanvasInteraction::setBindings(std::function<void(std::optional<QRectF>)> setMarquee,
                                    std::function<void(std::vector<VectorPoint>)> setFreehand,
                                    std::function<void(std::optional<QPointF>)> setHover,
                                    std::function<void(std::optional<CanvasSelectionDrag>)> setSelectionDrag) {
    setMarquee_ = std::move(setMarquee);
    setFreehand_ = std::move(setFreehand);
    setHover_ = std::move(setHover);
    setSelectionDrag_ = std::move(setSelectionDrag);
}

std::optional<CanvasTransformGeometry> CanvasInteraction::currentGeometry() const {
    const auto& result = model_.vectorizer().result();
    if (!result) return std::nullopt;
    return CanvasTransformGeometry{paneSize_, model_.zoomScale(), model_.panOffset(), result->pageTransform,
                                   showPaperFrame_};
}

const CanvasInteraction::Bounds* CanvasInteraction::cachedBounds() const {
    const auto& cache = model_.vectorizer().renderCache();
    return cache ? &cache->boundsByPathID.map() : nullptr;
}

void CanvasInteraction::sendMarquee(std::optional<QRectF> rect) const {
    if (setMarquee_) setMarquee_(rect);
}
void CanvasInteraction::sendFreehand(std::vector<VectorPoint> points) const {
    if (setFreehand_) setFreehand_(std::move(points));
}
void CanvasInteraction::sendHover(std::optional<QPointF> point) const {
    if (setHover_) setHover_(point);
}
void CanvasInteraction::sendSelectionDrag(std::optional<CanvasSelectionDrag> drag) const {
    if (setSelectionDrag_) setSelectionDrag_(drag);
}

void CanvasInteraction::startPan(QPointF pointer) { dragMode_ = Pan{model_.panOffset(), pointer}; }

void CanvasInteraction::resetView() { model_.resetZoom(true); }

// ---- Buttons -------------------------------------------------------------------------------------

void CanvasInteraction::press(Qt::MouseButton button, QPointF pointer, Qt::KeyboardModifiers modifiers,
                              int clickCount) {
    // One gesture at a time: other buttons wait until it ends. A new press of the gesture's own
    // button means its release never reached us (a window took the pointer): that gesture is over.
    if (!std::holds_alternative<std::monostate>(dragMode_)) {
        if (button != gestureButton_) return;
        cancelGesture();
    }
    if (button == Qt::LeftButton) {
        pressLeft(pointer, modifiers, clickCount);
    } else if (button == Qt::RightButton || button == Qt::MiddleButton) {
        startPan(pointer);
    }
    if (!std::holds_alternative<std::monostate>(dragMode_)) gestureButton_ = button;
}

void CanvasInteraction::pressLeft(QPointF pointer, Qt::KeyboardModifiers modifiers, int clickCount) {
    if (!isVectorEditable_ || model_.editTool() == CanvasEditTool::pan) {
        if (clickCount == 2) {
            resetView();
        } else {
            startPan(pointer);
        }
        return;
    }
    const std::optional<CanvasTransformGeometry> geometry = currentGeometry();
    if (!geometry) {
        startPan(pointer);
        return;
    }
    const VectorPoint q = geometry->paneToImage(pointer);
    switch (model_.editTool()) {
        case CanvasEditTool::erase: {
            Erase erase{model_.vectorizer().beginEditGesture()};
            eraseAt(*geometry, pointer, erase);
            sendHover(pointer);
            dragMode_ = erase;
            break;
        }
        case CanvasEditTool::draw:
            sendFreehand({q});
            dragMode_ = Draw{{q}};
            break;
        case CanvasEditTool::select:
            pressSelect(*geometry, pointer, modifiers, clickCount);
            break;
        case CanvasEditTool::pan:
            break;
    }
}

void CanvasInteraction::pressSelect(const CanvasTransformGeometry& geometry, QPointF pointer,
                                    Qt::KeyboardModifiers modifiers, int clickCount) {
    const auto& layers = model_.vectorizer().result()->layers;
    const VectorPoint q = geometry.paneToImage(pointer);
    const double tolerance = std::max(geometry.paneDistanceToImagePx(kHitTolerancePoints), kMinHitTolerancePx);
    const double vertexTolerance = tolerance * kVertexToleranceFactor;
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    if (!shift) {
        if (const auto vertex = hitTestSelectedVertex(q, vertexTolerance, layers, model_.selectedPathIDs())) {
            model_.setSelectedVertex(SelectedVertex{vertex->first, vertex->second});
            dragMode_ = MoveVertex{vertex->first, vertex->second, model_.vectorizer().beginEditGesture()};
            return;
        }
        if (const auto id = hitTestPath(q, tolerance, layers, cachedBounds())) {
            if (!model_.selectedPathIDs().contains(*id)) model_.setSelectedPathIDs({*id});
            const auto vertex = hitTestSelectedVertex(q, vertexTolerance, layers, {*id});
            model_.setSelectedVertex(
                vertex ? std::optional<SelectedVertex>(SelectedVertex{vertex->first, vertex->second}) : std::nullopt);
            if (vertex && model_.selectedPathIDs().size() == 1) {
                dragMode_ = MoveVertex{vertex->first, vertex->second, model_.vectorizer().beginEditGesture()};
            } else {
                startMove(q);
            }
            return;
        }
    } else if (const auto id = hitTestPath(q, tolerance, layers, cachedBounds())) {
        std::set<std::int64_t> selection = model_.selectedPathIDs();
        if (!selection.erase(*id)) selection.insert(*id);
        model_.setSelectedPathIDs(std::move(selection));
        model_.setSelectedVertex(std::nullopt);
        startMove(q);
        return;
    }
    if (clickCount == 2) {
        resetView();
        return;
    }
    if (!shift) model_.clearSelection();
    dragMode_ = Marquee{pointer, shift};
}

void CanvasInteraction::eraseAt(const CanvasTransformGeometry& geometry, QPointF pointer, Erase& erase) {
    VectorizerController& document = model_.vectorizer();
    if (!document.result()) return;
    const VectorPoint q = geometry.paneToImage(pointer);
    const double radius = model_.eraserRadiusPx();
    // The hit test's cached bounds skip the common case of a pointer far from every stroke.
    if (!hitTestPath(q, radius, document.result()->layers, cachedBounds())) return;
    document.applyEdit(StrokeEdits::EraseNear{q, radius}, erase.gesture);
}

void CanvasInteraction::drag(QPointF pointer) {
    VectorizerController& document = model_.vectorizer();
    if (auto* pan = std::get_if<Pan>(&dragMode_)) {
        model_.setPanOffset(pan->startPan + (pointer - pan->startPt));
        return;
    }
    if (std::holds_alternative<std::monostate>(dragMode_)) return;
    const std::optional<CanvasTransformGeometry> geometry = currentGeometry();
    if (!geometry) return;
    const VectorPoint q = geometry->paneToImage(pointer);
    if (const auto* vertex = std::get_if<MoveVertex>(&dragMode_)) {
        document.applyEdit(StrokeEdits::MoveVertex{vertex->pathID, vertex->vertexIdx, q}, vertex->gesture);
    } else if (auto* move = std::get_if<MovePaths>(&dragMode_)) {
        const double dx = q.x - move->lastImagePt.x;
        const double dy = q.y - move->lastImagePt.y;
        if (std::abs(dx) <= kMoveThresholdPx && std::abs(dy) <= kMoveThresholdPx) return;
        if (move->ids.empty()) return;  // a Shift-click took the last one away
        move->lastImagePt = q;
        move->movedPx += QPointF(dx, dy);
        sendSelectionDrag(CanvasSelectionDrag{move->movedPx, move->committedPx});
        if (!liveCommits_) {
            commitTimer_.start(kRestingCommitMs);  // again from this step
        } else if (!commitTimer_.isActive()) {
            commitTimer_.start(0);
        }
    } else if (const auto* marquee = std::get_if<Marquee>(&dragMode_)) {
        const QRectF r(
            QPointF(std::min(marquee->startPt.x(), pointer.x()), std::min(marquee->startPt.y(), pointer.y())),
            QSizeF(std::abs(marquee->startPt.x() - pointer.x()), std::abs(marquee->startPt.y() - pointer.y())));
        sendMarquee(r);
        std::set<std::int64_t> start = marquee->additive ? model_.selectedPathIDs() : std::set<std::int64_t>{};
        std::set<std::int64_t> selection =
            marqueeSelection(geometry->paneToImage(r.topLeft()), geometry->paneToImage(r.bottomRight()),
                             document.result()->layers, cachedBounds(), std::move(start));
        if (selection != model_.selectedPathIDs()) model_.setSelectedPathIDs(std::move(selection));
    } else if (auto* erase = std::get_if<Erase>(&dragMode_)) {
        sendHover(pointer);
        eraseAt(*geometry, pointer, *erase);
    } else if (auto* draw = std::get_if<Draw>(&dragMode_)) {
        if (draw->pointsPx.empty() || draw->pointsPx.back().distance(q) < kFreehandSpacingPx) return;
        draw->pointsPx.push_back(q);
        sendFreehand(draw->pointsPx);
    }
}

void CanvasInteraction::startMove(const VectorPoint& q) {
    dragMode_ = MovePaths{q, model_.vectorizer().beginEditGesture(), {}, {}, model_.selectedPathIDs()};
    liveCommits_ = model_.selectedPathIDs().size() <= kLiveCommitStrokes;
    sendSelectionDrag(CanvasSelectionDrag{});
}

void CanvasInteraction::commitMove() {
    commitTimer_.stop();
    auto* move = std::get_if<MovePaths>(&dragMode_);
    if (move == nullptr || move->movedPx == move->committedPx) return;
    const QPointF step = move->movedPx - move->committedPx;
    move->committedPx = move->movedPx;
    // The strokes the drag shows moving, even if the selection has changed since the press.
    if (!move->ids.empty()) {
        QElapsedTimer timer;
        timer.start();
        model_.vectorizer().applyEdit(StrokeEdits::Translate{move->ids, step.x(), step.y()}, move->gesture);
        liveCommits_ = static_cast<double>(timer.nsecsElapsed()) / 1e6 <= kLiveCommitMs;
    }
    sendSelectionDrag(CanvasSelectionDrag{move->movedPx, move->committedPx});
}

void CanvasInteraction::release(Qt::MouseButton button, QPointF) {
    if (std::holds_alternative<std::monostate>(dragMode_) || button != gestureButton_) return;
    commitMove();
    if (std::holds_alternative<MovePaths>(dragMode_)) sendSelectionDrag(std::nullopt);
    DragMode finished = std::exchange(dragMode_, std::monostate{});
    gestureButton_ = Qt::NoButton;
    if (std::holds_alternative<Marquee>(finished)) {
        sendMarquee(std::nullopt);
    } else if (auto* draw = std::get_if<Draw>(&finished)) {
        sendFreehand({});
        if (draw->pointsPx.size() >= 2) {
            const StrokeEditOutcome added =
                model_.vectorizer().applyEdit(StrokeEdits::AddFreehand{draw->pointsPx, model_.activeDrawPenIndex()});
            if (!added.newPathIDs.empty()) model_.setSelectedPathIDs({added.newPathIDs.front()});
        }
    }
}

void CanvasInteraction::cancelGesture() { endGesture(true); }

void CanvasInteraction::endGesture(bool keepMoves) {
    if (keepMoves) commitMove();
    commitTimer_.stop();
    const DragMode finished = std::exchange(dragMode_, std::monostate{});
    gestureButton_ = Qt::NoButton;
    if (std::holds_alternative<Marquee>(finished)) sendMarquee(std::nullopt);
    if (std::holds_alternative<Draw>(finished)) sendFreehand({});
    if (std::holds_alternative<MovePaths>(finished)) sendSelectionDrag(std::nullopt);
}

// ---- Hover, scroll, pinch, keys ------------------------------------------------------------------

void CanvasInteraction::hover(QPointF pointer) {
    if (isVectorEditable_ && model_.editTool() == CanvasEditTool::erase) {
        sendHover(pointer);
    } else {
        sendHover(std::nullopt);
    }
}

void CanvasInteraction::leave() { sendHover(std::nullopt); }

void CanvasInteraction::scroll(QPointF pointer, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
    const bool precise = !pixelDelta.isNull();
    const bool zoomModifier = (modifiers & (Qt::AltModifier | Qt::ControlModifier)) != Qt::NoModifier;
    if (precise && !zoomModifier) {
        model_.setPanOffset(model_.panOffset() + QPointF(pixelDelta));
        return;
    }
    // With Alt the platform may turn a vertical scroll into a horizontal one: take whichever is set.
    const QPoint delta = precise ? pixelDelta : angleDelta;
    const double dy = delta.y() != 0 ? delta.y() : (zoomModifier ? delta.x() : 0);
    const double k = precise ? dy * kPreciseZoomRate : dy / kAngleUnitsPerNotch * kLinesPerNotch * kWheelZoomRate;
    if (std::abs(k) <= 0.0001) return;
    const QPointF centre(paneSize_.width() * 0.5, paneSize_.height() * 0.5);
    model_.applyZoom(model_.zoomScale() * std::pow(kZoomBase, k), pointer - centre);
}

void CanvasInteraction::pinch(double magnification, QPointF pointer) {
    if (!std::isfinite(magnification)) return;
    double f = 1 + magnification;
    f = f < 2.0 ? std::max(f, 0.5) : 2.0;
    const QPointF centre(paneSize_.width() * 0.5, paneSize_.height() * 0.5);
    model_.applyZoom(model_.zoomScale() * f, pointer - centre);
}

bool CanvasInteraction::key(int key, Qt::KeyboardModifiers modifiers) {
    // A key that changes the selection ends a drag of it first, with every move it made kept.
    const bool changesSelection = key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Escape;
    if (changesSelection && std::holds_alternative<MovePaths>(dragMode_)) cancelGesture();
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        if (model_.selectedPathIDs().empty()) return false;
        model_.deleteSelectedPaths();
        return true;
    }
    if (key == Qt::Key_Escape) {
        model_.clearSelection();
        return true;
    }
    // Letters: Shift is allowed, Ctrl, Alt and Meta leave the key to others.
    if ((modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != Qt::NoModifier) return false;
    switch (key) {
        case Qt::Key_Z:
            resetView();
            return true;
        case Qt::Key_B:
            model_.setBlackOnWhitePreview(!model_.blackOnWhitePreview());
            return true;
        case Qt::Key_H:
            model_.setEditTool(CanvasEditTool::pan);
            return true;
        case Qt::Key_V:
            model_.setEditTool(CanvasEditTool::select);
            return true;
        case Qt::Key_E:
            model_.setEditTool(CanvasEditTool::erase);
            return true;
        case Qt::Key_P:
            model_.setEditTool(CanvasEditTool::draw);
            return true;
        default:
            return false;
    }
}

// ---- Hit tests -----------------------------------------------------------------------------------

std::optional<std::int64_t> CanvasInteraction::hitTestPath(const VectorPoint& q, double tolerancePx,
                                                           const std::vector<PenLayer>& layers, const Bounds* bounds) {
    double best = tolerancePx * tolerancePx;
    std::optional<std::int64_t> found;
    for (const PenLayer& layer : layers) {
        if (!layer.visible) continue;
        for (const VectorPath& path : layer.paths) {
            if (path.points.empty()) continue;
            if (bounds != nullptr) {
                if (const auto it = bounds->find(path.id); it != bounds->end()) {
                    const QRectF grown = it->second.adjusted(-tolerancePx, -tolerancePx, tolerancePx, tolerancePx);
                    if (q.x < grown.left() || q.x > grown.right() || q.y < grown.top() || q.y > grown.bottom())
                        continue;
                }
            }
            const double d2 = distanceSquaredToPolyline(q, path.points);
            if (d2 <= best) {
                best = d2;
                found = path.id;
            }
        }
    }
    return found;
}

std::optional<std::pair<std::int64_t, std::int64_t>> CanvasInteraction::hitTestSelectedVertex(
    const VectorPoint& q, double tolerancePx, const std::vector<PenLayer>& layers,
    const std::set<std::int64_t>& selectedIDs) {
    if (selectedIDs.empty() || layers.empty()) return std::nullopt;
    double best = tolerancePx * tolerancePx;
    std::optional<std::pair<std::int64_t, std::int64_t>> found;
    for (const PenLayer& layer : layers) {
        if (!layer.visible) continue;
        for (const VectorPath& path : layer.paths) {
            if (!selectedIDs.contains(path.id)) continue;
            for (std::size_t i = 0; i < path.points.size(); ++i) {
                const double d2 = q.distanceSquared(path.points[i]);
                if (d2 <= best) {
                    best = d2;
                    found = std::pair{path.id, static_cast<std::int64_t>(i)};
                }
            }
        }
    }
    return found;
}

std::set<std::int64_t> CanvasInteraction::marqueeSelection(const VectorPoint& corner0, const VectorPoint& corner1,
                                                           const std::vector<PenLayer>& layers, const Bounds* bounds,
                                                           std::set<std::int64_t> start) {
    const double x0 = std::min(corner0.x, corner1.x);
    const double x1 = std::max(corner0.x, corner1.x);
    const double y0 = std::min(corner0.y, corner1.y);
    const double y1 = std::max(corner0.y, corner1.y);
    const QRectF box(x0, y0, std::max(x1 - x0, 0.5), std::max(y1 - y0, 0.5));
    for (const PenLayer& layer : layers) {
        if (!layer.visible) continue;
        for (const VectorPath& path : layer.paths) {
            if (bounds != nullptr) {
                if (const auto it = bounds->find(path.id); it != bounds->end() && !it->second.intersects(box)) continue;
            }
            const bool inside = std::any_of(path.points.begin(), path.points.end(), [&](const VectorPoint& p) {
                return x0 <= p.x && p.x <= x1 && y0 <= p.y && p.y <= y1;
            });
            if (inside) start.insert(path.id);
        }
    }
    return start;
}

}  // namespace ostrel
