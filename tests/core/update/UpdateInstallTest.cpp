// The install road in this process: every failure must end in `failed` with the program running,
// the installed tree byte-identical and nothing left behind.
#include "core/update/KavrinUpdater.h"

#include "core/support/app/SettingsStore.h"
#include "core/support/text/Json.h"
#include "core/update/InstallTree.h"
#include "core/update/ReleaseFeed.h"
#include "core/update/UpdateHost.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"
#include "testsupport/TempDir.h"
#include "testsupport/UpdateFixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

namespace ostrel {
namespace {

using test::LoopbackHttpStub;
using test::StubAnswer;
using test::ZipEntry;
using namespace std::chrono_literals;

const BundleMarker v1{"app.ostrel.Ostrel", "1.0.0", 1};
const BundleMarker v2{"app.ostrel.Ostrel", "2.0.0", 2};

class FakeHost final : public UpdateHost {
public:
    bool plotRunning = false;
    int stops = 0;
    int quits = 0;
    [[nodiscard]] bool isPlotRunning() const override { return plotRunning; }
    void stopServicesForRelaunch() override { ++stops; }
    void quitForRelaunch() override { ++quits; }
};

/// A v1 install tree in a temporary folder, a stub that serves the feed and the archive, and an
/// updater of v1 that trusts one test key.
class InstallRig {
public:
    test::TempDir folder;
    std::filesystem::path apps = folder.path() / "apps";
    std::filesystem::path root = apps / "Ostrel";
    std::filesystem::path temporary = folder.path() / "tmp";
    test::TestSigningKey key;
    FakeHost host;
    MemorySettingsStore settings;
    LoopbackHttpStub stub{{}};
    std::unique_ptr<KavrinUpdater> updater;
    std::string digestBefore;

    InstallRig() {
        test::ensureQtApp();
        test::writeInstallTree(root, v1);
        std::filesystem::create_directories(temporary);
        digestBefore = test::treeDigest(root);
    }

    /// The release the feed offers for `zip`: digest and signature of these bytes by the test key.
    ReleaseInfo releaseFor(const std::string& zip) const {
        ReleaseInfo release{"2.0.0", 2, stub.base() + "/Ostrel.zip", ReleaseFeed::sha256Hex(zip)};
        release.signature = key.sign(zip);
        return release;
    }

    /// Offers `release` through a visible check, with `archive` as the stub's answer for the archive.
    KavrinUpdater& offer(const ReleaseInfo& release, StubAnswer archive,
                         const std::function<void(UpdaterEnvironment&)>& adjust = {}) {
        stub.setAnswer("/Ostrel.zip", std::move(archive));
        Json feed{{"version", release.version}, {"url", release.downloadURL}};
        if (release.build) feed["build"] = *release.build;
        if (release.sha256) feed["sha256"] = *release.sha256;
        if (release.signature) feed["signature"] = *release.signature;
        stub.setAnswer("/feed", StubAnswer{200, {}, feed.dump()});
        UpdaterEnvironment environment;
        environment.settings = &settings;
        environment.host = &host;
        environment.variable = [this](const char*) { return std::optional<std::string>(stub.base() + "/feed"); };
        environment.installRoot = root;
        environment.trustedKeys = std::vector<UpdateSigningKey>{key.publicKey()};
        environment.temporaryDirectory = temporary;
        environment.archiveLimits.maxBytes = 1024 * 1024;
        if (adjust) adjust(environment);
        updater = std::make_unique<KavrinUpdater>("Ostrel", "app.ostrel.Ostrel", "o/r", "1.0.0", 1, false, environment);
        updater->checkForUpdates(false);
        test::spinUntil([&] { return !std::holds_alternative<UpdaterState::Checking>(updater->state()); }, 20s);
        return *updater;
    }

    /// Installs what is offered and waits for the end; returns the failure's message.
    std::string installAndWaitForFailure() {
        const auto release = updater->availableRelease();
        if (!release) return "nothing offered";
        EXPECT_TRUE(updater->downloadAndInstall(*release));
        test::spinUntil(
            [&] { return std::holds_alternative<UpdaterState::Failed>(updater->state()) || host.quits > 0; }, 60s);
        const auto* failed = std::get_if<UpdaterState::Failed>(&updater->state());
        return failed != nullptr ? failed->message : "did not fail";
    }

