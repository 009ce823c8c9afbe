// The PDF renderer child's module: the program started with kRendererArgument loads it (main.cpp) and
// runs its entry, so Qt's PDF module and the network library it brings are loaded by that child alone,
// never by the program that reads images or shows the window.
#include "core/pdf/PdfPageRenderer.h"

#include <string_view>

/// The module's one entry: the renderer child's whole run, given the argument that follows
/// kRendererArgument (the size). Returns the exit status.
extern "C" __attribute__((visibility("default"))) int ostrelRunPdfRenderer(const char* maxDimension) {
    return ostrel::PdfPage::runRenderer(std::string_view(maxDimension));
}
