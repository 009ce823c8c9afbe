#include "app/views/ContentView.h"

#include "app/plotter/AxiDrawPlotterController.h"
#include "app/views/MainWindow.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "app/views/sidebar/ParameterSidebarView.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../shell/ShellFixtures.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QMimeData>
#include <QShowEvent>
#include <QUrl>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

class ContentViewTest : public ::testing::Test {
protected:
    ContentViewTest() { test::ensureQtApp(); }

    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, test::quietEnvironment(settings)};
};

TEST_F(ContentViewTest, TheSidebarAndItsSeparatorComeAndGoWithTheirFlag) {
    ContentView view(model);
    view.resize(1380, 820);
    view.show();
    ASSERT_TRUE(test::spinUntil([&] { return view.canvas()->width() > 0; }));
    const int withSidebar = view.canvas()->width();
    EXPECT_TRUE(view.sidebar()->isVisible());
    EXPECT_EQ(view.sidebar()->width(), ParameterSidebarView::sidebarWidth);

    model.setShowSidebar(false);
    ASSERT_TRUE(test::spinUntil([&] { return view.canvas()->width() == 1380; }));
    EXPECT_FALSE(view.sidebar()->isVisible());
    EXPECT_EQ(withSidebar, 1380 - ParameterSidebarView::sidebarWidth - 1);
}

TEST_F(ContentViewTest, ADropLoadsTheFirstLocalFileElseTheImageData) {
    test::TempDir folder;
    const std::filesystem::path drawing = folder.path() / "drawing.png";
    test::writeDrawing(drawing);
    ContentView view(model);

    QMimeData nothingUsable;
    nothingUsable.setUrls({QUrl("https://example.org/a.png")});
    nothingUsable.setText("not an image");
    EXPECT_FALSE(view.handleDrop(nothingUsable));
    EXPECT_FALSE(view.handleDrop(QMimeData()));

    // A remote address before the local file, and image data beside it: the local file wins.
    QMimeData files;
    files.setUrls({QUrl("https://example.org/a.png"), QUrl::fromLocalFile(QString::fromStdString(drawing.string())),
                   QUrl::fromLocalFile("/elsewhere/b.png")});
    files.setImageData(test::threeStrokeDrawing());
    ASSERT_TRUE(view.handleDrop(files));
    ASSERT_TRUE(test::spinUntil([&] { return model.vectorizer().sourcePath().has_value(); }));
    EXPECT_EQ(model.vectorizer().sourceTitle(), "drawing.png");
    ASSERT_FALSE(model.recentURLs().empty());
    EXPECT_EQ(model.recentURLs().front(), drawing);

    const test::LanguageScope english(AppLanguage::en);
    model.applyZoom(3, {10, 10});
    QMimeData image;
    image.setImageData(test::threeStrokeDrawing());
    ASSERT_TRUE(view.handleDrop(image));
    ASSERT_TRUE(test::spinUntil([&] { return !model.vectorizer().sourcePath().has_value(); }));
    EXPECT_EQ(model.vectorizer().sourceTitle(), "Dropped Image");
    EXPECT_EQ(model.zoomScale(), 1.0);
    EXPECT_EQ(model.panOffset(), QPointF(0, 0));
    EXPECT_EQ(model.recentURLs().size(), 1u);  // a dropped image is not a recent file
}

TEST_F(ContentViewTest, EachSheetLivesExactlyWhileItsFlagIsSet) {
    ContentView view(model);
    using Sheet = ContentView::Sheet;
    EXPECT_EQ(view.sheetDialog(Sheet::about), nullptr);

    model.setShowAbout(true);
    model.setShowExport(true);
    QPointer<QDialog> about = view.sheetDialog(Sheet::about);
    ASSERT_NE(about, nullptr);
    EXPECT_NE(view.sheetDialog(Sheet::exportFile), nullptr);
    EXPECT_EQ(about->windowModality(), Qt::WindowModal);

    // However the dialog ends (Escape, the window manager), its flag follows.
    about->reject();
    EXPECT_FALSE(model.showAbout());
    EXPECT_EQ(view.sheetDialog(Sheet::about), nullptr);
    EXPECT_FALSE(model.showHelp());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());

    model.setShowExport(false);
    EXPECT_EQ(view.sheetDialog(Sheet::exportFile), nullptr);
    model.setShowExport(true);
    EXPECT_NE(view.sheetDialog(Sheet::exportFile), nullptr);
}

