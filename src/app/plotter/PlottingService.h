// Plot requests from the remote interfaces. A plot or frame asked for while a run is pending waits
// for that run's result, so it never draws parameters that are about to change: a newer run takes
// over the wait, a run given up (a new document, a cancelled run) drops it, and a stop drops it too.
#pragma once

#include "app/plotter/PlotterLink.h"

#include <QObject>
#include <QPointer>

#include <optional>

namespace ostrel {

class VectorizerController;

class PlottingService final : public QObject {
    Q_OBJECT

public:
    /// What a remote plot command asks of the plotter.
    enum class PlotRequest { plot, frame };

    /// `plotter` (a QObject that implements PlotterLink) and `document` are held weakly: requests do
    /// nothing once either is gone.
    PlottingService(VectorizerController& document, QObject* plotter, QObject* parent = nullptr);

    /// The plotter, while it exists.
    [[nodiscard]] PlotterLink* plotter() const noexcept { return plotterObject_ ? plotterLink_ : nullptr; }

    /// Hands the current result to the plotter, or, while a run is pending, the result of that run
    /// once it is applied (a newer request replaces a waiting one). Does nothing without a plotter,
    /// or without a result and no run pending.
    void plotCurrentResult(PlotRequest request);
    /// Forgets the request waiting for the pending run (a stop asked for meanwhile).
    void dropDeferredPlot() noexcept { deferredPlot_.reset(); }
    /// The request waiting for the pending run, if any.
    [[nodiscard]] std::optional<PlotRequest> deferredPlotRequest() const noexcept { return deferredPlot_; }

private:
    void start(PlotRequest request);
    void startWaitingRequest();

    QPointer<VectorizerController> document_;
    QPointer<QObject> plotterObject_;
    PlotterLink* plotterLink_ = nullptr;  // valid only while plotterObject_ is alive
    std::optional<PlotRequest> deferredPlot_;
};

}  // namespace ostrel
