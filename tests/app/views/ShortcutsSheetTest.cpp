#include "app/views/sheets/ShortcutsSheet.h"

#include "app/shell/AppMenuBar.h"
#include "app/shell/KeyNames.h"
#include "app/ui/SectionHeader.h"
#include "testsupport/LanguageScope.h"
#include "SheetTestSupport.h"

#include <QAction>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QKeySequence>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <set>

namespace ostrel {
namespace {

std::vector<std::string> alternatives(const std::string& keys) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = keys.find(" / ", start)) != std::string::npos; start = at + 3) {
        parts.push_back(keys.substr(start, at - start));
    }
    parts.push_back(keys.substr(start));
    return parts;
}

TEST(ShortcutsSheet, EveryKeyShownIsBoundByTheMenusOrTheWindow) {
    test::ensureQtApp();
    test::SheetModel fixture;
    AppModel& model = *fixture.model;
    QMenuBar bar;
    AppMenuBar menus(model, bar);
    std::set<std::string> menuKeys;
    for (QAction* action : bar.findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts())
            menuKeys.insert(keys.toString(QKeySequence::NativeText).toStdString());
    }
    ASSERT_FALSE(menuKeys.empty());
    // The gesture words name no key; a single letter is a key of the window itself.
    const std::set<std::string> gestures{"2 doigts", "Clic droit", "Pinch", "Molette"};
    for (const auto& group : ShortcutsSheet::groups()) {
        for (const auto& row : group.rows) {
            for (const std::string& key : alternatives(row.keys)) {
                SCOPED_TRACE(row.keys + " → " + key);
                EXPECT_EQ(key.find('\xE2'), std::string::npos) << "no macOS key glyphs";
                if (gestures.count(key) != 0) continue;
                if (key.size() == 1) {
                    const int code = QKeySequence(QString::fromStdString(key))[0].key();
                    EXPECT_TRUE(model.wouldHandleWindowKey(code, Qt::NoModifier)) << "not a key of the window";
                    continue;
                }
                // Named as the menus name their keys in this language.
                EXPECT_TRUE(menuKeys.count(keyNames(key)) != 0) << "not bound by any menu command";
            }
        }
    }
}

TEST(ShortcutsSheet, ShowsTwoColumnsOfSevenRowsWithKeysThatFitTheirColumn) {
    test::ensureQtApp();
    for (const AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
        const test::LanguageScope scope(language);
        ShortcutsSheet sheet([] {});
        sheet.resize(sheet.sizeHint());
        sheet.show();
        ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
        const auto headers = sheet.findChildren<SectionHeader*>();
        ASSERT_EQ(headers.size(), 2);
        const QPoint left = headers[0]->mapTo(&sheet, QPoint(0, 0));
        const QPoint right = headers[1]->mapTo(&sheet, QPoint(0, 0));
        EXPECT_EQ(left.y(), right.y()) << "both columns start at the same top";
        EXPECT_EQ(left.x(), 20);
        EXPECT_NEAR(right.x(), 20 + (780 - 18) / 2 + 18, 1) << "the columns share the width";

        const auto keys = sheet.findChildren<QLabel*>(QStringLiteral("shortcutKeys"));
        const auto descriptions = sheet.findChildren<QLabel*>(QStringLiteral("shortcutDescription"));
        ASSERT_EQ(keys.size(), 14);
        ASSERT_EQ(descriptions.size(), 14);
        for (int i = 0; i < keys.size(); ++i) {
            SCOPED_TRACE(keys[i]->text().toStdString());
            // The keys column is at least 96 wide; longer keys wrap between two keys onto two lines at
            // most, never inside a key.
            EXPECT_GE(keys[i]->width(), 96);
            EXPECT_EQ(keys[i]->width(), keys[i < 7 ? 0 : 7]->width()) << "one width for a group's keys";
            EXPECT_LT(keys[i]->heightForWidth(keys[i]->width()),
                      keys[i]->contentsMargins().top() + 5 * keys[i]->fontMetrics().lineSpacing() / 2);
            EXPECT_GE(keys[i]->height(), keys[i]->heightForWidth(keys[i]->width())) << "a line of keys is cut";
            for (const QString& key : keys[i]->text().split(QLatin1Char(' '))) {
                EXPECT_LE(keys[i]->fontMetrics().horizontalAdvance(key), keys[i]->contentsRect().width())
                    << "a key is cut";
            }
            EXPECT_GT(descriptions[i]->x(), keys[i]->x() + keys[i]->width());
            // A wrapped description is tall enough for all its lines.
            EXPECT_GE(descriptions[i]->height(), descriptions[i]->heightForWidth(descriptions[i]->width()));
        }
        EXPECT_EQ(sheet.width(), 820);

        // At the height the window gives the sheet (its height for its width), every description
        // has all its lines.
        ASSERT_TRUE(sheet.hasHeightForWidth());
        const int height = sheet.heightForWidth(820);
        EXPECT_LE(height, 370);
        sheet.resize(820, height);
        ASSERT_TRUE(test::spinUntil([&] { return sheet.height() == height; }));
        QCoreApplication::processEvents();
        for (const QLabel* description : descriptions) {
            SCOPED_TRACE(description->text().toStdString());
            const QRect lines = description->fontMetrics().boundingRect(QRect(0, 0, description->width(), 1000),
                                                                        Qt::TextWordWrap, description->text());
            EXPECT_GE(description->height(), lines.height()) << "a line is cut";
            EXPECT_LE(description->mapTo(&sheet, QPoint(0, description->height())).y(), height - 20);
        }
    }
}

