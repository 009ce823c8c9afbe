// The main window "Ostrel": the root view under the menu bar, 1380 × 820 at first, never smaller
// than 980 × 580 of content. Its first appearance runs the window's one-time set-up. Closing it
// while the plotter draws, frames or waits paused asks first.
#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>

namespace ostrel {

class AppMenuBar;
class AppModel;
class ContentView;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 1380;
    static constexpr int kDefaultHeight = 820;
    static constexpr int kMinimumWidth = 980;
    static constexpr int kMinimumHeight = 580;

    /// Asked before closing during a plot: true to stop the plot and close.
    using CloseConfirmation = std::function<bool(QWidget& window)>;

    explicit MainWindow(AppModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Runs once, at the first time the window is shown (later shows do nothing).
    void setFirstAppearance(std::function<void()> action) { firstAppearance_ = std::move(action); }
    /// Replaces the question asked before closing during a plot (tests answer it themselves).
    void setCloseConfirmation(CloseConfirmation confirmation) { confirmClose_ = std::move(confirmation); }

    [[nodiscard]] ContentView& content() const noexcept { return *content_; }
    [[nodiscard]] AppMenuBar& menus() const noexcept { return *menus_; }

    /// True while closing would interrupt the plotter (plotting, framing or paused).
    [[nodiscard]] bool plotIsActive() const;

signals:
    /// "Settings…" was chosen.
    void settingsRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    AppModel& model_;
    ContentView* content_ = nullptr;
    std::unique_ptr<AppMenuBar> menus_;
    std::function<void()> firstAppearance_;
    CloseConfirmation confirmClose_;
    bool appeared_ = false;
};

/// The question of a close during a plot, as a window-modal message box on `window`.
[[nodiscard]] bool askToStopPlotAndQuit(QWidget& window);

}  // namespace ostrel
