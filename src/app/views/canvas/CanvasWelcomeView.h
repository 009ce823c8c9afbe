// What the canvas shows while no image is open: the line drawing, a title, how to bring a drawing
// in, the open and paste buttons and up to five recent files as rows (each opens its file).
#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <filesystem>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace ostrel {

class AppModel;
class TextButton;

/// One recent file: the file name at the left, its folder's name at the right.
class RecentFileRow final : public QAbstractButton {
    Q_OBJECT

public:
    RecentFileRow(std::filesystem::path file, QWidget* parent = nullptr);
    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::filesystem::path file_;
};

class CanvasWelcomeView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::size_t kRecentRows = 5;

    explicit CanvasWelcomeView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] TextButton& openButton() noexcept { return *openButton_; }
    [[nodiscard]] TextButton& pasteButton() noexcept { return *pasteButton_; }
    /// The rows shown now, in order; empty when there is no recent file.
    [[nodiscard]] std::vector<RecentFileRow*> recentRows() const;
    /// The recent section (header and rows); hidden when there is no recent file.
    [[nodiscard]] QWidget& recentSection() noexcept { return *recentSection_; }

private:
    void retranslate();
    void rebuildRecent();

    AppModel& model_;
    QLabel* title_;
    QLabel* explanation_;
    TextButton* openButton_;
    TextButton* pasteButton_;
    QWidget* recentSection_;
    QLabel* recentHeader_;
    QWidget* recentList_;
    QVBoxLayout* recentLayout_;
};

}  // namespace ostrel
