// A stand-in for the installed program in the updater's end-to-end test: run from an install tree,
// it checks the feed named by KAVRIN_UPDATE_URL, installs what it offers over its own tree and quits
// so the helper can relaunch the new program.
//
//   ostrel_update_probe <trusted key, base64>
// Exit status: 0 installed and quitting, 3 failed (the message on standard error), 4 nothing newer,
// 5 no outcome within a minute, 2 bad arguments.
#include "core/update/KavrinUpdater.h"
#include "core/update/UpdateHost.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

class ProbeHost final : public ostrel::UpdateHost {
public:
    [[nodiscard]] bool isPlotRunning() const override { return false; }
    void stopServicesForRelaunch() override { std::fputs("services stopped\n", stderr); }
    void quitForRelaunch() override { QCoreApplication::exit(0); }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) return 2;
    ProbeHost host;
    ostrel::UpdaterEnvironment environment;
    environment.host = &host;
    environment.trustedKeys = ostrel::parseSigningKeys(argv[1]);
    ostrel::KavrinUpdater updater("Ostrel", "app.ostrel.Ostrel", "o/r", "1.0.0", 1, false, environment);
    QObject::connect(&updater, &ostrel::KavrinUpdater::stateChanged, [&] {
        const auto& state = updater.state();
        if (const auto* offered = std::get_if<ostrel::UpdaterState::UpdateAvailable>(&state)) {
            updater.downloadAndInstall(offered->release);
        } else if (const auto* failed = std::get_if<ostrel::UpdaterState::Failed>(&state)) {
            std::fprintf(stderr, "failed: %s\n", failed->message.c_str());
            QCoreApplication::exit(3);
        } else if (std::holds_alternative<ostrel::UpdaterState::UpToDate>(state)) {
            QCoreApplication::exit(4);
        }
    });
    QTimer::singleShot(60000, [] { QCoreApplication::exit(5); });
    QTimer::singleShot(0, [&] { updater.checkForUpdates(false); });
    return QCoreApplication::exec();
}
