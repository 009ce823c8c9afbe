// The open document: source raster, parameters, current result, render cache,
// per-pen visibility, stage-A cache, undo/redo, progress and status texts.
// Lives on the main thread; background runs work on copies and are applied
// only while still current.
#pragma once

#include "app/document/StrokeEdit.h"
#include "app/document/VectorRenderCache.h"
#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"
#include "core/pipeline/RasterImage.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QTimer;

namespace ostrel {

/// When a change of parameters is vectorized: in the background after a quiet time, or at once on
/// the calling thread (for callers that answer with the result).
struct RunSchedule {
    std::uint64_t debounceMs = 0;
    bool synchronous = false;

    [[nodiscard]] static constexpr RunSchedule after(std::uint64_t debounceMs) noexcept { return {debounceMs, false}; }
    [[nodiscard]] static constexpr RunSchedule now() noexcept { return {0, true}; }
    friend bool operator==(const RunSchedule&, const RunSchedule&) = default;
};

class VectorizerController final : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kUndoLimit = 40;

    /// The remote-control endpoints live beside the document (app/remote), plotting in app/plotter.
    explicit VectorizerController(QObject* parent = nullptr);
    ~VectorizerController() override;

    // Observable state (main thread).
    [[nodiscard]] const RasterImage* sourceImage() const noexcept { return sourceImage_.get(); }
    [[nodiscard]] const QImage& displayImage() const noexcept { return displayImage_; }
    [[nodiscard]] const std::string& sourceTitle() const noexcept { return sourceTitle_; }
    [[nodiscard]] const std::optional<std::string>& sourcePath() const noexcept { return sourcePath_; }
    [[nodiscard]] std::optional<SyntheticPreset> activePreset() const noexcept { return activePreset_; }
    [[nodiscard]] const VectorizerParams& params() const noexcept { return params_; }
    [[nodiscard]] const std::optional<VectorizationResult>& result() const noexcept { return result_; }
    [[nodiscard]] const std::shared_ptr<const VectorRenderCache>& renderCache() const noexcept { return renderCache_; }
    [[nodiscard]] const std::map<std::int64_t, bool>& layerVisibility() const noexcept { return layerVisibility_; }
    [[nodiscard]] bool isProcessing() const noexcept { return isProcessing_; }
    /// True from a background run's request until its result is applied or the run is cancelled:
    /// meanwhile `result` belongs to older parameters than those on screen.
    [[nodiscard]] bool hasPendingRun() const noexcept { return pendingRun_ != nullptr; }
    [[nodiscard]] double progressFraction() const noexcept { return progressFraction_; }
    [[nodiscard]] const std::string& progressStage() const noexcept { return progressStage_; }
    [[nodiscard]] const std::string& statusMessage() const noexcept { return statusMessage_; }
    /// The message of the last failure (an image that could not be read); none after a success.
    [[nodiscard]] const std::optional<std::string>& lastError() const noexcept { return lastError_; }
    [[nodiscard]] std::uint64_t imageRevision() const noexcept { return imageRevision_; }
    [[nodiscard]] const std::vector<std::vector<PenLayer>>& undoStack() const noexcept { return undoStack_; }
    [[nodiscard]] const std::vector<std::vector<PenLayer>>& redoStack() const noexcept { return redoStack_; }

    /// Writes the parameters in one observable change (even when equal) and asks for their run:
    /// scheduleVectorization(debounce, false), or runSynchronousVectorization() when `schedule` says now.
    void setParams(const VectorizerParams& params, RunSchedule schedule);

    // Documents.
    void loadPreset(SyntheticPreset preset, bool runSynchronously);
    /// Installs an image file; false, with the unreadable-file status, when it cannot be read or is
    /// not a regular file (a FIFO, a pipe, a device: never waited on).
    bool loadFile(const std::string& path, bool runSynchronously);
    bool loadImage(const QImage& image, const std::string& title, bool runSynchronously);
    /// Shows what `other` shows: its source and display images, title, parameters, result and render
    /// cache (shared, not recomputed). Starts no run; the pending one is cancelled. Undo starts empty.
    void copyDocumentFrom(const VectorizerController& other);

