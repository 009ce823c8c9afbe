#include "app/launch/Snapshot.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdio>
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
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(png->data()), static_cast<int>(png->size()), "PNG");
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

}  // namespace
}  // namespace ostrel
