#include "app/views/sidebar/PlotActionRow.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/plotter/PlotStart.h"
#include "app/ui/TextButton.h"
#include "core/model/Localization.h"

#include <QHBoxLayout>

namespace ostrel {

namespace {

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

TextButton* actionButton(const QString& title, const char* symbol, bool prominent, QWidget* parent) {
    TextButton::Style style;
    style.symbol = symbol;
    style.prominent = prominent;
    style.flexibleWidth = true;
    return new TextButton(title, style, false, parent);
}

}  // namespace

PlotActionRow::PlotActionRow(VectorizerController& document, AxiDrawPlotterController& plotter, QWidget* parent)
    : QWidget(parent),
      document_(document),
      plotter_(plotter),
      pause_(actionButton(text("Pause", "Pause"), "pause.fill", true, this)),
      stop_(actionButton(text("Stop (ES)", "Stop (ES)"), "stop.fill", false, this)),
      resume_(actionButton(text("Reprendre", "Resume"), "play.fill", true, this)),
      abort_(actionButton(text("Annuler", "Abort"), "xmark", false, this)),
      plot_(actionButton(QString(), "play.fill", true, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    for (TextButton* button : {pause_, stop_, resume_, abort_, plot_}) row->addWidget(button, 1, Qt::AlignVCenter);

    connect(pause_, &TextButton::clicked, this, [this] { plotter_.pausePlot(); });
    connect(stop_, &TextButton::clicked, this, [this] { plotter_.stopPlot(); });
    connect(resume_, &TextButton::clicked, this, [this] { plotter_.resumePlot(); });
    connect(abort_, &TextButton::clicked, this, [this] { plotter_.stopPlot(); });
    connect(plot_, &TextButton::clicked, this, &PlotActionRow::plot);

    connect(&plotter_, &AxiDrawPlotterController::runStateChanged, this, &PlotActionRow::sync);
    connect(&plotter_, &AxiDrawPlotterController::availablePortsChanged, this, &PlotActionRow::sync);
    connect(&plotter_, &AxiDrawPlotterController::selectedPortPathChanged, this, &PlotActionRow::sync);
    connect(&document_, &VectorizerController::resultChanged, this, &PlotActionRow::sync);
    connect(&document_, &VectorizerController::pendingRunChanged, this, &PlotActionRow::sync);
    sync();
}

void PlotActionRow::sync() {
    const AxiDrawRunState& state = plotter_.runState();
    const bool busy = state.isRunning();
    const bool paused = !busy && state.isPaused();
    pause_->setVisible(busy);
    stop_->setVisible(busy);
    resume_->setVisible(paused);
    abort_->setVisible(paused);
    plot_->setVisible(!busy && !paused);
    plot_->setTitle(plotter_.selectedDevice().isSimulator ? text("Simuler le tracé AxiDraw", "Simulate AxiDraw Plot")
                                                          : text("Tracer sur l'AxiDraw", "Plot on AxiDraw"));
    plot_->setEnabled(PlotStart::isAllowed(document_, plotter_));
}

void PlotActionRow::plot() { PlotStart::start(PlotStart::Kind::plot, document_, plotter_); }

}  // namespace ostrel
