#include "app/shell/AppModel.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/BuildNumber.h"
#include "app/shell/QtTranslations.h"
#include "app/shell/WindowKeyFilter.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/support/app/AppVersion.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace ostrel {

namespace {

constexpr const char* kBlackOnWhiteKey = "blackOnWhitePreview";
constexpr const char* kShowAxiDrawKey = "showAxiDrawSection";
constexpr const char* kRecentPathsKey = "recentPaths";
constexpr double kZoomEpsilon = 0.00001;

/// Reads a stored Boolean as the user defaults do: "true", "yes" or a non-zero number is true.
bool readStoredBool(const std::string& text) {
    if (text == "true" || text == "TRUE" || text == "YES" || text == "yes") return true;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && value != 0;
}

bool isExistingFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

/// The absolute path with its "." and ".." components resolved (no link is followed).
std::filesystem::path standardized(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    if (error) absolute = file;
    return absolute.lexically_normal();
}

/// The bundle identifier: the prefix of every settings key.
std::string bundleIdentifier() {
    std::string key = SettingsStore::keyFor("");
    if (!key.empty() && key.back() == '.') key.pop_back();
    return key;
}

/// What an install asks of the running program: whether the pen is at work, the ports and devices
/// released for the relaunched program, and a clean exit.
class ModelUpdateHost final : public UpdateHost {
public:
    explicit ModelUpdateHost(AppModel& model) : model_(model) {}

    [[nodiscard]] bool isPlotRunning() const override {
        const AxiDrawRunState& plot = model_.plotter().runState();
        return plot.isRunning() || plot.isPaused();
    }

    void stopServicesForRelaunch() override {
        if (RemoteControl* remote = model_.remoteControl()) remote->stopAllServices();
    }

    void quitForRelaunch() override {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }

private:
    AppModel& model_;
};

}  // namespace

AppModel::AppModel(Options options, QObject* parent) : AppModel(options, Environment{}, parent) {}

AppModel::AppModel(Options options, Environment environment, QObject* parent)
    : QObject(parent),
      options_(options),
      persistEnabled_(options.persistEnabled),
      panels_(environment.panels ? std::move(environment.panels) : std::make_shared<QtFilePanels>()),
      pasteboard_(environment.pasteboard ? std::move(environment.pasteboard) : std::make_shared<QtPasteboard>()),
      flashDuration_(environment.flashDuration),
      language_(Localization::current()) {
    if (environment.settings == nullptr) ownSettings_ = std::make_unique<QtSettingsStore>();
    settings_ = environment.settings != nullptr ? environment.settings : ownSettings_.get();
    QtTranslations::followInterfaceLanguage();
    flashTimer_ = new QTimer(this);
    flashTimer_->setSingleShot(true);
    flashTimer_->setTimerType(Qt::PreciseTimer);
    connect(flashTimer_, &QTimer::timeout, this, [this] { setFlashMessage(std::nullopt); });

    plotter_ = std::make_unique<AxiDrawPlotterController>(std::move(environment.plotter));
    vectorizer_ = std::make_unique<VectorizerController>();
    plotting_ = std::make_unique<PlottingService>(*vectorizer_, plotter_.get());
    // A run's strokes are numbered afresh: a selection of the old ones would name unrelated strokes.
    connect(vectorizer_.get(), &VectorizerController::runResultApplied, this, &AppModel::clearSelection);
    if (options.startServices) {
        remoteControl_ = std::make_unique<RemoteControl>(*vectorizer_, plotting_.get());
        remoteControl_->startServices();
    }
    const AppVersion& version = AppVersion::current();
    updateHost_ = std::make_unique<ModelUpdateHost>(*this);
    UpdaterEnvironment updaterEnvironment = std::move(environment.updater);
    updaterEnvironment.settings = persistEnabled_ ? settings_ : nullptr;
    updaterEnvironment.host = updateHost_.get();
    updater_ = std::make_unique<Updater>("Ostrel", bundleIdentifier(), KavrinUpdater::defaultGithubRepo(),
                                         version.version, updaterBuildNumber(version.build), options.startServices,
                                         std::move(updaterEnvironment));
    loadRecentURLs();
    if (persistEnabled_) restoreStoredToggles();
    if (options.loadDefaultPreset) vectorizer_->loadPreset(SyntheticPreset::portrait, !options.startServices);
}

