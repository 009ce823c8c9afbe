#include "app/launch/Snapshot.h"

#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QLayout>
#include <QPixmap>
#include <QWidget>

namespace ostrel::Snapshot {

std::optional<std::string> renderWidgetPNG(QWidget& widget, QSize size) {
    if (!(size.width() > 1 && size.height() > 1)) return std::nullopt;
    widget.setAttribute(Qt::WA_DontShowOnScreen, true);
    widget.resize(size);
    widget.ensurePolished();
    if (QLayout* layout = widget.layout()) layout->activate();
    // Deliver what is queued (layout requests, model signals) before drawing; nothing waits on a clock.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QImage image = widget.grab(QRect(QPoint(0, 0), size)).toImage();
    if (image.isNull() || image.width() <= 1 || image.height() <= 1) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

int writeSnapshot(const std::optional<std::string>& png, const std::string& outputPath, std::FILE* out,
                  std::FILE* err) {
    if (!png) {
        std::fputs("snapshot error: failed to render PNG\n", err);
        return 1;
    }
    const std::string path = expandUserPath(outputPath);
    try {
        writeFileAtomically(path, *png);
    } catch (const Error& error) {
        std::fprintf(err, "snapshot error: %s\n", error.message().c_str());
        return 1;
    }
    std::fprintf(out, "Snapshot written to %s (%zu bytes)\n", path.c_str(), png->size());
    std::fflush(out);
    return 0;
}

}  // namespace ostrel::Snapshot
