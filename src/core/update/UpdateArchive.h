// Unpacking a release archive: a ZIP holding one top-level folder, the install tree.
//
// Two passes with libarchive over the central directory. The first reads every entry's header and
// refuses the whole archive before anything is written: too many entries, a declared total over
// the cap, a path that is absolute, climbs out with "..", holds a control character or lies outside
// the top-level folder, a link leaving the tree, a hard link, a device, a FIFO, a setuid, setgid or
// sticky file, an encrypted entry. The second extracts with libarchive's secure flags (no "..",
// never through a symbolic link), no owners and plain 0644/0755 modes, counting the bytes actually
// written against the same cap.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace ostrel {

struct ArchiveLimits {
    std::uint64_t maxEntries = 20000;
    std::uint64_t maxTotalBytes = 2ull * 1024 * 1024 * 1024;
};

/// Extracts `archive`'s folder `topLevel` into `destination` (an existing, empty folder), giving
/// `destination / topLevel`. Throws Error: the updater's code 11 when the archive holds no entry
/// under `topLevel`, code 22 naming the first refused entry, domain "archive" for an archive
/// libarchive cannot read or write, code 26 when `cancel` is set. What was written
/// before a failure stays in `destination`; the caller removes it.
void extractInstallTree(const std::filesystem::path& archive, const std::filesystem::path& destination,
                        std::string_view topLevel, const ArchiveLimits& limits,
                        const std::atomic<bool>* cancel = nullptr);

}  // namespace ostrel
