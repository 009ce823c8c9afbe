// The whole road with real processes: a v1 install tree whose program is a probe that checks a
// loopback feed, installs a v2 release made and signed by tools/make-release.sh, and quits; the
// detached helper then relaunches the new program from the same place.
#include "core/update/InstallTree.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/Subprocess.h"
#include "testsupport/TempDir.h"
#include "testsupport/UpdateFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace ostrel {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

TEST(UpdateEndToEndTest, InstallsSignedReleaseAndRelaunches) {
    const test::TempDir folder;
    const auto apps = folder.path() / "apps";
    const auto root = apps / "Ostrel";
    const auto temporary = folder.path() / "tmp";
    const auto relaunched = folder.path() / "relaunched";
    std::filesystem::create_directories(temporary);
    test::writeInstallTree(root, {"app.ostrel.Ostrel", "1.0.0", 1});
    std::filesystem::copy_file(OSTREL_UPDATE_PROBE, root / "bin" / "Ostrel",
                               std::filesystem::copy_options::overwrite_existing);
    const auto newTree = folder.path() / "v2";
    test::writeInstallTree(newTree, {"app.ostrel.Ostrel", "2.0.0", 2},
                           "echo \"relaunched $*\" > \"$OSTREL_PROBE_OUT\"");

    const auto key = folder.path() / "release-key.pem";
    ASSERT_EQ(test::runProcess({"openssl", "genpkey", "-algorithm", "ed25519", "-out", key.string()}).exitCode, 0);
    const auto publicKey =
        test::runProcess({"sh", "-c", "openssl pkey -in \"$0\" -pubout -outform DER | base64 -w0", key.string()});
    ASSERT_EQ(publicKey.exitCode, 0);

    test::LoopbackHttpStub stub({});
    const auto release = folder.path() / "release";
    const auto made = test::runProcess({std::string(OSTREL_SOURCE_DIR) + "/tools/make-release.sh", newTree.string(),
                                        key.string(), release.string(), stub.base()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::filesystem::path zip = made.out.substr(0, made.out.find('\n'));
    stub.setAnswer("/feed", {200, {}, test::readFile((release / "manifest.json").string())});
    stub.setAnswer("/" + zip.filename().string(), {200, {}, test::readFile(zip.string())});

    const auto run = test::runProcess((root / "bin" / "Ostrel").string(), {publicKey.out},
                                      {{"KAVRIN_UPDATE_URL", stub.base() + "/feed"},
                                       {"TMPDIR", temporary.string()},
                                       {"OSTREL_PROBE_OUT", relaunched.string()}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("services stopped"), std::string::npos);

    ASSERT_TRUE(waitFor(
        [&] { return std::filesystem::exists(relaunched) && std::filesystem::file_size(relaunched) > 0; }, 60s));
    EXPECT_EQ(test::readFile(relaunched.string()), "relaunched \n");
    EXPECT_EQ(InstallTree::readMarker(root), (BundleMarker{"app.ostrel.Ostrel", "2.0.0", 2}));
    EXPECT_EQ(test::treeDigest(root), test::treeDigest(newTree));
    EXPECT_EQ(test::entryNames(apps), (std::vector<std::string>{".Ostrel.update.lock", "Ostrel"}));
    EXPECT_TRUE(test::entryNames(temporary).empty());
    EXPECT_TRUE(InstallTree::Lock::tryAcquire(root).has_value());
}

}  // namespace
}  // namespace ostrel
