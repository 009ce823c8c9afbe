#include "app/shell/QtTranslations.h"

#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/MenuText.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "ShellFixtures.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

bool hasQtCatalogues() {
    return QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qt_fr.qm"));
}

QStringList labelTexts(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) texts << label->text();
    return texts;
}

TEST(QtTranslations, TheToolkitsTextsAndKeyNamesSwitchWithTheInterfaceLanguage) {
    test::ensureQtApp();
    if (!hasQtCatalogues()) GTEST_SKIP() << "Qt's translations are missing (./dev setup)";
    const test::LanguageScope restore(Localization::current());
    test::RecordingSettingsStore settings;
    AppModel::Environment environment;
    environment.settings = &settings;
    AppModel model(AppModel::Options{}, std::move(environment));

    // An open dialog of Qt's own, made in French, follows the switch to English and back.
    model.setLanguage(AppLanguage::fr);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    struct Case {
        AppLanguage language;
        const char* catalogue;
        const char* lookIn;
        const char* cancel;
        std::vector<std::pair<const char*, const char*>> keys;  // portable → shown
    };
    const Case cases[] = {
        {AppLanguage::en,
         "en",
         "Look in:",
         "Cancel",
         {{"Del", "Del"},
          {"Esc", "Esc"},
          {"Backspace", "Backspace"},
          {"Ctrl+S / Ctrl+Shift+E", "Ctrl+S / Ctrl+Shift+E"}}},
        {AppLanguage::fr,
         "fr",
         "Voir dans :",
         "Annuler",
         {{"Del", "Suppr"},
          {"Esc", "Échap"},
          {"Backspace", "Effacement"},
          {"Ctrl+S / Ctrl+Shift+E", "Ctrl+S / Ctrl+Maj+E"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catalogue);
        model.setLanguage(c.language);
        EXPECT_EQ(QtTranslations::installedLanguage(), c.catalogue);
        ASSERT_TRUE(test::spinUntil([&] { return labelTexts(dialog).contains(QString::fromUtf8(c.lookIn)); }))
            << labelTexts(dialog).join(QStringLiteral(" | ")).toStdString();
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')),
                  QString::fromUtf8(c.cancel));
        // Key names as the menus show them; words that are no keys stay as written.
        for (const auto& [portable, shown] : c.keys) EXPECT_EQ(keyNames(portable), shown) << portable;
        EXPECT_EQ(QKeySequence(Qt::Key_Delete).toString(QKeySequence::NativeText).toStdString(), c.keys[0].second);
        EXPECT_EQ(keyNames("2 doigts / Clic droit"), "2 doigts / Clic droit");
        EXPECT_EQ(withKeys("Guide", "Ctrl+?"), "Guide (Ctrl+?)");
    }
}

TEST(MenuText, AmpersandsAreShownAsWrittenAndTitlesTakeTheirMnemonic) {
    struct Case {
        const char* text;
        char16_t mnemonic;
        const char* escaped;
        const char* title;
    };
    for (const Case& c :
         {Case{"Guide OSC, HTTP & MCP", u'G', "Guide OSC, HTTP && MCP", "&Guide OSC, HTTP && MCP"},
          Case{"draw&ink.png", u'i', "draw&&ink.png", "draw&&&ink.png"}, Case{"Édition", u'D', "Édition", "É&dition"},
          Case{"Help", u'x', "Help", "Help"}, Case{"a&&b", u'b', "a&&&&b", "a&&&&&b"}}) {
        SCOPED_TRACE(c.text);
        const std::string_view text = c.text;
        EXPECT_EQ(menuText(text).toStdString(), c.escaped);
        EXPECT_TRUE(QKeySequence::mnemonic(menuText(text)).isEmpty()) << "an escaped text names no mnemonic";
        EXPECT_EQ(menuTitle(c.text, QChar(c.mnemonic)).toStdString(), c.title);
    }
    EXPECT_EQ(QKeySequence::mnemonic(menuTitle("Édition", u'D')), QKeySequence(Qt::ALT | Qt::Key_D));
}

}  // namespace
}  // namespace ostrel
