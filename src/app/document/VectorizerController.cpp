#include "app/document/VectorizerController.h"

#include "core/export/SVGExporter.h"
#include "core/model/Format.h"
#include "core/model/Localization.h"
#include "core/support/system/FileDescriptor.h"
#include "core/support/system/FreeMemory.h"
#include "core/support/text/NumberFormat.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <system_error>

namespace ostrel {

/// One scheduled background run: its debounce timer and its cancellation flag.
struct VectorizerController::PendingRun {
    QTimer* timer = nullptr;  // owned by the controller (its parent); deleted on cancel
    std::atomic<bool> cancelled{false};
    // Stored before the run is handed to its thread and read there first: the pool's own lock orders
    // the hand-over already, but a race checker cannot see into the system's Qt; this it can see.
    std::atomic<bool> handedOver{false};
    bool due = false;  // its debounce has passed; it starts once no other run is computing
    bool reuse = false;
    std::optional<RawExtractionStage> cachedStage;
    VectorizerParams params;
    std::map<std::int64_t, bool> visibility;
    std::shared_ptr<const RasterImage> image;
};

struct VectorizerController::RunOutput {
    bool complete = false;  // false: the run was cancelled on the way and the rest is empty
    RawExtractionStage stage;
    VectorizationResult result;
    std::shared_ptr<const VectorRenderCache> cache;
};

namespace {

std::string readyText() {
    return L("Prêt — ouvrir une image (Ctrl+O), glisser-déposer un fichier ou coller (Ctrl+V)",
             "Ready — open an image (Ctrl+O), drop a file, or paste (Ctrl+V)");
}

// The one thread background runs compute on. One run computes at a time anyway; on one thread, the
// per-thread scratch buffers of the pipeline (image-sized) exist once, not once per pool thread that
// happened to take a run. The thread ends after the pool's idle expiry, and its buffers with it.
QThreadPool& backgroundRunThread() {
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool(QCoreApplication::instance());
        made->setMaxThreadCount(1);
        return made;
    }();
    return *pool;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

QImage displayImageOf(const RasterImage& image, const QImage& previous) {
    QImage gray = image.toGrayImage();
    return gray.isNull() ? previous : gray;
}

/// "<title> — <n> paths · draw <d> · travel <t> (-<s>%) · <time>".
std::string summaryText(const std::string& title, const PlotterMetrics& m) {
    const std::string n = integerText(m.pathCount);
    const std::string draw = Format::distanceMM(m.drawDistanceMM);
    const std::string travel = Format::distanceMM(m.travelDistanceOptimizedMM);
    const std::string savings = integerText(roundedInt64(m.travelSavingsPercent).value_or(0));
    const std::string time = Format::latency(m.computeMilliseconds);
    return L(title + " \u2014 " + n + " chemins \u00B7 tracé " + draw + " \u00B7 voyage " + travel + " (-" + savings +
                 " %) \u00B7 " + time,
             title + " \u2014 " + n + " paths \u00B7 draw " + draw + " \u00B7 travel " + travel + " (-" + savings +
                 "%) \u00B7 " + time);
}

}  // namespace

VectorizerController::VectorizerController(QObject* parent) : QObject(parent), statusMessage_(readyText()) {}

VectorizerController::~VectorizerController() {
    cancelPendingRun(RunEnd::abandoned);
    if (releasing_.valid()) releasing_.wait();
}

void VectorizerController::setParams(const VectorizerParams& params, RunSchedule schedule) {
    params_ = params;
    emit paramsChanged();
    if (schedule.synchronous) {
        runSynchronousVectorization();
    } else {
        scheduleVectorization(schedule.debounceMs, false);
    }
}

void VectorizerController::setStatus(std::string message) {
    if (message == statusMessage_) return;
    statusMessage_ = std::move(message);
    emit statusMessageChanged();
}

void VectorizerController::setLastError(std::optional<std::string> message) {
    if (message == lastError_) return;
    lastError_ = std::move(message);
    emit lastErrorChanged();
}

void VectorizerController::setProgress(double fraction, std::string stage) {
    progressFraction_ = fraction;
    progressStage_ = std::move(stage);
    emit progressChanged();
}

void VectorizerController::setProcessing(bool processing) {
    if (processing == isProcessing_) return;
    isProcessing_ = processing;
    emit processingChanged();
}

void VectorizerController::loadPreset(SyntheticPreset preset, bool runSynchronously) {
    RasterImage image = SyntheticDrawing::generate(preset, kPresetDocumentWidth, kPresetDocumentHeight);
    setLastError(std::nullopt);
    activePreset_ = preset;
    sourcePath_.reset();
    sourceTitle_ = label(preset);
    emit activePresetChanged();
    emit sourceTitleChanged();
    setRasterImage(std::move(image), runSynchronously);
}

bool VectorizerController::loadFile(const std::string& path, bool runSynchronously) {
    std::optional<RasterImage> raster;
    // Regular files only: opening a FIFO without a writer, or reading a pipe or a terminal, would
    // hold the main thread with no end. The file is opened without waiting and checked by its
    // descriptor, then decoded through that same descriptor's link, so nothing swapped in at the
    // path meanwhile is ever opened.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.valid() && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        raster = RasterImage::fromFile("/proc/self/fd/" + std::to_string(file.get()), kDocumentMaxDimension);
    }
    const std::string name = fileName(path);
    if (!raster) {
        setStatus(
            L("Impossible de lire l'image \u00AB " + name + " \u00BB.", "Could not load image \"" + name + "\"."));
        setLastError(statusMessage_);
        return false;
    }
    setLastError(std::nullopt);  // a new document: an earlier failure no longer stands
    activePreset_.reset();
    sourcePath_ = path;
    sourceTitle_ = name;
    emit activePresetChanged();
    emit sourceTitleChanged();
    setRasterImage(std::move(*raster), runSynchronously);
    return true;
}

