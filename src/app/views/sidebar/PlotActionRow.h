// The plotter card's action row: Pause and Stop while a run plays, Resume and Abort while it is
// paused, otherwise one Plot button titled for the selected device (a real port or the simulator).
// The Plot button is disabled without a result and while a vectorization run for newer parameters
// is pending: what goes to paper is always the result of the parameters on screen. Holds no state.
#pragma once

#include <QWidget>

namespace ostrel {

class AxiDrawPlotterController;
class TextButton;
class VectorizerController;

class PlotActionRow final : public QWidget {
    Q_OBJECT

public:
    PlotActionRow(VectorizerController& document, AxiDrawPlotterController& plotter, QWidget* parent = nullptr);

    [[nodiscard]] TextButton* pauseButton() const noexcept { return pause_; }
    [[nodiscard]] TextButton* stopButton() const noexcept { return stop_; }
    [[nodiscard]] TextButton* resumeButton() const noexcept { return resume_; }
    [[nodiscard]] TextButton* abortButton() const noexcept { return abort_; }
    [[nodiscard]] TextButton* plotButton() const noexcept { return plot_; }

private:
    void sync();
    void plot();

    VectorizerController& document_;
    AxiDrawPlotterController& plotter_;
    TextButton* pause_;
    TextButton* stop_;
    TextButton* resume_;
    TextButton* abort_;
    TextButton* plot_;
};

}  // namespace ostrel
