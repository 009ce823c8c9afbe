// Built only by the layer test, which expects it NOT to compile: the model sits below the pipeline.
#include "core/pipeline/VectorizationEngine.h"
