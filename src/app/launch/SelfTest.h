// The end-to-end self-test of `Ostrel --self-test [--strict]`: the four extraction algorithms on the
// built-in drawings, curve fitting, pen classes, travel order, the plotter SVG and job compiler, the
// application model's start, an OSC command, deleting a stroke and undoing it, and two offscreen
// window snapshots. One "PASS: " line per check on standard output, "FAIL: " on standard error,
// then the summary. Starts no server and writes nothing to disk or to the settings.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ostrel::SelfTest {

/// The checks in order, printing to `out` and `err`; the exit status (0: every check passed).
int run(std::FILE* out, std::FILE* err);

/// `run` on the standard streams, then exits with its status.
[[noreturn]] void runAndExit();

/// True when the plotter SVG draws with a cubic "C" command inside some path's d attribute.
[[nodiscard]] bool hasCubicPathCommand(const std::string& svg);

}  // namespace ostrel::SelfTest
