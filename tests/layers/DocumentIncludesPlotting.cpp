// Built only by the layer test, which expects it NOT to compile: the document layer sits below the
// plotting layer and knows nothing of plotters.
#include "app/plotter/PlottingService.h"
