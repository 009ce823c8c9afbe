#include "app/shell/AppModel.h"
#include "app/shell/DesktopServices.h"

#include "app/shell/ShellFixtures.h"
#include "core/export/SVGExporter.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <QUrl>

#include <fstream>
#include <unistd.h>
#include <sstream>

namespace ostrel {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FileActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        model = std::make_unique<AppModel>(AppModel::Options{false, true, false}, std::move(environment));
    }

    /// Loads the three-stroke drawing from a file and vectorizes it at once.
    void loadVectorized(const std::string& name = "scan.final.png") {
        const auto path = files.path() / name;
        test::writeDrawing(path);
        ASSERT_TRUE(model->open(path));
        model->vectorizer().runSynchronousVectorization();
        ASSERT_TRUE(model->vectorizer().result());
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    std::shared_ptr<test::ScriptedPanels> panels = std::make_shared<test::ScriptedPanels>();
    std::shared_ptr<test::MemoryPasteboard> pasteboard = std::make_shared<test::MemoryPasteboard>();
    std::unique_ptr<AppModel> model;
    test::TempDir files;
};

TEST_F(FileActionsTest, SuggestedNamesFollowTheDocument) {
    EXPECT_EQ(model->saveBaseName(), "vectorized");
    model->vectorizer().loadPreset(SyntheticPreset::stageArch, true);
    EXPECT_EQ(model->saveBaseName(), "stage");
    loadVectorized("scan.final.png");
    EXPECT_EQ(model->saveBaseName(), "scan.final");

    panels->answers = {std::nullopt, std::nullopt, std::nullopt};
    model->saveSVGPushPanel();
    model->setExportFormat(VectorExportFormat::json);
    model->saveExport();
    model->setExportFormat(VectorExportFormat::svgPreview);
    model->saveExport();
    ASSERT_EQ(panels->shown.size(), 3u);
    EXPECT_EQ(panels->shown[0].suggestedName, "scan.final-axidraw.svg");
    EXPECT_EQ(panels->shown[0].title, "Save AxiDraw SVG");
    EXPECT_EQ(panels->shown[0].filters, QStringList{"SVG (*.svg)"});
    EXPECT_EQ(panels->shown[1].suggestedName, "scan.final.json");
    EXPECT_EQ(panels->shown[1].title, "Export Plot");
    EXPECT_TRUE(panels->shown[1].filters.isEmpty());
    EXPECT_EQ(panels->shown[2].suggestedName, "scan.final.svg");
}

TEST_F(FileActionsTest, OpenPanelOffersTheDecodableImagesAndOpensTheChoice) {
    const auto path = files.path() / "pick.png";
    test::writeDrawing(path);
    panels->answers = {std::nullopt, path};
    model->openImagePanel();  // cancelled
    EXPECT_FALSE(model->vectorizer().sourcePath());
    model->openImagePanel();
    EXPECT_EQ(model->vectorizer().sourcePath(), path.string());
    ASSERT_EQ(panels->shown.size(), 2u);
    EXPECT_EQ(panels->shown[0].title, "Open Drawing or Image");
    const QString filter = panels->shown[0].filters.join(' ');
    EXPECT_TRUE(filter.contains("*.png"));
    EXPECT_TRUE(filter.contains("*.jpg"));
    EXPECT_TRUE(filter.contains("*.pdf")) << "the first page of a PDF file opens too";
}

TEST_F(FileActionsTest, AnUnreadableFileKeepsTheView) {
    loadVectorized();
    model->setSelectedPathIDs({1});
    model->applyZoom(2, {15, 5});
    const auto zoom = model->zoomScale();
    const auto pan = model->panOffset();
    const auto recent = model->recentURLs();
    const auto broken = files.path() / "broken.png";
    std::ofstream(broken) << "not an image";
    EXPECT_FALSE(model->open(broken));
    EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>{1});
    EXPECT_EQ(model->zoomScale(), zoom);
    EXPECT_EQ(model->panOffset(), pan);
    EXPECT_EQ(model->recentURLs(), recent);
    EXPECT_EQ(model->vectorizer().statusMessage(), "Could not load image \"broken.png\".");
}

TEST_F(FileActionsTest, PasteOpensALocalFileBeforeImageData) {
    const auto path = files.path() / "pasted.png";
    test::writeDrawing(path);
    pasteboard->files = {path};
    pasteboard->picture = test::threeStrokeDrawing();
    model->applyZoom(3, {0, 0});
    model->pasteImageFromClipboard();
    EXPECT_EQ(model->vectorizer().sourcePath(), path.string());
    EXPECT_EQ(model->recentURLs().front(), path);
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1);
    EXPECT_FALSE(model->flashMessage()) << "opening a file has no flash of its own";
}

