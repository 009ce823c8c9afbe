// Handing a file to an Ostrel that already runs.
//
// The desktop starts a new process for every file it opens with Ostrel. Before that process opens a
// window of its own it asks the loopback HTTP API whether an Ostrel answers there; if one does, the
// file goes to it (POST /v1/open) and the new process ends.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

/// True when an Ostrel answered GET /v1/state on 127.0.0.1:`port` and then took the open request
/// for `path` (whatever the outcome of the load: the running program reports that itself). False
/// when nothing answers, something else answers, or the exchange fails. Blocks for at most about
/// a second when nothing listens; waits for the running program's answer to the open request.
[[nodiscard]] bool handOffFileToRunningInstance(std::uint16_t port, const std::string& path);

}  // namespace ostrel
