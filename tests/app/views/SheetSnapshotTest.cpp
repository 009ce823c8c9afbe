#include "app/launch/Snapshot.h"

#include "app/shell/Theme.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>

namespace ostrel {
namespace {

/// Pixels of the band [top, bottom) that stand out from the panel: text, symbols, fills.
int markedPixels(const QImage& image, int top, int bottom) {
    const QColor panel = Theme::panel();
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - panel.red()) + std::abs(c.green() - panel.green()) +
                    std::abs(c.blue() - panel.blue()) >
                60) {
                ++count;
            }
        }
    }
    return count;
}

TEST(SheetSnapshot, TheReferenceSheetsRenderAtTheirSizesWithContentTopToBottom) {
    test::ensureQtApp();
    test::TempDir folder;
    struct Case {
        const char* view;
        QSize size;
    };
    for (const Case& c : {Case{"about", {650, 470}}, Case{"help", {760, 520}}, Case{"shortcuts", {820, 340}},
                          Case{"osc", {760, 480}}}) {
        SCOPED_TRACE(c.view);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const std::string path = (folder.path() / (std::string(c.view) + ".png")).string();
        ASSERT_EQ(Snapshot::runCLISnapshot(path, c.view, out, err), 0);
        std::fclose(out);
        std::fclose(err);
        const QImage image(QString::fromStdString(path));
        ASSERT_EQ(image.size(), c.size);
        // Content in each third: the header, the body and the closing button row are all there.
        const int third = c.size.height() / 3;
        for (int band = 0; band < 3; ++band) {
            EXPECT_GT(markedPixels(image, band * third, (band + 1) * third), 300) << "band " << band;
        }
    }
}

}  // namespace
}  // namespace ostrel
