// The one rule for every button that starts a plotter run from the window (Plot and Simulate in
// the sidebar, Plot in the top bar, Frame sheet): it starts only from a result that no pending
// run is about to replace, and never while a run plays. A paused run may be replaced: the
// controller stops it first.
#pragma once

namespace ostrel {

class AxiDrawPlotterController;
class VectorizerController;

namespace PlotStart {

enum class Kind { plot, frame };

/// Whether a start button may be pressed now.
[[nodiscard]] bool isAllowed(const VectorizerController& document, const AxiDrawPlotterController& plotter);

/// Starts `kind` with the whole current result when allowed; returns whether it started.
bool start(Kind kind, const VectorizerController& document, AxiDrawPlotterController& plotter);

}  // namespace PlotStart

}  // namespace ostrel
