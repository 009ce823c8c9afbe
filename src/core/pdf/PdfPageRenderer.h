// The rendering of a PDF document's first page by Qt's PDF module: what the renderer child runs
// (core/pipeline/PdfPage.h starts it and reads its page). This library links Qt's PDF module and, with
// it, the network library; the program loads it only in its renderer child, as a module of its own
// (src/app/PdfRendererModule.cpp), and programs that render in the calling thread (tests, fuzz
// targets) link it and pass renderFirstPageHere to PdfPage::setInProcessRenderer.
#pragma once

#include <QByteArray>
#include <QImage>

#include <string_view>

namespace ostrel::PdfPage {

/// Page 0 of the document in `bytes` in the calling thread, without bounds: opaque (RGB32) on
/// white, its longer side `maxDimension` pixels and each side at least 1; a null image when the
/// document cannot be read, has no page, needs a password or fails to render.
[[nodiscard]] QImage renderFirstPageHere(const QByteArray& bytes, int maxDimension);

/// The renderer child's whole run, given the arguments that follow kRendererArgument: limits itself,
/// reads standard input to its end, renders and writes the page. Returns the exit status.
[[nodiscard]] int runRenderer(std::string_view maxDimension);

}  // namespace ostrel::PdfPage
