#include "core/update/KavrinUpdater.h"

#include "core/support/app/SettingsStore.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <thread>

namespace ostrel {
namespace {

using test::LoopbackHttpStub;
using test::StubAnswer;
using namespace std::chrono_literals;

constexpr double launchTime = 1'800'000'000;

StubAnswer json(const std::string& body, int status = 200) {
    return {status, {{"Content-Type", "application/json"}}, body};
}

std::string manifest(const std::string& version, std::optional<int> build = std::nullopt) {
    return R"({"version": ")" + version + R"(", "url": "https://example.org/Ostrel.zip")" +
           (build ? R"(, "build": )" + std::to_string(*build) : std::string()) + "}";
}

/// An updater of "Ostrel" 1.0.0 build 11 whose feed is `feed`, with its clock at `launchTime`.
struct Rig {
    MemorySettingsStore settings;
    std::optional<std::string> feed;
    std::string repository = "owner/repo";
    std::unique_ptr<KavrinUpdater> updater;

    explicit Rig(std::optional<std::string> feedURL = std::nullopt) : feed(std::move(feedURL)) { test::ensureQtApp(); }

    KavrinUpdater& make(bool startAutoCheck = false, std::optional<std::string> version = "1.0.0",
                        std::optional<std::int64_t> build = 11) {
        UpdaterEnvironment environment;
        environment.settings = &settings;
        environment.now = [] { return launchTime; };
        environment.variable = [this](const char* name) {
            return std::string(name) == "KAVRIN_UPDATE_URL" ? feed : std::nullopt;
        };
        environment.launchDelay = 10ms;
        environment.installRoot = "/nonexistent/Ostrel";
        updater = std::make_unique<KavrinUpdater>("Ostrel", "app.ostrel.Ostrel", repository, version, build,
                                                  startAutoCheck, environment);
        return *updater;
    }

    /// Runs one visible check and waits for its outcome.
    KavrinUpdater::State check() {
        updater->checkForUpdates(false);
        EXPECT_EQ(updater->state(), KavrinUpdater::State(UpdaterState::Checking{}));
        test::spinUntil([&] { return !std::holds_alternative<UpdaterState::Checking>(updater->state()); }, 20s);
        return updater->state();
    }
};

TEST(KavrinUpdaterTest, FixedFieldsAndDefaults) {
    Rig rig;
    KavrinUpdater& updater = rig.make(false, std::nullopt, std::nullopt);
    EXPECT_EQ(updater.defaultsPrefix(), "app.ostrel.Ostrel.");
    EXPECT_FALSE(updater.currentVersion().empty());
    EXPECT_GE(updater.currentBuild(), 1);
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::Idle{}));
    EXPECT_EQ(updater.availableRelease(), std::nullopt);
}

TEST(KavrinUpdaterTest, AutoCheckSettingIsLoadedWithoutWritingAndStoredOnEveryAssignment) {
    Rig rig;
    KavrinUpdater& updater = rig.make();
    EXPECT_TRUE(updater.autoCheckOnLaunch());
    EXPECT_EQ(rig.settings.string("autoCheckUpdates"), std::nullopt);
    int notices = 0;
    QObject::connect(&updater, &KavrinUpdater::autoCheckOnLaunchChanged, [&] { ++notices; });
    updater.setAutoCheckOnLaunch(true);
    EXPECT_EQ(rig.settings.string("autoCheckUpdates"), "true");
    rig.settings.remove("autoCheckUpdates");
    updater.setAutoCheckOnLaunch(true);  // unchanged, still written
    EXPECT_EQ(rig.settings.string("autoCheckUpdates"), "true");
    updater.setAutoCheckOnLaunch(false);
    EXPECT_EQ(rig.settings.string("autoCheckUpdates"), "false");
    EXPECT_EQ(notices, 3);

    Rig again;
    again.settings.setString("autoCheckUpdates", "false");
    EXPECT_FALSE(again.make().autoCheckOnLaunch());
}

TEST(KavrinUpdaterTest, LaunchCheckRule) {
    LoopbackHttpStub stub({{"/feed", json(manifest("9.0.0"))}});
    struct Case {
        const char* what;
        std::optional<std::string> lastCheck;
        bool startAutoCheck;
        std::optional<std::string> autoCheck;
        bool checks;
    };
    const std::string day = std::to_string(launchTime - 86400);
    const std::vector<Case> cases{
        {"first launch", std::nullopt, true, std::nullopt, true},
        {"86399 s after", std::to_string(launchTime - 86399), true, std::nullopt, false},
        {"86400 s after", day, true, std::nullopt, true},
        {"stored time in the future", std::to_string(launchTime + 3600), true, std::nullopt, true},
        {"stored time not finite", "inf", true, std::nullopt, true},
        {"stored time unreadable", "soon", true, std::nullopt, true},
        {"headless", std::nullopt, false, std::nullopt, false},
        {"switched off", std::nullopt, true, "false", false},
    };
    for (const Case& c : cases) {
        Rig rig(stub.base() + "/feed");
        if (c.lastCheck) rig.settings.setString("lastUpdateCheckTimestamp", *c.lastCheck);
        if (c.autoCheck) rig.settings.setString("autoCheckUpdates", *c.autoCheck);
        const auto before = stub.requests().size();
        KavrinUpdater& updater = rig.make(c.startAutoCheck);
        test::spinUntil([&] { return updater.availableRelease().has_value(); }, 1500ms);
        EXPECT_EQ(stub.requests().size() - before, c.checks ? 1u : 0u) << c.what;
        EXPECT_EQ(updater.availableRelease().has_value(), c.checks) << c.what;
        if (c.checks) {
            EXPECT_EQ(rig.settings.string("lastUpdateCheckTimestamp"), "1800000000") << c.what;
        }
    }
}

