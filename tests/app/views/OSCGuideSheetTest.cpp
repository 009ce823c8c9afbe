#include "app/views/sheets/OSCGuideSheet.h"

#include "app/remote/RemoteControl.h"
#include "app/ui/Chip.h"
#include "app/ui/SectionHeader.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/TempDir.h"
#include "SheetTestSupport.h"

#include <QFileInfo>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ostrel {
namespace {

QAbstractButton* rowFor(const OSCGuideSheet& sheet, const std::string& address) {
    for (auto* row : sheet.findChildren<ClickableRow*>(QStringLiteral("oscRow"))) {
        if (row->accessibleName().toStdString() == address) return row;
    }
    return nullptr;
}

TEST(OSCGuideSheet, ClickingARowCopiesOnlyItsAddressAndFlashesIt) {
    struct Case {
        AppLanguage language;
        const char* flash;
    };
    for (const Case& c :
         {Case{AppLanguage::en, "Copied: /ostrel/open"}, Case{AppLanguage::fr, "Copié : /ostrel/open"}}) {
        const test::LanguageScope scope(c.language);
        test::SheetModel fixture;
        int closed = 0;
        OSCGuideSheet sheet(*fixture.model, [&closed] { ++closed; });
        sheet.resize(sheet.sizeHint());
        sheet.show();
        QAbstractButton* row = rowFor(sheet, "/ostrel/open");
        ASSERT_NE(row, nullptr);
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 4, row->height() / 2));
        ASSERT_TRUE(fixture.pasteboard->text.has_value());
        EXPECT_EQ(*fixture.pasteboard->text, "/ostrel/open");
        EXPECT_EQ(fixture.pasteboard->text->size(), 12u);
        EXPECT_EQ(fixture.model->flashMessage(), std::optional<std::string>(c.flash));
        EXPECT_EQ(closed, 0) << "the sheet stays open";
    }
}

TEST(OSCGuideSheet, TheElevenAddressesKeepTheirColumnsAndLongDescriptionsAreCut) {
    const test::LanguageScope scope(AppLanguage::fr);
    test::SheetModel fixture;
    OSCGuideSheet sheet(*fixture.model, [] {});
    sheet.resize(sheet.sizeHint());
    sheet.show();
    ASSERT_TRUE(test::spinUntil([&] { return sheet.isVisible(); }));
    const auto rows = sheet.findChildren<ClickableRow*>(QStringLiteral("oscRow"));
    ASSERT_EQ(rows.size(), 11);
    const std::vector<OSCGuideSheet::Example> examples = OSCGuideSheet::oscExamples();
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->accessibleName().toStdString(), examples[static_cast<std::size_t>(i)].address);
        const auto labels = rows[i]->findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 3);
        EXPECT_EQ(labels[0]->width(), 225);
        // The arguments' column is as wide as the widest of them, and at least 120.
        EXPECT_GE(labels[1]->width(), 120);
        EXPECT_GE(labels[1]->width(), labels[1]->fontMetrics().horizontalAdvance(labels[1]->text()));
    }
    EXPECT_EQ(rows[0]->findChildren<QLabel*>()[1]->width(), rows[9]->findChildren<QLabel*>()[1]->width());
    EXPECT_EQ(examples[1].argument, "0 \u2026 255");
    EXPECT_EQ(examples[9].argument, "\"/chemin/image.png\"");
    // The first description is longer than its row: it wraps onto a second line, whole.
    auto* first = rows[0]->findChild<QLabel*>(QStringLiteral("oscDescription"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text().toStdString(), examples[0].description);
    EXPECT_LT(first->width(), first->fontMetrics().horizontalAdvance(first->text()));
    EXPECT_GE(first->height(), 2 * first->fontMetrics().height());
    EXPECT_GE(first->height(), first->heightForWidth(first->width()));

    // Held at its snapshot's height, the list gives way and the buttons stay whole.
    sheet.resize(760, 480);
    ASSERT_TRUE(test::spinUntil([&] { return sheet.height() == 480; }));
    QCoreApplication::processEvents();
    const QRect close(sheet.defaultButton()->mapTo(&sheet, QPoint(0, 0)), sheet.defaultButton()->size());
    EXPECT_LE(close.bottom(), 480 - 20);
    const auto* list = sheet.findChild<QScrollArea*>();
    ASSERT_NE(list, nullptr);
    EXPECT_GE(list->height(), 150);
    EXPECT_LE(list->height(), 235);
}

