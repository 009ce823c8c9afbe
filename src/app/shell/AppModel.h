// The one observable object behind the application window. It owns the plotter controller, the
// document controller (with its remote-control endpoints when services are on) and the updater,
// and holds the view state several views share: canvas layout and tool, display toggles, overlay
// opacities, the stroke selection, zoom and pan, which sheet is open, the export format and a
// transient flash message. It carries the user's actions: output mode, flashes and zoom, the
// selection commands and window keys (AppModelSelection.cpp), the file actions (AppModelFiles.cpp).
//
// Every field has one change signal, emitted once on every assignment (equal or not). The model
// holds final values: animated changes carry a ViewAnimation hint for the views that draw them.
// Main thread only. With persistence off it writes nothing to the user defaults and reads only the
// recent-file list.
#pragma once

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/plotter/PlottingService.h"
#include "app/shell/CanvasModes.h"
#include "app/shell/DesktopServices.h"
#include "core/update/KavrinUpdater.h"
#include "core/update/UpdateHost.h"
#include "app/shell/WindowKeyFilter.h"
#include "core/model/Localization.h"
#include "core/model/VectorizerParams.h"
#include "core/support/app/SettingsStore.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class QTimer;
class QWidget;

namespace ostrel {

class RemoteControl;

/// How a view animates a change the model has already made.
enum class ViewAnimation {
    none,
    outputModeSwitch,  // ease-in-out 0.16 s
    zoomStep,          // ease-out 0.14 s
    zoomReset,         // spring, response 0.18 s, damping 1.0
};

/// What a flash message tells: news (a copy, a save, an edit) or a failure, drawn in its own colour.
enum class FlashKind { info, error };

/// A selected vertex: a stroke id and an index into that stroke's points.
struct SelectedVertex {
    std::int64_t pathID = 0;
    std::int64_t index = 0;
    friend bool operator==(const SelectedVertex&, const SelectedVertex&) = default;
};

class AppModel final : public QObject {
    Q_OBJECT

public:
    /// The updater the model owns.
    using Updater = KavrinUpdater;

    static constexpr std::size_t kRecentLimit = 12;
    static constexpr double kMinZoom = 0.2;
    static constexpr double kMaxZoom = 64;
    static constexpr double kZoomStepFactor = 1.25;

    struct Options {
        bool startServices = false;      // OSC and HTTP servers, the updater's launch check
        bool persistEnabled = false;     // read and write the user defaults
        bool loadDefaultPreset = false;  // start with the portrait drawing
    };

    /// What the model talks to; every null member takes the real one.
    struct Environment {
        /// The user defaults; not owned (null: the application's INI file). Written only with
        /// persistence on.
        SettingsStore* settings = nullptr;
        std::shared_ptr<FilePanels> panels;
        std::shared_ptr<Pasteboard> pasteboard;
        std::chrono::milliseconds flashDuration{2600};
        AxiDrawPlotterController::Environment plotter;
        /// The updater's clock, feed variables, install tree and keys. Its settings and host are
        /// the model's: the user defaults with persistence on (else memory), and the model itself.
        UpdaterEnvironment updater;
    };

    /// Creates, in this order, the plotter, the document (and its servers when services are on),
    /// the updater; then loads the recent list, restores the two stored toggles and loads the
    /// default drawing when asked.
    AppModel(Options options, Environment environment, QObject* parent = nullptr);
    /// With the real settings, panels and clipboard.
    explicit AppModel(Options options, QObject* parent = nullptr);
    ~AppModel() override;
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // Owned controllers.
    [[nodiscard]] VectorizerController& vectorizer() noexcept { return *vectorizer_; }
    /// Plot requests of the remote interfaces, which wait for a pending run's result.
    [[nodiscard]] PlottingService& plotting() noexcept { return *plotting_; }
    [[nodiscard]] const VectorizerController& vectorizer() const noexcept { return *vectorizer_; }
    [[nodiscard]] AxiDrawPlotterController& plotter() noexcept { return *plotter_; }
    [[nodiscard]] Updater& updater() noexcept { return *updater_; }
    /// The OSC and HTTP endpoints; null when the model was made without services.
    [[nodiscard]] RemoteControl* remoteControl() noexcept { return remoteControl_.get(); }
    [[nodiscard]] bool persistEnabled() const noexcept { return persistEnabled_; }
    /// The clipboard the model writes to: the system's unless the environment gave another.
    [[nodiscard]] Pasteboard& pasteboard() noexcept { return *pasteboard_; }

