#include "core/update/KavrinUpdater.h"

#include "core/model/Localization.h"
#include "core/support/app/AppVersion.h"
#include "core/support/app/SettingsStore.h"
#include "core/update/InstallTree.h"
#include "core/update/ReleaseFeed.h"
#include "core/update/UpdateHost.h"

#include <QMetaObject>
#include <QTimer>
#include <QUuid>

#include <fmt/format.h>
#include <openssl/crypto.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <system_error>

#ifndef OSTREL_RELEASE_REPO
#define OSTREL_RELEASE_REPO ""
#endif

namespace ostrel {

namespace {

constexpr const char* autoCheckKey = "autoCheckUpdates";
constexpr const char* lastCheckKey = "lastUpdateCheckTimestamp";
constexpr const char* feedOverrideKey = "updateURL";

/// The build number rule: empty gives 1, a decimal integer with an optional sign its value, else 1.
std::int64_t buildNumber(const std::optional<std::string>& text) {
    if (!text || text->empty()) return 1;
    std::string_view digits = *text;
    if (digits.size() > 1 && digits.front() == '+') digits.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() ? value : 1;
}

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

void requireSuccess(const FetchResult& result) {
    if (result.status != 0 && (result.status < 200 || result.status > 299)) {
        throw UpdateError::httpStatusError(result.status);
    }
}

std::string messageOf(const std::exception& error) { return error.what(); }

/// Runs `work` on the pool; the thread's OpenSSL state (its error queue) is freed when it is done,
/// since a pool thread may outlive the work by far, or end with the process before freeing it.
template <class Work>
void runInBackground(QThreadPool& pool, Work work) {
    pool.start([work = std::move(work)]() mutable {
        work();
        OPENSSL_thread_stop();
    });
}

}  // namespace

namespace {

std::string noFeedMessage() {
    return L(
        "Cette version d'Ostrel n'a pas de flux de mises à jour : KAVRIN_UPDATE_URL ou le réglage "
        "updateURL en désigne un.",
        "This build of Ostrel has no update feed: KAVRIN_UPDATE_URL or the updateURL setting names one.");
}

}  // namespace

struct KavrinUpdater::CheckOutcome {
    enum class Kind { upToDate, newer, failed };
    Kind kind = Kind::upToDate;
    ReleaseInfo release;
    std::string message;
};

/// What an install carries from the background to the main thread for the swap.
struct KavrinUpdater::InstallWork {
    std::filesystem::path target;
    std::optional<InstallTree::Lock> lock;
    std::unique_ptr<InstallTree::StagingFolder> staging;
    std::filesystem::path newTree;  // inside `staging`
};

KavrinUpdater::KavrinUpdater(std::string appName, std::string bundleID, std::string githubRepo,
                             std::optional<std::string> currentVersion, std::optional<std::int64_t> currentBuild,
                             bool startAutoCheck, Environment environment, QObject* parent)
    : QObject(parent),
      appName_(std::move(appName)),
      bundleID_(std::move(bundleID)),
      githubRepo_(std::move(githubRepo)),
      environment_(std::move(environment)),
      state_(UpdaterState::Idle{}) {
    defaultsPrefix_ = bundleID_ + ".";
    const AppVersion& build = AppVersion::current();
    currentVersion_ = currentVersion ? *currentVersion : (build.version.empty() ? "1.0.0" : build.version);
    currentBuild_ = currentBuild ? *currentBuild : buildNumber(build.build);
    if (environment_.settings == nullptr) {
        ownSettings_ = std::make_unique<MemorySettingsStore>();
        environment_.settings = ownSettings_.get();
    }
    if (environment_.temporaryDirectory.empty()) {
        std::error_code error;
        environment_.temporaryDirectory = std::filesystem::temp_directory_path(error);
        if (error) environment_.temporaryDirectory = "/tmp";
    }
    if (environment_.architecture.empty()) environment_.architecture = ReleaseFeed::hostArchitecture();
    pool_.setMaxThreadCount(4);

    const auto stored = setting(autoCheckKey);
    autoCheckOnLaunch_ = !stored || *stored == "true" || *stored == "1";

    if (startAutoCheck) {
        const auto root =
            environment_.installRoot ? environment_.installRoot : InstallTree::runningInstallRoot(bundleID_);
        if (root) runInBackground(pool_, [target = *root] { InstallTree::removeLeftovers(target); });
        if (autoCheckOnLaunch_) scheduleLaunchCheckIfDue();
    }
}

KavrinUpdater::~KavrinUpdater() {
    cancel_->store(true);
    pool_.waitForDone();
}

std::string KavrinUpdater::defaultGithubRepo() { return OSTREL_RELEASE_REPO; }

void KavrinUpdater::setState(State state) {
    state_ = std::move(state);
    emit stateChanged();
}

void KavrinUpdater::setAutoCheckOnLaunch(bool value) {
    autoCheckOnLaunch_ = value;
    emit autoCheckOnLaunchChanged();
    storeSetting(autoCheckKey, value ? "true" : "false");
}

std::optional<ReleaseInfo> KavrinUpdater::availableRelease() const {
    if (const auto* offered = std::get_if<UpdaterState::UpdateAvailable>(&state_)) return offered->release;
    return std::nullopt;
}

std::optional<std::string> KavrinUpdater::setting(const char* name) const {
    return environment_.settings->string(name);
}

void KavrinUpdater::storeSetting(const char* name, const std::string& value) {
    environment_.settings->setString(name, value);
}

double KavrinUpdater::now() const {
    if (environment_.now) return environment_.now();
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void KavrinUpdater::scheduleLaunchCheckIfDue() {
    double last = 0;
    if (const auto text = setting(lastCheckKey)) {
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), last);
        if (error != std::errc() || end != text->data() + text->size()) last = 0;
    }
    const double current = now();
    // A time in the future (a clock set back) or one that is no number must not silence the check.
    const bool due = !std::isfinite(last) || last > current || current - last >= checkInterval;
    if (!due || configuredFeedURL().empty()) return;
    QTimer::singleShot(environment_.launchDelay, this, [this] { checkForUpdates(true); });
}

