// The windowed run of Ostrel: the application object, the look, the model with its services, the
// main window and the settings window, the file named on the command line, and a clean end (the
// plot stopped with the pen up, then the servers) however the run ends: last window closed, Quit,
// SIGINT or SIGTERM.
#pragma once

namespace ostrel {

/// Runs the window until the application quits; returns the exit status. `argv` is the process's.
int runWindowed(int& argc, char** argv);

}  // namespace ostrel
