// ostrel-bench-tool: helpers of the side-by-side comparison script (bench/compare_potrace.sh).
//
//   drawing --size 2400 --seed 1 --png out.png --png1 out-1bit.png --pbm out.pbm
//       the seeded synthetic line drawing as an 8-bit grey PNG, a 1-bit PNG (ink where luma < 128) and
//       a raw PBM (ink = 1) for potrace; each output is optional
//   preset --name portrait --width 459 --height 477 [--png …] [--png1 …] [--pbm …]
//       a built-in drawing at the given size, as clip art of that size
//   lettering --width 2400 --height 1100 [--png …] [--png1 …] [--pbm …]
//       lines of black text on white in the interface's sans-serif face, of several sizes
//   boundary-distance --input in.png --lines rendered.png
//       symmetric distance between the dark pixels of a 1 px line rendering and the input's ink boundary
//   iou --input in.png --rendered filled.png
//       intersection over union of the input's ink and the rendered ink
//   plotter-svg --input in.png --algorithm vision_contours -o out.svg (or --output out.svg)
//       the plotter SVG (pen centre lines, no ribbons) in image pixels ("original" paper), other
//       parameters at their defaults: the strokes themselves, which the command line, always in
//       illustration mode, writes only as filled ribbons around them
//
// Results go to standard output as one line of key=value pairs. Exit status 0, or 2 with a message
// on standard error for bad arguments or unreadable images.
#include "core/model/VectorizerParams.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"
#include "benchsupport/QualityMetrics.h"
#include "benchsupport/SyntheticLineDrawing.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace ostrel;
using namespace ostrel::bench;

using Options = std::map<std::string, std::string, std::less<>>;

[[noreturn]] void fail(const std::string& message) {
    std::fputs(("ostrel-bench-tool: " + message + "\n").c_str(), stderr);
    std::exit(2);
}

/// "--key value" pairs after the subcommand; "-o" stands for "--output".
Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 2; i < argc; i += 2) {
        const std::string_view key = argv[i];
        if (!key.starts_with("-") || i + 1 >= argc) fail(fmt::format("bad argument '{}'", key));
        options[key == "-o" ? std::string("output") : std::string(key.substr(key.starts_with("--") ? 2 : 1))] =
            argv[i + 1];
    }
    return options;
}

std::string required(const Options& options, std::string_view key) {
    const auto it = options.find(key);
    if (it == options.end()) fail(fmt::format("missing --{}", key));
    return it->second;
}

long long integerOption(const Options& options, std::string_view key, long long fallback, long long low,
                        long long high) {
    const auto it = options.find(key);
    if (it == options.end()) return fallback;
    long long value = 0;
    const auto& text = it->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        fail(fmt::format("--{} must be an integer in {}...{}", key, low, high));
    return value;
}

/// An 8-bit grey picture of `image`: each luma rounded to nearest and clamped to 0...255.
QImage greyImage(const RasterImage& image) {
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
    QImage out(w, h, QImage::Format_Grayscale8);
    if (out.isNull()) fail("cannot allocate the picture");
    for (int y = 0; y < h; ++y) {
        uchar* row = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const float v = std::round(
                image.luma[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)]);
            row[x] = static_cast<uchar>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    return out;
}

/// Raw PBM ("P4"), the form potrace users keep bitmaps in: 1 bit a pixel, ink (luma below `kInkLuma`)
/// set, most significant bit first, each row padded to whole bytes.
void writePbm(const RasterImage& image, const std::string& path) {
    const auto w = static_cast<std::size_t>(image.width);
    const std::size_t rowBytes = (w + 7) / 8;
    std::string data = fmt::format("P4\n{} {}\n", image.width, image.height);
    const std::size_t header = data.size();
    data.resize(header + rowBytes * static_cast<std::size_t>(image.height), '\0');
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            if (image.luma[y * w + x] >= kInkLuma) continue;
            data[header + y * rowBytes + x / 8] |= static_cast<char>(0x80u >> (x % 8));
        }
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!file.good()) fail("cannot write " + path);
}

/// The outputs --png (8-bit grey), --png1 (1 bit, ink where luma < kInkLuma) and --pbm that were asked for.
int writeOutputs(const RasterImage& drawing, const Options& options) {
    if (const auto png = options.find("png"); png != options.end()) {
        if (!greyImage(drawing).save(QString::fromStdString(png->second), "PNG")) fail("cannot write " + png->second);
    }
    if (const auto png1 = options.find("png1"); png1 != options.end()) {
        QImage bits = greyImage(drawing).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        // Qt thresholds at 128 as kInkLuma does; the two-entry palette keeps black and white.
        if (!bits.save(QString::fromStdString(png1->second), "PNG")) fail("cannot write " + png1->second);
    }
    if (const auto pbm = options.find("pbm"); pbm != options.end()) writePbm(drawing, pbm->second);
    return 0;
}

int runDrawing(const Options& options) {
    const auto size = static_cast<int>(integerOption(options, "size", 2400, 16, 8000));
    const auto seed = static_cast<unsigned>(integerOption(options, "seed", 1, 0, 4294967295LL));
    return writeOutputs(syntheticLineDrawing(size, seed), options);
}

