// Ostrel's entry. The headless words are dispatched before any QApplication
// exists, so those modes never need a display.
#include "core/model/Localization.h"
#include "app/remote/HeadlessCLI.h"
#include "core/support/app/AppVersion.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool contains(const std::vector<std::string>& words, const char* word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

int notAvailable() {
    std::fputs(ostrel::L("Ostrel : ce mode n'est pas encore disponible dans cette version.\n",
                         "Ostrel: this mode is not available in this build yet.\n")
                   .c_str(),
               stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_NUMERIC, "C");
    ostrel::Localization::setProcessArguments(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    const std::vector<std::string> rest(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end());

    if (ostrel::AppVersion::isRequested(arguments)) {
        std::puts(ostrel::AppVersion::current().versionLine().c_str());
        return 0;
    }
    if (contains(rest, "--help") || contains(rest, "-h")) ostrel::HeadlessCLI::printHelpAndExit();
    if (contains(rest, "--self-test")) return notAvailable();
    if (contains(rest, "--vectorize")) {
        ostrel::HeadlessCLI::runVectorizeAndExit(rest);
    }
    // The snapshot mode and the window come with the application shell.
    return notAvailable();
}
