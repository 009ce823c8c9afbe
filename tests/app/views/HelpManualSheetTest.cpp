#include "app/views/sheets/HelpManualSheet.h"

#include "app/shell/Theme.h"
#include "app/views/ContentView.h"
#include "app/views/sheets/ShortcutsSheet.h"
#include "testsupport/LanguageScope.h"
#include "SheetTestSupport.h"

#include <QDialog>
#include <QLabel>
#include <QTextLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

using ID = HelpManualSheet::SectionID;

void clickRow(HelpManualSheet& sheet, ID section) {
    ClickableRow* row = sheet.sectionRow(section);
    ASSERT_NE(row, nullptr);
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 3, row->height() / 2));
}

std::string shownSection(const HelpManualSheet& sheet) {
    const QString name = sheet.contentPane()->widget()->objectName();
    return name.mid(QStringLiteral("helpSection_").size()).toStdString();
}

TEST(HelpManualSheet, SidebarRowsSelectTheirSectionAndShowWhichIsSelected) {
    test::ensureQtApp();
    const test::LanguageScope scope(AppLanguage::en);
    HelpManualSheet sheet([] {}, [] {});
    sheet.show();
    ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
    EXPECT_EQ(sheet.size(), QSize(760, 520));
    EXPECT_EQ(sheet.selectedSection(), ID::quickStart);
    EXPECT_EQ(shownSection(sheet), "quickStart");

    for (const ID section :
         {ID::oscAndMCP, ID::algorithmsAndANE, ID::axiDrawAndPens, ID::bezierAndJunctions, ID::quickStart}) {
        SCOPED_TRACE(std::string(HelpManualSheet::rawValue(section)));
        clickRow(sheet, section);
        EXPECT_EQ(sheet.selectedSection(), section);
        EXPECT_EQ(shownSection(sheet), HelpManualSheet::rawValue(section));
        for (const ID other : HelpManualSheet::allSections) {
            ClickableRow* row = sheet.sectionRow(other);
            const bool selected = other == section;
            EXPECT_EQ(row->fill(), selected ? Theme::laneSelected() : QColor(Qt::transparent));
            EXPECT_EQ(row->findChild<SymbolGlyph*>()->color(), selected ? Theme::accent() : Theme::textDim());
            const QLabel* title = row->findChild<QLabel*>();
            EXPECT_EQ(title->palette().color(QPalette::WindowText), selected ? Theme::text() : Theme::textDim());
            EXPECT_EQ(title->font().weight(), selected ? QFont::DemiBold : QFont::Normal);
            EXPECT_EQ(title->text().toStdString(), HelpManualSheet::title(other));
        }
    }
    // The selected row again changes nothing: the same page stays.
    QWidget* page = sheet.contentPane()->widget();
    clickRow(sheet, ID::quickStart);
    EXPECT_EQ(sheet.contentPane()->widget(), page);

    clickRow(sheet, ID::oscAndMCP);
    HelpManualSheet another([] {}, [] {});
    EXPECT_EQ(another.selectedSection(), ID::quickStart) << "every new sheet starts at the quick start";
}

TEST(HelpManualSheet, LongSectionsScrollInsideThePaneWhileTheFrameStays) {
    test::ensureQtApp();
    const test::LanguageScope scope(AppLanguage::fr);
    HelpManualSheet sheet([] {}, [] {});
    sheet.show();
    ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
    QScrollArea* pane = sheet.contentPane();
    ASSERT_TRUE(test::spinUntil([&] { return pane->verticalScrollBar()->maximum() > 0; }))
        << "the quick start is taller than the pane";
    const QPoint okBefore = sheet.defaultButton()->mapTo(&sheet, QPoint(0, 0));
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet.defaultButton()->mapTo(&sheet, QPoint(0, 0)), okBefore);
    EXPECT_EQ(sheet.size(), QSize(760, 520));
    EXPECT_GT(okBefore.y(), 520 - 50) << "the footer stays at the bottom";
    // Every text of the pane wraps within it: nothing is cut at the right.
    for (const QLabel* label : pane->widget()->findChildren<QLabel*>()) {
        EXPECT_LE(label->mapTo(pane->widget(), QPoint(label->width(), 0)).x(), pane->viewport()->width())
            << label->text().toStdString();
    }
}