bool VectorizerController::loadImage(const QImage& image, const std::string& title, bool runSynchronously) {
    auto raster = image.isNull() ? std::nullopt : RasterImage::fromImage(image, kDocumentMaxDimension);
    if (!raster) {
        setStatus(L("Format d'image non pris en charge.", "Unsupported image format."));
        setLastError(statusMessage_);
        return false;
    }
    setLastError(std::nullopt);
    activePreset_.reset();
    sourcePath_.reset();
    sourceTitle_ = title;
    emit activePresetChanged();
    emit sourceTitleChanged();
    setRasterImage(std::move(*raster), runSynchronously);
    return true;
}

void VectorizerController::copyDocumentFrom(const VectorizerController& other) {
    if (&other == this) return;
    cancelPendingRun(RunEnd::abandoned);
    ++imageRevision_;
    sourceImage_ = other.sourceImage_;
    displayImage_ = other.displayImage_;
    sourceTitle_ = other.sourceTitle_;
    sourcePath_ = other.sourcePath_;
    activePreset_ = other.activePreset_;
    params_ = other.params_;
    result_ = other.result_;
    resultHasHandEdits_ = false;
    renderCache_ = other.renderCache_;
    layerVisibility_ = other.layerVisibility_;
    cachedStageA_.reset();
    cachedStageAImageRevision_ = 0;
    undoStack_.clear();
    redoStack_.clear();
    recordedGesture_ = noGesture;
    emit sourceImageChanged();
    emit displayImageChanged();
    emit sourceTitleChanged();
    emit activePresetChanged();
    emit paramsChanged();
    emit resultChanged();
    emit renderCacheChanged();
    emit layerVisibilityChanged();
    emit undoRedoChanged();
}

void VectorizerController::setRasterImage(RasterImage image, bool runSynchronously) {
    cancelPendingRun(RunEnd::abandoned);
    ++imageRevision_;
    displayImage_ = displayImageOf(image, displayImage_);
    sourceImage_ = std::make_shared<const RasterImage>(std::move(image));
    cachedStageA_.reset();
    cachedStageAImageRevision_ = 0;
    result_.reset();
    resultHasHandEdits_ = false;
    renderCache_.reset();
    undoStack_.clear();
    redoStack_.clear();
    recordedGesture_ = noGesture;
    emit sourceImageChanged();
    emit displayImageChanged();
    emit resultChanged();
    emit renderCacheChanged();
    emit undoRedoChanged();
    if (runSynchronously) {
        runSynchronousVectorization();
    } else {
        scheduleVectorization(0, true);
    }
}

void VectorizerController::cancelPendingRun(RunEnd end) {
    if (!pendingRun_) return;
    pendingRun_->cancelled = true;
    if (pendingRun_->timer != nullptr) {
        pendingRun_->timer->stop();
        pendingRun_->timer->deleteLater();
        pendingRun_->timer = nullptr;
    }
    setPendingRun(nullptr);
    if (end == RunEnd::abandoned) emit pendingRunAbandoned();
}

void VectorizerController::setPendingRun(std::shared_ptr<PendingRun> run) {
    const bool was = pendingRun_ != nullptr;
    pendingRun_ = std::move(run);
    if (was != (pendingRun_ != nullptr)) emit pendingRunChanged();
}

