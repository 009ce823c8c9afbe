// Ostrel's entry: headless words are dispatched before any QApplication exists.
#include "model/Localization.h"
#include "support/AppVersion.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    ostrel::Localization::setProcessArguments(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    if (ostrel::AppVersion::isRequested(arguments)) {
        std::puts(ostrel::AppVersion::current().versionLine().c_str());
        return 0;
    }
    std::fputs(ostrel::L("Ostrel : ce mode n'est pas encore disponible dans cette version.\n",
                         "Ostrel: this mode is not available in this build yet.\n")
                   .c_str(),
               stderr);
    return 1;
}
