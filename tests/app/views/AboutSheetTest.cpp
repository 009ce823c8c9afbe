#include "app/views/sheets/AboutSheet.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/Theme.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/TempDir.h"
#include "SheetTestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace ostrel {
namespace {

QString shownText(const QWidget* button) {
    const QLabel* label = button->findChild<QLabel*>();
    return label != nullptr ? label->text() : QString();
}

QColor textColor(const QWidget* button) { return button->findChild<QLabel*>()->palette().color(QPalette::WindowText); }

/// A model whose release checks read a feed file offering `version`.
struct FeedModel {
    explicit FeedModel(const std::string& version)
        : fixture(false, [this](const char* name) -> std::optional<std::string> {
              if (std::string(name) == "KAVRIN_UPDATE_URL") return "file://" + feed.string();
              return std::nullopt;
          }) {
        std::ofstream(feed) << R"({"version": ")" << version << R"(", "url": "https://example.org/Ostrel-linux.zip"})";
    }
    test::TempDir folder;
    std::filesystem::path feed = folder.path() / "feed.json";
    test::SheetModel fixture;
};

TEST(AboutSheet, TheVersionBadgeCopiesTheVersionLineAndSaysSoInTheCurrentLanguage) {
    EXPECT_EQ(SheetParts::versionBadgeText(AppVersion{"1.4.0", std::string("57")}), "v1.4.0 (57)");
    EXPECT_EQ(SheetParts::versionBadgeText(AppVersion{"1.4.0", std::nullopt}), "v1.4.0");
    EXPECT_EQ((AppVersion{"1.4.0", std::string("57")}.versionLine()), "Ostrel 1.4.0 (57)");

    const test::LanguageScope scope(AppLanguage::fr);
    test::SheetModel fixture;
    AppModel& model = *fixture.model;
    const QString version = QString::fromStdString(SheetParts::versionBadgeText(AppVersion::current()));
    {
        AboutSheet sheet(
            model, [] {}, [] {});
        ASSERT_NE(sheet.versionBadge(), nullptr);
        EXPECT_EQ(shownText(sheet.versionBadge()), version);
        EXPECT_FALSE(sheet.copiedVersion());
        sheet.versionBadge()->click();
        EXPECT_EQ(fixture.pasteboard->text, std::optional<std::string>(AppVersion::current().versionLine()));
        EXPECT_TRUE(sheet.copiedVersion());
        EXPECT_EQ(shownText(sheet.versionBadge()), "copié");
        EXPECT_FALSE(model.flashMessage().has_value()) << "the badge flashes nothing";
        model.setLanguage(AppLanguage::en);
        EXPECT_EQ(shownText(sheet.versionBadge()), "copied") << "the copied word follows the language";
        fixture.pasteboard->text.reset();
        sheet.versionBadge()->click();
        EXPECT_EQ(fixture.pasteboard->text, std::optional<std::string>(AppVersion::current().versionLine()));
    }
    AboutSheet reopened(
        model, [] {}, [] {});
    EXPECT_EQ(shownText(reopened.versionBadge()), version) << "a new sheet shows the version again";
    model.setLanguage(AppLanguage::fr);
}

TEST(AboutSheet, PillsShowThePortsAndTheCardsSitInTwoRowsOfTwo) {
    const test::LanguageScope scope(AppLanguage::en);
    test::SheetModel fixture;
    AboutSheet sheet(
        *fixture.model, [] {}, [] {});
    sheet.resize(sheet.sizeHint());
    sheet.show();
    ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
    EXPECT_EQ(sheet.findChild<QLabel*>(QStringLiteral("oscPill"))->text(), "OSC UDP :9140");
    EXPECT_EQ(sheet.findChild<QLabel*>(QStringLiteral("httpPill"))->text(), "HTTP / MCP :17940");
    EXPECT_TRUE(test::showsText(sheet, "ANE · Vision · vDSP"));

    const auto cards = sheet.findChildren<QWidget*>(QStringLiteral("featureCard"));
    ASSERT_EQ(cards.size(), 4);
    EXPECT_EQ(cards[0]->y(), cards[1]->y());
    EXPECT_EQ(cards[2]->y(), cards[3]->y());
    EXPECT_GT(cards[2]->y(), cards[0]->y() + cards[0]->height() - 1);
    EXPECT_LT(cards[0]->x(), cards[1]->x());
    EXPECT_EQ(cards[0]->x(), cards[2]->x());
    EXPECT_EQ(cards[0]->width(), cards[1]->width());
    const std::vector<AboutSheet::Feature> features = AboutSheet::features();
    for (std::size_t i = 0; i < features.size(); ++i) {
        EXPECT_TRUE(test::showsText(*cards[static_cast<int>(i)], features[i].title)) << features[i].title;
        EXPECT_TRUE(test::showsText(*cards[static_cast<int>(i)], features[i].detail));
    }
    EXPECT_LE(sheet.sizeHint().height(), 470) << "the sheet fits its snapshot";
}

TEST(AboutSheet, PillsFollowTheServersWhenTheyMove) {
    // Servers on ports the system picks, so the test never meets a running application.
    ::setenv("OSTREL_API_PORT", "0", 1);
    ::setenv("OSTREL_OSC_IN_PORT", "0", 1);
    test::SheetModel fixture(true);
    ::unsetenv("OSTREL_API_PORT");
    ::unsetenv("OSTREL_OSC_IN_PORT");
    RemoteControl* remote = fixture.model->remoteControl();
    ASSERT_NE(remote, nullptr);
    AboutSheet sheet(
        *fixture.model, [] {}, [] {});
    const auto pill = [&](const char* name) {
        return sheet.findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    };
    EXPECT_EQ(pill("oscPill"), "OSC UDP :" + std::to_string(remote->oscPort()));
    const std::uint16_t before = remote->httpPort();
    ASSERT_TRUE(remote->startHTTPServer(std::uint16_t{0}));
    ASSERT_NE(remote->httpPort(), before);
    EXPECT_EQ(pill("httpPill"), "HTTP / MCP :" + std::to_string(remote->httpPort()));
    remote->startOSCServer(0);
    EXPECT_EQ(pill("oscPill"), "OSC UDP :" + std::to_string(remote->oscPort()));
}

TEST(AboutSheet, TheUpdateButtonClosesFirstThenShowsTheWindowThenChecks) {
    for (const bool releaseKnown : {false, true}) {
        SCOPED_TRACE(releaseKnown);
        const test::LanguageScope scope(AppLanguage::en);
        FeedModel feed("99.0");
        AppModel& model = *feed.fixture.model;
        KavrinUpdater& updater = model.updater();
        if (releaseKnown) {
            updater.checkForUpdates(true);
            ASSERT_TRUE(test::spinUntil([&] { return updater.availableRelease().has_value(); }));
        }
        model.setShowAbout(true);
        std::vector<std::string> order;
        QObject::connect(&model, &AppModel::showAboutChanged,
                         [&] { order.push_back(model.showAbout() ? "about" : "closed"); });
        QObject::connect(&model, &AppModel::showUpdaterChanged, [&] {
            order.push_back(std::holds_alternative<UpdaterState::Checking>(updater.state()) ? "updater after check"
                                                                                            : "updater");
        });
        QObject::connect(&updater, &KavrinUpdater::stateChanged, [&] {
            if (std::holds_alternative<UpdaterState::Checking>(updater.state())) {
                order.push_back(model.showUpdater() ? "check" : "check before window");
            }
        });

        AboutSheet sheet(
            model, [] {}, [&] { model.setShowAbout(false); });
        ClickableRow* button = sheet.updateButton();
        ASSERT_NE(button, nullptr);
        if (releaseKnown) {
            EXPECT_EQ(shownText(button), "↑ Update v99.0");
            EXPECT_EQ(textColor(button), Theme::accent());
        } else {
            EXPECT_EQ(shownText(button), "Check for Updates…");
            EXPECT_EQ(textColor(button), Theme::textDim());
        }
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, button->height() / 2));
        EXPECT_EQ(order, std::vector<std::string>{"closed"}) << "nothing else happens in the click's own turn";
        ASSERT_TRUE(test::spinUntil([&] { return order.size() >= 3; }));
        EXPECT_EQ(order, (std::vector<std::string>{"closed", "updater", "check"}));
        EXPECT_TRUE(model.showUpdater());
        ASSERT_TRUE(test::spinUntil([&] { return updater.availableRelease().has_value(); }));
        EXPECT_EQ(shownText(button), "↑ Update v99.0") << "the button follows the updater's state";
        EXPECT_EQ(textColor(button), Theme::accent());
    }
}