std::string KavrinUpdater::configuredFeedURL() const {
    std::optional<std::string> variable;
    if (environment_.variable) {
        variable = environment_.variable("KAVRIN_UPDATE_URL");
    } else if (const char* value = std::getenv("KAVRIN_UPDATE_URL")) {
        variable = value;
    }
    return ReleaseFeed::configuredFeedURL(variable, setting(feedOverrideKey), githubRepo_);
}

void KavrinUpdater::checkForUpdates(bool silent) {
    if (installInFlight_) return;
    const std::string url = configuredFeedURL();
    if (url.empty()) {
        if (!silent) setState(UpdaterState::Failed{noFeedMessage()});
        return;
    }
    if (!silent) setState(UpdaterState::Checking{});
    storeSetting(lastCheckKey, fmt::format("{}", now()));
    const std::uint64_t generation = ++checkGeneration_;

    FetchRequest request{url,
                         {"Accept: application/vnd.github+json, application/json",
                          fmt::format("User-Agent: {}/{}", appName_, currentVersion_)},
                         true,
                         environment_.feedLimits};
    runInBackground(pool_, [this, request = std::move(request), generation, silent, cancel = cancel_,
                            bundleID = bundleID_, appName = appName_, architecture = environment_.architecture,
                            version = currentVersion_, build = currentBuild_] {
        CheckOutcome outcome;
        try {
            std::string body;
            const FetchResult result = fetchToString(request, body, cancel.get());
            if (result.status == 404) {
                outcome.kind = CheckOutcome::Kind::upToDate;
            } else {
                requireSuccess(result);
                outcome.release = ReleaseFeed::parseRelease(body, bundleID, appName, architecture);
                const bool newer = ReleaseFeed::isNewer(outcome.release.version, outcome.release.build, version, build);
                outcome.kind = newer ? CheckOutcome::Kind::newer : CheckOutcome::Kind::upToDate;
            }
        } catch (const std::exception& error) {
            outcome.kind = CheckOutcome::Kind::failed;
            outcome.message = messageOf(error);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, silent, outcome] { applyCheckOutcome(generation, silent, outcome); },
            Qt::QueuedConnection);
    });
}