TEST(KavrinUpdaterTest, ABuildWithoutARepositoryChecksOnlyAFeedItIsGiven) {
    LoopbackHttpStub stub({{"/feed", json(manifest("9.0.0"))}});
    Rig bare;
    bare.repository.clear();
    KavrinUpdater& quiet = bare.make(true);
    EXPECT_EQ(quiet.configuredFeedURL(), "");
    test::spinUntil([] { return false; }, 200ms);
    EXPECT_EQ(bare.settings.string("lastUpdateCheckTimestamp"), std::nullopt);  // no launch check
    quiet.checkForUpdates(false);
    const auto* failed = std::get_if<UpdaterState::Failed>(&quiet.state());
    ASSERT_NE(failed, nullptr);
    EXPECT_NE(failed->message.find("KAVRIN_UPDATE_URL"), std::string::npos) << failed->message;

    Rig stored;
    stored.repository.clear();
    stored.settings.setString("updateURL", stub.base() + "/feed");
    KavrinUpdater& updater = stored.make(true);
    EXPECT_TRUE(test::spinUntil([&] { return updater.availableRelease().has_value(); }, 5s));
    EXPECT_EQ(stub.requests().size(), 1u);
}

TEST(KavrinUpdaterTest, VisibleCheckOutcomesAndRequest) {
    LoopbackHttpStub stub({
        {"/newer", json(manifest("1.0.1"))},
        {"/same", json(manifest("1.0.0"))},
        {"/same-larger-build", json(manifest("1.0", 12))},
        {"/limited", json(R"({"message": "API rate limit exceeded"})", 403)},
        {"/broken", json("<html>")},
        {"/missing", json("not even read", 404)},
        {"/to-a-file", StubAnswer{302, {{"Location", "file:///etc/hostname"}}, ""}},
    });
    const test::LanguageScope english(AppLanguage::en);
    Rig rig;
    rig.make();
    const auto checkAt = [&](const std::string& path) {
        rig.feed = stub.base() + path;
        return rig.check();
    };
    EXPECT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(checkAt("/newer")));
    EXPECT_EQ(checkAt("/same"), KavrinUpdater::State(UpdaterState::UpToDate{"1.0.0"}));
    EXPECT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(checkAt("/same-larger-build")));
    EXPECT_EQ(checkAt("/missing"), KavrinUpdater::State(UpdaterState::UpToDate{"1.0.0"}));
    EXPECT_EQ(checkAt("/limited"), KavrinUpdater::State(UpdaterState::Failed{"The update server answered HTTP 403."}));
    EXPECT_TRUE(std::holds_alternative<UpdaterState::Failed>(checkAt("/broken")));
    EXPECT_TRUE(std::holds_alternative<UpdaterState::Failed>(checkAt("/to-a-file")));  // redirects stay on HTTP
    rig.feed = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/feed";
    EXPECT_TRUE(std::holds_alternative<UpdaterState::Failed>(rig.check()));

    const auto request = stub.requests().front();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.headers.at("accept"), "application/vnd.github+json, application/json");
    EXPECT_EQ(request.headers.at("user-agent"), "Ostrel/1.0.0");
    EXPECT_EQ(request.headers.at("cache-control"), "no-cache");
}

TEST(KavrinUpdaterTest, FileFeedIsReadAsAFeed) {
    const test::TempDir folder;
    const auto feed = folder.path() / "feed.json";
    std::ofstream(feed) << manifest("2.0.0");
    Rig rig("file://" + feed.string());
    rig.make();
    const auto state = rig.check();
    ASSERT_TRUE(std::holds_alternative<UpdaterState::UpdateAvailable>(state));
    EXPECT_EQ(std::get<UpdaterState::UpdateAvailable>(state).release.version, "2.0.0");
}

