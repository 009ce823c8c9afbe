#include "core/pdf/PdfPageRenderer.h"

#include "core/pipeline/ImageFileCheck.h"
#include "core/pipeline/PdfPage.h"
#include "core/support/system/FileDescriptor.h"
#include "core/support/text/NumberFormat.h"

#include <QPainter>
#include <QPdfDocument>
#include <QSizeF>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ostrel::PdfPage {

namespace {

// The page's pixel size: its longer side `maxDimension`, each side at least 1; none for a page
// size that is not a positive finite number of points.
std::optional<QSize> renderedSize(QSizeF points, int maxDimension) {
    const double w = points.width();
    const double h = points.height();
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0) return std::nullopt;
    const double scale = maxDimension / std::max(w, h);
    const auto side = [&](double points) {
        const auto pixels = roundedInt64(points * scale);
        return static_cast<int>(std::clamp<std::int64_t>(pixels.value_or(1), 1, maxDimension));
    };
    return QSize(side(w), side(h));
}

// Standard input to its end; none when it fails or holds more than an image file may.
std::optional<QByteArray> readStandardInput() {
    QByteArray bytes;
    constexpr qsizetype kBlock = 1 << 20;
    for (;;) {
        if (bytes.size() > kMaxImageFileBytes) return std::nullopt;
        const qsizetype used = bytes.size();
        bytes.resize(used + kBlock);
        const ssize_t n = ::read(STDIN_FILENO, bytes.data() + used, kBlock);
        if (n < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (n < 0) return std::nullopt;
        bytes.resize(used + n);
        if (n == 0) return bytes;
    }
}

}  // namespace

QImage renderFirstPageHere(const QByteArray& bytes, int maxDimension) {
    if (maxDimension < 1 || !looksLikePdf(bytes)) return {};
    // The document is read from a file, which Qt loads at once (a device may load later).
    const FileDescriptor file = memoryFileOf(bytes);
    if (!file.valid()) return {};
    QPdfDocument document;
    if (document.load(QStringLiteral("/proc/self/fd/%1").arg(file.get())) != QPdfDocument::Error::None) return {};
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1) return {};
    const std::optional<QSize> size = renderedSize(document.pagePointSize(0), maxDimension);
    if (!size) return {};
    const QImage rendered = document.render(0, *size);
    if (rendered.isNull()) return {};
    QImage page(*size, QImage::Format_RGB32);
    if (page.isNull()) return {};
    page.fill(Qt::white);
    QPainter painter(&page);
    if (!painter.isActive()) return {};
    painter.drawImage(QRect(QPoint(0, 0), *size), rendered);
    painter.end();
    return page;
}

int runRenderer(std::string_view maxDimensionText) {
    // Dies with the parent, holds no more data memory than the bound, and leaves no core file.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Not in the sanitizer builds: their allocators reserve address space far beyond the bound.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const rlimit data{static_cast<rlim_t>(kRendererMemoryBytes), static_cast<rlim_t>(kRendererMemoryBytes)};
    ::setrlimit(RLIMIT_DATA, &data);
#endif
    const auto seconds = static_cast<rlim_t>(std::chrono::ceil<std::chrono::seconds>(kRenderTimeLimit).count() + 1);
    const rlimit cpu{seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);

    int maxDimension = 0;
    const auto* end = maxDimensionText.data() + maxDimensionText.size();
    if (std::from_chars(maxDimensionText.data(), end, maxDimension).ptr != end || maxDimension < 1) return 2;

    const std::optional<QByteArray> bytes = readStandardInput();
    if (!bytes) return 2;
    const QImage page = renderFirstPageHere(*bytes, maxDimension);
    if (page.isNull()) return 1;
    return writePage(STDOUT_FILENO, page) ? 0 : 1;
}

}  // namespace ostrel::PdfPage