TEST_F(FileActionsTest, PasteInstallsImageDataWhenNoLocalFileIsNamed) {
    // A web address on the clipboard does not count: the image data is pasted.
    pasteboard->files = localFilesAmong({QUrl("https://example.org/a.png")});
    EXPECT_TRUE(pasteboard->files.empty());
    pasteboard->picture = test::threeStrokeDrawing();
    model->setSelectedPathIDs({3});
    model->applyZoom(3, {4, 0});
    model->pasteImageFromClipboard();
    EXPECT_EQ(model->vectorizer().sourceTitle(), "Clipboard");
    EXPECT_FALSE(model->vectorizer().sourcePath());
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1);
    EXPECT_EQ(model->panOffset(), QPointF(0, 0));
    EXPECT_EQ(model->flashMessage(), "Image pasted from clipboard");
    EXPECT_TRUE(model->recentURLs().empty()) << "a pasted image is never recent";
}

TEST_F(FileActionsTest, AFailedPasteReportsNoSuccessAndKeepsTheView) {
    pasteboard->picture = QImage(QSize(3, 3), QImage::Format_Invalid);  // null: nothing pasted at all
    model->pasteImageFromClipboard();
    EXPECT_FALSE(model->flashMessage());

    // An image the document cannot take (a single pixel): its status says why, the view stays.
    pasteboard->picture = QImage(1, 1, QImage::Format_RGB32);
    pasteboard->picture.fill(Qt::black);
    model->applyZoom(2, {0, 0});
    model->pasteImageFromClipboard();
    EXPECT_FALSE(model->flashMessage());
    EXPECT_DOUBLE_EQ(model->zoomScale(), 2);
    EXPECT_EQ(model->vectorizer().statusMessage(), "Unsupported image format.");
}

TEST(LocalFiles, OnlyFileAddressesCount) {
    const auto files = localFilesAmong({QUrl("https://example.org/x.png"), QUrl::fromLocalFile("/tmp/a b.png"),
                                        QUrl("ftp://host/y.png"), QUrl::fromLocalFile("/tmp/c.png")});
    EXPECT_EQ(files, (std::vector<std::filesystem::path>{"/tmp/a b.png", "/tmp/c.png"}));
}

TEST_F(FileActionsTest, CopiesPutPlainTextOnTheClipboard) {
    model->copySVGToPasteboard();
    model->copyExport();
    EXPECT_FALSE(pasteboard->text) << "no result: nothing";
    loadVectorized();
    const auto& result = *model->vectorizer().result();
    model->copySVGToPasteboard();
    EXPECT_EQ(pasteboard->text, result.svgAxiDraw);
    EXPECT_EQ(model->flashMessage(),
              "AxiDraw SVG copied to clipboard (" + std::to_string(result.metrics.pathCount) + " paths)");

    model->setShowExport(true);
    model->setExportFormat(VectorExportFormat::csv);
    model->copyExport();
    EXPECT_EQ(pasteboard->text, SVGExporter::render(VectorExportFormat::csv, result, model->vectorizer().params()));
    EXPECT_FALSE(model->showExport());
    EXPECT_EQ(model->flashMessage(), "CSV export copied to clipboard");
    test::LanguageScope french(AppLanguage::fr);
    model->setExportFormat(VectorExportFormat::svgPreview);
    model->copyExport();
    EXPECT_EQ(model->flashMessage(), "Export SVG-PREVIEW copié dans le presse-papiers");
}

TEST_F(FileActionsTest, SavingWritesTheFileAndClosesTheSheet) {
    loadVectorized();
    const auto svgTarget = files.path() / "out" / "plot.svg";
    panels->answers = {svgTarget};
    model->saveSVGPushPanel();
    EXPECT_EQ(readFile(svgTarget), model->vectorizer().result()->svgAxiDraw);
    EXPECT_EQ(model->flashMessage(), "Saved: plot.svg");

    model->setShowExport(true);
    model->setExportFormat(VectorExportFormat::txt);
    panels->answers = {std::nullopt};
    model->flash("none");
    model->saveExport();
    EXPECT_TRUE(model->showExport()) << "cancel keeps the sheet open";
    EXPECT_EQ(model->flashMessage(), "none");

    const auto textTarget = files.path() / "sheet.txt";
    panels->answers = {textTarget};
    model->saveExport();
    EXPECT_FALSE(model->showExport());
    EXPECT_EQ(model->flashMessage(), "Exported: sheet.txt");
    EXPECT_EQ(readFile(textTarget), SVGExporter::render(VectorExportFormat::txt, *model->vectorizer().result(),
                                                        model->vectorizer().params()));
}