    // Observable fields.
    [[nodiscard]] AppLanguage language() const noexcept { return language_; }
    [[nodiscard]] CanvasViewMode viewMode() const noexcept { return viewMode_; }
    [[nodiscard]] CanvasEditTool editTool() const noexcept { return editTool_; }
    [[nodiscard]] bool showSidebar() const noexcept { return showSidebar_; }
    [[nodiscard]] bool showTravelMoves() const noexcept { return showTravelMoves_; }
    [[nodiscard]] bool showControlPoints() const noexcept { return showControlPoints_; }
    [[nodiscard]] bool blackOnWhitePreview() const noexcept { return blackOnWhitePreview_; }
    [[nodiscard]] bool showAxiDrawSection() const noexcept { return showAxiDrawSection_; }
    [[nodiscard]] double bitmapOpacity() const noexcept { return bitmapOpacity_; }
    [[nodiscard]] double vectorOpacity() const noexcept { return vectorOpacity_; }
    [[nodiscard]] const std::set<std::int64_t>& selectedPathIDs() const noexcept { return selectedPathIDs_; }
    [[nodiscard]] const std::optional<SelectedVertex>& selectedVertex() const noexcept { return selectedVertex_; }
    [[nodiscard]] std::int64_t activeDrawPenIndex() const noexcept { return activeDrawPenIndex_; }
    [[nodiscard]] double eraserRadiusPx() const noexcept { return eraserRadiusPx_; }
    /// Recent files, newest first, at most 12, as standardized absolute paths.
    [[nodiscard]] const std::vector<std::filesystem::path>& recentURLs() const noexcept { return recentURLs_; }
    [[nodiscard]] double zoomScale() const noexcept { return zoomScale_; }
    [[nodiscard]] QPointF panOffset() const noexcept { return panOffset_; }
    [[nodiscard]] bool showAbout() const noexcept { return showAbout_; }
    [[nodiscard]] bool showHelp() const noexcept { return showHelp_; }
    [[nodiscard]] bool showShortcuts() const noexcept { return showShortcuts_; }
    [[nodiscard]] bool showOSCGuide() const noexcept { return showOSCGuide_; }
    [[nodiscard]] bool showUpdater() const noexcept { return showUpdater_; }
    [[nodiscard]] bool showExport() const noexcept { return showExport_; }
    [[nodiscard]] VectorExportFormat exportFormat() const noexcept { return exportFormat_; }
    [[nodiscard]] const std::optional<std::string>& flashMessage() const noexcept { return flashMessage_; }
    /// The kind of the flash message shown now (or last shown).
    [[nodiscard]] FlashKind flashKind() const noexcept { return flashKind_; }
    /// True while any sheet flag is set.
    [[nodiscard]] bool hasOpenSheet() const noexcept;

