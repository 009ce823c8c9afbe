#include "app/views/sheets/UpdateSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/TextButton.h"
#include "app/ui/VectorizerHeroGraphic.h"
#include "app/views/ContentView.h"
#include "core/update/ReleaseFeed.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "testsupport/UpdateFixtures.h"
#include "../shell/ShellFixtures.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using test::StubAnswer;

/// A model whose updater reads its feed from a loopback stub, trusts one test key and would
/// install into a v1 tree in a temporary folder.
class UpdateSheetTest : public ::testing::Test {
protected:
    UpdateSheetTest() {
        test::ensureQtApp();
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = std::make_shared<test::ScriptedPanels>();
        environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
        environment.updater.variable = [this](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "KAVRIN_UPDATE_URL") return stub.base() + "/feed";
            return std::nullopt;
        };
        environment.updater.launchDelay = 1h;
        environment.updater.installRoot = root;
        environment.updater.trustedKeys = std::vector<UpdateSigningKey>{key.publicKey()};
        environment.updater.temporaryDirectory = folder.path() / "tmp";
        std::filesystem::create_directories(folder.path() / "tmp");
        model = std::make_unique<AppModel>(AppModel::Options{}, std::move(environment));
        test::writeInstallTree(root, {updater().bundleID(), updater().currentVersion(), 1});
        serveUpToDate();
    }

    KavrinUpdater& updater() { return model->updater(); }

    void serveUpToDate() {
        stub.setAnswer(
            "/feed", {200,
                      {},
                      nlohmann::json{{"version", updater().currentVersion()}, {"url", "https://example.org/Ostrel.zip"}}
                          .dump()});
    }

    /// Offers version 999.0.0 with `notes`; its archive holds a tree whose marker says 998.0.0, so
    /// an install downloads and verifies it, then fails while installing.
    void serveNewRelease(const std::string& notes) {
        const std::string zip =
            test::makeZip(test::installTreeEntries(updater().appName(), {updater().bundleID(), "998.0.0", 2}));
        stub.setAnswer("/Ostrel.zip", {200, {{"Content-Type", "application/zip"}}, zip});
        nlohmann::json feed{{"version", "999.0.0"},
                            {"build", 2},
                            {"url", stub.base() + "/Ostrel.zip"},
                            {"sha256", ReleaseFeed::sha256Hex(zip)},
                            {"signature", key.sign(zip)},
                            {"notes_en", notes},
                            {"notes_fr", notes}};
        stub.setAnswer("/feed", {200, {}, feed.dump()});
    }

    /// A visible check, waited for.
    void check(UpdateSheet& sheet) {
        QTest::mouseClick(sheet.checkAgainButton(), Qt::LeftButton);
        ASSERT_TRUE(
            test::spinUntil([&] { return !std::holds_alternative<UpdaterState::Checking>(updater().state()); }, 20s));
    }

    /// Every label text in the state block, in order.
    static QStringList blockTexts(const UpdateSheet& sheet) {
        QStringList texts;
        for (const QLabel* label : sheet.stateBlock()->findChildren<QLabel*>()) texts << label->text();
        return texts;
    }

    test::RecordingSettingsStore settings;
    test::LoopbackHttpStub stub{{}};
    test::TestSigningKey key;
    test::TempDir folder;
    std::filesystem::path root = folder.path() / "apps" / "Ostrel";
    std::unique_ptr<AppModel> model;
    int closes = 0;
};

