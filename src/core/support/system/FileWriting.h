// Writing files so that nothing already saved is ever half-replaced.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

/// "~" or "~/…" with the home folder; a relative path taken from the current directory.
[[nodiscard]] std::string expandUserPath(const std::string& path);

/// Creates the file's folder and any missing parents, writes `bytes` to a temporary file beside
/// the target, flushes it and renames it over the target. A file replaced keeps its permission bits
/// (and its owner and group where the process may set them); a new file gets the mode open()
/// gives under the umask. A symbolic link is followed and the file
/// it leads to is written that way (the link stays); a FIFO, a device or any other node that is not
/// a regular file is written directly, never replaced. Throws ostrel::Error (domain "file", the
/// errno as code, the system's description as message); on failure a regular target is untouched.
void writeFileAtomically(const std::string& path, std::string_view bytes);

/// The same for a regular file or a new one, but a target that exists and is not a regular file
/// (after its links: a FIFO, a device, a socket, a folder) is refused, unopened, with an Error
/// (domain "file", code EINVAL): a FIFO without a reader or a device never blocks the caller. What
/// the window and its servers write goes through it.
void writeRegularFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace ostrel
