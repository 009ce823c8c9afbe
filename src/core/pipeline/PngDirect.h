// PNG images of the layouts line art comes in, decoded straight from the file's bytes: 8-bit grey,
// 1-bit grey, 1-bit or 8-bit palette, and 8-bit RGB, grey with alpha and RGBA images, not interlaced. The image's whole zlib stream is
// inflated in one call (libdeflate: several times zlib's speed on the large stream of a scan, which
// Qt's reader inflates piece by piece, on one thread) and its rows are unfiltered in place, into an
// image of the format, colour table and pixels Qt's own PNG reader makes of the same file. Every
// other layout, and any file with something unusual (a chunk out of order or not known here, a
// wrong CRC, a stream that does not inflate to exactly the image's rows, an unknown filter, a
// palette index past the palette), is left to Qt's reader, which then reads it as it always did.
#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace ostrel::PngDirect {

/// What the header of a PNG file read here declares: its size and the format Qt's reader gives it.
struct Layout {
    int width = 0;
    int height = 0;
    QImage::Format format = QImage::Format_Invalid;
};

/// The layout of `bytes` when they are a PNG file of a layout read here; none otherwise.
[[nodiscard]] std::optional<Layout> layoutOf(const QByteArray& bytes);

/// The image of `bytes` (whose layout is `layout`), or a null image when they are not a well-formed
/// file of it. Its one buffer first holds the inflated rows, so it takes the larger of the image and
/// the rows; the caller bounds the layout's size before asking.
[[nodiscard]] QImage decode(const QByteArray& bytes, const Layout& layout);

}  // namespace ostrel::PngDirect
