#include "core/pipeline/PdfPage.h"
#include "core/pdf/PdfPageRenderer.h"
#include "core/pipeline/RasterImage.h"
#include "core/pipeline/VectorizationEngine.h"

#include "testsupport/PdfRendererScope.h"
#include "testsupport/TempDir.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace ostrel {
namespace {

namespace fs = std::filesystem;

fs::path corpusFile(const char* name) { return fs::path(OSTREL_SOURCE_DIR) / "tests/fuzz/corpus/pdf_file" / name; }

QByteArray bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return QByteArray::fromStdString(bytes);
}

using test::PdfRendererScope;

// Pages rendered in the built program's child, or in this thread.
PdfRendererScope rendererScope(bool inChild) {
    return inChild ? PdfRendererScope() : PdfRendererScope(&PdfPage::renderFirstPageHere);
}

// The darkness (255 - luma) of the raster summed over a square of 2r + 1 pixels around (x, y).
float inkAround(const RasterImage& raster, std::int64_t x, std::int64_t y, std::int64_t r) {
    float ink = 0;
    for (std::int64_t yy = std::max<std::int64_t>(0, y - r); yy <= std::min(raster.height - 1, y + r); ++yy) {
        for (std::int64_t xx = std::max<std::int64_t>(0, x - r); xx <= std::min(raster.width - 1, x + r); ++xx) {
            ink += 255.0f - raster.luma[std::size_t(yy * raster.width + xx)];
        }
    }
    return ink;
}

// The first page at the kept size, on white, in this process and in the child alike: the A4 line
// drawing's strokes where they are drawn and white elsewhere; of two pages only the first.
TEST(PdfPage, TheFirstPageIsRenderedOnWhiteAtTheKeptSize) {
    test::TempDir dir;
    for (const bool inChild : {false, true}) {
        SCOPED_TRACE(inChild ? "child" : "in process");
        const auto renderer = rendererScope(inChild);
        const auto drawing = RasterImage::fromFile(corpusFile("line-drawing.pdf").string(), kDocumentMaxDimension);
        ASSERT_TRUE(drawing);
        // 595 × 842 points: the longer side at 2400, the other round(595 × 2400 / 842).
        EXPECT_EQ(drawing->width, 1696);
        EXPECT_EQ(drawing->height, 2400);
        const double scale = 2400.0 / 842.0;
        const auto px = [&](double points) { return std::int64_t(std::lround(points * scale)); };
        EXPECT_GT(inkAround(*drawing, px(300), px(842 - 700), 2), 20 * 255.0f) << "the 12-point line";
        EXPECT_GT(inkAround(*drawing, px(190), px(842 - 535), 2), 20 * 255.0f) << "the diagonal";
        EXPECT_EQ(inkAround(*drawing, px(60), px(60), 10), 0.0f) << "white paper, no transparency";

        const auto first = RasterImage::fromFile(corpusFile("two-pages.pdf").string(), kDocumentMaxDimension);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->width, 2400);  // 400 × 300 points, landscape: the second page is portrait
        EXPECT_EQ(first->height, 1800);
        EXPECT_GT(inkAround(*first, 1200, 900, 2), 20 * 255.0f) << "the first page's horizontal line";
        EXPECT_EQ(inkAround(*first, 900, 1400, 5), 0.0f) << "nothing of the second page's vertical line";

        const auto small = RasterImage::fromFile(corpusFile("two-pages.pdf").string(), 64);
        ASSERT_TRUE(small);
        EXPECT_EQ(small->width, 64);
        EXPECT_EQ(small->height, 48);
    }
}

// Documents that give no picture: the loader refuses them as it refuses a broken image.
TEST(PdfPage, DocumentsWithoutAReadableFirstPageGiveNoImage) {
    const QByteArray drawing = bytesOf(corpusFile("line-drawing.pdf"));
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"no page", bytesOf(corpusFile("no-page.pdf"))},
        {"a password it does not give", bytesOf(corpusFile("encrypted.pdf"))},
        {"a header and nothing else", QByteArray("%PDF-1.7\n")},
        {"the first 200 bytes", drawing.left(200)},
        {"garbage after the header", QByteArray("%PDF-1.4\n") + QByteArray(4000, '\x9c')},
    };
    test::TempDir dir;
    for (const bool inChild : {false, true}) {
        const auto renderer = rendererScope(inChild);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (inChild ? ", child" : ", in process"));
            EXPECT_TRUE(PdfPage::renderFirstPage(c.bytes, kDocumentMaxDimension).isNull());
            const fs::path file = dir.path() / "bad.pdf";
            std::ofstream(file, std::ios::binary | std::ios::trunc).write(c.bytes.constData(), c.bytes.size());
            EXPECT_FALSE(RasterImage::fromFile(file.string(), kDocumentMaxDimension));
        }
    }
    EXPECT_FALSE(PdfPage::looksLikePdf(QByteArray("\x89PNG\r\n\x1A\n", 8)));
    EXPECT_TRUE(PdfPage::looksLikePdf(QByteArray(100, ' ') + "%PDF-1.3"));
}