    /// Also makes `language` the process's interface language (stored by Localization).
    void setLanguage(AppLanguage language);
    void setViewMode(CanvasViewMode mode);
    void setEditTool(CanvasEditTool tool);
    void setShowSidebar(bool show);
    void setShowTravelMoves(bool show);
    void setShowControlPoints(bool show);
    /// Stored under "blackOnWhitePreview" with persistence on.
    void setBlackOnWhitePreview(bool blackOnWhite);
    /// Stored under "showAxiDrawSection" with persistence on.
    void setShowAxiDrawSection(bool show, ViewAnimation animation = ViewAnimation::none);
    void setBitmapOpacity(double opacity);
    void setVectorOpacity(double opacity);
    void setSelectedPathIDs(std::set<std::int64_t> ids);
    void setSelectedVertex(std::optional<SelectedVertex> vertex);
    void setActiveDrawPenIndex(std::int64_t index);
    void setEraserRadiusPx(double radius);
    /// Written directly by the canvas's panning; non-finite offsets are refused.
    void setPanOffset(QPointF offset, ViewAnimation animation = ViewAnimation::none);
    void setShowAbout(bool show);
    void setShowHelp(bool show);
    void setShowShortcuts(bool show);
    void setShowOSCGuide(bool show);
    void setShowUpdater(bool show);
    void setShowExport(bool show);
    void setExportFormat(VectorExportFormat format);

    // Output mode, flashes, zoom, recent files.
    /// A different mode: written to the parameters (run after 10 ms) and the plotter section shown
    /// for axidraw, hidden for illustration. The current mode changes nothing.
    void setOutputMode(VectorOutputMode mode);
    /// Shows `message` (already in the interface language) for the flash duration; a newer flash
    /// replaces it and restarts the period.
    void flash(std::string message, FlashKind kind = FlashKind::info);
    /// Zoom clamped to [0.2, 64] about `anchorFromCenter` (pane points from the pane centre), so
    /// the content under the anchor stays there. Changes below 0.00001 and non-finite input do nothing.
    void applyZoom(double newScale, QPointF anchorFromCenter, ViewAnimation animation = ViewAnimation::none);
    void zoomIn();
    void zoomOut();
    /// Zoom 1, then pan (0, 0).
    void resetZoom(bool animated);
    void clearRecentURLs();

    // Selection commands (AppModelSelection.cpp). Each checks its precondition, makes one edit of
    // the document, updates the selection and flashes only when the document changed.
    void deleteSelectedPaths();
    void clearSelection();
    void selectAllPaths();
    void assignSelectedToPen(std::int64_t penIndex);
    void simplifySelectedPaths();
    void reverseSelectedPaths();
    void joinSelectedPaths();
    void splitAtSelectedVertex();
    /// Undo or redo of the document when its stack is not empty, then clearSelection and a flash.
    void undoEdit();
    void redoEdit();

    /// Installs the window key handling for `mainWindow` once; later calls do nothing.
    void installKeyMonitor(QWidget* mainWindow);
    [[nodiscard]] bool hasKeyMonitor() const noexcept { return keyMonitor_ != nullptr; }
    /// The window shortcut for a key without modifiers (see WindowKeyFilter); true when handled.
    bool handleWindowKey(int key, Qt::KeyboardModifiers modifiers);
    /// Whether handleWindowKey would handle the key now (without doing it).
    [[nodiscard]] bool wouldHandleWindowKey(int key, Qt::KeyboardModifiers modifiers) const;

