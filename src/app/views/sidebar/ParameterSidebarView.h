// The parameter column left of the canvas: in one vertical scroll area, the output mode, the
// extraction algorithm, preprocessing, vectorization, stitching and hatching, the plotter and pens
// block (with the pen layer rows and the direct plotter card) and the statistics card.
//
// Every control that edits a parameter writes through ParameterChange (only real changes, each
// with its own run delay) and is refreshed from the document whenever its parameters, its result or
// the model's flags change; a value set from outside (menus, OSC, HTTP, Reset) is shown as it is,
// even beyond a slider's range, and never written back. Controls carry their field's name as their
// object name. Texts are chosen when the column is built (the window rebuilds it for a new language).
#pragma once

#include "app/shell/AppModel.h"
#include "core/model/VectorModel.h"

#include <QMessageBox>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace ostrel {

class CollapsibleHeader;
class PenLayerRow;
class SectionHeader;

class ParameterSidebarView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int sidebarWidth = 324;
    /// The content column: the sidebar less 14 points of padding on each side.
    static constexpr int innerWidth = sidebarWidth - 28;

    explicit ParameterSidebarView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QScrollArea* scrollArea() const noexcept { return scroll_; }
    /// The fixed-width column that holds the seven blocks.
    [[nodiscard]] QWidget* contentColumn() const noexcept { return column_; }
    /// The plotter block under the collapsible header (hidden while folded).
    [[nodiscard]] QWidget* plotterBlock() const noexcept { return plotterBlock_; }
    [[nodiscard]] CollapsibleHeader* plotterHeader() const noexcept { return plotterHeader_; }
    /// The question Reset asks while the document holds hand edits; null when none is open.
    [[nodiscard]] QMessageBox* resetConfirmation() const noexcept { return resetQuestion_.data(); }
    [[nodiscard]] SectionHeader* metricsHeader() const noexcept { return metricsHeader_; }
    /// The statistics lines in order: label and value of each, hidden ones included.
    struct StatLine {
        QWidget* row;
        QLabel* label;
        QLabel* value;
    };
    [[nodiscard]] const std::vector<StatLine>& statLines() const noexcept { return statLines_; }

private:
    QWidget* outputModeSection(QWidget* parent);
    QWidget* algorithmSection(QWidget* parent);
    QWidget* preprocessingSection(QWidget* parent);
    QWidget* vectorizationSection(QWidget* parent);
    QWidget* stitchingAndHatchSection(QWidget* parent);
    QWidget* pensAndAxiDrawSection(QWidget* parent);
    QWidget* metricsCard(QWidget* parent);

    /// Reset, after asking when the document holds hand edits.
    void requestReset();
    void rebuildPenRows();
    void refreshParams();
    void refreshPlotterBlock(ViewAnimation animation);
    void refreshMetrics();

    AppModel& model_;
    QScrollArea* scroll_ = nullptr;
    QWidget* column_ = nullptr;
    std::vector<std::function<void()>> paramRefreshers_;
    CollapsibleHeader* plotterHeader_ = nullptr;
    QWidget* plotterBlock_ = nullptr;
    QWidget* penRows_ = nullptr;
    QVBoxLayout* penRowsLayout_ = nullptr;
    std::vector<PenLayerRow*> penRowList_;
    SectionHeader* metricsHeader_ = nullptr;
    std::vector<StatLine> statLines_;
    QPointer<QMessageBox> resetQuestion_;
    QPointer<QPropertyAnimation> blockAnimation_;
};

}  // namespace ostrel
