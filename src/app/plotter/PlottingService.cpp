#include "app/plotter/PlottingService.h"

#include "app/document/VectorizerController.h"

namespace ostrel {

PlottingService::PlottingService(VectorizerController& document, QObject* plotter, QObject* parent)
    : QObject(parent),
      document_(&document),
      plotterObject_(plotter),
      plotterLink_(dynamic_cast<PlotterLink*>(plotter)) {
    connect(&document, &VectorizerController::runResultApplied, this, &PlottingService::startWaitingRequest);
    connect(&document, &VectorizerController::pendingRunAbandoned, this, &PlottingService::dropDeferredPlot);
}

void PlottingService::plotCurrentResult(PlotRequest request) {
    if (plotter() == nullptr || !document_) return;
    if (document_->hasPendingRun()) {
        deferredPlot_ = request;
        return;
    }
    start(request);
}

void PlottingService::startWaitingRequest() {
    // A plot asked for while this result was on its way starts with it now.
    if (deferredPlot_ && document_ && !document_->hasPendingRun()) start(*std::exchange(deferredPlot_, std::nullopt));
}

void PlottingService::start(PlotRequest request) {
    PlotterLink* link = plotter();
    if (link == nullptr || !document_ || !document_->result()) return;
    if (request == PlotRequest::plot) {
        link->startPlot(*document_->result());
    } else {
        link->startBoundingBoxFrame(*document_->result());
    }
}

}  // namespace ostrel
