#include "app/plotter/PlotStart.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"

namespace ostrel {

bool PlotStart::isAllowed(const VectorizerController& document, const AxiDrawPlotterController& plotter) {
    return document.result().has_value() && !document.hasPendingRun() && !plotter.runState().isRunning();
}

bool PlotStart::start(Kind kind, const VectorizerController& document, AxiDrawPlotterController& plotter) {
    if (!isAllowed(document, plotter)) return false;
    // The result of this moment, whole; the controller picks the layers.
    const VectorizationResult& result = *document.result();
    if (kind == Kind::plot) {
        plotter.startPlot(result);
    } else {
        plotter.startBoundingBoxFrame(result);
    }
    return true;
}

}  // namespace ostrel