TEST(AboutSheet, GuideClosesThenOpensTheGuideWhileReturnAndEscapeOnlyClose) {
    struct Case {
        const char* name;
        std::function<void(AboutSheet&)> act;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"guide", [](AboutSheet& s) { s.guideButton()->click(); }, {"close", "openHelp"}},
        {"OK", [](AboutSheet& s) { s.defaultButton()->click(); }, {"close"}},
        {"Return", [](AboutSheet& s) { test::pressKey(s, Qt::Key_Return); }, {"close"}},
        {"Escape", [](AboutSheet& s) { test::pressKey(s, Qt::Key_Escape); }, {"close"}},
    };
    test::SheetModel fixture;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CallLog log;
        AboutSheet sheet(*fixture.model, log.recorder("openHelp"), log.recorder("close"));
        c.act(sheet);
        EXPECT_EQ(log.calls, c.calls);
        EXPECT_FALSE(fixture.model->showUpdater()) << "no update window without the update button";
    }
}

TEST(AboutSheet, TextsFollowTheLanguageWhileNamePillsAndGuideStay) {
    const test::LanguageScope scope(AppLanguage::fr);
    test::SheetModel fixture;
    AppModel& model = *fixture.model;
    model.setLanguage(AppLanguage::fr);
    AboutSheet sheet(
        model, [] {}, [] {});
    EXPECT_TRUE(test::showsText(sheet, "POINTS FORTS"));
    EXPECT_EQ(shownText(sheet.updateButton()), "Mises à jour…");
    EXPECT_TRUE(test::showsText(sheet, "Séparation multi-stylos & Calques AxiDraw"));
    model.setLanguage(AppLanguage::en);
    EXPECT_TRUE(test::showsText(sheet, "HIGHLIGHTS"));
    EXPECT_FALSE(test::showsText(sheet, "POINTS FORTS"));
    EXPECT_EQ(shownText(sheet.updateButton()), "Check for Updates…");
    EXPECT_TRUE(test::showsText(sheet, "Multi-Pen Clustering & AxiDraw Layers"));
    EXPECT_TRUE(test::showsTextContaining(sheet, "Native line-drawing vectorizer for AxiDraw plotters"));
    for (const char* fixed :
         {"Ostrel", "Guide (Ctrl+?)", "OSC UDP :9140", "HTTP / MCP :17940", "ANE · Vision · vDSP"}) {
        EXPECT_TRUE(test::showsText(sheet, fixed)) << fixed;
    }
    EXPECT_EQ(sheet.defaultButton()->text(), "OK");
    // No sentence claims hardware or frameworks this build does not use.
    for (const AboutSheet::Feature& feature : AboutSheet::features()) {
        EXPECT_EQ(feature.detail.find("Apple"), std::string::npos) << feature.detail;
        EXPECT_EQ(feature.detail.find("Neural Engine"), std::string::npos) << feature.detail;
    }
    model.setLanguage(AppLanguage::fr);
}

}  // namespace
}  // namespace ostrel