    /// Nothing changed: the old tree as it was, no staging folder, no work folder, no exit.
    void expectUntouched(const std::string& what) const {
        EXPECT_EQ(test::treeDigest(root), digestBefore) << what;
        EXPECT_EQ(test::entryNames(apps), std::vector<std::string>{"Ostrel"}) << what;  // no lock file left
        EXPECT_TRUE(test::entryNames(temporary).empty()) << what;
        EXPECT_EQ(host.quits, 0) << what;
        EXPECT_EQ(host.stops, 0) << what;
        EXPECT_FALSE(updater->isInstalling()) << what;
    }
};

StubAnswer serve(const std::string& bytes) { return {200, {{"Content-Type", "application/zip"}}, bytes}; }

std::vector<ZipEntry> goodTree() { return test::installTreeEntries("Ostrel", v2); }

std::vector<ZipEntry> treeWith(ZipEntry extra) {
    auto entries = goodTree();
    entries.push_back(std::move(extra));
    return entries;
}

TEST(UpdateInstallTest, RefusedDownloadsAndArchives) {
    const test::LanguageScope english(AppLanguage::en);
    using Kind = ZipEntry::Kind;
    const std::string good = test::makeZip(goodTree());
    test::TestSigningKey otherKey;

    std::vector<ZipEntry> crowded = goodTree();
    for (int i = 0; i < 100000; ++i) crowded.push_back({"Ostrel/many/" + std::to_string(i), Kind::file, ""});
    auto withoutMarker = goodTree();
    withoutMarker.pop_back();

    struct Case {
        std::string what;
        std::string zip;
        std::function<void(ReleaseInfo&)> change;
        std::function<StubAnswer(const std::string&)> answer;
        std::string expected;  // part of the failure's message
        std::uint64_t cap = 1024 * 1024;
    };
    const auto plain = [](const std::string& zip) { return serve(zip); };
    const auto none = [](ReleaseInfo&) {};
    const std::vector<Case> cases{
        {"digest mismatch", good, [](ReleaseInfo& r) { r.sha256 = ReleaseFeed::sha256Hex("other"); }, plain,
         "SHA-256 checksum mismatch (expected " + ReleaseFeed::sha256Hex("other").substr(0, 10) + "…, got " +
             ReleaseFeed::sha256Hex(good).substr(0, 10) + "…)."},
        {"bad signature", good, [&](ReleaseInfo& r) { r.signature = test::TestSigningKey().sign(good + "x"); }, plain,
         "Signing key mismatch (unknown ≠ "},
        {"signature by another key", good, [&](ReleaseInfo& r) { r.signature = otherKey.sign(good); }, plain,
         "Signing key mismatch"},
        {"signature not base64", good, [](ReleaseInfo& r) { r.signature = "%%%"; }, plain, "Signing key mismatch"},
        {"signature missing", good, [](ReleaseInfo& r) { r.signature.reset(); }, plain, "not signed"},
        {"digest missing", good, [](ReleaseInfo& r) { r.sha256.reset(); }, plain, "no SHA-256"},
        {"HTTP 500", good, none,
         [](const std::string& zip) {
             return StubAnswer{500, {}, zip};
         },
         "HTTP 500"},
        {"over the cap by length", good, none,
         [](const std::string& zip) {
             StubAnswer answer = serve(zip);
             answer.declaredLength = 3ull * 1024 * 1024 * 1024;
             return answer;
         },
         "exceeds the limit of 1 MiB"},
        {"over the cap while streaming", good, none,
         [](const std::string& zip) {
             StubAnswer answer{200, {}, zip, StubAnswer::Behaviour::chunked};
             answer.repeat = 10000;
             return answer;
         },
         "exceeds the limit of 1 MiB"},
        {"not a ZIP", "<html>error</html>", none, plain, ""},
        {"entry ../x", test::makeZip(treeWith({"Ostrel/../x", Kind::file, "x"})), none, plain, "Ostrel/../x"},
        {"entry /abs", test::makeZip(treeWith({"/abs", Kind::file, "x"})), none, plain, "\"/abs\""},
        {"link leaving the tree", test::makeZip(treeWith({"Ostrel/lib/out", Kind::symlink, "../../x"})), none, plain,
         "link leaving the tree"},
        {"absolute link", test::makeZip(treeWith({"Ostrel/lib/etc", Kind::symlink, "/etc"})), none, plain,
         "link leaving the tree"},
        {"setuid file", test::makeZip(treeWith({"Ostrel/bin/su", Kind::file, "x", 04755})), none, plain, "setuid"},
        {"100,000 entries", test::makeZip(crowded), none, plain, "more than 20000 entries", 64 * 1024 * 1024},
        {"declared 10 GB entry",
         test::makeZip(treeWith({"Ostrel/big", Kind::file, "x", 0644, std::nullopt, 10'000'000'000})), none, plain,
         "unpacks to more than"},
        {"no marker", test::makeZip(withoutMarker), none, plain, "No install tree found in archive."},
        {"other bundle id", test::makeZip(test::installTreeEntries("Ostrel", {"org.other.App", "2.0.0", 2})), none,
         plain, "The archive holds org.other.App 2.0.0 instead of app.ostrel.Ostrel 2.0.0."},
        {"marker version differs", test::makeZip(test::installTreeEntries("Ostrel", {"app.ostrel.Ostrel", "2.0.1", 2})),
         none, plain, "instead of app.ostrel.Ostrel 2.0.0"},
        {"tree under another name", test::makeZip(test::installTreeEntries("Other", v2)), none, plain,
         "No install tree found in archive."},
        {"something beside the tree", test::makeZip(treeWith({"README", Kind::file, "x"})), none, plain,
         "lies beside the install tree"},
        {"control character", test::makeZip(treeWith({"Ostrel/a\nb", Kind::file, "x"})), none, plain,
         "control character"},
    };
    for (const Case& c : cases) {
        InstallRig rig;
        ReleaseInfo release = rig.releaseFor(c.zip);
        c.change(release);
        rig.offer(release, c.answer(c.zip),
                  [&](UpdaterEnvironment& environment) { environment.archiveLimits.maxBytes = c.cap; });
        const std::string message = rig.installAndWaitForFailure();
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.what << ": " << message;
        rig.expectUntouched(c.what);
    }
}

TEST(UpdateInstallTest, ArchiveTopLevelNamesNeverReachAShell) {
    const test::LanguageScope english(AppLanguage::en);
    const test::TempDir here;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(here.path());
    for (const std::string name : {"Ost\"rel", "$(touch pwn)", "`touch pwn`", "Ostrel copy", "Ostrel$(touch pwn)"}) {
        InstallRig rig;
        const std::string zip = test::makeZip(test::installTreeEntries(name, v2));
        rig.offer(rig.releaseFor(zip), serve(zip));
        const std::string message = rig.installAndWaitForFailure();
        EXPECT_NE(message.find("install tree"), std::string::npos) << name << ": " << message;
        rig.expectUntouched(name);
        EXPECT_FALSE(std::filesystem::exists(here.path() / "pwn")) << name;
        EXPECT_FALSE(std::filesystem::exists(rig.apps / "pwn")) << name;
    }
    std::filesystem::current_path(previous);
}

TEST(UpdateInstallTest, SlowDripPastTheDeadlineFails) {
    InstallRig rig;
    const std::string zip = test::makeZip(goodTree());
    StubAnswer drip{200, {}, zip, StubAnswer::Behaviour::drip};
    drip.dripInterval = 50ms;
    rig.offer(rig.releaseFor(zip), drip,
              [](UpdaterEnvironment& environment) { environment.archiveLimits.totalTimeout = 1500ms; });
    const auto start = std::chrono::steady_clock::now();
    const std::string message = rig.installAndWaitForFailure();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_NE(message.find("imed out"), std::string::npos) << message;
    rig.expectUntouched("slow drip");
}

TEST(UpdateInstallTest, ReadOnlyTargetFolderFails) {
    InstallRig rig;
    const std::string zip = test::makeZip(goodTree());
    rig.offer(rig.releaseFor(zip), serve(zip));
    // Root ignores permission bits; the immutable attribute stops it too.
    const bool root = ::geteuid() == 0;
    if (root) {
        if (test::runProcess({"chattr", "+i", rig.apps.string()}).exitCode != 0) GTEST_SKIP() << "no chattr +i here";
    } else {
        ::chmod(rig.apps.c_str(), 0555);
    }
    const std::string message = rig.installAndWaitForFailure();
    if (root) {
        (void)test::runProcess({"chattr", "-i", rig.apps.string()});
    } else {
        ::chmod(rig.apps.c_str(), 0755);
    }
    EXPECT_NE(message.find(rig.apps.string()), std::string::npos) << message;
    rig.expectUntouched("read-only folder");
}

TEST(UpdateInstallTest, NoInstallWhileAPlotRuns) {
    const test::LanguageScope english(AppLanguage::en);
    InstallRig rig;
    const std::string zip = test::makeZip(goodTree());
    rig.offer(rig.releaseFor(zip), serve(zip));
    rig.host.plotRunning = true;
    EXPECT_EQ(rig.installAndWaitForFailure(),
              "A plot is running: the update was not installed. Once the plot has finished, click Check Again to "
              "install it.");
    for (const auto& request : rig.stub.requests()) EXPECT_NE(request.target, "/Ostrel.zip");
    rig.expectUntouched("plot running");
}

TEST(UpdateInstallTest, ABuildWithoutKeysRefusesEveryInstall) {
    const test::LanguageScope english(AppLanguage::en);
    InstallRig rig;
    const std::string zip = test::makeZip(goodTree());
    rig.offer(rig.releaseFor(zip), serve(zip),
              [](UpdaterEnvironment& environment) { environment.trustedKeys.reset(); });
    EXPECT_EQ(rig.installAndWaitForFailure(),
              "This build of Ostrel holds no update signing key: it cannot install updates.");
}

TEST(UpdateInstallTest, ChecksAndSecondInstallsLeaveARunningInstallAlone) {
    InstallRig rig;
    const std::string zip = test::makeZip(goodTree());
    KavrinUpdater& updater = rig.offer(rig.releaseFor(zip), serve(zip));
    const ReleaseInfo release = *updater.availableRelease();
    ASSERT_TRUE(updater.downloadAndInstall(release));
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::Downloading{0.1}));
    EXPECT_FALSE(updater.downloadAndInstall(release));
    updater.checkForUpdates(false);
    updater.checkForUpdates(true);
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::Downloading{0.1}));
    EXPECT_TRUE(test::spinUntil(
        [&] { return rig.host.quits > 0 || std::holds_alternative<UpdaterState::Failed>(updater.state()); }, 60s));
    const auto requests = rig.stub.requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.target == "/feed"; }), 1);
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.target == "/Ostrel.zip"; }),
              1);
    EXPECT_EQ(rig.host.quits, 1);
    EXPECT_EQ(rig.host.stops, 1);
    // The swap happened in this process; the helper waits for this process to end, so the old tree
    // is still in the staging folder beside the new one.
    EXPECT_EQ(InstallTree::readMarker(rig.root), v2);
    EXPECT_TRUE(test::entryNames(rig.temporary).empty());
}

