#include "core/plotter/AxiDrawPortDevice.h"

#include "core/model/Localization.h"

namespace ostrel {

AxiDrawPortDevice AxiDrawPortDevice::simulator() {
    return {std::string(simulatorPath), L("Simulateur (Virtuel)", "Simulator (Virtual)"), true};
}

}  // namespace ostrel
