#include "core/plotter/PlotterSimulator.h"

#include <utility>

namespace ostrel {

PlotterSimulator::PlotterSimulator(AxiDrawPortDevice device) : device_(std::move(device)) {}

void PlotterSimulator::open() { firmwareVersion_ = std::string(firmware); }

}  // namespace ostrel