TEST(UpdateInstallTest, AFifoEntryNeverBecomesAFifo) {
    // ZIP keeps the type in the Unix mode bits; libarchive's reader hands anything but a folder or a
    // link over as a regular file, and the unpacker refuses every other type it could be given.
    const test::TempDir folder;
    const auto archive = folder.path() / "fifo.zip";
    std::ofstream(archive, std::ios::binary)
        << test::makeZip(treeWith({"Ostrel/fifo", ZipEntry::Kind::file, "", 0644, S_IFIFO | 0644}));
    const auto out = folder.path() / "out";
    std::filesystem::create_directory(out);
    extractInstallTree(archive, out, "Ostrel", {});
    EXPECT_EQ(std::filesystem::symlink_status(out / "Ostrel" / "fifo").type(), std::filesystem::file_type::regular);
}

TEST(UpdateInstallTest, DamagedArchivesFailCleanly) {
    // Every cut of a good archive, and a flipped byte at every 7th place: an Error or a tree that
    // passed the checks, never a crash or a write outside the folder (the sanitizer build runs this).
    const std::string zip = test::makeZip(goodTree());
    const test::TempDir folder;
    const auto archive = folder.path() / "damaged.zip";
    int failures = 0;
    const auto attempt = [&](const std::string& bytes) {
        std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
        const auto out = folder.path() / "out";
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        try {
            extractInstallTree(archive, out, "Ostrel", {});
        } catch (const Error&) {
            ++failures;
        }
        EXPECT_EQ(test::entryNames(folder.path()), (std::vector<std::string>{"damaged.zip", "out"}));
    };
    for (std::size_t cut = 0; cut < zip.size(); cut += 13) attempt(zip.substr(0, cut));
    for (std::size_t at = 0; at < zip.size(); at += 7) {
        std::string flipped = zip;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
        attempt(flipped);
    }
    EXPECT_GT(failures, 0);
}