    // File actions (AppModelFiles.cpp).
    /// The start of every suggested file name: the loaded file's name without its last extension,
    /// else the built-in drawing's name, else "vectorized".
    [[nodiscard]] std::string saveBaseName() const;
    void openImagePanel();
    /// Loads the file; only when it loads: selection cleared, zoom 1, pan 0, recorded as recent.
    /// Returns whether it loaded.
    bool open(const std::filesystem::path& file);
    void pasteImageFromClipboard();
    void copySVGToPasteboard();
    void saveSVGPushPanel();
    void copyExport();
    void saveExport();

signals:
    void languageChanged();
    void viewModeChanged();
    void editToolChanged();
    void showSidebarChanged();
    void showTravelMovesChanged();
    void showControlPointsChanged();
    void blackOnWhitePreviewChanged();
    void showAxiDrawSectionChanged(ostrel::ViewAnimation animation);
    void bitmapOpacityChanged();
    void vectorOpacityChanged();
    void selectedPathIDsChanged();
    void selectedVertexChanged();
    void activeDrawPenIndexChanged();
    void eraserRadiusPxChanged();
    void recentURLsChanged();
    void zoomScaleChanged(ostrel::ViewAnimation animation);
    void panOffsetChanged(ostrel::ViewAnimation animation);
    void showAboutChanged();
    void showHelpChanged();
    void showShortcutsChanged();
    void showOSCGuideChanged();
    void showUpdaterChanged();
    void showExportChanged();
    void exportFormatChanged();
    void flashMessageChanged();

private:
    void setZoomScale(double scale, ViewAnimation animation);
    void setFlashMessage(std::optional<std::string> message);
    void setRecentURLs(std::vector<std::filesystem::path> urls);
    void loadRecentURLs();
    void recordRecentURL(const std::filesystem::path& file);
    void restoreStoredToggles();
    void storeBool(const char* name, bool value);
    /// After a new image: selection cleared, zoom 1 and pan 0 without animation.
    void resetViewAfterLoad();
    /// Where the open and save panels start: the current image's folder, else the folder last
    /// chosen in a panel, else the most recent file's; empty: the panel's own choice.
    [[nodiscard]] std::filesystem::path panelFolder() const;
    /// The save panel with the format's `extension`, which a name typed without one receives.
    std::optional<std::filesystem::path> chooseSaveLocation(const std::string& title, const std::string& suggestedName,
                                                            const QStringList& nameFilters, std::string_view extension);
    /// Writes `text` to `file` atomically; the error's description on failure.
    [[nodiscard]] static std::optional<std::string> writeText(const std::filesystem::path& file,
                                                              const std::string& text);

    Options options_;
    bool persistEnabled_;
    std::unique_ptr<SettingsStore> ownSettings_;  // the INI file, when no store was injected
    SettingsStore* settings_ = nullptr;           // never null
    std::shared_ptr<FilePanels> panels_;
    std::shared_ptr<Pasteboard> pasteboard_;
    std::chrono::milliseconds flashDuration_;

    std::unique_ptr<AxiDrawPlotterController> plotter_;
    std::unique_ptr<VectorizerController> vectorizer_;
    std::unique_ptr<PlottingService> plotting_;  // the remote interfaces' plot requests
    std::unique_ptr<RemoteControl> remoteControl_;
    std::unique_ptr<UpdateHost> updateHost_;  // outlives the updater that calls it
    std::unique_ptr<Updater> updater_;

    AppLanguage language_;
    CanvasViewMode viewMode_ = CanvasViewMode::sideBySide;
    CanvasEditTool editTool_ = CanvasEditTool::select;
    bool showSidebar_ = true;
    bool showTravelMoves_ = false;
    bool showControlPoints_ = false;
    bool blackOnWhitePreview_ = false;
    bool showAxiDrawSection_ = false;
    double bitmapOpacity_ = 0.45;
    double vectorOpacity_ = 1.0;
    std::set<std::int64_t> selectedPathIDs_;
    std::optional<SelectedVertex> selectedVertex_;
    std::int64_t activeDrawPenIndex_ = 0;
    double eraserRadiusPx_ = 8.0;
    std::vector<std::filesystem::path> recentURLs_;
    std::filesystem::path lastPanelFolder_;  // the folder of the last file chosen in a panel
    double zoomScale_ = 1.0;
    QPointF panOffset_{0, 0};
    bool showAbout_ = false;
    bool showHelp_ = false;
    bool showShortcuts_ = false;
    bool showOSCGuide_ = false;
    bool showUpdater_ = false;
    bool showExport_ = false;
    VectorExportFormat exportFormat_ = VectorExportFormat::svgAxiDraw;
    std::optional<std::string> flashMessage_;
    FlashKind flashKind_ = FlashKind::info;
    QTimer* flashTimer_ = nullptr;  // child; clears the message when it fires
    QPointer<WindowKeyFilter> keyMonitor_;
};

}  // namespace ostrel
