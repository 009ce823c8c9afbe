// A PDF document's bytes through the page renderer, in this process (the loader runs it in a bounded
// child; here libFuzzer's own limits bound it): page 0 at a small size, which must come out within
// that size, or not at all.
#include "core/pdf/PdfPageRenderer.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>

// Qt's PDF module keeps the loader state of a document that asks for a password (a few kilobytes a
// document); the program renders in a child that ends after one page, so the leak checker passes it.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:QPdfDocumentPrivate::tryLoadDocument\n"
           "leak:QPdfDocumentPrivate::initiateAsyncLoadWithTotalSizeKnown\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    constexpr int kSide = 48;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage page = PdfPage::renderFirstPageHere(bytes, kSide);
    if (page.isNull()) return 0;
    if (page.width() < 1 || page.height() < 1 || std::max(page.width(), page.height()) != kSide ||
        page.format() != QImage::Format_RGB32) {
        std::abort();
    }
    return 0;
}
