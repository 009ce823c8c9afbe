// Synthetic line drawing: random strokes drawn with QPainter on an 8-bit grey image until the ink
// share reaches 8 %. Random numbers come from std::mt19937 through our own mapping to [0, 1), so the
// image is the same with every standard library.
#include "benchsupport/SyntheticLineDrawing.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>

namespace ostrel::bench {

namespace {

class Random {
public:
    explicit Random(unsigned seed) : engine_(seed) {}
    double unit() { return static_cast<double>(engine_()) / 4294967296.0; }  // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }

private:
    std::mt19937 engine_;
};

double inkShare(const QImage& image) {
    std::size_t ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) ink += row[x] < 128 ? 1 : 0;
    }
    return static_cast<double>(ink) / (static_cast<double>(image.width()) * image.height());
}

}  // namespace

RasterImage syntheticLineDrawing(int size, unsigned seed) {
    QImage image(size, size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    Random random(seed);
    const double s = size;
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(Qt::NoBrush);
        for (int batch = 0; batch < 1000 && inkShare(image) < 0.08; ++batch) {
            for (int i = 0; i < 10; ++i) {
                QPen pen(Qt::black);
                pen.setWidthF(random.range(2.0, 8.0));
                pen.setCapStyle(Qt::RoundCap);
                pen.setJoinStyle(Qt::RoundJoin);
                painter.setPen(pen);
                const double kind = random.unit();
                const QPointF a(random.range(0.02, 0.98) * s, random.range(0.02, 0.98) * s);
                if (kind < 0.35) {
                    const double length = random.range(0.05, 0.4) * s;
                    const double angle = random.range(0.0, 6.283185307179586);
                    painter.drawLine(a, a + QPointF(length * std::cos(angle), length * std::sin(angle)));
                } else if (kind < 0.6) {
                    painter.drawEllipse(a, random.range(0.02, 0.15) * s, random.range(0.02, 0.15) * s);
                } else {
                    QPainterPath path(a);
                    QPointF at = a;
                    const int pieces = 1 + static_cast<int>(random.unit() * 4);
                    for (int k = 0; k < pieces; ++k) {
                        const auto step = [&] { return random.range(-0.12, 0.12) * s; };
                        const QPointF c1 = at + QPointF(step(), step());
                        const QPointF c2 = at + QPointF(step(), step());
                        at += QPointF(step(), step());
                        path.cubicTo(c1, c2, at);
                    }
                    painter.drawPath(path);
                }
            }
        }
    }
    auto raster = RasterImage::fromImage(image, size);
    if (!raster) {
        std::fputs("cannot make the synthetic drawing\n", stderr);
        std::exit(1);
    }
    return *raster;
}

RasterImage loadBenchImage(int& argc, char** argv) {
    constexpr std::string_view kFlag = "--image=";
    const char* path = nullptr;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg.substr(0, kFlag.size()) == kFlag) {
            path = argv[i] + kFlag.size();
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (path == nullptr) return syntheticLineDrawing();
    auto raster = RasterImage::fromFile(path, 2400);
    if (!raster) {
        std::fprintf(stderr, "cannot read image: %s\n", path);
        std::exit(1);
    }
    return *raster;
}

}  // namespace ostrel::bench
