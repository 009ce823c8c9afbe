// What the plotting service and the remote interfaces need of the plotter: its
// commands and a status report. The plotter controller implements it.
#pragma once

#include "core/model/VectorModel.h"

#include <string>

namespace ostrel {

/// The plotter's state as the remote interfaces report it.
struct PlotterStatusReport {
    std::string port;         // the selected port's path
    bool isSimulator = true;  // the selected device is the built-in simulator
    bool isBusy = false;      // plotting or framing
    bool isPaused = false;    // paused by the user or for a pen change
    bool isPenDown = false;
    VectorPoint positionMM;
    double progress = 0;  // 0…1
    std::string status;   // the plotter's status line
};

class PlotterLink {
public:
    virtual ~PlotterLink() = default;

    virtual void startPlot(const VectorizationResult& result) = 0;
    virtual void startBoundingBoxFrame(const VectorizationResult& result) = 0;
    virtual void pausePlot() = 0;
    virtual void resumePlot() = 0;
    virtual void stopPlot() = 0;
    virtual void raisePen() = 0;
    virtual void lowerPen() = 0;
    virtual void returnToHome() = 0;
    virtual void unlockMotorsAndZeroOrigin() = 0;
    [[nodiscard]] virtual PlotterStatusReport statusReport() const = 0;
};

}  // namespace ostrel
