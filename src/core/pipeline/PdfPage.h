// The first page of a PDF document as a picture: rendered by Qt's PDF module on white, at the size
// whose longer side is the size asked for (a vector page has no size of its own in pixels).
//
// A hostile document can ask for any time and memory (a huge page, deep object graphs, streams that
// inflate without end), and the renderer cannot be interrupted from outside. So a program that can
// start itself as a renderer (it calls setRendererProgram and handles kRendererArgument first thing
// in main) renders in a child process held to kRenderTimeLimit and kRendererMemoryBytes, killed when
// it takes longer; a program that cannot (a test, a fuzz target) renders in the calling thread with
// the renderer it sets by setInProcessRenderer.
//
// This side starts the child and reads its page; it does not link Qt's PDF module (nor the network
// library that comes with it), so a program that only reads images never loads it. The rendering
// itself is core/pdf/PdfPageRenderer.h, which only the child (and programs that render in-process)
// loads.
//
// The child reads the document from its standard input and writes, to its standard output, the
// page's width and height (32-bit little-endian) and then its rows of 32-bit pixels (0xffRRGGBB),
// with no padding; it exits 0 only when it wrote a whole page.
#pragma once

#include "core/pipeline/PdfRendererChild.h"
#include "core/support/system/FileDescriptor.h"

#include <QByteArray>
#include <QImage>

#include <chrono>
#include <string>

namespace ostrel::PdfPage {

/// Renders page 0 of a document in the calling thread, without bounds (what renderFirstPage
/// promises, given the same arguments).
using PageRenderer = QImage (*)(const QByteArray& bytes, int maxDimension);

/// True when `bytes` hold a PDF header ("%PDF-") within their first 1024 bytes, where readers look.
[[nodiscard]] bool looksLikePdf(const QByteArray& bytes) noexcept;

/// Page 0 of the document in `bytes`, opaque (RGB32) on white, its longer side `maxDimension`
/// pixels and each side at least 1; a null image when the document cannot be read, has no page,
/// needs a password, fails to render, or exceeds the renderer's time or memory; a null image too
/// in a program that set neither a renderer program nor an in-process renderer.
[[nodiscard]] QImage renderFirstPage(const QByteArray& bytes, int maxDimension);

/// The program started as the renderer child (with kRendererArgument and the size), and the time it
/// is given; an empty path renders in the calling thread. Set at start, before any rendering.
void setRendererProgram(std::string path, std::chrono::milliseconds timeLimit = kRenderTimeLimit);

/// The renderer used in the calling thread when no renderer program is set; none (the default)
/// renders nothing.
void setInProcessRenderer(PageRenderer renderer);

/// An anonymous in-memory file holding `bytes`, read from its start; invalid when it cannot be made.
[[nodiscard]] FileDescriptor memoryFileOf(const QByteArray& bytes);

/// Writes `page` (RGB32, each side at least 1) to `fd` as the child's output; false when a write
/// fails.
[[nodiscard]] bool writePage(int fd, const QImage& page);

}  // namespace ostrel::PdfPage