void VectorizerController::scheduleVectorization(std::uint64_t debounceMs, bool forceFullExtraction) {
    // What waits for the pending run waits for this newer one instead.
    cancelPendingRun(sourceImage_ ? RunEnd::replaced : RunEnd::abandoned);
    if (!sourceImage_) return;
    const std::uint64_t generation = ++computeGeneration_;
    const std::uint64_t revision = imageRevision_;

    auto run = std::make_shared<PendingRun>();
    run->params = params_;
    run->visibility = layerVisibility_;
    run->image = sourceImage_;
    run->reuse = !forceFullExtraction && cachedStageA_ && cachedStageAImageRevision_ == revision &&
                 params_.extractionCacheKey() == cachedStageA_->extractionCacheKey;
    if (run->reuse) run->cachedStage = cachedStageA_;
    setPendingRun(run);

    setProcessing(true);
    const std::string stage =
        run->reuse ? L("Ajustement courbes & 2-opt (cache)…", "Updating curves & 2-opt (cached)…")
                   : L("Vectorisation de \u00AB " + sourceTitle_ + " \u00BB…", "Vectorizing \"" + sourceTitle_ + "\"…");
    setProgress(run->reuse ? 0.65 : 0.08, stage);
    setStatus(stage);

    // The debounce: a single-shot timer; a newer schedule deletes it before it fires.
    const std::uint64_t clampedMs = std::min<std::uint64_t>(debounceMs, 24ULL * 3600 * 1000);
    run->timer = new QTimer(this);
    run->timer->setSingleShot(true);
    QPointer<VectorizerController> self(this);
    connect(run->timer, &QTimer::timeout, this, [self, generation, revision, run] {
        if (!self || run->cancelled) return;
        if (run->timer != nullptr) {
            run->timer->deleteLater();
            run->timer = nullptr;
        }
        if (self->computeGeneration_ != generation || self->imageRevision_ != revision) return;
        self->startPendingComputation(generation, revision);
    });
    run->timer->start(static_cast<int>(clampedMs));
}

void VectorizerController::startPendingComputation(std::uint64_t generation, std::uint64_t revision) {
    std::shared_ptr<PendingRun> run = pendingRun_;
    if (!run) return;
    run->due = true;
    // One run computes at a time: a newer one waits for it rather than doubling the working memory
    // and sharing the cores with work already superseded (a cancelled run stops at its next stage).
    if (computing_) return;
    computing_ = true;
    const double t0 = VectorizationEngine::clockSeconds();
    QPointer<VectorizerController> self(this);
    run->handedOver.store(true, std::memory_order_release);
    backgroundRunThread().start([self, run, generation, revision, t0] {
        (void)run->handedOver.load(std::memory_order_acquire);
        RunOutput output;
        if (!run->cancelled) {
            output.stage =
                run->reuse ? *run->cachedStage : VectorizationEngine::extractStageA(*run->image, run->params);
        }
        if (!run->cancelled) {
            output.result = VectorizationEngine::finalizeStageB(output.stage, run->params, run->visibility, t0,
                                                                VectorizationEngine::SvgTexts::deferred);
        }
        if (!run->cancelled) {
            output.cache = std::make_shared<const VectorRenderCache>(VectorRenderCache::build(output.result));
            output.complete = true;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, run, generation, revision, output = std::move(output)]() mutable {
                if (self) self->computationEnded(generation, revision, run, std::move(output));
            },
            Qt::QueuedConnection);
    });
}

void VectorizerController::computationEnded(std::uint64_t generation, std::uint64_t revision,
                                            const std::shared_ptr<PendingRun>& run, RunOutput output) {
    computing_ = false;
    if (output.complete) finishRun(generation, revision, run, std::move(output));
    // The run that waited for this one, if its debounce has passed meanwhile.
    if (pendingRun_ && pendingRun_->due) startPendingComputation(computeGeneration_, imageRevision_);
}

void VectorizerController::finishRun(std::uint64_t generation, std::uint64_t revision,
                                     const std::shared_ptr<PendingRun>& run, RunOutput output) {
    if (run->cancelled || computeGeneration_ != generation || imageRevision_ != revision) return;
    if (pendingRun_ == run) setPendingRun(nullptr);
    if (run->params.exportBlackStrokes != params_.exportBlackStrokes) {
        // The export switch changed while this run was computing; it starts no run of its own.
        VectorizerParams current = run->params;
        current.exportBlackStrokes = params_.exportBlackStrokes;
        VectorizationResult& r = output.result;
        r.svgPreview = SVGExporter::generateSVG(r.layers, r.pageTransform, r.metrics, current, true);
        r.svgAxiDraw = SVGExporter::generateSVG(r.layers, r.pageTransform, r.metrics, current, false);
    }
    cachedStageA_ = std::move(output.stage);
    cachedStageAImageRevision_ = revision;
    keepHandEditsForUndo();
    applyResult(std::move(output.result), std::move(output.cache));
    emit runResultApplied();
}