AppModel::~AppModel() {
    if (remoteControl_) remoteControl_->stopAllServices();
}

bool AppModel::hasOpenSheet() const noexcept {
    return showAbout_ || showHelp_ || showShortcuts_ || showOSCGuide_ || showUpdater_ || showExport_;
}

// Setters: store, then notify once, on every assignment.
void AppModel::setLanguage(AppLanguage language) {
    language_ = language;
    Localization::setCurrent(language);
    // The toolkit's texts switch first, so what rebuilds on the signal names keys in the new language.
    QtTranslations::followInterfaceLanguage();
    emit languageChanged();
}

void AppModel::setViewMode(CanvasViewMode mode) {
    viewMode_ = mode;
    emit viewModeChanged();
}

void AppModel::setEditTool(CanvasEditTool tool) {
    editTool_ = tool;
    emit editToolChanged();
}

void AppModel::setShowSidebar(bool show) {
    showSidebar_ = show;
    emit showSidebarChanged();
}

void AppModel::setShowTravelMoves(bool show) {
    showTravelMoves_ = show;
    emit showTravelMovesChanged();
}

void AppModel::setShowControlPoints(bool show) {
    showControlPoints_ = show;
    emit showControlPointsChanged();
}

void AppModel::setBlackOnWhitePreview(bool blackOnWhite) {
    blackOnWhitePreview_ = blackOnWhite;
    storeBool(kBlackOnWhiteKey, blackOnWhite);
    emit blackOnWhitePreviewChanged();
}

void AppModel::setShowAxiDrawSection(bool show, ViewAnimation animation) {
    showAxiDrawSection_ = show;
    storeBool(kShowAxiDrawKey, show);
    emit showAxiDrawSectionChanged(animation);
}

void AppModel::setBitmapOpacity(double opacity) {
    if (!std::isfinite(opacity)) return;
    bitmapOpacity_ = opacity;
    emit bitmapOpacityChanged();
}

void AppModel::setVectorOpacity(double opacity) {
    if (!std::isfinite(opacity)) return;
    vectorOpacity_ = opacity;
    emit vectorOpacityChanged();
}

void AppModel::setSelectedPathIDs(std::set<std::int64_t> ids) {
    selectedPathIDs_ = std::move(ids);
    emit selectedPathIDsChanged();
}

void AppModel::setSelectedVertex(std::optional<SelectedVertex> vertex) {
    selectedVertex_ = vertex;
    emit selectedVertexChanged();
}

void AppModel::setActiveDrawPenIndex(std::int64_t index) {
    activeDrawPenIndex_ = index;
    emit activeDrawPenIndexChanged();
}

void AppModel::setEraserRadiusPx(double radius) {
    if (!std::isfinite(radius)) return;
    eraserRadiusPx_ = radius;
    emit eraserRadiusPxChanged();
}

void AppModel::setPanOffset(QPointF offset, ViewAnimation animation) {
    if (!std::isfinite(offset.x()) || !std::isfinite(offset.y())) return;
    panOffset_ = offset;
    emit panOffsetChanged(animation);
}

void AppModel::setZoomScale(double scale, ViewAnimation animation) {
    zoomScale_ = scale;
    emit zoomScaleChanged(animation);
}

void AppModel::setShowAbout(bool show) {
    showAbout_ = show;
    emit showAboutChanged();
}

void AppModel::setShowHelp(bool show) {
    showHelp_ = show;
    emit showHelpChanged();
}

void AppModel::setShowShortcuts(bool show) {
    showShortcuts_ = show;
    emit showShortcutsChanged();
}

void AppModel::setShowOSCGuide(bool show) {
    showOSCGuide_ = show;
    emit showOSCGuideChanged();
}

void AppModel::setShowUpdater(bool show) {
    showUpdater_ = show;
    emit showUpdaterChanged();
}

void AppModel::setShowExport(bool show) {
    showExport_ = show;
    emit showExportChanged();
}

void AppModel::setExportFormat(VectorExportFormat format) {
    exportFormat_ = format;
    emit exportFormatChanged();
}

void AppModel::setFlashMessage(std::optional<std::string> message) {
    flashMessage_ = std::move(message);
    emit flashMessageChanged();
}

void AppModel::setRecentURLs(std::vector<std::filesystem::path> urls) {
    recentURLs_ = std::move(urls);
    emit recentURLsChanged();
}

