#include "app/views/sheets/ExportSheet.h"

#include "app/shell/AppModel.h"
#include "app/views/ContentView.h"
#include "core/export/SVGExporter.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../shell/ShellFixtures.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace ostrel {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ExportSheetTest : public ::testing::Test {
protected:
    ExportSheetTest() {
        test::ensureQtApp();
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        model = std::make_unique<AppModel>(AppModel::Options{}, std::move(environment));
        model->setShowExport(true);
    }

    /// The sheet shown in its own active window, so that its keys arrive.
    std::unique_ptr<ExportSheet> showSheet() {
        auto sheet = std::make_unique<ExportSheet>(*model);
        sheet->show();
        QApplication::setActiveWindow(sheet.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
        return sheet;
    }

    static void click(const ExportSheet& sheet, const char* name) {
        auto* button = sheet.findChild<QAbstractButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    std::string rendered(VectorExportFormat format) const {
        const VectorizerController& document = model->vectorizer();
        return SVGExporter::render(format, *document.result(), document.params());
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    std::shared_ptr<test::ScriptedPanels> panels = std::make_shared<test::ScriptedPanels>();
    std::shared_ptr<test::MemoryPasteboard> pasteboard = std::make_shared<test::MemoryPasteboard>();
    std::unique_ptr<AppModel> model;
    test::TempDir files;
};

TEST_F(ExportSheetTest, RowsListTheFormatsAndAClickOnlySelects) {
    model->vectorizer().loadPreset(SyntheticPreset::rosette, true);
    const auto sheet = showSheet();
    EXPECT_EQ(sheet->width(), ExportSheet::sheetWidth);
    int previousBottom = 0;
    for (const VectorExportFormat format : allCases<VectorExportFormat>()) {
        const QString name = QStringLiteral("format.") + QString::fromUtf8(rawValue(format).data());
        auto* row = sheet->findChild<QAbstractButton*>(name);
        ASSERT_NE(row, nullptr) << name.toStdString();
        EXPECT_GT(row->geometry().top(), previousBottom) << "rows in the order of the formats";
        previousBottom = row->geometry().bottom();
        QStringList texts;
        for (const QLabel* text : row->findChildren<QLabel*>()) texts << text->text();
        EXPECT_EQ(texts, (QStringList{QString::fromStdString(label(format)), QString::fromStdString(detail(format))}));
    }

    click(*sheet, "format.json");
    EXPECT_EQ(model->exportFormat(), VectorExportFormat::json);
    EXPECT_TRUE(model->showExport());
    EXPECT_FALSE(pasteboard->text);
    EXPECT_TRUE(panels->shown.empty());

    // The choice outlives the sheet.
    const ExportSheet again(*model);
    EXPECT_EQ(model->exportFormat(), VectorExportFormat::json);
}

TEST_F(ExportSheetTest, CopyPutsTheChosenFormatOnTheClipboardAndCloses) {
    model->vectorizer().loadPreset(SyntheticPreset::rosette, true);
    struct Case {
        VectorExportFormat format;
        AppLanguage language;
        const char* flash;
    };
    const Case cases[] = {
        {VectorExportFormat::svgPreview, AppLanguage::en, "SVG-PREVIEW export copied to clipboard"},
        {VectorExportFormat::svgPreview, AppLanguage::fr, "Export SVG-PREVIEW copié dans le presse-papiers"},
        {VectorExportFormat::json, AppLanguage::en, "JSON export copied to clipboard"},
        {VectorExportFormat::csv, AppLanguage::en, "CSV export copied to clipboard"},
        {VectorExportFormat::svgAxiDraw, AppLanguage::en, "SVG export copied to clipboard"},
    };
    for (const Case& c : cases) {
        const test::LanguageScope language(c.language);
        model->setShowExport(true);
        pasteboard->text.reset();
        const auto sheet = showSheet();
        click(*sheet, (std::string("format.") + std::string(rawValue(c.format))).c_str());
        click(*sheet, "copy");
        ASSERT_TRUE(pasteboard->text) << c.flash;
        EXPECT_EQ(*pasteboard->text, rendered(c.format)) << c.flash;
        EXPECT_EQ(model->flashMessage(), c.flash);
        EXPECT_FALSE(model->showExport()) << c.flash;
    }
    EXPECT_NE(rendered(VectorExportFormat::svgPreview), rendered(VectorExportFormat::svgAxiDraw));
}

TEST_F(ExportSheetTest, WithoutAResultCopyAndSaveDoNothing) {
    const auto sheet = showSheet();
    click(*sheet, "copy");
    click(*sheet, "save");
    QTest::keyClick(sheet.get(), Qt::Key_Return);
    EXPECT_TRUE(model->showExport());
    EXPECT_FALSE(pasteboard->text);
    EXPECT_TRUE(panels->shown.empty());
    EXPECT_FALSE(model->flashMessage());
}

TEST_F(ExportSheetTest, ReturnSavesUnderTheSuggestedNameAndEscapeCancels) {
    model->vectorizer().loadPreset(SyntheticPreset::rosette, true);
    model->setExportFormat(VectorExportFormat::csv);
    const auto sheet = showSheet();

    // A cancelled panel: nothing written, the sheet stays.
    QTest::keyClick(sheet.get(), Qt::Key_Return);
    ASSERT_EQ(panels->shown.size(), 1u);
    EXPECT_EQ(panels->shown[0].suggestedName, "rosette.csv");
    EXPECT_EQ(panels->shown[0].title, "Export Plot");
    EXPECT_TRUE(model->showExport());
    EXPECT_FALSE(model->flashMessage());

    // A name the user typed, kept as it is.
    const auto target = files.path() / "my plot.data";
    panels->answers = {target};
    QTest::keyClick(sheet.get(), Qt::Key_Enter);
    EXPECT_EQ(readFile(target), rendered(VectorExportFormat::csv));
    EXPECT_EQ(model->flashMessage(), "Exported: my plot.data");
    EXPECT_FALSE(model->showExport());

    // A file that cannot be written: the error, the sheet stays open.
    model->setShowExport(true);
    const auto aFile = files.path() / "a file";
    std::ofstream(aFile) << "in the way";
    panels->answers = {aFile / "plot.csv"};
    click(*sheet, "save");
    ASSERT_TRUE(model->flashMessage());
    EXPECT_TRUE(model->flashMessage()->starts_with("Error: ")) << *model->flashMessage();
    EXPECT_TRUE(model->showExport());
    EXPECT_EQ(model->exportFormat(), VectorExportFormat::csv);

    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(model->showExport());
}

TEST_F(ExportSheetTest, TheWindowsSheetTakesReturnForSave) {
    model->vectorizer().loadPreset(SyntheticPreset::stageArch, true);
    model->setShowExport(false);
    ContentView view(*model);
    view.resize(1200, 800);
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    model->setShowExport(true);
    QDialog* dialog = view.sheetDialog(ContentView::Sheet::exportFile);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->width(), ExportSheet::sheetWidth);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QApplication::setActiveWindow(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));

    QWidget* focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : dialog;
    QTest::keyClick(focus, Qt::Key_Return);
    ASSERT_EQ(panels->shown.size(), 1u) << "Return reached Save…, not Cancel";
    EXPECT_EQ(panels->shown[0].suggestedName, "stage.svg");
    EXPECT_TRUE(model->showExport());

    focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : dialog;
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_FALSE(model->showExport());
    EXPECT_EQ(view.sheetDialog(ContentView::Sheet::exportFile), nullptr);
}

}  // namespace
}  // namespace ostrel
