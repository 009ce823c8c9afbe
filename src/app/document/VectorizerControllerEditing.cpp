// Stroke edits and undo/redo of the document controller. Every edit works on
// a copy of the current layers and commits a rebuilt result (metrics, SVG
// texts and render cache) without running extraction again.
#include "app/document/VectorizerController.h"

#include "core/pipeline/BezierFitting.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <variant>

namespace ostrel {

namespace {

constexpr double kFreehandRadiusPx = 1.5;
constexpr std::uint64_t kPenWidthDebounceMs = 15;
constexpr std::int64_t kMaxPenWidthIndex = 64;

bool contains(const std::set<std::int64_t>& ids, std::int64_t id) { return ids.find(id) != ids.end(); }

/// Layer position and path position of the first stroke with `id`.
std::optional<std::pair<std::size_t, std::size_t>> findPath(const std::vector<PenLayer>& layers, std::int64_t id) {
    for (std::size_t l = 0; l < layers.size(); ++l) {
        for (std::size_t p = 0; p < layers[l].paths.size(); ++p) {
            if (layers[l].paths[p].id == id) return std::pair{l, p};
        }
    }
    return std::nullopt;
}

VectorPath strokeFromPoints(std::int64_t id, std::int64_t penIndex, std::vector<VectorPoint> points, double radius) {
    VectorPath path;
    path.id = id;
    path.penIndex = penIndex;
    path.points = std::move(points);
    path.strokeRadiusPx = radius;
    return path;
}

void offset(VectorPoint& p, double dx, double dy) noexcept {
    p.x += dx;
    p.y += dy;
}

void offset(std::vector<CubicBezierSegment>& segments, double dx, double dy) noexcept {
    for (auto& s : segments) {
        offset(s.p0, dx, dy);
        offset(s.c1, dx, dy);
        offset(s.c2, dx, dy);
        offset(s.p3, dx, dy);
    }
}

/// Squared distance from p to the segment a→b (to a when the segment has no length).
double distanceSquaredToSegment(const VectorPoint& p, const VectorPoint& a, const VectorPoint& b) noexcept {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared < 1e-10) return p.distanceSquared(a);
    double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared;
    if (t < 0) t = 0;
    if (t >= 1) t = 1;
    return p.distanceSquared({a.x + t * dx, a.y + t * dy});
}

bool isNear(const VectorPath& path, const VectorPoint& p, double radiusSquared) noexcept {
    if (path.points.empty()) return false;
    if (path.points.size() == 1) return p.distanceSquared(path.points.front()) <= radiusSquared;
    for (std::size_t i = 1; i < path.points.size(); ++i) {
        if (distanceSquaredToSegment(p, path.points[i - 1], path.points[i]) <= radiusSquared) return true;
    }
    return false;
}

}  // namespace

std::int64_t VectorizerController::nextAvailablePathID(const std::vector<PenLayer>& layers) {
    std::int64_t largest = 0;
    for (const auto& layer : layers) {
        for (const auto& path : layer.paths) largest = std::max(largest, path.id);
    }
    return largest + 1;
}

