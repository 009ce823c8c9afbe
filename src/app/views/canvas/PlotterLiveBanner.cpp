#include "app/views/canvas/PlotterLiveBanner.h"

#include "app/plotter/AxiDrawPlotterController.h"
#include "app/shell/Theme.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/views/canvas/CanvasOverlayParts.h"
#include "core/model/Localization.h"

#include <QHBoxLayout>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ostrel {

PlotterLiveBanner::PlotterLiveBanner(AxiDrawPlotterController& plotter, QWidget* parent)
    : QWidget(parent),
      plotter_(plotter),
      penDot_(new DotWidget(8, Theme::tcp(), this)),
      status_(new OneLineLabel({}, UIFonts::mono(11, QFont::DemiBold), Theme::text(), this)),
      progress_(new ProgressLine(Theme::accent(), this)),
      percent_(new OneLineLabel({}, UIFonts::mono(10.5, QFont::Bold), Theme::accent(), this)),
      pause_(new TextButton(QStringLiteral("Pause"), TextButton::Style{.symbol = "pause.fill", .compact = true}, false,
                            this)),
      resume_(new TextButton({}, TextButton::Style{.symbol = "play.fill", .prominent = true, .compact = true}, false,
                             this)),
      stop_(new TextButton(QStringLiteral("Stop"), TextButton::Style{.symbol = "stop.fill", .compact = true}, false,
                           this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    addFloatingShadow(this, 0.45);
    progress_->setFixedSize(90, 4);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(10);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->addWidget(penDot_);
    row->addWidget(status_);
    row->addWidget(progress_);
    row->addWidget(percent_);
    row->addWidget(makeBarDivider(this));
    row->addWidget(pause_);
    row->addWidget(resume_);
    row->addWidget(stop_);

    connect(pause_, &QAbstractButton::clicked, this, [this] { plotter_.pausePlot(); });
    connect(resume_, &QAbstractButton::clicked, this, [this] { plotter_.resumePlot(); });
    connect(stop_, &QAbstractButton::clicked, this, [this] { plotter_.stopPlot(); });
    for (const auto signal :
         {&AxiDrawPlotterController::runStateChanged, &AxiDrawPlotterController::isPenDownChanged,
          &AxiDrawPlotterController::statusLogChanged, &AxiDrawPlotterController::progressFractionChanged}) {
        connect(&plotter_, signal, this, &PlotterLiveBanner::refresh);
    }
    refresh();
}

QString PlotterLiveBanner::percentText(double fraction) {
    const double percent = std::isfinite(fraction) ? std::round(fraction * 100) : 0;
    return QString::number(static_cast<long long>(percent)) + QStringLiteral(" %");
}

void PlotterLiveBanner::refresh() {
    const AxiDrawRunState& state = plotter_.runState();
    penDot_->setColor(plotter_.isPenDown() ? Theme::accent() : Theme::tcp());
    status_->setText(QString::fromStdString(plotter_.statusLog()));
    progress_->setFraction(plotter_.progressFraction());
    percent_->setText(percentText(plotter_.progressFraction()));
    resume_->setTitle(QString::fromStdString(L("Reprendre", "Resume")));
    pause_->setVisible(state.isRunning());
    resume_->setVisible(state.isPaused());
    adjustSize();
    updateGeometry();
    emit contentChanged();
}

void PlotterLiveBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFloatingPanel(painter, QRectF(rect()), {8, 0.95, Theme::withOpacity(Theme::accent(), 0.55)});
}

}  // namespace ostrel
