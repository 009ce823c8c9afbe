#include "core/plotter/PlotterDevice.h"

#include "core/plotter/EBBSerialTransport.h"
#include "core/plotter/PlotterSimulator.h"

#include <utility>

namespace ostrel {

std::unique_ptr<PlotterDevice> PlotterDevice::forPort(AxiDrawPortDevice port) {
    if (port.isSimulator) return std::make_unique<PlotterSimulator>(std::move(port));
    return std::make_unique<EBBSerialTransport>(std::move(port));
}

}  // namespace ostrel