StrokeEditOutcome VectorizerController::applyEdit(StrokeEdit edit, EditGestureKey gesture) {
    StrokeEditOutcome outcome;
    if (!result_) return outcome;
    struct GestureScope {
        EditGestureKey& slot;
        ~GestureScope() { slot = noGesture; }
    } scope{editGesture_ = gesture};
    const std::uint64_t commitsBefore = editCommits_;
    const auto ids = [](std::optional<std::int64_t> id) {
        return id ? std::vector<std::int64_t>{*id} : std::vector<std::int64_t>{};
    };
    std::visit(
        [&](auto&& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, StrokeEdits::Delete>) {
                outcome.removedCount = deletePaths(e.ids);
            } else if constexpr (std::is_same_v<E, StrokeEdits::AssignToPen>) {
                assignPathsToPen(e.ids, e.penIndex);
            } else if constexpr (std::is_same_v<E, StrokeEdits::Simplify>) {
                simplifyPaths(e.ids);
            } else if constexpr (std::is_same_v<E, StrokeEdits::Reverse>) {
                reversePaths(e.ids);
            } else if constexpr (std::is_same_v<E, StrokeEdits::Join>) {
                outcome.newPathIDs = ids(joinPaths(e.ids));
            } else if constexpr (std::is_same_v<E, StrokeEdits::Split>) {
                if (const auto halves = splitPath(e.pathID, e.atVertexIndex)) {
                    outcome.newPathIDs = {halves->first, halves->second};
                }
            } else if constexpr (std::is_same_v<E, StrokeEdits::Translate>) {
                translatePaths(e.ids, e.dxPx, e.dyPx);
            } else if constexpr (std::is_same_v<E, StrokeEdits::MoveVertex>) {
                movePathVertex(e.pathID, e.pointIndex, e.to);
            } else if constexpr (std::is_same_v<E, StrokeEdits::EraseNear>) {
                outcome.removedCount = erasePathsNear(e.pointPx, e.radiusPx);
            } else if constexpr (std::is_same_v<E, StrokeEdits::AddFreehand>) {
                outcome.newPathIDs = ids(addFreehandPath(e.points, e.penIndex));
            } else if constexpr (std::is_same_v<E, StrokeEdits::ReplaceLayers>) {
                recordUndoSnapshot();
                commitEditedLayers(std::move(e.layers), e.reoptimizeTour);
            }
        },
        std::move(edit));
    outcome.changed = editCommits_ != commitsBefore;
    return outcome;
}

void VectorizerController::commitEditedLayers(std::vector<PenLayer> layers, bool reoptimizeTour) {
    if (!result_) return;
    ++editCommits_;
    const auto& page = result_->pageTransform;
    VectorizationResult rebuilt = VectorizationEngine::rebuildGeometryFromEditedLayers(
        std::move(layers), page.imageWidth, page.imageHeight, params_, result_->metrics.usedNeuralEngine,
        result_->metrics.penBreakpointsPx, reoptimizeTour);
    // A drag commits on every frame: the render cache is updated from the current one (only the
    // changed strokes and the cells they leave or enter are built again) and the two texts are
    // written when first read. Both share the strokes' points with the current result.
    auto ready = std::make_shared<const VectorRenderCache>(
        renderCache_ ? VectorRenderCache::update(*renderCache_, *result_, rebuilt) : VectorRenderCache::build(rebuilt));
    VectorizationEngine::deferSvgTexts(rebuilt, params_);
    applyResult(std::move(rebuilt), std::move(ready));
    resultHasHandEdits_ = true;
}

std::vector<PenLayer> VectorizerController::editableLayers() {
    // The previous result of a large document may still be being freed on its own thread, dropping
    // the same shared stroke data this copy takes hold of: both would fight over it (and over the
    // allocator) for many times the cost of either alone. Let it finish first.
    if (releasing_.valid()) releasing_.wait();
    return result_->layers;
}

void VectorizerController::recordUndoSnapshot() {
    if (!result_) return;
    if (editGesture_ != noGesture && editGesture_ == recordedGesture_) return;  // a later step of one gesture
    recordedGesture_ = editGesture_;
    undoStack_.push_back(result_->layers);
    if (undoStack_.size() > kUndoLimit) undoStack_.erase(undoStack_.begin());
    redoStack_.clear();
    emit undoRedoChanged();
}

void VectorizerController::moveUndoEntry(std::vector<std::vector<PenLayer>>& from,
                                         std::vector<std::vector<PenLayer>>& to) {
    if (from.empty()) return;
    std::vector<PenLayer> entry = std::move(from.back());
    from.pop_back();
    if (result_) {
        to.push_back(result_->layers);
        commitEditedLayers(std::move(entry), false);
    }
    recordedGesture_ = noGesture;  // a gesture that goes on after an undo is a new step
    emit undoRedoChanged();
}

void VectorizerController::undo() { moveUndoEntry(undoStack_, redoStack_); }

void VectorizerController::redo() { moveUndoEntry(redoStack_, undoStack_); }

