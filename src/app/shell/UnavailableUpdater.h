// The updater of a build that cannot check for releases. It has the updater's shape (its state
// with every case, the release record, the derived available release and the check) so that the
// model and the menus use it exactly as they use the real one, but its check always ends in a
// failure that says checking is not available in this build. It never claims "up to date".
// Main thread only.
#pragma once

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace ostrel {

class UnavailableUpdater final : public QObject {
    Q_OBJECT

public:
    /// One release offered by a feed.
    struct ReleaseInfo {
        std::string version;
        std::optional<std::int64_t> build;
        std::string downloadURL;
        std::optional<std::string> sha256;
        std::optional<std::string> notesFR;
        std::optional<std::string> notesEN;
        std::optional<std::string> htmlURL;
        friend bool operator==(const ReleaseInfo&, const ReleaseInfo&) = default;
    };

    struct Idle {
        friend bool operator==(const Idle&, const Idle&) = default;
    };
    struct Checking {
        friend bool operator==(const Checking&, const Checking&) = default;
    };
    struct UpToDate {
        std::string version;
        friend bool operator==(const UpToDate&, const UpToDate&) = default;
    };
    struct UpdateAvailable {
        ReleaseInfo release;
        friend bool operator==(const UpdateAvailable&, const UpdateAvailable&) = default;
    };
    struct Downloading {
        double fraction = 0;
        friend bool operator==(const Downloading&, const Downloading&) = default;
    };
    struct Installing {
        friend bool operator==(const Installing&, const Installing&) = default;
    };
    struct Failed {
        std::string message;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    using State = std::variant<Idle, Checking, UpToDate, UpdateAvailable, Downloading, Installing, Failed>;

    /// Idle. `startAutoCheck` schedules nothing: a silent check could never announce a release.
    UnavailableUpdater(std::string appName, std::string bundleID, std::string githubRepo, std::string currentVersion,
                       std::int64_t currentBuild, bool startAutoCheck, QObject* parent = nullptr);

    [[nodiscard]] const std::string& appName() const noexcept { return appName_; }
    [[nodiscard]] const std::string& bundleID() const noexcept { return bundleID_; }
    [[nodiscard]] const std::string& githubRepo() const noexcept { return githubRepo_; }
    [[nodiscard]] const std::string& currentVersion() const noexcept { return currentVersion_; }
    [[nodiscard]] std::int64_t currentBuild() const noexcept { return currentBuild_; }

    [[nodiscard]] const State& state() const noexcept { return state_; }
    /// The release of an `UpdateAvailable` state, else none.
    [[nodiscard]] std::optional<ReleaseInfo> availableRelease() const;

    /// Returns at once. Not silent: `Checking`, then (from the event loop) `Failed` with the text
    /// that checking is not available in this build. Silent: nothing, as a silent check only ever
    /// announces a newer release.
    void checkForUpdates(bool silent);

signals:
    void stateChanged();

private:
    void setState(State state);

    std::string appName_;
    std::string bundleID_;
    std::string githubRepo_;
    std::string currentVersion_;
    std::int64_t currentBuild_;
    State state_ = Idle{};
    std::uint64_t checkGeneration_ = 0;  // a newer check supersedes the answer of an older one
};

}  // namespace ostrel
