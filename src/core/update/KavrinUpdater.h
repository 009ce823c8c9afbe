// The one object through which the application learns of, offers and installs new releases of
// itself.
//
// Main thread only. It holds the running version and build, three settings (automatic check at
// launch, time of the last check, a feed address override) and an observable state. A release check
// fetches the feed in the background; an install downloads the release ZIP, requires both its
// SHA-256 and an Ed25519 signature by a trusted key, unpacks it beside the installed tree, checks
// the new tree, swaps the two trees in this process and only then hands over to a detached helper
// that relaunches the program once this one has ended. Every result comes back to the main thread
// and is applied only while it is still current; a failure leaves the installed tree as it was and
// the program running, in `failed` with a message.
#pragma once

#include "core/update/ReleaseInfo.h"
#include "core/update/UpdateArchive.h"
#include "core/update/UpdateDownload.h"
#include "core/update/UpdateSignature.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

class SettingsStore;
class UpdateHost;

/// What the updater reads from outside itself; every default is the real one.
struct UpdaterEnvironment {
    SettingsStore* settings = nullptr;                                ///< null: settings live in memory only
    UpdateHost* host = nullptr;                                       ///< null: installs are refused
    std::function<double()> now;                                      ///< seconds since 1970; null: the system clock
    std::function<std::optional<std::string>(const char*)> variable;  ///< null: the process environment
    std::chrono::milliseconds launchDelay{2500};
    /// The tree to replace; none: the tree of the running program (see InstallTree).
    std::optional<std::filesystem::path> installRoot;
    /// Keys an archive must be signed by; none: the keys this build was given.
    std::optional<std::vector<UpdateSigningKey>> trustedKeys;
    std::filesystem::path temporaryDirectory;  ///< empty: the system's
    std::string architecture;                  ///< empty: this machine's
    FetchLimits feedLimits{1024 * 1024};
    FetchLimits archiveLimits{512ull * 1024 * 1024};
    FetchLimits signatureLimits{4096};
    ArchiveLimits unpackLimits;
    std::vector<std::string> relaunchArguments;  ///< given to the new program
};

class KavrinUpdater final : public QObject {
    Q_OBJECT

public:
    using State = UpdaterStateValue;
    using Environment = UpdaterEnvironment;

    /// Seconds between two launch checks.
    static constexpr double checkInterval = 86400;

    /// `currentVersion` none: this build's version ("1.0.0" when it has none); `currentBuild` none:
    /// this build's number read as a decimal integer, 1 when it has none or is not one. With
    /// `startAutoCheck`, removes what an earlier install left beside the installed tree and, when
    /// the automatic check is on and the last check is a day old, in the future or unreadable,
    /// checks silently after `launchDelay`.
    KavrinUpdater(std::string appName, std::string bundleID, std::string githubRepo,
                  std::optional<std::string> currentVersion, std::optional<std::int64_t> currentBuild,
                  bool startAutoCheck, Environment environment = {}, QObject* parent = nullptr);
    /// Cancels what runs in the background and waits for it (an install ends within a second).
    ~KavrinUpdater() override;
    KavrinUpdater(const KavrinUpdater&) = delete;
    KavrinUpdater& operator=(const KavrinUpdater&) = delete;

    [[nodiscard]] const std::string& appName() const noexcept { return appName_; }
    [[nodiscard]] const std::string& bundleID() const noexcept { return bundleID_; }
    [[nodiscard]] const std::string& githubRepo() const noexcept { return githubRepo_; }
    [[nodiscard]] const std::string& currentVersion() const noexcept { return currentVersion_; }
    [[nodiscard]] std::int64_t currentBuild() const noexcept { return currentBuild_; }
    [[nodiscard]] const std::string& defaultsPrefix() const noexcept { return defaultsPrefix_; }

    [[nodiscard]] const State& state() const noexcept { return state_; }
    [[nodiscard]] bool autoCheckOnLaunch() const noexcept { return autoCheckOnLaunch_; }
    /// Stores the value under `autoCheckUpdates`, changed or not.
    void setAutoCheckOnLaunch(bool value);
    /// The release offered by `updateAvailable`; none in every other state.
    [[nodiscard]] std::optional<ReleaseInfo> availableRelease() const;
    /// True from the start of an install to its failure (or the end of the program).
    [[nodiscard]] bool isInstalling() const noexcept { return installInFlight_; }

    /// Starts a release check and returns at once. A visible check (`silent` false) shows `checking`
    /// and then its outcome; a silent one changes the state only to offer a newer release. Every
    /// check records its start time. While an install runs a check does nothing; a check's outcome
    /// that arrives after a newer check or an install started is dropped.
    void checkForUpdates(bool silent);
    /// Installs the release offered now; returns false and does nothing unless the state is
    /// `updateAvailable` and no install runs. Refusals that need no download (a plot runs, no
    /// trusted key, no digest or signature, a tree that is not ours, another install) end in
    /// `failed` at once.
    bool downloadAndInstall(ReleaseInfo release);  // a copy: the state that offers it is replaced

    /// The feed address: KAVRIN_UPDATE_URL, the `updateURL` setting, then the default feed; empty when
    /// none is set and this updater has no repository (then nothing is checked at launch, and a
    /// check asked for by the user fails with a text that says so).
    [[nodiscard]] std::string configuredFeedURL() const;

    /// The release repository this build was configured with (its OSTREL_RELEASE_REPO); empty in a
    /// build with no default feed.
    [[nodiscard]] static std::string defaultGithubRepo();

signals:
    void stateChanged();
    void autoCheckOnLaunchChanged();

private:
    struct CheckOutcome;
    struct InstallWork;

    void setState(State state);
    void scheduleLaunchCheckIfDue();
    void applyCheckOutcome(std::uint64_t generation, bool silent, const CheckOutcome& outcome);
    void failInstall(const std::string& message);
    void finishInstall(const std::shared_ptr<InstallWork>& work);
    [[nodiscard]] std::optional<std::string> setting(const char* name) const;
    void storeSetting(const char* name, const std::string& value);
    [[nodiscard]] double now() const;

    std::string appName_;
    std::string bundleID_;
    std::string githubRepo_;
    std::string currentVersion_;
    std::int64_t currentBuild_ = 1;
    std::string defaultsPrefix_;
    Environment environment_;
    std::unique_ptr<SettingsStore> ownSettings_;  // when none is given
    State state_;
    bool autoCheckOnLaunch_ = true;
    bool installInFlight_ = false;
    std::uint64_t checkGeneration_ = 0;  // the newest check; older outcomes are dropped
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    QThreadPool pool_;  // last: waited for in the destructor
};

}  // namespace ostrel