    // Runs.
    void scheduleVectorization(std::uint64_t debounceMs, bool forceFullExtraction);
    void runSynchronousVectorization();
    void resetParameters();
    /// Cancels the pending background run, if any (the document stays as it is).
    void cancelScheduledVectorization() { cancelPendingRun(RunEnd::abandoned); }

    /// The one way to change the strokes of the current result: applies `edit`, commits a rebuilt
    /// result (metrics, texts and render cache, no extraction) and keeps the undo history. An edit
    /// that changes the strokes is one undo step, taken before it; the edits of one gesture (one
    /// `gesture` key from `beginEditGesture`) are one step, taken before the first that changes
    /// anything. An edit that changes nothing leaves the history (and its redo side) as it was.
    /// Without a result nothing happens.
    StrokeEditOutcome applyEdit(StrokeEdit edit, EditGestureKey gesture = noGesture);
    /// A fresh key for the edits of one gesture.
    [[nodiscard]] EditGestureKey beginEditGesture() noexcept { return ++lastGestureKey_; }

    void toggleLayerVisibility(std::int64_t index);
    /// Export-only switch: writes `params.exportBlackStrokes` (one observable change, only when it
    /// differs) and rewrites the current result's two SVG texts for it at once, without a run; a run
    /// already pending delivers texts that follow the new value. Returns whether it changed.
    bool setExportBlackStrokes(bool black);
    void updatePenWidth(std::int64_t index, double widthMM);
    void undo();
    void redo();

    /// 1 + the largest id in `layers` (at least 1).
    [[nodiscard]] static std::int64_t nextAvailablePathID(const std::vector<PenLayer>& layers);

signals:
    void sourceImageChanged();
    void displayImageChanged();
    void sourceTitleChanged();
    void activePresetChanged();
    void paramsChanged();
    void resultChanged();
    /// After resultChanged when the new result comes from a vectorization run (not from an edit,
    /// undo or redo): its stroke ids are new, so selections and gestures on the old ones must end.
    void runResultApplied();
    void renderCacheChanged();
    void layerVisibilityChanged();
    void processingChanged();
    void progressChanged();
    void statusMessageChanged();
    void lastErrorChanged();
    void undoRedoChanged();
    void pendingRunChanged();
    /// A pending run ended without a result and no newer run took its place (a new document, a
    /// cancelled run): whatever waited for its result waits no more.
    void pendingRunAbandoned();

private:
    struct PendingRun;
    struct RunOutput;

    void setRasterImage(RasterImage image, bool runSynchronously);
    void applyResult(VectorizationResult result, std::shared_ptr<const VectorRenderCache> prebuiltCache);
    void releasePrevious(std::optional<VectorizationResult> result, std::shared_ptr<const VectorRenderCache> cache);
    /// Gives the memory a large run freed back to the system kMemoryReleaseDelay after the last one,
    /// and again once the render cache it replaced is gone (the canvas lets go of it after drawing
    /// the new one), which is looked for every kReplacedCachePoll up to kMemoryReleaseMaxWaits times.
    void scheduleMemoryRelease(std::weak_ptr<const VectorRenderCache> replacedCache);
    void releaseFreeMemory();
    static constexpr std::chrono::milliseconds kMemoryReleaseDelay{1000};
    static constexpr std::chrono::milliseconds kReplacedCachePoll{250};
    static constexpr int kMemoryReleaseMaxWaits = 120;
    /// How a pending run ends without a result: given up, or replaced by a newer run at once.
    enum class RunEnd { abandoned, replaced };
    void cancelPendingRun(RunEnd end);
    void setPendingRun(std::shared_ptr<PendingRun> run);
    void startPendingComputation(std::uint64_t generation, std::uint64_t revision);
    void computationEnded(std::uint64_t generation, std::uint64_t revision, const std::shared_ptr<PendingRun>& run,
                          RunOutput output);
    void finishRun(std::uint64_t generation, std::uint64_t revision, const std::shared_ptr<PendingRun>& run,
                   RunOutput output);
    void setStatus(std::string message);
    void setLastError(std::optional<std::string> message);
    void setProgress(double fraction, std::string stage);
    void setProcessing(bool processing);
    void moveUndoEntry(std::vector<std::vector<PenLayer>>& from, std::vector<std::vector<PenLayer>>& to);
    /// Puts the current layers on the undo stack (and empties the redo stack), unless an earlier step
    /// of the edit's gesture already did.
    void recordUndoSnapshot();
    void commitEditedLayers(std::vector<PenLayer> layers, bool reoptimizeTour);