TEST(UpdateInstallTest, SwapAndUndoRestoreTheTree) {
    const test::TempDir folder;
    test::writeInstallTree(folder.path() / "Ostrel", v1);
    test::writeInstallTree(folder.path() / "new", v2, "echo new");
    const std::string oldDigest = test::treeDigest(folder.path() / "Ostrel");
    const std::string newDigest = test::treeDigest(folder.path() / "new");
    InstallTree::Swap swap(folder.path() / "new", folder.path() / "Ostrel", folder.path() / "aside");
    EXPECT_EQ(test::treeDigest(folder.path() / "Ostrel"), newDigest);
    EXPECT_EQ(test::treeDigest(swap.oldTree()), oldDigest);
    EXPECT_TRUE(swap.undo());
    EXPECT_EQ(test::treeDigest(folder.path() / "Ostrel"), oldDigest);
    EXPECT_EQ(test::treeDigest(folder.path() / "new"), newDigest);
}

TEST(UpdateInstallTest, RelauncherActsOnlyAfterGoAndEndOfInput) {
    const test::TempDir folder;
    const auto leftover = folder.path() / "left \"$(touch pwn)\"";
    const auto out = folder.path() / "ran";
    const std::vector<std::string> script{"-c", "echo \"$1\" > \"$0\"", out.string(), "it's `me`"};
    {
        std::filesystem::create_directories(leftover);
        InstallTree::Relauncher abandoned(leftover, "/bin/sh", script);
    }  // never told: does nothing
    test::spinUntil([] { return false; }, 200ms);
    EXPECT_TRUE(std::filesystem::exists(leftover));
    EXPECT_FALSE(std::filesystem::exists(out));

    InstallTree::Relauncher relauncher(leftover, "/bin/sh", script);
    const int held = relauncher.commit();
    test::spinUntil([] { return false; }, 200ms);
    EXPECT_FALSE(std::filesystem::exists(out));  // still waiting for this "process" to end
    ::close(held);
    EXPECT_TRUE(test::spinUntil([&] { return std::filesystem::exists(out) && std::filesystem::file_size(out) > 0; }));
    EXPECT_EQ(test::readFile(out.string()), "it's `me`\n");
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "pwn"));
}

