// How a test's PDF pages are rendered for the length of a scope: by the built program's renderer
// child (as the program and its window render them), or in the calling thread by a renderer the test
// links. Afterwards the test program renders none.
#pragma once

#include "core/pipeline/PdfPage.h"

#include <chrono>

namespace ostrel::test {

class PdfRendererScope {
public:
    /// Pages rendered by the built program's renderer child, held to `limit`.
    explicit PdfRendererScope(std::chrono::milliseconds limit = PdfPage::kRenderTimeLimit) {
        PdfPage::setRendererProgram(OSTREL_BINARY, limit);
    }
    /// Pages rendered in the calling thread by `renderer`.
    explicit PdfRendererScope(PdfPage::PageRenderer renderer) { PdfPage::setInProcessRenderer(renderer); }
    ~PdfRendererScope() {
        PdfPage::setRendererProgram({});
        PdfPage::setInProcessRenderer(nullptr);
    }
    PdfRendererScope(const PdfRendererScope&) = delete;
    PdfRendererScope& operator=(const PdfRendererScope&) = delete;
};

}  // namespace ostrel::test
