// The root view of the main window: top bar, scan progress line, separator, the parameter sidebar
// beside the canvas, status bar. It is the window's drop target (local files first, then image
// data) and presents the six sheets of the window while their model flags are set. It owns no
// document data: what it shows comes from the application model and its document controller.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

class QDialog;
class QMimeData;
class QVBoxLayout;

namespace ostrel {

class AppModel;
class CanvasViewportView;
class ParameterSidebarView;
class ScanProgressBar;

class ContentView final : public QWidget {
    Q_OBJECT

public:
    explicit ContentView(AppModel& model, QWidget* parent = nullptr);
    ~ContentView() override;

    /// The six sheets, in the order the window presents them.
    enum class Sheet { about, help, shortcuts, oscGuide, exportFile, updater };
    static constexpr std::size_t kSheetCount = 6;

    /// Loads the first usable item of a drop: the first local file, else the image data. False when
    /// the drop holds neither (nothing changes then).
    bool handleDrop(const QMimeData& data);

    /// Whether a drag hovers over the window now.
    [[nodiscard]] bool isDropTargeted() const noexcept { return dropTargeted_; }

    /// The open dialog of `sheet`, or null.
    [[nodiscard]] QDialog* sheetDialog(Sheet sheet) const;

    [[nodiscard]] CanvasViewportView* canvas() const noexcept { return canvas_; }
    [[nodiscard]] ParameterSidebarView* sidebar() const noexcept { return sidebar_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    /// Builds the whole tree in the current interface language (again after a language change).
    void build();
    void clear();
    void showSidebarIfWanted();
    void setDropTargeted(bool targeted);
    void syncSheet(Sheet sheet);
    /// Fixes an open sheet's dialog at the size its content wants now.
    static void fitSheetDialog(QDialog& dialog, QWidget& content);
    [[nodiscard]] bool sheetFlag(Sheet sheet) const;
    void setSheetFlag(Sheet sheet, bool shown);
    [[nodiscard]] QWidget* makeSheetContent(Sheet sheet);

    AppModel& model_;
    QVBoxLayout* layout_ = nullptr;
    ScanProgressBar* progress_ = nullptr;
    ParameterSidebarView* sidebar_ = nullptr;
    QWidget* sidebarSeparator_ = nullptr;
    CanvasViewportView* canvas_ = nullptr;
    bool dropTargeted_ = false;
    std::array<QPointer<QDialog>, kSheetCount> sheets_{};
};

}  // namespace ostrel
