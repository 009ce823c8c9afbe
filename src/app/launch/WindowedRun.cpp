#include "app/launch/WindowedRun.h"

#include "app/launch/LaunchDispatch.h"
#include "app/launch/SignalQuit.h"
#include "app/launch/SingleInstance.h"
#include "app/launch/Snapshot.h"
#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "app/views/MainWindow.h"
#include "app/views/SettingsWindow.h"
#include "core/model/Localization.h"
#include "core/support/app/SettingsStore.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

std::unique_ptr<QWidget> makeSettingsWindow(AppModel& model) { return std::make_unique<SettingsWindow>(model); }

namespace {

/// A later start: its file (or nothing) goes to the running Ostrel, and its answer is this
/// process's exit status.
int handOff(const InstancePlace& place, const std::string& file) {
    InstanceRequest request;
    if (!file.empty()) request.file = file;
    const HandOffResult result = handOffToRunningInstance(place, request);
    switch (result.outcome) {
        case HandOffResult::Outcome::done:
            return 0;
        case HandOffResult::Outcome::refused:
            std::fprintf(stderr, "Ostrel: %s\n", result.message.c_str());
            return 1;
        case HandOffResult::Outcome::unreachable:
            break;
    }
    std::fprintf(
        stderr, "Ostrel: %s (%s)\n",
        L("un autre Ostrel tourne déjà mais ne répond pas", "another Ostrel is running but does not answer").c_str(),
        result.message.c_str());
    return 1;
}

}  // namespace

void stopEverything(AppModel& model) {
    const AxiDrawRunState& plot = model.plotter().runState();
    if (plot.isRunning() || plot.isPaused()) model.plotter().stopPlot();
    if (RemoteControl* remote = model.remoteControl()) remote->stopAllServices();
}

void quitForSignal(AppModel& model) {
    stopEverything(model);
    // exit() ends every event loop, a modal dialog's too, without sending a close to any window.
    QCoreApplication::exit(0);
}

std::optional<std::string> takeHandOff(AppModel& model, QWidget& window, const std::optional<std::string>& file) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
    if (!file) return std::nullopt;
    if (model.open(std::filesystem::path(*file))) return std::nullopt;
    return model.vectorizer().statusMessage();
}

int runWindowed(int& argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const std::string file = fileArgument(arguments);
    // One window per user and settings folder: a later start gives its file to the running one.
    std::unique_ptr<InstanceServer> instance;
    if (const auto place = instancePlaceFromEnvironment()) {
        instance = InstanceServer::claim(*place);
        if (!instance) return handOff(*place, file);
    }

    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // the application object set it from the environment
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.ostrel.Ostrel"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("app.ostrel.Ostrel")));

    // The saved interface language is read (and a new choice written) through the settings file.
    QtSettingsStore settings;
    Localization::installSettingsStore(&settings);
    UIFonts::ensureLoaded();
    Theme::applyDarkAppearance(application);

    AppModel::Options options;
    options.startServices = true;
    options.persistEnabled = true;
    AppModel model(options);
    ModelSnapshotSource snapshots;
    if (RemoteControl* remote = model.remoteControl()) remote->setSnapshotSource(&snapshots);

    MainWindow window(model);
    std::unique_ptr<QWidget> settingsWindow = makeSettingsWindow(model);
    QObject::connect(&window, &MainWindow::settingsRequested, settingsWindow.get(), [&settingsWindow] {
        settingsWindow->show();
        settingsWindow->raise();
        settingsWindow->activateWindow();
    });
    window.setFirstAppearance([&model, &window, file] {
        model.installKeyMonitor(&window);
        // A named file that cannot be loaded (missing or unreadable) is said in the status line.
        if (!file.empty()) model.open(std::filesystem::path(file));
    });
    // Closing the main window ends the run, also while the settings window is open.
    settingsWindow->setAttribute(Qt::WA_QuitOnClose, false);

    SignalQuit quitOnSignal([&model] { quitForSignal(model); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &model, [&model] { stopEverything(model); });

    window.show();
    if (instance && !instance->listen([&model, &window](const InstanceRequest& request) {
            return takeHandOff(model, window, request.file);
        })) {
        std::fprintf(stderr, "Ostrel: %s\n",
                     L("les démarrages suivants ne pourront pas confier leurs fichiers à cette fenêtre",
                       "later starts cannot hand their files to this window")
                         .c_str());
    }
    const int status = QApplication::exec();
    instance.reset();
    if (RemoteControl* remote = model.remoteControl()) remote->setSnapshotSource(nullptr);
    return status;
}

}  // namespace ostrel
