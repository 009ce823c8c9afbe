#include "app/launch/RunningInstance.h"

#include "app/document/VectorizerController.h"
#include "app/remote/RemoteControl.h"
#include "core/http/HTTPServer.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(RunningInstance, HandsTheFileToTheOstrelThatAnswers) {
    test::ensureQtApp();
    test::TempDir folder;
    const std::string drawing = (folder.path() / "drawing.png").string();
    ASSERT_TRUE(SyntheticDrawing::generate(SyntheticPreset::rosette, 120, 120).toGrayImage().save(QString::fromStdString(drawing)));

    VectorizerController document;
    RemoteControl remote{document};
    ASSERT_TRUE(remote.startHTTPServer(0));
    const std::uint16_t port = remote.httpPort();
    EXPECT_TRUE(test::runWhileProcessingEvents([&] { return handOffFileToRunningInstance(port, drawing); }));
    EXPECT_EQ(document.sourcePath(), drawing);
    // A file the running program cannot read still goes to it: it says so in its own status text.
    EXPECT_TRUE(test::runWhileProcessingEvents(
        [&] { return handOffFileToRunningInstance(port, (folder.path() / "missing.png").string()); }));
    EXPECT_EQ(document.sourcePath(), drawing);

    remote.stopAllServices();
    EXPECT_FALSE(test::runWhileProcessingEvents([&] { return handOffFileToRunningInstance(port, drawing); }));
}

TEST(RunningInstance, AnotherProgramOnThePortKeepsTheFile) {
    test::ensureQtApp();
    int opens = 0;
    HTTPServer other([&](const HTTPRequest& request) {
        if (request.path == "/v1/open") ++opens;
        return HTTPResponse::json(200, Json{{"app", "Something else"}});
    });
    ASSERT_TRUE(other.start(0));
    EXPECT_FALSE(test::runWhileProcessingEvents([&] { return handOffFileToRunningInstance(other.port(), "/x.png"); }));
    EXPECT_EQ(opens, 0);
    EXPECT_FALSE(handOffFileToRunningInstance(0, "/x.png"));
}

}  // namespace
}  // namespace ostrel