void VectorizerController::runSynchronousVectorization() {
    cancelPendingRun(sourceImage_ ? RunEnd::replaced : RunEnd::abandoned);
    if (!sourceImage_) return;
    const VectorizerParams p = params_;
    const auto v = layerVisibility_;
    const std::uint64_t r = imageRevision_;
    const double t0 = VectorizationEngine::clockSeconds();
    if (!(cachedStageA_ && cachedStageAImageRevision_ == r &&
          p.extractionCacheKey() == cachedStageA_->extractionCacheKey)) {
        cachedStageA_.reset();  // stale: freed before its successor is extracted, not after
        cachedStageA_ = VectorizationEngine::extractStageA(*sourceImage_, p);
        cachedStageAImageRevision_ = r;
    }
    VectorizationResult fresh =
        VectorizationEngine::finalizeStageB(*cachedStageA_, p, v, t0, VectorizationEngine::SvgTexts::deferred);
    keepHandEditsForUndo();
    applyResult(std::move(fresh), nullptr);
    emit runResultApplied();
}

void VectorizerController::keepHandEditsForUndo() {
    if (!resultHasHandEdits_) return;
    resultHasHandEdits_ = false;
    recordUndoSnapshot();
}

void VectorizerController::applyResult(VectorizationResult result,
                                       std::shared_ptr<const VectorRenderCache> prebuiltCache) {
    std::optional<VectorizationResult> previousResult = std::exchange(result_, std::move(result));
    std::shared_ptr<const VectorRenderCache> previousCache = std::exchange(
        renderCache_, prebuiltCache ? std::move(prebuiltCache)
                                    : std::make_shared<const VectorRenderCache>(VectorRenderCache::build(*result_)));
    emit resultChanged();
    emit renderCacheChanged();
    setProcessing(false);
    setProgress(1.0, L("Terminé", "Complete"));
    setStatus(summaryText(sourceTitle_, result_->metrics));
    setLastError(std::nullopt);
    releasePrevious(std::move(previousResult), std::move(previousCache));
}

void VectorizerController::releasePrevious(std::optional<VectorizationResult> result,
                                           std::shared_ptr<const VectorRenderCache> cache) {
    // Freeing a large document's result and cache (millions of path elements, tens of thousands of
    // map nodes) takes as long as building them: on a large document it is done on a thread of its
    // own, at most one at a time, so a drag does not wait for it. Nothing reads what is freed.
    if (releasing_.valid()) releasing_.wait();
    const bool large = result_ && VectorizationEngine::isLargeDocument(result_->layers);
    if (large) scheduleMemoryRelease(cache);
    if (!result || !VectorizationEngine::isLargeDocument(result->layers)) return;
    try {
        releasing_ = std::async(std::launch::async, [result = std::move(result), cache = std::move(cache)]() mutable {
            cache.reset();
            result.reset();
        });
    } catch (const std::system_error&) {
        // No thread to be had: both are freed here, on leaving.
    }
}

void VectorizerController::scheduleMemoryRelease(std::weak_ptr<const VectorRenderCache> replacedCache) {
    // What a large run and the result it replaced freed stays with the allocator, and the window
    // would hold its peak for good: once things have settled (the previous result freed), it is given
    // back, on the release thread. A newer large result restarts the wait. The canvas holds the
    // replaced cache until it has drawn from the new one: once that cache is gone too, what it held
    // is given back as well (it would stay otherwise, freed after the first release).
    if (memoryReleaseTimer_ == nullptr) {
        memoryReleaseTimer_ = new QTimer(this);
        memoryReleaseTimer_->setSingleShot(true);
        connect(memoryReleaseTimer_, &QTimer::timeout, this, [this] {
            const bool first = memoryReleaseWaits_ == 0;
            const bool cacheGone = replacedCache_.expired();
            if (first || cacheGone) releaseFreeMemory();
            if (cacheGone || ++memoryReleaseWaits_ >= kMemoryReleaseMaxWaits) {
                replacedCache_.reset();
                return;
            }
            memoryReleaseTimer_->start(kReplacedCachePoll);
        });
    }
    replacedCache_ = std::move(replacedCache);
    memoryReleaseWaits_ = 0;
    memoryReleaseTimer_->start(kMemoryReleaseDelay);
}

void VectorizerController::releaseFreeMemory() {
    if (releasing_.valid()) releasing_.wait();
    try {
        releasing_ = std::async(std::launch::async, [] { releaseFreeHeapMemory(); });
    } catch (const std::system_error&) {
        releaseFreeHeapMemory();
    }
}

void VectorizerController::resetParameters() {
    params_ = VectorizerParams();
    layerVisibility_ = {{0, true}, {1, true}, {2, true}, {3, true}};
    undoStack_.clear();
    redoStack_.clear();
    recordedGesture_ = noGesture;
    emit paramsChanged();
    emit layerVisibilityChanged();
    emit undoRedoChanged();
    scheduleVectorization(10, false);
}

}  // namespace ostrel