TEST_F(UpdateSheetTest, FollowsTheUpdaterThroughAllSevenStates) {
    const test::LanguageScope english(AppLanguage::en);
    UpdateSheet sheet(*model, [this] { ++closes; });
    sheet.show();
    EXPECT_EQ(sheet.titleLabel()->text(), "Software Update — Ostrel");
    EXPECT_EQ(sheet.versionLabel()->text(),
              QString::fromStdString("Installed version: v" + updater().currentVersion() + " (build " +
                                     std::to_string(updater().currentBuild()) + ")"));

    // Idle shows the checking block, though nothing runs.
    EXPECT_EQ(blockTexts(sheet), QStringList{"Checking for updates…"});
    EXPECT_FALSE(sheet.heroGraphic()->isActive());
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");
    EXPECT_EQ(sheet.laterButton(), nullptr);

    // Checking.
    QTest::mouseClick(sheet.checkAgainButton(), Qt::LeftButton);
    EXPECT_EQ(updater().state(), KavrinUpdater::State(UpdaterState::Checking{}));
    EXPECT_EQ(blockTexts(sheet), QStringList{"Checking for updates…"});
    EXPECT_TRUE(sheet.heroGraphic()->isActive());

    // Up to date.
    ASSERT_TRUE(
        test::spinUntil([&] { return std::holds_alternative<UpdaterState::UpToDate>(updater().state()); }, 20s));
    EXPECT_FALSE(sheet.heroGraphic()->isActive());
    EXPECT_EQ(blockTexts(sheet),
              (QStringList{QString::fromStdString("Ostrel v" + updater().currentVersion() + " is up to date."),
                           "No newer update is available."}));
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");

    // Update available.
    serveNewRelease("Faster tracing.");
    check(sheet);
    ASSERT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(updater().state()));
    const Chip* chip = sheet.stateBlock()->findChild<Chip*>();
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->text(), "NEW VERSION v999.0.0");
    EXPECT_EQ(blockTexts(sheet), QStringList{"Faster tracing."});
    ASSERT_NE(sheet.laterButton(), nullptr);
    EXPECT_EQ(sheet.laterButton()->text(), "Later");
    EXPECT_EQ(sheet.defaultButton()->text(), "Update & Relaunch");
    EXPECT_TRUE(sheet.checkAgainButton()->isEnabled());

    // Installing is reached and left between two turns of the event loop: look at the window then.
    bool sawInstalling = false;
    bool checkAgainEnabledWhileInstalling = true;
    QStringList installingTexts;
    bool stillInstallingAfterClick = false;
    QObject::connect(&updater(), &KavrinUpdater::stateChanged, &sheet, [&] {
        if (!std::holds_alternative<UpdaterState::Installing>(updater().state()) || sawInstalling) return;
        sawInstalling = true;
        installingTexts = blockTexts(sheet);
        checkAgainEnabledWhileInstalling = sheet.checkAgainButton()->isEnabled();
        QTest::mouseClick(sheet.checkAgainButton(), Qt::LeftButton);
        stillInstallingAfterClick = std::holds_alternative<UpdaterState::Installing>(updater().state());
    });

    // Return is "Update & Relaunch": downloading.
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(closes, 0);
    ASSERT_EQ(updater().state(), KavrinUpdater::State(UpdaterState::Downloading{0.1}));
    EXPECT_EQ(blockTexts(sheet), QStringList{"Downloading update…"});
    EXPECT_FALSE(sheet.checkAgainButton()->isEnabled());
    QTest::mouseClick(sheet.checkAgainButton(), Qt::LeftButton);
    EXPECT_TRUE(std::holds_alternative<UpdaterState::Downloading>(updater().state())) << "no check during a download";
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");
    {
        // The bar shows a tenth: accent at its start, the faint track past the fill.
        const QWidget* bar = nullptr;
        for (const QWidget* child : sheet.stateBlock()->findChildren<QWidget*>()) {
            if (child->height() == 5) bar = child;
        }
        ASSERT_NE(bar, nullptr);
        const QImage image = sheet.grab().toImage();
        const QPoint origin = bar->mapTo(&sheet, QPoint(0, 0));
        EXPECT_EQ(image.pixelColor(origin + QPoint(bar->width() / 20, 2)), Theme::accent());
        EXPECT_NE(image.pixelColor(origin + QPoint(bar->width() / 2, 2)), Theme::accent());
    }

    // Installing, then failed: the archive's tree is not the version the feed offered.
    ASSERT_TRUE(test::spinUntil([&] { return std::holds_alternative<UpdaterState::Failed>(updater().state()); }, 30s));
    EXPECT_TRUE(sawInstalling);
    EXPECT_EQ(installingTexts, QStringList{"Verifying code signature and installing…"});
    EXPECT_FALSE(checkAgainEnabledWhileInstalling);
    EXPECT_TRUE(stillInstallingAfterClick) << "Check Again does nothing during an install";

    const auto& failed = std::get<UpdaterState::Failed>(updater().state());
    EXPECT_EQ(blockTexts(sheet),
              (QStringList{"Could not check or install update", QString::fromStdString(failed.message)}));
    EXPECT_TRUE(sheet.checkAgainButton()->isEnabled()) << "enabled again once the install has ended";
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(closes, 1) << "Return is Close outside an offer";
}