int VectorizerController::deletePaths(const std::set<std::int64_t>& ids) {
    if (ids.empty() || !result_) return 0;
    recordUndoSnapshot();
    std::vector<PenLayer> layers = editableLayers();
    int removed = 0;
    for (auto& layer : layers) {
        const auto before = layer.paths.size();
        std::erase_if(layer.paths, [&](const VectorPath& p) { return contains(ids, p.id); });
        removed += static_cast<int>(before - layer.paths.size());
    }
    if (removed > 0) commitEditedLayers(std::move(layers), false);
    return removed;
}

bool VectorizerController::assignPathsToPen(const std::set<std::int64_t>& ids, std::int64_t targetPenIndex) {
    if (ids.empty() || !result_) return false;
    if (targetPenIndex < 0 || targetPenIndex >= static_cast<std::int64_t>(result_->layers.size())) return false;
    recordUndoSnapshot();
    std::vector<PenLayer> layers = editableLayers();
    const auto target = static_cast<std::size_t>(targetPenIndex);
    std::vector<VectorPath> collected;
    for (std::size_t l = 0; l < layers.size(); ++l) {
        if (l == target) continue;
        auto& paths = layers[l].paths;
        for (auto it = paths.begin(); it != paths.end();) {
            if (contains(ids, it->id)) {
                it->penIndex = targetPenIndex;
                collected.push_back(std::move(*it));
                it = paths.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (collected.empty()) return false;
    for (auto& path : collected) layers[target].paths.push_back(std::move(path));
    commitEditedLayers(std::move(layers), params_.optimize2Opt);
    return true;
}

void VectorizerController::simplifyPaths(const std::set<std::int64_t>& ids) {
    if (ids.empty() || !result_) return;
    recordUndoSnapshot();
    const double epsilon = std::max(params_.rdpTolerance * 2.2, 1.5);
    std::vector<PenLayer> layers = editableLayers();
    for (auto& layer : layers) {
        for (auto& path : layer.paths) {
            if (!contains(ids, path.id)) continue;
            auto simplified = BezierAndPlotterOptimizer::simplifyRDP(path.points, epsilon);
            if (simplified.size() < 2) continue;
            path.points = std::move(simplified);
            path = VectorizationEngine::refitPath(path, params_);
        }
    }
    commitEditedLayers(std::move(layers), false);
}

void VectorizerController::reversePaths(const std::set<std::int64_t>& ids) {
    if (ids.empty() || !result_) return;
    recordUndoSnapshot();
    std::vector<PenLayer> layers = editableLayers();
    for (auto& layer : layers) {
        for (auto& path : layer.paths) {
            if (contains(ids, path.id)) path = path.reversedPath();
        }
    }
    commitEditedLayers(std::move(layers), false);
}

std::optional<std::int64_t> VectorizerController::joinPaths(const std::set<std::int64_t>& ids) {
    if (ids.size() < 2 || !result_) return std::nullopt;
    std::vector<PenLayer> layers = editableLayers();
    std::vector<VectorPath> matched;
    std::size_t targetLayer = 0;
    for (std::size_t l = 0; l < layers.size(); ++l) {
        for (const auto& path : layers[l].paths) {
            if (!contains(ids, path.id)) continue;
            if (matched.empty()) targetLayer = l;
            matched.push_back(path);
        }
    }
    // A first stroke without points has no ends to chain from.
    if (matched.size() < 2 || matched.front().points.empty()) return std::nullopt;
    recordUndoSnapshot();
    for (auto& layer : layers) {
        std::erase_if(layer.paths, [&](const VectorPath& p) { return contains(ids, p.id); });
    }

    std::vector<VectorPoint> chain = matched.front().points;
    std::vector<VectorPath> candidates(matched.begin() + 1, matched.end());
    while (!candidates.empty()) {
        const VectorPoint head = chain.empty() ? VectorPoint::zero : chain.front();
        const VectorPoint tail = chain.empty() ? VectorPoint::zero : chain.back();
        double best = std::numeric_limits<double>::max();
        std::size_t bestIndex = 0;
        int bestOption = 0;
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const double options[4] = {tail.distance(candidates[c].startPoint()),
                                       tail.distance(candidates[c].endPoint()), head.distance(candidates[c].endPoint()),
                                       head.distance(candidates[c].startPoint())};
            for (int o = 0; o < 4; ++o) {
                if (options[o] < best) {
                    best = options[o];
                    bestIndex = c;
                    bestOption = o;
                }
            }
        }
        std::vector<VectorPoint> piece = std::move(candidates[bestIndex].points);
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(bestIndex));
        if (bestOption == 1 || bestOption == 3) std::reverse(piece.begin(), piece.end());
        if (bestOption <= 1) {
            chain.insert(chain.end(), piece.begin(), piece.end());
        } else {
            piece.insert(piece.end(), chain.begin(), chain.end());
            chain = std::move(piece);
        }
    }

    const std::int64_t id = nextAvailablePathID(layers);
    VectorPath joined =
        strokeFromPoints(id, static_cast<std::int64_t>(targetLayer), std::move(chain), matched.front().strokeRadiusPx);
    layers[targetLayer].paths.push_back(VectorizationEngine::refitPath(joined, params_));
    commitEditedLayers(std::move(layers), false);
    return id;
}

std::optional<std::pair<std::int64_t, std::int64_t>> VectorizerController::splitPath(std::int64_t pathID,
                                                                                     std::int64_t atVertexIndex) {
    if (!result_) return std::nullopt;
    std::vector<PenLayer> layers = editableLayers();
    const auto found = findPath(layers, pathID);
    if (!found) return std::nullopt;
    const auto [l, p] = *found;
    const VectorPath original = layers[l].paths[p];
    const auto count = static_cast<std::int64_t>(original.points.size());
    if (atVertexIndex < 1 || atVertexIndex > count - 2) return std::nullopt;
    recordUndoSnapshot();

    const std::int64_t secondID = nextAvailablePathID(layers);
    const auto k = static_cast<std::ptrdiff_t>(atVertexIndex);
    const auto penIndex = static_cast<std::int64_t>(l);
    VectorPath first = strokeFromPoints(
        original.id, penIndex, {original.points.begin(), original.points.begin() + k + 1}, original.strokeRadiusPx);
    VectorPath second = strokeFromPoints(secondID, penIndex, {original.points.begin() + k, original.points.end()},
                                         original.strokeRadiusPx);
    auto& paths = layers[l].paths;
    paths[p] = VectorizationEngine::refitPath(first, params_);
    paths.insert(paths.begin() + static_cast<std::ptrdiff_t>(p) + 1, VectorizationEngine::refitPath(second, params_));
    commitEditedLayers(std::move(layers), false);
    return std::pair{original.id, secondID};
}

void VectorizerController::translatePaths(const std::set<std::int64_t>& ids, double dxPx, double dyPx) {
    if (ids.empty() || !result_) return;
    std::vector<PenLayer> layers = editableLayers();
    for (auto& layer : layers) {
        for (auto& path : layer.paths) {
            if (!contains(ids, path.id)) continue;
            for (auto& point : path.points.edit()) offset(point, dxPx, dyPx);
            offset(path.beziers.edit(), dxPx, dyPx);
            offset(path.outlineBeziers.edit(), dxPx, dyPx);
        }
    }
    recordUndoSnapshot();
    commitEditedLayers(std::move(layers), false);
}

void VectorizerController::movePathVertex(std::int64_t pathID, std::int64_t pointIndex, VectorPoint to) {
    if (!result_) return;
    std::vector<PenLayer> layers = editableLayers();
    const auto found = findPath(layers, pathID);
    if (!found) return;
    VectorPath& path = layers[found->first].paths[found->second];
    if (pointIndex < 0 || pointIndex >= static_cast<std::int64_t>(path.points.size())) return;
    if (path.points[static_cast<std::size_t>(pointIndex)] == to) return;  // a click without a move
    path.points.edit()[static_cast<std::size_t>(pointIndex)] = to;
    path = VectorizationEngine::refitPath(path, params_);
    recordUndoSnapshot();
    commitEditedLayers(std::move(layers), false);
}

int VectorizerController::erasePathsNear(VectorPoint pointPx, double radiusPx) {
    if (!result_) return 0;
    const double radiusSquared = radiusPx * radiusPx;
    std::vector<PenLayer> layers = editableLayers();
    int removed = 0;
    for (auto& layer : layers) {
        if (!layer.visible) continue;
        const auto before = layer.paths.size();
        std::erase_if(layer.paths, [&](const VectorPath& p) { return isNear(p, pointPx, radiusSquared); });
        removed += static_cast<int>(before - layer.paths.size());
    }
    // Only an eraser that takes something away is a step: an empty press keeps the redo stack.
    if (removed > 0) {
        recordUndoSnapshot();
        commitEditedLayers(std::move(layers), false);
    }
    return removed;
}

std::optional<std::int64_t> VectorizerController::addFreehandPath(const std::vector<VectorPoint>& points,
                                                                  std::int64_t penIndex) {
    // Without a layer there is nowhere to put the stroke.
    if (points.size() < 2 || !result_ || result_->layers.empty()) return std::nullopt;
    recordUndoSnapshot();
    auto simplified = BezierAndPlotterOptimizer::simplifyRDP(points, std::max(params_.rdpTolerance, 0.6));
    if (simplified.size() < 2) return std::nullopt;
    std::vector<PenLayer> layers = editableLayers();
    const auto lastLayer = static_cast<std::int64_t>(layers.size()) - 1;
    const std::int64_t pen = std::max<std::int64_t>(std::min(penIndex, lastLayer), 0);
    const std::int64_t id = nextAvailablePathID(layers);
    VectorPath stroke = strokeFromPoints(id, pen, std::move(simplified), kFreehandRadiusPx);
    layers[static_cast<std::size_t>(pen)].paths.push_back(VectorizationEngine::refitPath(stroke, params_));
    commitEditedLayers(std::move(layers), false);
    return id;
}

void VectorizerController::toggleLayerVisibility(std::int64_t index) {
    const auto it = layerVisibility_.find(index);
    const bool visible = !(it == layerVisibility_.end() ? true : it->second);
    layerVisibility_[index] = visible;
    emit layerVisibilityChanged();
    if (!result_) return;
    VectorizationResult updated = *result_;
    for (auto& layer : updated.layers) {
        if (layer.index == index) layer.visible = visible;
    }
    VectorizationEngine::deferSvgTexts(updated, params_);
    // Only the travel differs: every layer's paths are shared with the current cache.
    auto cache =
        renderCache_ ? VectorRenderCache::update(*renderCache_, *result_, updated) : VectorRenderCache::build(updated);
    result_ = std::move(updated);
    renderCache_ = std::make_shared<const VectorRenderCache>(std::move(cache));
    emit resultChanged();
    emit renderCacheChanged();
}

bool VectorizerController::setExportBlackStrokes(bool black) {
    if (params_.exportBlackStrokes == black) return false;
    params_.exportBlackStrokes = black;
    emit paramsChanged();
    if (!result_) return true;
    VectorizationResult updated = *result_;
    VectorizationEngine::deferSvgTexts(updated, params_);
    result_ = std::move(updated);
    emit resultChanged();
    return true;
}

void VectorizerController::updatePenWidth(std::int64_t index, double widthMM) {
    // Pens are few; an index far beyond them would grow the list without end.
    if (index < 0 || index >= kMaxPenWidthIndex) return;
    auto& widths = params_.penWidthsMM;
    while (static_cast<std::int64_t>(widths.size()) <= index)
        widths.push_back(defaultPenWidthMM(static_cast<std::int64_t>(widths.size())));
    double clamped = widthMM;
    if (std::isnan(clamped) || clamped >= 5.0) clamped = 5.0;
    if (clamped < 0.1) clamped = 0.1;
    widths[static_cast<std::size_t>(index)] = clamped;
    emit paramsChanged();
    scheduleVectorization(kPenWidthDebounceMs, false);
}

}  // namespace ostrel
