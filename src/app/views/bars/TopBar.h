// The top bar of the main window: sidebar switch; open, recent files and the built-in drawings;
// canvas layout (with the overlay opacities); edit tools; undo and redo; preview, handle and
// travel switches; then at the right end the output mode, the algorithm, the plot button and the
// two SVG actions. When the bar is too narrow for every title, titles go whole, in this order: the
// tool buttons', the layout buttons', the presets menu's, the open button's, then the copy, plot and
// export buttons' (their symbols stay); only then is the left part cut at its right end. The titles are
// fitted when the bar is shown, resized, and whenever what it shows changes. It
// owns no data: every control mirrors the model, the document controller or
// the plotter, and every action assigns a model field or calls one of their operations. The bar
// is built once and refreshed in place when something it shows changes (a rebuild would drop a
// slider in the middle of its drag).
//
// Controls carry object names so that tests can find them: "sidebar", "open", "recent" (its menu
// "recentMenu"), "presets" ("presetsMenu"), "viewMode.<raw value>", "opacities", "bitmapOpacity",
// "vectorOpacity", "tool.<raw value>", "undo", "redo", "preview", "handles", "travel", "outputMode",
// "algorithm", "plot", "copySVG", "exportSVG".
#pragma once

#include "app/plotter/AxiDrawRunState.h"

#include <QWidget>

#include <array>
#include <functional>
#include <string>

class QMenu;
class QSlider;

namespace ostrel {

class AppModel;
class Chip;
class IconButton;
class TextButton;

class TopBar final : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 40;

    explicit TopBar(AppModel& model, QWidget* parent = nullptr);

    /// What the plot button shows and does for a run state.
    struct PlotForm {
        enum class Action { pause, resume, plot };
        std::string title;
        std::string symbol;
        bool prominent = false;
        Action action = Action::plot;
    };
    [[nodiscard]] static PlotForm plotForm(AxiDrawRunState::Kind kind);

    /// Whether the tool buttons, and the layout buttons, show their symbols alone (the bar is too
    /// narrow for their titles; the tools give theirs up first).
    [[nodiscard]] bool showsCompactToolButtons() const;
    [[nodiscard]] bool showsCompactLayoutButtons() const;
    /// How many of the steps above are taken now (0: every title shown).
    [[nodiscard]] int droppedTitleSteps() const noexcept { return droppedSteps_; }

    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void refresh();
    void rebuildRecentMenu();
    void plotButtonClicked();
    void fitButtonTitles();
    /// Shows the titles as step `steps` of the order above says.
    void dropTitles(int steps);
    /// The width the left part needs now.
    [[nodiscard]] int leadingNeed() const;

    AppModel& model_;
    QWidget* leading_ = nullptr;  // items up to the flexible space; clipped when the bar is too narrow
    IconButton* sidebarButton_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    TextButton* openButton_ = nullptr;
    QWidget* presetsButton_ = nullptr;
    std::array<QWidget*, 3> viewModeButtons_{};
    QWidget* opacities_ = nullptr;
    QSlider* bitmapSlider_ = nullptr;
    QSlider* vectorSlider_ = nullptr;
    std::array<QWidget*, 4> toolButtons_{};
    IconButton* undoButton_ = nullptr;
    IconButton* redoButton_ = nullptr;
    IconButton* previewButton_ = nullptr;
    IconButton* handlesButton_ = nullptr;
    IconButton* travelButton_ = nullptr;
    QWidget* outputModeButton_ = nullptr;
    Chip* algorithmChip_ = nullptr;
    TextButton* plotButton_ = nullptr;
    TextButton* copyButton_ = nullptr;
    TextButton* exportButton_ = nullptr;
    int droppedSteps_ = 0;
};

}  // namespace ostrel
