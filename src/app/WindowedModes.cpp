// The modes of Ostrel that make an application object: the window, the self-test and the offscreen
// snapshot. They are built as a module of their own, which the program loads only when one of them is
// asked for (see main.cpp): the command line's quick modes then never load the widget, network and
// archive libraries these need. The self-test and the snapshot draw on Qt's offscreen platform unless
// a platform is named.
#include "app/launch/LaunchDispatch.h"
#include "app/launch/SelfTest.h"
#include "app/launch/Snapshot.h"
#include "app/launch/WindowedRun.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"
#include "core/pipeline/PdfPage.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Qt wants a private runtime folder and warns on standard error when the session names none (a
/// shell without a login session, CI); it then uses /tmp/runtime-<user>. Name that folder ourselves.
void ensureRuntimeDirectory() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const std::string folder = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 0077) == 0) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder));
    }
}

/// The application object of a mode that draws without showing anything.
int runOffscreen(int& argc, char** argv, int (*mode)(const ostrel::LaunchMode&), const ostrel::LaunchMode& launch) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDirectory();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ostrel::UIFonts::ensureLoaded();
    ostrel::Theme::applyDarkAppearance(application);
    return mode(launch);
}

int selfTest(const ostrel::LaunchMode&) { return ostrel::SelfTest::run(stdout, stderr); }

int snapshot(const ostrel::LaunchMode& launch) {
    const auto& request = std::get<ostrel::LaunchSnapshot>(launch);
    return ostrel::Snapshot::runCLISnapshot(request.outputPath, request.view, stdout, stderr);
}

}  // namespace

/// The module's one entry: runs the self-test, the snapshot or the window, whichever the process's
/// arguments ask for, and returns the exit status. The module keeps its own copy of the program's
/// state, so the PDF renderer program and the interface language are set here again.
extern "C" __attribute__((visibility("default"))) int ostrelRunWindowedModes(int* argc, char** argv) {
    ostrel::PdfPage::setRendererProgram("/proc/self/exe");
    std::setlocale(LC_NUMERIC, "C");
    ostrel::Localization::setProcessArguments(*argc, argv);
    const std::vector<std::string> arguments(argv, argv + *argc);
    const ostrel::LaunchMode launch = ostrel::chooseLaunchMode(arguments);
    if (std::holds_alternative<ostrel::LaunchSelfTest>(launch)) return runOffscreen(*argc, argv, selfTest, launch);
    if (std::holds_alternative<ostrel::LaunchSnapshot>(launch)) return runOffscreen(*argc, argv, snapshot, launch);
    ensureRuntimeDirectory();
    return ostrel::runWindowed(*argc, argv);
}
