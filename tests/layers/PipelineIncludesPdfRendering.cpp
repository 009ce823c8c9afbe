// Built only by the layer test, which expects it NOT to compile: the pipeline sits below the PDF page
// renderer, whose library (and Qt's PDF module) only the renderer child loads.
#include "core/pdf/PdfPageRenderer.h"