void KavrinUpdater::applyCheckOutcome(std::uint64_t generation, bool silent, const CheckOutcome& outcome) {
    if (generation != checkGeneration_ || installInFlight_) return;
    switch (outcome.kind) {
        case CheckOutcome::Kind::newer:
            setState(UpdaterState::UpdateAvailable{outcome.release});
            break;
        case CheckOutcome::Kind::upToDate:
            if (!silent) setState(UpdaterState::UpToDate{currentVersion_});
            break;
        case CheckOutcome::Kind::failed:
            if (!silent) setState(UpdaterState::Failed{outcome.message});
            break;
    }
}

void KavrinUpdater::failInstall(const std::string& message) {
    installInFlight_ = false;
    setState(UpdaterState::Failed{message});
}

namespace {

Error plotRunningError() {
    return UpdateError::make(UpdateError::plotRunning,
                             L("Un tracé est en cours : la mise à jour n'est pas installée. Une fois le tracé "
                               "terminé, cliquez sur Rechercher à nouveau pour l'installer.",
                               "A plot is running: the update was not installed. Once the plot has finished, click "
                               "Check Again to install it."));
}

Error notReplaceableError() {
    return UpdateError::make(
        UpdateError::notReplaceable,
        L("Ostrel ne tourne pas depuis une arborescence d'installation qu'il peut remplacer : installez la mise à "
          "jour à la main.",
          "Ostrel is not running from an install tree it can replace: install the update by hand."));
}

Error busyError() {
    return UpdateError::make(UpdateError::busy, L("Une autre instance d'Ostrel installe déjà une mise à jour.",
                                                  "Another Ostrel is already installing an update."));
}

Error noHostError() {
    return UpdateError::make(UpdateError::installFailed,
                             L("Cette instance d'Ostrel ne peut pas installer de mise à jour.",
                               "This instance of Ostrel cannot install updates."));
}

/// A work folder in the temporary directory, removed with its contents when the object goes away.
class WorkFolder {
public:
    explicit WorkFolder(const std::filesystem::path& temporaryDirectory)
        : path_(temporaryDirectory /
                ("KavrinUpdater-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString())) {
        std::filesystem::create_directories(path_);
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

bool KavrinUpdater::downloadAndInstall(ReleaseInfo release) {
    if (installInFlight_ || !std::holds_alternative<UpdaterState::UpdateAvailable>(state_)) return false;
    auto work = std::make_shared<InstallWork>();
    std::vector<UpdateSigningKey> trusted;
    try {
        if (environment_.host == nullptr) throw noHostError();
        if (environment_.host->isPlotRunning()) throw plotRunningError();
        trusted = environment_.trustedKeys ? *environment_.trustedKeys : builtInSigningKeys();
        if (trusted.empty()) throw UpdateError::noTrustedKeyError();
        if (!release.sha256 || release.sha256->empty()) throw UpdateError::missingChecksumError();
        if (!release.signature && !release.signatureURL) throw UpdateError::missingSignatureError();
        const auto root =
            environment_.installRoot ? environment_.installRoot : InstallTree::runningInstallRoot(bundleID_);
        if (!root) throw notReplaceableError();
        work->target = *root;
        work->lock = InstallTree::Lock::tryAcquire(work->target);
        if (!work->lock) throw busyError();
    } catch (const std::exception& error) {
        setState(UpdaterState::Failed{messageOf(error)});
        return true;
    }

    installInFlight_ = true;
    ++checkGeneration_;  // a check still on its way has nothing more to say
    setState(UpdaterState::Downloading{0.1});

    const auto post = [this](std::function<void()> step) {
        QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
    };
    runInBackground(pool_, [this, post, work, release = std::move(release), trusted = std::move(trusted),
                            cancel = cancel_, appName = appName_, bundleID = bundleID_, environment = environment_] {
        try {
            {
                const WorkFolder folder(environment.temporaryDirectory);
                const auto archive = folder.path() / (appName + ".zip");
                double shown = 0.1;
                const FetchProgress progress = [&](std::uint64_t received, std::uint64_t expected) {
                    if (expected == 0) return;
                    const double fraction = 0.1 + 0.65 * static_cast<double>(received) / static_cast<double>(expected);
                    if (fraction - shown < 0.01) return;
                    shown = fraction;
                    post([this, fraction] {
                        if (installInFlight_ && std::holds_alternative<UpdaterState::Downloading>(state_)) {
                            setState(UpdaterState::Downloading{fraction});
                        }
                    });
                };
                requireSuccess(fetchToFile({release.downloadURL, {}, false, environment.archiveLimits}, archive,
                                           cancel.get(), progress));
                std::string signature = release.signature.value_or(std::string());
                if (!release.signature) {
                    requireSuccess(fetchToString({*release.signatureURL, {}, false, environment.signatureLimits},
                                                 signature, cancel.get()));
                }
                post([this] { setState(UpdaterState::Downloading{0.75}); });

                const std::string digest = sha256HexOfFile(archive);
                if (digest != lowered(*release.sha256))
                    throw UpdateError::checksumMismatchError(*release.sha256, digest);
                if (!signingKeyOf(archive, signature, trusted)) {
                    throw UpdateError::signingKeyMismatchError(identifiersOf(trusted));
                }
                post([this] { setState(UpdaterState::Installing{}); });

                auto staging = std::make_unique<InstallTree::StagingFolder>(work->target);
                const auto unpacked = staging->path() / "new";
                std::filesystem::create_directory(unpacked);
                extractInstallTree(archive, unpacked, appName, environment.unpackLimits, cancel.get());
                InstallTree::checkNewTree(unpacked / appName, bundleID, release.version, appName);
                work->staging = std::move(staging);
                work->newTree = unpacked / appName;
            }
            post([this, work] { finishInstall(work); });
        } catch (const std::exception& error) {
            work->staging.reset();
            work->lock.reset();
            post([this, message = messageOf(error)] { failInstall(message); });
        }
    });
    return true;
}

void KavrinUpdater::finishInstall(const std::shared_ptr<InstallWork>& work) {
    try {
        // A plot may have started while the archive was on its way.
        if (environment_.host->isPlotRunning()) throw plotRunningError();
        std::vector<std::string> arguments = environment_.relaunchArguments;
        InstallTree::Relauncher relauncher(work->staging->path(), work->target / "bin" / appName_, arguments);
        InstallTree::Swap swap(work->newTree, work->target, work->staging->path() / "old");
        try {
            (void)relauncher.commit();  // held open until this process ends
        } catch (...) {
            if (!swap.undo()) {
                work->staging->release();  // it holds the old tree now: never remove it
                throw UpdateError::make(
                    UpdateError::installFailed,
                    L(fmt::format("La mise à jour n'a pas pu être terminée ; l'ancienne version est dans {}.",
                                  swap.oldTree().string()),
                      fmt::format("The update could not be completed; the previous version is in {}.",
                                  swap.oldTree().string())));
            }
            throw;
        }
        work->staging->release();  // the helper removes it, with the old tree, once we have ended
        work->lock->holdUntilExit();
    } catch (const std::exception& error) {
        work->staging.reset();
        work->lock.reset();
        failInstall(messageOf(error));
        return;
    }
    environment_.host->stopServicesForRelaunch();
    environment_.host->quitForRelaunch();
}

}  // namespace ostrel
