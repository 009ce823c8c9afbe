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

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

bool contains(const std::vector<std::string>& words, const char* word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// A headless vectorisation is one short burst of work: the heap grows in large steps (64 MB of address
// space, mapped only as it is used) and keeps what is freed, so memory freed by one step is reused by
// the next instead of being returned to the system and faulted in again.
void tuneHeapForOneShotRun() {
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
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
        tuneHeapForOneShotRun();
        ostrel::HeadlessCLI::runVectorizeAndExit(rest);
    }
    // The snapshot mode and the window come with the application shell.
    return notAvailable();
}