    // The edits behind applyEdit; each records its undo step just before it commits.
    int deletePaths(const std::set<std::int64_t>& ids);
    bool assignPathsToPen(const std::set<std::int64_t>& ids, std::int64_t targetPenIndex);
    void simplifyPaths(const std::set<std::int64_t>& ids);
    void reversePaths(const std::set<std::int64_t>& ids);
    std::optional<std::int64_t> joinPaths(const std::set<std::int64_t>& ids);
    std::optional<std::pair<std::int64_t, std::int64_t>> splitPath(std::int64_t pathID, std::int64_t atVertexIndex);
    void translatePaths(const std::set<std::int64_t>& ids, double dxPx, double dyPx);
    void movePathVertex(std::int64_t pathID, std::int64_t pointIndex, VectorPoint to);
    int erasePathsNear(VectorPoint pointPx, double radiusPx);
    std::optional<std::int64_t> addFreehandPath(const std::vector<VectorPoint>& points, std::int64_t penIndex);
    /// A copy of the current result's layers to edit (result_ is set), once the previous result has
    /// been freed.
    [[nodiscard]] std::vector<PenLayer> editableLayers();
    /// Before a run's result replaces one changed by hand: its layers go on the undo stack.
    void keepHandEditsForUndo();

    std::shared_ptr<const RasterImage> sourceImage_;
    QImage displayImage_;
    std::string sourceTitle_;
    std::optional<std::string> sourcePath_;
    std::optional<SyntheticPreset> activePreset_;
    VectorizerParams params_;
    std::optional<VectorizationResult> result_;
    bool resultHasHandEdits_ = false;  // result_ was committed from edited layers, not made by a run
    std::shared_ptr<const VectorRenderCache> renderCache_;
    std::future<void> releasing_;  // the previous result and cache of a large document being freed
    std::map<std::int64_t, bool> layerVisibility_{{0, true}, {1, true}, {2, true}, {3, true}};
    bool isProcessing_ = false;
    double progressFraction_ = 0;
    std::string progressStage_;
    std::optional<std::string> lastError_;
    std::string statusMessage_;
    std::optional<RawExtractionStage> cachedStageA_;
    std::uint64_t cachedStageAImageRevision_ = 0;
    std::uint64_t imageRevision_ = 0;
    std::uint64_t computeGeneration_ = 0;
    std::shared_ptr<PendingRun> pendingRun_;
    bool computing_ = false;                                // a background run is computing on the thread pool
    QTimer* memoryReleaseTimer_ = nullptr;                  // child of this; made with the first large result
    std::weak_ptr<const VectorRenderCache> replacedCache_;  // what the memory release waits to see freed
    int memoryReleaseWaits_ = 0;
    std::vector<std::vector<PenLayer>> undoStack_;
    std::vector<std::vector<PenLayer>> redoStack_;
    EditGestureKey lastGestureKey_ = noGesture;
    EditGestureKey editGesture_ = noGesture;      // the gesture of the edit being applied
    EditGestureKey recordedGesture_ = noGesture;  // the gesture whose step is on top of the undo stack
    std::uint64_t editCommits_ = 0;
};

}  // namespace ostrel