TEST(OSCGuideSheet, TheBridgeIsTheOneBesideTheProgramElseTheBuildsOwn) {
    test::ensureQtApp();
    test::TempDir installed;
    const QString folder = QString::fromStdString(installed.path().string());
    const std::string beside = (installed.path() / "ostrel-mcp").string();

    // A build tree: nothing beside the program, so the bridge this build made, which runs.
    const std::string built = SheetParts::mcpBridgePath(folder);
    EXPECT_NE(built, beside);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(built)).isExecutable()) << built;
    EXPECT_EQ(QFileInfo(QString::fromStdString(built)).fileName(), "ostrel-mcp");
    EXPECT_EQ(SheetParts::mcpBridgePath(), built) << "the tests run from the build, with no bridge beside them";

    // A file that is not a program does not count; an installed tree's bridge beside the program does.
    std::ofstream(beside) << "#!/bin/sh\n";
    EXPECT_EQ(SheetParts::mcpBridgePath(folder), built);
    std::filesystem::permissions(beside, std::filesystem::perms::owner_all);
    EXPECT_EQ(SheetParts::mcpBridgePath(folder), beside);
}

TEST(OSCGuideSheet, TheMCPConfigurationIsJSONNamingTheBridge) {
    test::SheetModel fixture;
    const test::LanguageScope scope(AppLanguage::en);
    OSCGuideSheet sheet(*fixture.model, [] {});
    auto* button = sheet.findChild<QAbstractButton*>(QStringLiteral("copyMCPConfig"));
    ASSERT_NE(button, nullptr);
    button->click();
    ASSERT_TRUE(fixture.pasteboard->text.has_value());
    const std::string copied = *fixture.pasteboard->text;
    const std::string bridge = SheetParts::mcpBridgePath();
    const nlohmann::json parsed = nlohmann::json::parse(copied);
    EXPECT_EQ(parsed, nlohmann::json({{"mcpServers", {{"ostrel", {{"command", bridge}}}}}}));
    EXPECT_EQ(copied.back(), '}');
    EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 6) << "seven lines";
    EXPECT_NE(copied.find("\n  \"mcpServers\": {\n    \"ostrel\": {\n      \"command\": "), std::string::npos);
    EXPECT_EQ(fixture.model->flashMessage(), std::optional<std::string>("MCP configuration copied"));
    EXPECT_TRUE(test::showsText(sheet, "MCP (stdio) : " + bridge));

    // Paths that need escaping still give JSON that names them exactly.
    for (const std::string& path : {std::string("/opt/my \"apps\"/ostrel-mcp"), std::string("C:\\tools\\ostrel-mcp"),
                                    std::string("/tmp/tab\there/é/ostrel-mcp")}) {
        SCOPED_TRACE(path);
        const nlohmann::json again = nlohmann::json::parse(OSCGuideSheet::mcpConfiguration(path));
        EXPECT_EQ(again["mcpServers"]["ostrel"]["command"], path);
    }
}

