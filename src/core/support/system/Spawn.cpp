#include "core/support/system/Spawn.h"

#include <csignal>
#include <initializer_list>

namespace ostrel {

void startWithDefaultSignals(SpawnAttributes& attributes, short flags) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGTERM}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    posix_spawnattr_setflags(&attributes.attributes,
                             static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
}

}  // namespace ostrel
