#include "app/launch/Snapshot.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace ostrel {
namespace {

std::string contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    return text;
}

TEST(Snapshot, RendersAHiddenWidgetAtTheAskedSize) {
    test::ensureQtApp();
    QWidget widget;
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    widget.setPalette(palette);
    const auto png = Snapshot::renderWidgetPNG(widget, QSize(50, 40));
    ASSERT_TRUE(png);
    const QImage image =
        QImage::fromData(reinterpret_cast<const uchar*>(png->data()), static_cast<int>(png->size()), "PNG");
    EXPECT_EQ(image.size(), QSize(50, 40));
    EXPECT_EQ(image.pixelColor(25, 20), QColor(10, 200, 30));
    EXPECT_FALSE(widget.isVisible());
    EXPECT_FALSE(Snapshot::renderWidgetPNG(widget, QSize(1, 40)));
    EXPECT_FALSE(Snapshot::renderWidgetPNG(widget, QSize(40, 0)));
}

TEST(Snapshot, WritesIntoNewFoldersOrFailsWithTheReason) {
    test::TempDir folder;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const std::string path = (folder.path() / "a/b/shot.png").string();
    EXPECT_EQ(Snapshot::writeSnapshot(std::string("PNGDATA"), path, out, err), 0);
    EXPECT_EQ(contents(out), "Snapshot written to " + path + " (7 bytes)\n");
    std::ifstream written(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "PNGDATA");

    std::ofstream(folder.path() / "file") << "x";  // a folder path through a regular file cannot be made
    std::FILE* out2 = std::tmpfile();
    EXPECT_EQ(Snapshot::writeSnapshot(std::string("PNG"), (folder.path() / "file/x.png").string(), out2, err), 1);
    EXPECT_EQ(contents(out2), "");
    EXPECT_EQ(contents(err).rfind("snapshot error: ", 0), 0u);
    EXPECT_GT(contents(err).size(), std::string("snapshot error: \n").size());

    std::FILE* err2 = std::tmpfile();
    EXPECT_EQ(Snapshot::writeSnapshot(std::nullopt, path, out2, err2), 1);
    EXPECT_EQ(contents(err2), "snapshot error: failed to render PNG\n");
    for (std::FILE* f : {out, err, out2, err2}) std::fclose(f);
}

QImage decoded(const std::string& png) {
    return QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
}

/// Pixels of the right half in a pen colour: the vector pane's strokes (the grid, the sheet and
/// the welcome texts are not counted).
int strokePixelsOnTheRight(const QImage& image) {
    const auto isPenColour = [](QColor c) {
        for (const QColor& pen : Theme::penColors()) {
            if (std::abs(c.red() - pen.red()) + std::abs(c.green() - pen.green()) + std::abs(c.blue() - pen.blue()) <
                30) {
                return true;
            }
        }
        return false;
    };
    int count = 0;
    for (int y = 80; y < image.height() - 40; y += 2) {
        for (int x = image.width() / 2 + 300; x < image.width(); x += 2) {
            if (isPenColour(image.pixelColor(x, y))) ++count;
        }
    }
    return count;
}

TEST(Snapshot, EveryViewNameRendersItsPictureAtItsSize) {
    test::ensureQtApp();
    test::TempDir folder;
    struct Case {
        const char* view;
        QSize size;
    };
    const Case cases[] = {{"split", {1380, 820}}, {"EMPTY", {1380, 820}},   {"vector", {1380, 820}},
                          {"about", {650, 470}},  {"Settings", {470, 490}}, {"shortcuts", {820, 340}},
                          {"osc", {760, 480}},    {"help", {760, 520}},     {"no such view", {1380, 820}}};
    for (const Case& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const std::string path = (folder.path() / "views" / (std::string(c.view) + ".png")).string();
        EXPECT_EQ(Snapshot::runCLISnapshot(path, c.view, out, err), 0) << c.view << contents(err);
        EXPECT_EQ(QImage(QString::fromStdString(path)).size(), c.size) << c.view;
        EXPECT_EQ(contents(out).rfind("Snapshot written to " + path + " (", 0), 0u) << c.view;
        std::fclose(out);
        std::fclose(err);
    }
    // The vector view shows the portrait's strokes; the empty window shows none.
    const QImage vector(QString::fromStdString((folder.path() / "views/vector.png").string()));
    const QImage empty(QString::fromStdString((folder.path() / "views/EMPTY.png").string()));
    EXPECT_GT(strokePixelsOnTheRight(vector), 200);
    EXPECT_EQ(strokePixelsOnTheRight(empty), 0);
}

TEST(Snapshot, TheRouteShowsACopyOfTheDocumentInTheAskedView) {
    test::ensureQtApp();
    AppModel::Options options;
    AppModel source(options);
    ModelSnapshotSource snapshots;

    // An empty document: the portrait drawing stands in, and the document stays empty.
    const auto portrait = snapshots.snapshotPNG(source.vectorizer(), "");
    ASSERT_TRUE(portrait);
    EXPECT_EQ(decoded(*portrait).size(), QSize(1380, 820));
    EXPECT_EQ(source.vectorizer().sourceImage(), nullptr);

    source.vectorizer().loadPreset(SyntheticPreset::rosette, true);
    const auto before = source.vectorizer().result()->metrics.pathCount;
    const auto split = snapshots.snapshotPNG(source.vectorizer(), "foo=1");
    const auto vector = snapshots.snapshotPNG(source.vectorizer(), "foo=1&view=vector");
    ASSERT_TRUE(split && vector);
    EXPECT_NE(*split, *vector);
    EXPECT_NE(*split, *portrait);
    EXPECT_EQ(source.vectorizer().result()->metrics.pathCount, before);
    EXPECT_EQ(source.viewMode(), CanvasViewMode::sideBySide);
}

}  // namespace
}  // namespace ostrel