TEST(OSCGuideSheet, ChipsAndTheHTTPLineShowTheLivePorts) {
    {
        test::SheetModel fixture;  // no services: the defaults
        OSCGuideSheet sheet(*fixture.model, [] {});
        EXPECT_TRUE(
            test::showsText(sheet, "HTTP : POST http://127.0.0.1:17940/v1/export {\"outputPath\":\"/tmp/out.svg\"}"));
        auto* osc = sheet.findChild<Chip*>(QStringLiteral("oscPortChip"));
        auto* http = sheet.findChild<Chip*>(QStringLiteral("httpPortChip"));
        ASSERT_NE(osc, nullptr);
        ASSERT_NE(http, nullptr);
        EXPECT_EQ(osc->text(), "OSC UDP :9140");
        EXPECT_EQ(http->text(), "HTTP/MCP :17940");
    }
    // With the servers on ports the system picks, then the HTTP API moved to another one.
    ::setenv("OSTREL_API_PORT", "0", 1);
    ::setenv("OSTREL_OSC_IN_PORT", "0", 1);
    test::SheetModel fixture(true);
    ::unsetenv("OSTREL_API_PORT");
    ::unsetenv("OSTREL_OSC_IN_PORT");
    RemoteControl* remote = fixture.model->remoteControl();
    ASSERT_NE(remote, nullptr);
    OSCGuideSheet sheet(*fixture.model, [] {});
    auto* osc = sheet.findChild<Chip*>(QStringLiteral("oscPortChip"));
    auto* http = sheet.findChild<Chip*>(QStringLiteral("httpPortChip"));
    const auto line = [&] { return sheet.findChild<QLabel*>(QStringLiteral("httpExampleLine"))->text().toStdString(); };
    EXPECT_EQ(osc->text().toStdString(), "OSC UDP :" + std::to_string(remote->oscPort()));
    EXPECT_EQ(http->text().toStdString(), "HTTP/MCP :" + std::to_string(remote->httpPort()));
    const std::uint16_t before = remote->httpPort();
    ASSERT_TRUE(remote->startHTTPServer(std::uint16_t{0}));
    ASSERT_NE(remote->httpPort(), before);
    EXPECT_EQ(http->text().toStdString(), "HTTP/MCP :" + std::to_string(remote->httpPort()));
    EXPECT_NE(line().find("127.0.0.1:" + std::to_string(remote->httpPort()) + "/v1/export"), std::string::npos);
    remote->startOSCServer(0);
    EXPECT_EQ(osc->text().toStdString(), "OSC UDP :" + std::to_string(remote->oscPort()));
}

TEST(OSCGuideSheet, TextsFollowTheLanguageWhileAddressesAndExamplesStay) {
    const test::LanguageScope scope(AppLanguage::fr);
    test::SheetModel fixture;
    fixture.model->setLanguage(AppLanguage::fr);
    OSCGuideSheet sheet(*fixture.model, [] {});
    const auto fixedTexts = [&] {
        std::vector<std::string> fixed;
        for (auto* row : sheet.findChildren<ClickableRow*>(QStringLiteral("oscRow"))) {
            for (auto* label : row->findChildren<QLabel*>()) {
                if (label->objectName() != QStringLiteral("oscDescription"))
                    fixed.push_back(label->text().toStdString());
            }
        }
        for (const std::string& text : test::labelTexts(sheet)) {
            if (text.rfind("MCP (stdio)", 0) == 0 || text.rfind("CLI :", 0) == 0 || text.rfind("HTTP :", 0) == 0) {
                fixed.push_back(text);
            }
        }
        return fixed;
    };
    const std::vector<std::string> frenchFixed = fixedTexts();
    EXPECT_EQ(frenchFixed.size(), 25u);
    EXPECT_TRUE(test::showsText(sheet, "Pilotage OSC, API HTTP & Serveur MCP — Ostrel"));
    EXPECT_EQ(sheet.defaultButton()->text(), "Fermer");

    fixture.model->setLanguage(AppLanguage::en);
    EXPECT_TRUE(test::showsText(sheet, "OSC Control, HTTP API & MCP Server — Ostrel"));
    EXPECT_EQ(sheet.defaultButton()->text(), "Close");
    const auto headers = sheet.findChildren<SectionHeader*>();
    ASSERT_EQ(headers.size(), 2);
    EXPECT_EQ(headers[0]->title(), "Incoming OSC Addresses (click to copy)");
    EXPECT_EQ(headers[1]->title(), "MCP Server (ostrel-mcp), CLI & HTTP API");
    EXPECT_EQ(fixedTexts(), frenchFixed);
    EXPECT_EQ(OSCGuideSheet::oscExamples()[2].description, "Set vDSP Gaussian blur radius");
    fixture.model->setLanguage(AppLanguage::fr);
}

TEST(OSCGuideSheet, ReturnEscapeAndCloseEachCloseOnce) {
    test::SheetModel fixture;
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
        SCOPED_TRACE(key);
        int closed = 0;
        OSCGuideSheet sheet(*fixture.model, [&closed] { ++closed; });
        if (key == 0) {
            sheet.defaultButton()->click();
        } else {
            test::pressKey(sheet, key);
        }
        EXPECT_EQ(closed, 1);
        EXPECT_FALSE(fixture.pasteboard->text.has_value()) << "closing copies nothing";
    }
}

}  // namespace
}  // namespace ostrel