TEST(ShortcutsSheet, TextsFollowTheLanguageButTheKeysStay) {
    test::ensureQtApp();
    const test::LanguageScope scope(AppLanguage::fr);
    ShortcutsSheet sheet([] {});
    EXPECT_TRUE(test::showsText(sheet, "Raccourcis clavier — Ostrel"));
    EXPECT_EQ(sheet.defaultButton()->text(), "Fermer");
    EXPECT_TRUE(test::showsText(sheet, "Coller une image depuis le presse-papiers"));

    const test::LanguageScope english(AppLanguage::en);
    test::announceLanguageChange(sheet);
    EXPECT_TRUE(test::showsText(sheet, "Keyboard Shortcuts — Ostrel"));
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");
    EXPECT_TRUE(test::showsText(sheet, "Paste image from clipboard"));
    EXPECT_FALSE(test::showsText(sheet, "Coller une image depuis le presse-papiers"));
    const auto headers = sheet.findChildren<SectionHeader*>();
    ASSERT_EQ(headers.size(), 2);
    EXPECT_EQ(headers[0]->title(), "File, Edit & Export");
    EXPECT_EQ(headers[1]->title(), "View & Navigation");
    // The keys wrap only between two keys: no-break spaces hold "2 doigts" together and each "/" to
    // the key before it.
    for (const char* keys : {"2 doigts / Clic droit", "Pinch / Molette", "Ctrl+Shift+C", "Backspace / Ctrl+J",
                             "Z / Ctrl+0 / Ctrl++ / Ctrl+-"}) {
        QStringList alternatives = QString::fromUtf8(keys).split(QStringLiteral(" / "));
        for (QString& alternative : alternatives) alternative.replace(QLatin1Char(' '), QChar(0x00A0));
        const QString shown = alternatives.join(QStringLiteral("\u00A0/ "));
        EXPECT_TRUE(test::showsText(sheet, shown.toStdString())) << keys;
    }
}

TEST(ShortcutsSheet, CloseReturnAndEscapeEachCloseOnce) {
    test::ensureQtApp();
    struct Case {
        const char* name;
        std::function<void(ShortcutsSheet&)> act;
    };
    const Case cases[] = {
        {"Close button", [](ShortcutsSheet& s) { s.defaultButton()->click(); }},
        {"Return", [](ShortcutsSheet& s) { test::pressKey(s, Qt::Key_Return); }},
        {"Enter", [](ShortcutsSheet& s) { test::pressKey(s, Qt::Key_Enter); }},
        {"Escape", [](ShortcutsSheet& s) { test::pressKey(s, Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int closed = 0;
        ShortcutsSheet sheet([&closed] { ++closed; });
        ASSERT_NE(sheet.defaultButton(), nullptr);
        c.act(sheet);
        EXPECT_EQ(closed, 1);
    }
    int closed = 0;
    ShortcutsSheet sheet([&closed] { ++closed; });
    test::pressKey(sheet, Qt::Key_Space);
    test::pressKey(sheet, Qt::Key_A);
    EXPECT_EQ(closed, 0) << "other keys do not close";
}

TEST(ShortcutsSheet, KeysAreDrawnSignBySignWithoutLigatures) {
    test::ensureQtApp();
    ShortcutsSheet sheet([] {});
    const QLabel* zoom = nullptr;
    for (const QLabel* keys : sheet.findChildren<QLabel*>(QStringLiteral("shortcutKeys"))) {
        if (keys->text().contains(QStringLiteral("Ctrl++"))) zoom = keys;
    }
    ASSERT_NE(zoom, nullptr);
    // "++" drawn in one go looks exactly like two "+" drawn one after the other (the monospaced
    // font would otherwise join them into one sign).
    const auto draw = [&](bool signBySign) {
        QImage image(60, 30, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(zoom->font());
        painter.setPen(Qt::black);
        if (signBySign) {
            painter.drawText(QPointF(5, 20), QStringLiteral("+"));
            painter.drawText(QPointF(5 + QFontMetricsF(zoom->font()).horizontalAdvance(QStringLiteral("+")), 20),
                             QStringLiteral("+"));
        } else {
            painter.drawText(QPointF(5, 20), QStringLiteral("++"));
        }
        return image;
    };
    EXPECT_EQ(draw(false), draw(true));
}

}  // namespace
}  // namespace ostrel
