// The command line's modes that read images and write drawings (--vectorize, and the help that
// describes them), as a module of their own: the program loads it only for them (main.cpp), so
// `--version` and the PDF renderer child start without Qt and the libraries it brings.
#include "app/launch/LaunchDispatch.h"
#include "app/remote/HeadlessCLI.h"
#include "core/model/Localization.h"
#include "core/pipeline/PdfPage.h"

#include <clocale>
#include <string>
#include <variant>
#include <vector>

/// The module's one entry: runs --vectorize when the process's arguments ask for it, else prints the
/// help, and ends the process. The module keeps its own copy of the program's state, so the PDF
/// renderer program and the interface language are set here again.
extern "C" __attribute__((visibility("default"))) int ostrelRunCommandLine(int argc, char** argv) {
    ostrel::PdfPage::setRendererProgram("/proc/self/exe");
    std::setlocale(LC_NUMERIC, "C");
    ostrel::Localization::setProcessArguments(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    const ostrel::LaunchMode launch = ostrel::chooseLaunchMode(arguments);
    if (const auto* vectorize = std::get_if<ostrel::LaunchVectorize>(&launch)) {
        ostrel::HeadlessCLI::runVectorizeAndExit(vectorize->arguments);
    }
    ostrel::HeadlessCLI::printHelpAndExit();
}
