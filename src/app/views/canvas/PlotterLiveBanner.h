// The banner at the top of the canvas while a plot runs or is held: the pen dot (accent down, tcp
// up), the controller's status line, the job's progress bar and percentage, Pause or Resume, and
// Stop. It reads the plotter controller's observable fields and calls its operations; whoever
// places it shows it only while the plotter is active (CanvasViewportView::isPlotterActive).
#pragma once

#include "app/plotter/AxiDrawRunState.h"

#include <QWidget>

namespace ostrel {

class AxiDrawPlotterController;
class DotWidget;
class OneLineLabel;
class ProgressLine;
class TextButton;

class PlotterLiveBanner final : public QWidget {
    Q_OBJECT

public:
    explicit PlotterLiveBanner(AxiDrawPlotterController& plotter, QWidget* parent = nullptr);

    /// fraction × 100 rounded half away from zero, then " %".
    [[nodiscard]] static QString percentText(double fraction);

    [[nodiscard]] AxiDrawPlotterController& plotter() const noexcept { return plotter_; }
    /// Reads the controller again (also after a change of the interface language).
    void refresh();

    // The parts, for the canvas tests.
    [[nodiscard]] DotWidget* penDot() const noexcept { return penDot_; }
    [[nodiscard]] OneLineLabel* statusLabel() const noexcept { return status_; }
    [[nodiscard]] ProgressLine* progressBar() const noexcept { return progress_; }
    [[nodiscard]] OneLineLabel* percentLabel() const noexcept { return percent_; }
    /// Pause while running, Resume while held; one of them is hidden.
    [[nodiscard]] TextButton* pauseButton() const noexcept { return pause_; }
    [[nodiscard]] TextButton* resumeButton() const noexcept { return resume_; }
    [[nodiscard]] TextButton* stopButton() const noexcept { return stop_; }

signals:
    /// Emitted after the content (and so the size) was built again.
    void contentChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AxiDrawPlotterController& plotter_;
    DotWidget* penDot_;
    OneLineLabel* status_;
    ProgressLine* progress_;
    OneLineLabel* percent_;
    TextButton* pause_;
    TextButton* resume_;
    TextButton* stop_;
};

}  // namespace ostrel