TEST_F(ContentViewTest, ALanguageChangeRebuildsTheWindowAndKeepsItsState) {
    ContentView view(model);
    model.setShowSidebar(false);
    const QPointer<CanvasViewportView> before = view.canvas();
    model.setLanguage(AppLanguage::en);
    EXPECT_TRUE(before.isNull());
    EXPECT_NE(view.canvas(), nullptr);
    EXPECT_FALSE(view.sidebar()->isVisibleTo(&view));
}

TEST_F(ContentViewTest, TheFirstAppearanceRunsOnce) {
    MainWindow window(model);
    int appearances = 0;
    window.setFirstAppearance([&] { ++appearances; });
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    window.hide();
    window.show();
    EXPECT_EQ(appearances, 1);
    EXPECT_EQ(window.windowTitle(), "Ostrel");
    EXPECT_EQ(window.content().minimumSize(), QSize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight));
    EXPECT_EQ(window.content().size(), QSize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight));
}

TEST_F(ContentViewTest, ClosingDuringAPlotAsksAndStopsThePlotOnlyWhenConfirmed) {
    model.vectorizer().loadPreset(SyntheticPreset::portrait, true);
    AxiDrawPlotterController& plotter = model.plotter();
    plotter.setSelectedPortPath("virtual://axidraw-simulator");
    MainWindow window(model);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    int questions = 0;
    bool answer = false;
    window.setCloseConfirmation([&](QWidget&) {
        ++questions;
        return answer;
    });

    EXPECT_TRUE(window.close());  // nothing plots: no question
    EXPECT_EQ(questions, 0);
    window.show();

    plotter.startPlot(*model.vectorizer().result());
    ASSERT_TRUE(window.plotIsActive());
    EXPECT_FALSE(window.close());
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.plotIsActive());

    answer = true;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(questions, 2);
    EXPECT_FALSE(window.plotIsActive());
    EXPECT_FALSE(plotter.isPenDown());
}

TEST_F(ContentViewTest, AnOpenSheetSwitchesLanguageWithTheWindow) {
    const test::LanguageScope english(AppLanguage::en);
    model.setLanguage(AppLanguage::en);
    ContentView view(model);
    view.resize(1380, 820);
    view.show();
    model.vectorizer().loadPreset(SyntheticPreset::rosette, true);
    model.setShowExport(true);
    QDialog* sheet = view.sheetDialog(ContentView::Sheet::exportFile);
    ASSERT_NE(sheet, nullptr);
    const auto shows = [&](const char* text) {
        for (const QLabel* label : sheet->findChildren<QLabel*>()) {
            if (label->text() == QString::fromUtf8(text)) return true;
        }
        return false;
    };
    const auto cancel = [&] { return sheet->findChild<QPushButton*>(QStringLiteral("cancel"))->text(); };
    EXPECT_TRUE(shows("Export Vector Plot & AxiDraw Report"));
    EXPECT_EQ(cancel(), "Cancel");

    model.setLanguage(AppLanguage::fr);
    EXPECT_TRUE(shows("Exporter le tracé vectoriel & la fiche AxiDraw"));
    EXPECT_FALSE(shows("Export Vector Plot & AxiDraw Report"));
    EXPECT_EQ(cancel(), "Annuler");
    // Still the same sheet, which keeps the choice and its keys.
    EXPECT_EQ(view.sheetDialog(ContentView::Sheet::exportFile), sheet);
    model.setExportFormat(VectorExportFormat::csv);
    QTest::keyClick(sheet->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::Key_Escape);
    EXPECT_FALSE(model.showExport());
}

}  // namespace
}  // namespace ostrel
