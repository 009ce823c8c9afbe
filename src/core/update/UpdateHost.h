// What the updater needs from the application around it. The application model implements it; the
// tests implement it to watch what an install does to the running program.
#pragma once

namespace ostrel {

class UpdateHost {
public:
    virtual ~UpdateHost() = default;

    /// True while the plotter draws: an install neither starts nor swaps then, so the pen is never
    /// left down by a quitting program.
    [[nodiscard]] virtual bool isPlotRunning() const = 0;
    /// Stops everything that holds a port or a device (the OSC and HTTP servers, the serial link),
    /// so the relaunched program can take them. Called once the new tree is in place.
    virtual void stopServicesForRelaunch() = 0;
    /// Ends the application with exit status 0 once control returns to the event loop.
    virtual void quitForRelaunch() = 0;
};

}  // namespace ostrel
