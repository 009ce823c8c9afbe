// The pieces of a posix_spawn call, owned: file actions and attributes that are destroyed with the
// object, and the signal set-up every child of ours starts from.
#pragma once

#include <spawn.h>

namespace ostrel {

struct SpawnActions {
    posix_spawn_file_actions_t actions{};
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes{};
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

/// Sets `attributes` so the child starts with no signal blocked and the default action for the
/// signals this process may handle or ignore (SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGTERM), plus `flags`.
void startWithDefaultSignals(SpawnAttributes& attributes, short flags = 0);

}  // namespace ostrel
