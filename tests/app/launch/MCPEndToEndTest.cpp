// The MCP bridge driven by the official MCP client against this application's
// real HTTP API: initialize, list the six tools, call each of them.
#include "app/document/VectorizerController.h"
#include "app/launch/Snapshot.h"
#include "app/remote/RemoteControl.h"
#include "testsupport/QtTestApp.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <filesystem>

namespace ostrel {
namespace {

TEST(MCPEndToEnd, OfficialClientThroughTheBridgeAgainstTheApplication) {
    test::ensureQtApp();
    const std::string clientDir = std::string(OSTREL_SOURCE_DIR) + "/tests/mcp/client";
    const QString node = QStandardPaths::findExecutable("node");
    if (node.isEmpty() || !std::filesystem::exists(clientDir + "/node_modules/@modelcontextprotocol/sdk")) {
        GTEST_SKIP() << "node or the MCP client packages are missing (./dev setup installs them)";
    }
    VectorizerController controller;
    RemoteControl remote{controller};
    ModelSnapshotSource window;
    remote.setSnapshotSource(&window);
    ASSERT_TRUE(remote.startHTTPServer(0));

    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(node, {QString::fromStdString(clientDir + "/e2e.mjs"), OSTREL_MCP_BINARY, "--port",
                        QString::number(remote.httpPort())});
    // The application answers on this thread, so keep its event loop turning while the client runs.
    ASSERT_TRUE(test::spinUntil([&] { return client.state() == QProcess::NotRunning; }, std::chrono::seconds(90)));
    const std::string output = client.readAll().toStdString();
    EXPECT_EQ(client.exitCode(), 0) << output;
    EXPECT_NE(output.find("PASS --port"), std::string::npos) << output;
    EXPECT_EQ(controller.activePreset(), SyntheticPreset::portrait);  // ostrel_open reached the document
    remote.stopAllServices();
}

}  // namespace
}  // namespace ostrel