TEST(UpdateInstallTest, LeftoversOfAnEarlierInstallAreRemoved) {
    const test::TempDir folder;
    const auto root = folder.path() / "Ostrel";
    test::writeInstallTree(root, v1);
    InstallTree::removeLeftovers(root);  // a start with nothing left over makes nothing beside the tree
    EXPECT_EQ(test::entryNames(folder.path()), (std::vector<std::string>{"Ostrel"}));

    std::filesystem::create_directories(folder.path() / ".Ostrel.update-Ab12Cd" / "old" / "bin");
    std::filesystem::create_directories(folder.path() / ".Ostrel.update-notours");
    std::ofstream(InstallTree::Lock::pathFor(root)).put('\n');  // kept by an install that relaunched
    InstallTree::removeLeftovers(root);
    EXPECT_EQ(test::entryNames(folder.path()), (std::vector<std::string>{".Ostrel.update-notours", "Ostrel"}));

    std::filesystem::create_directories(folder.path() / ".Ostrel.update-Ab12Cd");
    const auto held = InstallTree::Lock::tryAcquire(root);  // another program installs right now
    ASSERT_TRUE(held.has_value());
    EXPECT_FALSE(InstallTree::Lock::tryAcquire(root).has_value());
    InstallTree::removeLeftovers(root);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / ".Ostrel.update-Ab12Cd"));
}

TEST(UpdateInstallTest, TheLockFileLastsAsLongAsTheLock) {
    const test::TempDir folder;
    const auto root = folder.path() / "Ostrel";
    const auto file = InstallTree::Lock::pathFor(root);
    auto first = InstallTree::Lock::tryAcquire(root);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(InstallTree::Lock::tryAcquire(root).has_value());
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(file));

    auto second = InstallTree::Lock::tryAcquire(root);
    ASSERT_TRUE(second.has_value());
    second->holdUntilExit();  // a relaunching install: the file stays for the next start to remove
    second.reset();
    EXPECT_TRUE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace ostrel