TEST(HelpManualSheet, FooterActionsRunInTheirOrder) {
    test::ensureQtApp();
    struct Case {
        const char* name;
        std::function<void(HelpManualSheet&)> act;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"shortcuts button", [](HelpManualSheet& s) { s.shortcutsButton()->click(); }, {"close", "openShortcuts"}},
        {"OK", [](HelpManualSheet& s) { s.defaultButton()->click(); }, {"close"}},
        {"Return", [](HelpManualSheet& s) { test::pressKey(s, Qt::Key_Return); }, {"close"}},
        {"Escape", [](HelpManualSheet& s) { test::pressKey(s, Qt::Key_Escape); }, {"close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CallLog log;
        HelpManualSheet sheet(log.recorder("openShortcuts"), log.recorder("close"));
        c.act(sheet);
        EXPECT_EQ(log.calls, c.calls);
    }
}

TEST(HelpManualSheet, TheGuideSaysWhatThisBuildUsesInBothLanguages) {
    test::ensureQtApp();
    struct Case {
        AppLanguage language;
        const char* presetsMenu;
        const char* shortcuts;
    };
    const std::string bridge = SheetParts::mcpBridgePath();
    for (const Case& c : {Case{AppLanguage::fr, "« Modèles »", "Raccourcis clavier (Ctrl+/)"},
                          Case{AppLanguage::en, "\"Presets\"", "Keyboard Shortcuts (Ctrl+/)"}}) {
        const test::LanguageScope scope(c.language);
        HelpManualSheet sheet([] {}, [] {});
        EXPECT_TRUE(test::showsTextContaining(*sheet.contentPane()->widget(), c.presetsMenu));
        EXPECT_TRUE(test::showsText(*sheet.shortcutsButton(), c.shortcuts));
        EXPECT_TRUE(test::showsText(sheet, SheetParts::versionBadgeText(AppVersion::current())));
        bool namesTheBridge = false;
        sheet.show();
        ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
        for (const ID section : HelpManualSheet::allSections) {
            sheet.selectSection(section);
            QCoreApplication::processEvents();
            for (const ID any : HelpManualSheet::allSections) {
                const QLabel* title = sheet.sectionRow(any)->findChild<QLabel*>();
                EXPECT_LE(title->fontMetrics().horizontalAdvance(title->text()), title->width())
                    << "sidebar title cut: " << title->text().toStdString();
            }
            for (const std::string& text : test::labelTexts(*sheet.contentPane()->widget())) {
                SCOPED_TRACE(text);
                for (const char* claim : {"⌘", "⇧", "⌥", "⌫", "Apple", "/Applications", "Accelerate", "vDSP", "Mac"}) {
                    EXPECT_EQ(text.find(claim), std::string::npos) << claim;
                }
                namesTheBridge = namesTheBridge || text.find(bridge) != std::string::npos;
            }
        }
        EXPECT_TRUE(namesTheBridge) << "the MCP bullet names the bridge installed beside the program";
    }
}

TEST(HelpManualSheet, OpenGuideAndShortcutsFollowTheModelsLanguage) {
    test::ensureQtApp();
    const test::LanguageScope scope(AppLanguage::fr);
    test::SheetModel fixture;
    AppModel& model = *fixture.model;
    model.setLanguage(AppLanguage::fr);
    ContentView view(model);
    model.setShowHelp(true);
    model.setShowShortcuts(true);
    QDialog* help = view.sheetDialog(ContentView::Sheet::help);
    QDialog* shortcuts = view.sheetDialog(ContentView::Sheet::shortcuts);
    ASSERT_NE(help, nullptr);
    ASSERT_NE(shortcuts, nullptr);
    auto* guide = help->findChild<HelpManualSheet*>();
    ASSERT_NE(guide, nullptr);
    guide->selectSection(ID::bezierAndJunctions);
    EXPECT_TRUE(test::showsText(*help, "Guide d’utilisation — Ostrel"));
    EXPECT_TRUE(test::showsText(*shortcuts, "Raccourcis clavier — Ostrel"));

    model.setLanguage(AppLanguage::en);
    EXPECT_TRUE(test::showsText(*help, "User Guide — Ostrel"));
    EXPECT_TRUE(test::showsText(*help, "Schneider Bézier Curves & Junctions"));
    EXPECT_EQ(guide->selectedSection(), ID::bezierAndJunctions) << "the selection outlives a change of language";
    EXPECT_TRUE(test::showsText(*shortcuts, "Keyboard Shortcuts — Ostrel"));
    EXPECT_FALSE(test::showsText(*shortcuts, "Raccourcis clavier — Ostrel"));
    // The shortcuts dialog takes the height of its English text, shorter than the French.
    auto* list = shortcuts->findChild<ShortcutsSheet*>();
    ASSERT_NE(list, nullptr);
    const int english = list->heightForWidth(ShortcutsSheet::sheetWidth);
    EXPECT_TRUE(test::spinUntil([&] { return shortcuts->height() == english; }))
        << shortcuts->height() << " vs " << english;
    EXPECT_EQ(help->size(), QSize(760, 520));

    // The guide's shortcuts button leaves the guide for the shortcuts sheet.
    model.setShowShortcuts(false);
    guide->shortcutsButton()->click();
    EXPECT_FALSE(model.showHelp());
    EXPECT_TRUE(model.showShortcuts());
    model.setShowShortcuts(false);
    model.setLanguage(AppLanguage::fr);
}

TEST(HelpManualSheet, TheCommandLineWrapsOnlyBetweenItsWords) {
    test::ensureQtApp();
    for (const AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
        const test::LanguageScope scope(language);
        HelpManualSheet sheet([] {}, [] {});
        sheet.selectSection(HelpManualSheet::SectionID::oscAndMCP);
        const QLabel* command = nullptr;
        for (const QLabel* label : sheet.contentPane()->widget()->findChildren<QLabel*>()) {
            if (label->text().contains(QStringLiteral("smoothing"))) command = label;
        }
        ASSERT_NE(command, nullptr);
        // Shown without the joiners, the text reads as written.
        EXPECT_TRUE(QString(command->text()).remove(QChar(0x2060)).contains(QStringLiteral(" --smoothing 0.7 ")));
        // At any width, every line after the first starts after a space: "--smoothing" and "-o" stay whole.
        for (int width = 120; width <= 700; width += 3) {
            QTextLayout layout(command->text(), command->font());
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                const int start = line.textStart();
                if (start > 0) {
                    EXPECT_EQ(command->text()[start - 1], QLatin1Char(' '))
                        << width << ": " << command->text().mid(start, 12).toStdString();
                }
            }
            layout.endLayout();
        }
    }
}

}  // namespace
}  // namespace ostrel