TEST_F(FileActionsTest, ANameTypedWithoutAnExtensionGetsTheFormats) {
    loadVectorized();
    const struct {
        std::optional<VectorExportFormat> format;  // none: the plotter SVG
        const char* typed;
        const char* written;
    } cases[] = {
        {std::nullopt, "out2", "out2.svg"},
        {std::nullopt, "out3.svg", "out3.svg"},
        {VectorExportFormat::csv, "sheet", "sheet.csv"},
        {VectorExportFormat::svgPreview, "preview", "preview.svg"},
        {VectorExportFormat::json, "plot.data", "plot.data"},  // an extension of the person's own stays
        {VectorExportFormat::txt, "notes.TXT", "notes.TXT"},
    };
    for (const auto& c : cases) {
        panels->answers = {files.path() / c.typed};
        if (c.format) {
            model->setExportFormat(*c.format);
            model->saveExport();
        } else {
            model->saveSVGPushPanel();
        }
        EXPECT_TRUE(std::filesystem::is_regular_file(files.path() / c.written)) << c.typed;
        EXPECT_EQ(panels->shown.back().defaultSuffix, c.format ? QString::fromUtf8(fileExtension(*c.format)) : "svg");
        if (std::string(c.typed) != c.written) {
            EXPECT_FALSE(std::filesystem::exists(files.path() / c.typed)) << c.typed;
        }
    }
}

TEST_F(FileActionsTest, PanelsStartBesideTheImageElseInTheLastFolderUsed) {
    // Nothing open and nothing chosen yet: the most recent file's folder (none here: the panel's own).
    panels->answers = {std::nullopt};
    model->openImagePanel();
    EXPECT_EQ(panels->shown.back().folder, std::filesystem::path());

    loadVectorized("scans/drawing.png");
    panels->answers = {std::nullopt, std::nullopt, files.path() / "exports" / "out.svg", std::nullopt};
    model->openImagePanel();
    EXPECT_EQ(panels->shown.back().folder, files.path() / "scans");
    model->saveSVGPushPanel();
    EXPECT_EQ(panels->shown.back().folder, files.path() / "scans");
    model->saveExport();  // chosen in another folder: still beside the image next time
    model->saveExport();
    EXPECT_EQ(panels->shown.back().folder, files.path() / "scans");

    // A pasted image has no folder: the last folder chosen in a panel.
    pasteboard->picture = test::threeStrokeDrawing();
    model->pasteImageFromClipboard();
    ASSERT_FALSE(model->vectorizer().sourcePath());
    panels->answers = {std::nullopt};
    model->openImagePanel();
    EXPECT_EQ(panels->shown.back().folder, files.path() / "exports");

    // A fresh start reading the same recent list begins in the most recent file's folder.
    AppModel::Environment environment;
    environment.settings = &settings;
    environment.panels = panels;
    environment.pasteboard = pasteboard;
    AppModel next(AppModel::Options{false, true, false}, std::move(environment));
    panels->answers = {std::nullopt};
    next.openImagePanel();
    EXPECT_EQ(panels->shown.back().folder, files.path() / "scans");
}

TEST_F(FileActionsTest, AFailedWriteLeavesTheTargetAndKeepsTheSheetOpen) {
    loadVectorized();
    // A folder in the way: nothing can replace it, and what it holds stays.
    const auto folder = files.path() / "plot.json";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "kept.txt") << "saved before";
    std::vector<std::filesystem::path> targets{folder};
    // A folder that cannot be written (not for root, who writes anywhere): the file there keeps its bytes.
    const auto locked = files.path() / "locked";
    std::filesystem::create_directories(locked);
    std::ofstream(locked / "plot.json") << "saved before";
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) targets.push_back(locked / "plot.json");

    model->setExportFormat(VectorExportFormat::json);
    for (const auto& target : targets) {
        model->setShowExport(true);
        panels->answers = {target, target};
        model->saveExport();
        EXPECT_TRUE(model->showExport()) << target;
        EXPECT_TRUE(model->flashMessage()->starts_with("Error: ")) << *model->flashMessage();
        model->saveSVGPushPanel();
        EXPECT_TRUE(model->flashMessage()->starts_with("Write error: ")) << *model->flashMessage();
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(readFile(folder / "kept.txt"), "saved before");
    EXPECT_EQ(readFile(locked / "plot.json"), "saved before");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace ostrel