int runPreset(const Options& options) {
    const auto preset = syntheticPresetFromRaw(required(options, "name"));
    if (!preset) fail("unknown preset " + required(options, "name"));
    const auto width = static_cast<int>(integerOption(options, "width", 720, 2, 8000));
    const auto height = static_cast<int>(integerOption(options, "height", 960, 2, 8000));
    return writeOutputs(SyntheticDrawing::generate(*preset, width, height), options);
}

int runLettering(int argc, char** argv, const Options& options) {
    const auto width = static_cast<int>(integerOption(options, "width", 2400, 64, 8000));
    const auto height = static_cast<int>(integerOption(options, "height", 1100, 64, 8000));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication application(argc, argv);  // the font database
    QImage page(width, height, QImage::Format_Grayscale8);
    if (page.isNull()) fail("cannot allocate the picture");
    page.fill(255);
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::black);
        static constexpr const char* kLines[] = {
            "Pack my box with five dozen liquor jugs.", "THE QUICK BROWN FOX JUMPS OVER 0123456789",
            "Sphinx of black quartz, judge my vow!", "Wavy lines, bold & light: @ % ( ) { } ? ;"};
        int y = height / 12;
        int line = 0;
        for (const int pixels : {height / 7, height / 10, height / 14, height / 20, height / 10, height / 16}) {
            QFont font(QStringLiteral("Inter"));
            font.setPixelSize(std::max(pixels, 6));
            font.setWeight(line % 2 == 0 ? QFont::Normal : QFont::Bold);
            painter.setFont(font);
            y += font.pixelSize() * 6 / 5;
            if (y > height) break;
            painter.drawText(width / 40, y, QString::fromLatin1(kLines[line % 4]));
            ++line;
        }
    }
    RasterImage drawing;
    drawing.width = width;
    drawing.height = height;
    drawing.luma.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uchar* row = page.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            drawing.luma[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<float>(row[x]);
        }
    }
    return writeOutputs(drawing, options);
}

QImage readImage(const std::string& path) {
    QImage image(QString::fromStdString(path));
    if (image.isNull()) fail("cannot read " + path);
    return image;
}

int runBoundaryDistance(const Options& options) {
    const QImage input = readImage(required(options, "input"));
    const QImage lines = readImage(required(options, "lines"));
    if (input.size() != lines.size())
        fail(fmt::format("sizes differ: input {}x{}, lines {}x{}", input.width(), input.height(), lines.width(),
                         lines.height()));
    const int w = input.width(), h = input.height();
    const PixelMask boundary = inkBoundary(darkMask(input, kInkLuma), w, h);
    const auto distance = symmetricDistance(darkMask(lines, kLineLuma), boundary, w, h);
    if (!distance) fail("no line pixels or no ink boundary");
    fmt::print("mean_px={:.3f} p95_px={:.3f} samples={}\n", distance->meanPx, distance->p95Px, distance->samples);
    return 0;
}

int runIou(const Options& options) {
    const QImage input = readImage(required(options, "input"));
    const QImage rendered = readImage(required(options, "rendered"));
    if (input.size() != rendered.size())
        fail(fmt::format("sizes differ: input {}x{}, rendered {}x{}", input.width(), input.height(), rendered.width(),
                         rendered.height()));
    const auto iou = intersectionOverUnion(darkMask(input, kInkLuma), darkMask(rendered, kInkLuma));
    fmt::print("iou={:.4f}\n", iou.value_or(0.0));
    return 0;
}

int runPlotterSvg(const Options& options) {
    const std::string input = required(options, "input");
    const std::string output = required(options, "output");
    VectorizerParams params;
    params.outputMode = VectorOutputMode::axidraw;
    params.paperFormat = PaperFormat::original;
    if (const auto it = options.find("algorithm"); it != options.end()) {
        const auto algorithm = enumFromRaw<VectorAlgorithm>(it->second);
        if (!algorithm) fail("unknown algorithm " + it->second);
        params.algorithm = *algorithm;
    }
    const auto image = RasterImage::fromFile(input, 2400);
    if (!image) fail("cannot read " + input);
    const std::string svg = VectorizationEngine::vectorize(*image, params).result.svgAxiDraw;
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(svg.data(), static_cast<std::streamsize>(svg.size()));
    if (!file.good()) fail("cannot write " + output);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    const Options options = parseOptions(argc, argv);
    if (command == "drawing") return runDrawing(options);
    if (command == "preset") return runPreset(options);
    if (command == "lettering") return runLettering(argc, argv, options);
    if (command == "boundary-distance") return runBoundaryDistance(options);
    if (command == "iou") return runIou(options);
    if (command == "plotter-svg") return runPlotterSvg(options);
    std::fputs(
        "usage: ostrel-bench-tool drawing [--size N] [--seed S] [--png FILE] [--png1 FILE] [--pbm FILE]\n"
        "       ostrel-bench-tool preset --name NAME [--width W] [--height H] [--png …] [--png1 …] [--pbm …]\n"
        "       ostrel-bench-tool lettering [--width W] [--height H] [--png …] [--png1 …] [--pbm …]\n"
        "       ostrel-bench-tool boundary-distance --input IMAGE --lines IMAGE\n"
        "       ostrel-bench-tool iou --input IMAGE --rendered IMAGE\n"
        "       ostrel-bench-tool plotter-svg --input IMAGE [--algorithm NAME] -o|--output FILE\n",
        stderr);
    return 2;
}
