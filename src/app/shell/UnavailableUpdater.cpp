#include "app/shell/UnavailableUpdater.h"

#include "core/model/Localization.h"

#include <QTimer>

namespace ostrel {

UnavailableUpdater::UnavailableUpdater(std::string appName, std::string bundleID, std::string githubRepo,
                                       std::string currentVersion, std::int64_t currentBuild, bool /*startAutoCheck*/,
                                       QObject* parent)
    : QObject(parent),
      appName_(std::move(appName)),
      bundleID_(std::move(bundleID)),
      githubRepo_(std::move(githubRepo)),
      currentVersion_(std::move(currentVersion)),
      currentBuild_(currentBuild) {}

std::optional<UnavailableUpdater::ReleaseInfo> UnavailableUpdater::availableRelease() const {
    if (const auto* available = std::get_if<UpdateAvailable>(&state_)) return available->release;
    return std::nullopt;
}

void UnavailableUpdater::checkForUpdates(bool silent) {
    if (silent) return;
    const std::uint64_t generation = ++checkGeneration_;
    setState(Checking{});
    // The answer arrives later, as a real check's would, so a caller that opens the update window
    // first sees the check under way.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != checkGeneration_) return;
        setState(Failed{L("La recherche de mises à jour n'est pas disponible dans cette version d'Ostrel.",
                          "Checking for updates is not available in this build of Ostrel.")});
    });
}

void UnavailableUpdater::setState(State state) {
    state_ = std::move(state);
    emit stateChanged();
}

}  // namespace ostrel