void AppModel::storeBool(const char* name, bool value) {
    if (persistEnabled_) settings_->setString(name, value ? "true" : "false");
}

void AppModel::restoreStoredToggles() {
    // A stored value goes through the normal setter, so it is written back as "true"/"false".
    if (const auto stored = settings_->string(kBlackOnWhiteKey)) setBlackOnWhitePreview(readStoredBool(*stored));
    if (const auto stored = settings_->string(kShowAxiDrawKey)) setShowAxiDrawSection(readStoredBool(*stored));
}

void AppModel::setOutputMode(VectorOutputMode mode) {
    if (vectorizer_->params().outputMode == mode) return;
    VectorizerParams params = vectorizer_->params();
    params.outputMode = mode;
    vectorizer_->setParams(params, RunSchedule::after(10));
    setShowAxiDrawSection(mode == VectorOutputMode::axidraw, ViewAnimation::outputModeSwitch);
}

void AppModel::flash(std::string message, FlashKind kind) {
    flashKind_ = kind;  // read with the message: set before its change is announced
    setFlashMessage(std::move(message));
    flashTimer_->start(flashDuration_);  // restarting cancels the older period
}

void AppModel::applyZoom(double newScale, QPointF anchorFromCenter, ViewAnimation animation) {
    if (!std::isfinite(newScale) || !std::isfinite(anchorFromCenter.x()) || !std::isfinite(anchorFromCenter.y())) {
        return;
    }
    const double clamped = std::max(kMinZoom, std::min(newScale, kMaxZoom));
    if (std::abs(clamped - zoomScale_) <= kZoomEpsilon) return;
    const double ratio = clamped / zoomScale_;
    const QPointF pan{ratio * (panOffset_.x() - anchorFromCenter.x()) + anchorFromCenter.x(),
                      ratio * (panOffset_.y() - anchorFromCenter.y()) + anchorFromCenter.y()};
    if (!std::isfinite(pan.x()) || !std::isfinite(pan.y())) return;
    setPanOffset(pan, animation);  // pan first, then zoom: two changes
    setZoomScale(clamped, animation);
}

void AppModel::zoomIn() { applyZoom(zoomScale_ * kZoomStepFactor, {0, 0}, ViewAnimation::zoomStep); }

void AppModel::zoomOut() { applyZoom(zoomScale_ / kZoomStepFactor, {0, 0}, ViewAnimation::zoomStep); }

void AppModel::resetZoom(bool animated) {
    const ViewAnimation animation = animated ? ViewAnimation::zoomReset : ViewAnimation::none;
    setZoomScale(1.0, animation);
    setPanOffset({0, 0}, animation);
}

void AppModel::loadRecentURLs() {
    // Read in every model; nothing is written back here, so a vanished file stays stored until
    // the next recording rewrites the list.
    std::vector<std::filesystem::path> list;
    const std::optional<std::vector<std::string>> stored = settings_->stringList(kRecentPathsKey);
    for (const std::string& text : stored.value_or(std::vector<std::string>{})) {
        const std::filesystem::path path(text);
        if (!path.is_absolute() || !isExistingFile(path)) continue;
        if (std::find(list.begin(), list.end(), path) != list.end()) continue;
        list.push_back(path);
        if (list.size() == kRecentLimit) break;
    }
    setRecentURLs(std::move(list));
}

void AppModel::recordRecentURL(const std::filesystem::path& file) {
    const std::filesystem::path entry = standardized(file);
    std::vector<std::filesystem::path> list = recentURLs_;
    std::erase_if(list, [&](const std::filesystem::path& p) { return p.native() == entry.native(); });
    list.insert(list.begin(), entry);
    if (list.size() > kRecentLimit) list.resize(kRecentLimit);
    setRecentURLs(std::move(list));
    if (persistEnabled_) {
        std::vector<std::string> paths;
        paths.reserve(recentURLs_.size());
        for (const auto& p : recentURLs_) paths.push_back(p.string());
        settings_->setStringList(kRecentPathsKey, paths);
    }
}

void AppModel::clearRecentURLs() {
    setRecentURLs({});
    if (persistEnabled_) settings_->remove(kRecentPathsKey);
}

void AppModel::installKeyMonitor(QWidget* mainWindow) {
    if (keyMonitor_ != nullptr || mainWindow == nullptr) return;
    keyMonitor_ = new WindowKeyFilter(*this, mainWindow, this);
}

}  // namespace ostrel