// A program that renders no page gives none, and refuses the file as it refuses a broken image: one
// that set no renderer, and one whose renderer program cannot load its renderer module (a copy of the
// program without the module beside it).
TEST(PdfPage, WithoutARendererAGoodDocumentGivesNoImage) {
    const fs::path file = corpusFile("line-drawing.pdf");
    const QByteArray drawing = bytesOf(file);
    test::TempDir dir;
    const fs::path lonelyProgram = dir.path() / "Ostrel";
    fs::copy_file(OSTREL_BINARY, lonelyProgram);
    for (const bool lonelyChild : {false, true}) {
        SCOPED_TRACE(lonelyChild ? "a renderer program without its module" : "no renderer");
        if (lonelyChild) PdfPage::setRendererProgram(lonelyProgram.string());
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(PdfPage::renderFirstPage(drawing, kDocumentMaxDimension).isNull());
        EXPECT_FALSE(RasterImage::fromFile(file.string(), kDocumentMaxDimension));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "refused, not waited out";
        PdfPage::setRendererProgram({});
    }
    const PdfRendererScope child;
    EXPECT_FALSE(PdfPage::renderFirstPage(drawing, kDocumentMaxDimension).isNull()) << "the built program renders";
}

// A render that outlasts its time limit is cut there: the child is killed and reaped, and the page
// refused. (A limit shorter than the child's own start makes any document outlast it.)
TEST(PdfPage, ARenderPastTheTimeLimitIsCut) {
    const QByteArray drawing = bytesOf(corpusFile("line-drawing.pdf"));
    {
        const PdfRendererScope child(std::chrono::milliseconds(1));
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(PdfPage::renderFirstPage(drawing, kDocumentMaxDimension).isNull());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "cut, not waited out";
        errno = 0;
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child left behind";
        EXPECT_EQ(errno, ECHILD);
    }
    const PdfRendererScope child;
    EXPECT_FALSE(PdfPage::renderFirstPage(drawing, kDocumentMaxDimension).isNull());
}

// The strokes of a vector drawing in a PDF file are those of the same drawing rasterised to a PNG
// file at the kept size, within a pixel or two of each other.
TEST(PdfPage, AVectorDrawingGivesTheStrokesOfTheSameDrawingInPng) {
    QPainterPath lines;
    lines.moveTo(40, 60);
    lines.lineTo(360, 60);
    lines.moveTo(50, 250);
    lines.cubicTo(120, 120, 250, 300, 350, 140);
    lines.addEllipse(QPointF(150, 120), 50, 25);
    const auto draw = [&lines](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::black, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(lines);
    };
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QSizeF(400, 300), QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(72);
        QPainter painter(&writer);
        draw(painter);
    }
    QImage png(2400, 1800, QImage::Format_RGB32);
    png.fill(Qt::white);
    {
        QPainter painter(&png);
        painter.scale(6.0, 6.0);
        draw(painter);
    }
    test::TempDir dir;
    const fs::path pdfFile = dir.path() / "drawing.pdf";
    const fs::path pngFile = dir.path() / "drawing.png";
    std::ofstream(pdfFile, std::ios::binary).write(pdf.constData(), pdf.size());
    ASSERT_TRUE(png.save(QString::fromStdString(pngFile.string()), "PNG"));

    const PdfRendererScope child;
    const auto fromPdf = RasterImage::fromFile(pdfFile.string(), kDocumentMaxDimension);
    const auto fromPng = RasterImage::fromFile(pngFile.string(), kDocumentMaxDimension);
    ASSERT_TRUE(fromPdf && fromPng);
    ASSERT_EQ(fromPdf->width, fromPng->width);
    ASSERT_EQ(fromPdf->height, fromPng->height);

    const VectorizerParams params;
    const auto strokesOf = [&params](const RasterImage& image) {
        std::vector<std::vector<VectorPoint>> strokes;
        for (const auto& layer : VectorizationEngine::vectorize(image, params).result.layers) {
            for (const auto& path : layer.paths) strokes.push_back(path.points);
        }
        return strokes;
    };
    const auto pdfStrokes = strokesOf(*fromPdf);
    const auto pngStrokes = strokesOf(*fromPng);
    ASSERT_FALSE(pngStrokes.empty());
    EXPECT_EQ(pdfStrokes.size(), pngStrokes.size());

    // Every point of one set lies within 2 pixels of a segment of the other.
    const auto distanceToStrokes = [](const VectorPoint& p, const std::vector<std::vector<VectorPoint>>& strokes) {
        double best = std::numeric_limits<double>::infinity();
        for (const auto& stroke : strokes) {
            for (std::size_t i = 0; i < stroke.size(); ++i) {
                const VectorPoint& a = stroke[i];
                const VectorPoint& b = stroke[std::min(i + 1, stroke.size() - 1)];
                const double dx = b.x - a.x;
                const double dy = b.y - a.y;
                const double length2 = dx * dx + dy * dy;
                const double t =
                    length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0;
                best = std::min(best, std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)));
            }
        }
        return best;
    };
    for (const auto& [from, to, what] :
         {std::tuple{&pdfStrokes, &pngStrokes, "PDF to PNG"}, std::tuple{&pngStrokes, &pdfStrokes, "PNG to PDF"}}) {
        double worst = 0;
        for (const auto& stroke : *from) {
            for (const VectorPoint& p : stroke) worst = std::max(worst, distanceToStrokes(p, *to));
        }
        EXPECT_LE(worst, 2.0) << what;
    }
}

}  // namespace
}  // namespace ostrel
