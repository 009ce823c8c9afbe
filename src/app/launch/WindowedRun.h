// The windowed run of Ostrel: one per user and settings folder (a later start hands its file, or
// nothing, to the running one and ends), the application object, the look, the model with its
// services, the main window and the settings window, the file named on the command line, and a
// clean end (the plot stopped with the pen up, then the servers) however the run ends: last window
// closed, Quit, SIGINT or SIGTERM.
#pragma once

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace ostrel {

class AppModel;

/// Runs the window until the application quits; returns the exit status. `argv` is the process's.
int runWindowed(int& argc, char** argv);

/// The settings window: the preferences on their own, fixed at the size they give themselves.
/// Escape and Ctrl+W close it.
[[nodiscard]] std::unique_ptr<QWidget> makeSettingsWindow(AppModel& model);

/// The end of every run: a plot still going is stopped with the pen raised, then the pending
/// vectorization, the OSC server and the HTTP listener stop.
void stopEverything(AppModel& model);

/// A quit signal: stopEverything, then the event loops end at once. No window is asked to close,
/// so nothing waits for an answer nobody can give.
void quitForSignal(AppModel& model);

/// What the running window does for a later start: shows and raises itself, then opens `file`
/// through the model's own open when one was handed over. None when done, else the reason the
/// file could not be opened (the document's status text).
[[nodiscard]] std::optional<std::string> takeHandOff(AppModel& model, QWidget& window,
                                                     const std::optional<std::string>& file);

}  // namespace ostrel
