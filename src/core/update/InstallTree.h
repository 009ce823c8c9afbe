// The install tree on disk and the steps that replace it.
//
// What is updated is a tree made by `cmake --install --prefix ROOT`: ROOT/bin/<app>, and a marker
// ROOT/share/ostrel/bundle.json ({"bundle_id", "version", "build"}) that says the tree is ours. A
// new tree is unpacked into a staging folder beside the target (same file system), checked, then
// exchanged with the target in one renameat2(RENAME_EXCHANGE), or, where the file system cannot
// exchange, renamed aside with a rollback. The old tree is then inside the staging folder; a small
// detached shell helper removes it once this process has ended and starts the new program.
#pragma once

#include "core/support/system/FileDescriptor.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct BundleMarker {
    std::string bundleID;
    std::string version;
    std::optional<std::int64_t> build;
    friend bool operator==(const BundleMarker&, const BundleMarker&) = default;
};

namespace InstallTree {

/// The marker's place inside a tree.
inline constexpr std::string_view markerPath = "share/ostrel/bundle.json";

/// The marker's text for a tree.
[[nodiscard]] std::string markerText(const BundleMarker& marker);

/// The tree's marker; none when it is missing, not a regular file, over 64 KiB or not a marker.
[[nodiscard]] std::optional<BundleMarker> readMarker(const std::filesystem::path& root);

/// The tree the running program belongs to: realpath(/proc/self/exe)/../.., when that tree's marker
/// names `bundleID`; none for any other place (a build folder, a package manager's prefix).
[[nodiscard]] std::optional<std::filesystem::path> runningInstallRoot(std::string_view bundleID);

/// Checks an unpacked tree before it replaces the installed one: our marker with `bundleID` and
/// `version`, and `bin/<appName>` an executable regular file. Throws the updater's code 11.
void checkNewTree(const std::filesystem::path& root, std::string_view bundleID, std::string_view version,
                  std::string_view appName);

/// Exclusive right to replace one tree: an flock on "<parent>/.<name>.update.lock". The file exists
/// only while an install holds it: the holder removes it when the object goes away. A lock kept until
/// the process ends (an install that relaunches) leaves the file behind for the next start's
/// `removeLeftovers`.
class Lock {
public:
    /// None when another process holds it. Throws the updater's code 26 naming the target's folder
    /// when the lock file cannot be made there.
    [[nodiscard]] static std::optional<Lock> tryAcquire(const std::filesystem::path& target);
    [[nodiscard]] static std::filesystem::path pathFor(const std::filesystem::path& target);
    /// Keeps the lock until the process ends, whatever becomes of this object.
    void holdUntilExit() noexcept { (void)fd_.release(); }

    Lock(Lock&& other) noexcept = default;
    Lock& operator=(Lock&& other) noexcept;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() { unlock(); }

private:
    /// Removes the file and lets go of the lock, when this object holds it.
    void unlock() noexcept;
    Lock(FileDescriptor fd, std::filesystem::path file) noexcept : fd_(std::move(fd)), file_(std::move(file)) {}
    FileDescriptor fd_;
    std::filesystem::path file_;
};

/// A fresh folder "<parent>/.<name>.update-XXXXXX" beside the target, removed with its contents when
/// the object goes away unless it was handed on with `release`.
class StagingFolder {
public:
    /// Throws the updater's code 26 naming the target's folder when it cannot be created there.
    explicit StagingFolder(const std::filesystem::path& target);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    /// Stops removing the folder (someone else will).
    void release() noexcept { path_.clear(); }
    /// True for a name this class gives its folders for `target`.
    [[nodiscard]] static bool isStagingName(std::string_view name, const std::filesystem::path& target);

private:
    std::filesystem::path path_;
};

/// One exchange of two trees, undone on request.
class Swap {
public:
    /// Puts `replacement` at `target` and the old tree where `replacement` was (or, where the file
    /// system cannot exchange, at `aside`). Throws Error (domain "file") and leaves both as they were.
    Swap(const std::filesystem::path& replacement, const std::filesystem::path& target,
         const std::filesystem::path& aside);
    /// Where the old tree is now.
    [[nodiscard]] const std::filesystem::path& oldTree() const noexcept { return oldTree_; }
    /// Puts the old tree back at the target (and the new one where it came from). Never throws;
    /// false when that failed.
    [[nodiscard]] bool undo() noexcept;

private:
    std::filesystem::path replacement_;
    std::filesystem::path target_;
    std::filesystem::path oldTree_;
    bool exchanged_ = false;
};

/// The detached helper that finishes an install once this process has ended: it waits for the end
/// of a pipe whose writing end only this process holds, and acts only when told "go" before that:
/// it then removes `leftover` and executes `program` with `arguments`. Paths reach it as positional
/// parameters of a fixed script, never as script text.
class Relauncher {
public:
    /// Starts the helper, waiting. Throws Error (domain "spawn") when it cannot be started.
    Relauncher(const std::filesystem::path& leftover, const std::filesystem::path& program,
               const std::vector<std::string>& arguments);
    /// Without `commit`, the helper is told nothing, ends by itself and is reaped.
    ~Relauncher();
    Relauncher(const Relauncher&) = delete;
    Relauncher& operator=(const Relauncher&) = delete;

    /// Tells the helper to act once this process has ended; returns the pipe's writing end, which
    /// the process keeps open until it ends (closing it earlier lets the helper act at once).
    /// Throws Error (domain "file") when the helper can no longer be told.
    [[nodiscard]] int commit();
    [[nodiscard]] pid_t pid() const noexcept { return pid_; }

private:
    FileDescriptor toHelper_;
    pid_t pid_ = -1;
};

/// Removes staging folders an earlier install left beside `target` (a helper that never ran),
/// unless another process holds the install lock. Never throws.
void removeLeftovers(const std::filesystem::path& target) noexcept;

}  // namespace InstallTree

}  // namespace ostrel