TEST(KavrinUpdaterTest, OversizedFeedFails) {
    const test::LanguageScope english(AppLanguage::en);
    StubAnswer endless{200, {}, std::string(64 * 1024, ' '), StubAnswer::Behaviour::chunked};
    endless.repeat = 100;  // 6.4 MiB without a length
    LoopbackHttpStub stub({{"/feed", endless}});
    Rig rig(stub.base() + "/feed");
    rig.make();
    EXPECT_EQ(rig.check(), KavrinUpdater::State(UpdaterState::Failed{"The download exceeds the limit of 1 MiB."}));
}

TEST(KavrinUpdaterTest, SilentCheckOnlyAnnouncesANewerRelease) {
    LoopbackHttpStub stub({{"/same", json(manifest("1.0.0"))}, {"/newer", json(manifest("1.1"))}});
    Rig rig(stub.base() + "/same");
    KavrinUpdater& updater = rig.make();
    updater.checkForUpdates(true);
    EXPECT_EQ(rig.settings.string("lastUpdateCheckTimestamp"), "1800000000");
    test::spinUntil([&] { return stub.requests().size() == 1; });
    test::spinUntil([] { return false; }, 200ms);
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::Idle{}));
    rig.feed = stub.base() + "/nowhere";
    updater.checkForUpdates(true);
    test::spinUntil([&] { return stub.requests().size() == 2; });
    test::spinUntil([] { return false; }, 200ms);
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::Idle{}));
    rig.feed = stub.base() + "/newer";
    updater.checkForUpdates(true);
    EXPECT_TRUE(test::spinUntil([&] { return updater.availableRelease().has_value(); }));
}

TEST(KavrinUpdaterTest, AnOlderCheckThatAnswersLastIsDropped) {
    StubAnswer slow = json(manifest("5.0"));
    slow.behaviour = StubAnswer::Behaviour::drip;
    slow.dripInterval = 20ms;
    LoopbackHttpStub slowStub({{"/feed", slow}});
    LoopbackHttpStub fastStub({{"/feed", json(manifest("1.0.0"))}});
    Rig rig(slowStub.base() + "/feed");
    KavrinUpdater& updater = rig.make();
    updater.checkForUpdates(false);
    rig.feed = fastStub.base() + "/feed";
    EXPECT_EQ(rig.check(), KavrinUpdater::State(UpdaterState::UpToDate{"1.0.0"}));
    test::spinUntil([&] { return slowStub.requests().size() == 1; });
    test::spinUntil([] { return false; }, 1500ms);  // the slow answer has arrived by now
    EXPECT_EQ(updater.state(), KavrinUpdater::State(UpdaterState::UpToDate{"1.0.0"}));
}

TEST(KavrinUpdaterTest, DestroyingTheUpdaterStopsItsCheck) {
    LoopbackHttpStub stub({{"/feed", StubAnswer{200, {}, "", StubAnswer::Behaviour::silent}}});
    Rig rig(stub.base() + "/feed");
    rig.make().checkForUpdates(false);
    test::spinUntil([&] { return stub.requests().size() == 1; });
    const auto start = std::chrono::steady_clock::now();
    rig.updater.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    test::spinUntil([] { return false; }, 100ms);  // a late outcome would reach a destroyed object here
}

TEST(KavrinUpdaterTest, LocalizedNotes) {
    struct Case {
        AppLanguage language;
        std::optional<std::string> fr;
        std::optional<std::string> en;
        std::string expected;
    };
    const std::vector<Case> cases{
        {AppLanguage::en, "fr", "en", "en"},
        {AppLanguage::en, "fr", "", "fr"},
        {AppLanguage::fr, "fr", "en", "fr"},
        {AppLanguage::fr, std::nullopt, "en", "en"},
        {AppLanguage::fr, "   ", "en", "   "},
        {AppLanguage::en, "", std::nullopt, "Maintenance and feature update."},
        {AppLanguage::fr, std::nullopt, "", "Mise à jour de maintenance et d'améliorations."},
    };
    for (const Case& c : cases) {
        const test::LanguageScope language(c.language);
        ReleaseInfo release{"2.0", std::nullopt, "https://x/O.zip", std::nullopt, c.fr, c.en};
        EXPECT_EQ(release.localizedNotes(), c.expected);
    }
}

TEST(KavrinUpdaterTest, StateEquality) {
    using State = KavrinUpdater::State;
    EXPECT_EQ(State(UpdaterState::Downloading{0.1}), State(UpdaterState::Downloading{0.1}));
    EXPECT_NE(State(UpdaterState::Downloading{0.1}), State(UpdaterState::Downloading{0.75}));
    EXPECT_NE(State(UpdaterState::Idle{}), State(UpdaterState::Checking{}));
    EXPECT_NE(State(UpdaterState::Failed{"a"}), State(UpdaterState::Failed{"b"}));
    ReleaseInfo a{"2.0", 3, "https://x/O.zip"};
    ReleaseInfo b = a;
    b.sha256 = "00";
    EXPECT_NE(State(UpdaterState::UpdateAvailable{a}), State(UpdaterState::UpdateAvailable{b}));
}

}  // namespace
}  // namespace ostrel