TEST_F(UpdateSheetTest, ReturnEscapeAndLater) {
    UpdateSheet sheet(*model, [this] { ++closes; });
    sheet.show();
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(updater().state(), KavrinUpdater::State(UpdaterState::Idle{})) << "closing checks nothing";

    serveNewRelease("notes");
    check(sheet);
    ASSERT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(updater().state()));
    QTest::mouseClick(sheet.laterButton(), Qt::LeftButton);
    EXPECT_EQ(closes, 3);
    EXPECT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(updater().state())) << "Later installs nothing";
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(closes, 4);
    EXPECT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(updater().state()));
}

TEST_F(UpdateSheetTest, InTheMainWindowEscapeClosesTheWindowAndClearsItsFlag) {
    ContentView view(*model);
    view.resize(1380, 820);
    view.show();
    model->setShowUpdater(true);
    QDialog* dialog = view.findChild<QDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* sheet = dialog->findChild<UpdateSheet*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(dialog->size(), sheet->size());
    EXPECT_EQ(sheet->width(), UpdateSheet::kWidth);

    // A taller state makes the window taller.
    serveNewRelease(std::string(400, 'x'));
    check(*sheet);
    EXPECT_EQ(dialog->size(), sheet->size());

    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(model->showUpdater());
}

TEST_F(UpdateSheetTest, TheNotesAreaStaysBetween70And140PointsAndLongNotesScroll) {
    const test::LanguageScope english(AppLanguage::en);
    UpdateSheet sheet(*model, [] {});
    sheet.show();
    struct Case {
        std::string notes;
        int minimum;
        int maximum;
        bool scrolls;
    };
    std::string manyLines;
    for (int line = 0; line < 40; ++line) manyLines += "Line " + std::to_string(line) + "\n";
    const std::vector<Case> cases{
        {"x", 70, 70, false},
        {"One line.\nTwo lines.\nThree lines.\nFour lines.\nFive lines.", 70, 140, false},
        {manyLines, 140, 140, true},
    };
    for (const Case& c : cases) {
        serveNewRelease(c.notes);
        check(sheet);
        ASSERT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(updater().state()));
        const auto* area = sheet.stateBlock()->findChild<QScrollArea*>("releaseNotes");
        ASSERT_NE(area, nullptr);
        EXPECT_GE(area->height(), c.minimum) << c.notes.size();
        EXPECT_LE(area->height(), c.maximum) << c.notes.size();
        test::spinUntil([] { return false; }, 20ms);  // let the scroll area lay out its content
        EXPECT_EQ(area->verticalScrollBar()->maximum() > 0, c.scrolls) << c.notes.size();
    }
}

TEST_F(UpdateSheetTest, TheFailureMessageWrapsAndIsNeverCutInEitherLanguage) {
    const test::LanguageScope english(AppLanguage::en);
    UpdateSheet sheet(*model, [] {});
    sheet.show();
    stub.setAnswer("/feed", {500, {}, "server trouble"});
    check(sheet);
    ASSERT_TRUE(std::holds_alternative<UpdaterState::Failed>(updater().state()));
    const auto expectWholeMessage = [&](const char* what) {
        test::spinUntil([] { return false; }, 20ms);  // let the layout settle
        const auto* message = sheet.stateBlock()->findChild<QLabel*>("failureMessage");
        ASSERT_NE(message, nullptr) << what;
        EXPECT_EQ(message->text(), QString::fromStdString(std::get<UpdaterState::Failed>(updater().state()).message));
        EXPECT_TRUE(message->wordWrap()) << what;
        EXPECT_GE(message->height(), message->heightForWidth(message->width())) << what;
        const QRect shown(message->mapTo(&sheet, QPoint(0, 0)), message->size());
        EXPECT_TRUE(sheet.rect().contains(shown)) << what;
        EXPECT_LE(shown.right(), UpdateSheet::kWidth - 20) << what;
    };
    expectWholeMessage("english");

    // The window's texts follow the language live.
    model->setLanguage(AppLanguage::fr);
    EXPECT_EQ(blockTexts(sheet).value(0), "Impossible de vérifier ou d'installer la mise à jour");
    EXPECT_EQ(sheet.titleLabel()->text(), "Mises à jour — Ostrel");
    EXPECT_EQ(sheet.defaultButton()->text(), "Fermer");
    EXPECT_EQ(sheet.checkAgainButton()->text(), "Rechercher à nouveau");
    expectWholeMessage("french");
    model->setLanguage(AppLanguage::en);
    EXPECT_EQ(sheet.checkAgainButton()->text(), "Check Again");
}

}  // namespace
}  // namespace ostrel
