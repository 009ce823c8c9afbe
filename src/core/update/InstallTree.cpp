#include "core/update/InstallTree.h"

#include "core/model/Localization.h"
#include "core/support/system/Error.h"
#include "core/support/system/Spawn.h"
#include "core/support/text/Json.h"
#include "core/update/ReleaseInfo.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

extern char** environ;

namespace ostrel::InstallTree {

namespace {

constexpr std::size_t maxMarkerBytes = 64 * 1024;

[[noreturn]] void failErrno(const std::string& what) {
    const int code = errno;
    throw Error("file", code, fmt::format("{}: {}", what, std::strerror(code)));
}

std::optional<std::string> readSmallRegularFile(const std::filesystem::path& file, std::size_t limit) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (static_cast<std::uint64_t>(info.st_size) > limit) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::string hiddenPrefix(const std::filesystem::path& target) { return "." + target.filename().string() + ".update"; }

/// The target's folder cannot take what an install needs beside the target.
[[noreturn]] void failToPrepare(const std::filesystem::path& target) {
    const std::string reason = std::strerror(errno);
    const std::string folder = target.parent_path().string();
    throw UpdateError::make(UpdateError::installFailed,
                            L(fmt::format("Impossible de préparer la mise à jour dans {} : {}.", folder, reason),
                              fmt::format("Cannot prepare the update in {}: {}.", folder, reason)));
}

std::string markerDescription(const std::optional<BundleMarker>& marker) {
    if (!marker) return "?";
    return fmt::format("{} {}", marker->bundleID, marker->version);
}

}  // namespace

std::string markerText(const BundleMarker& marker) {
    Json object{{"bundle_id", marker.bundleID}, {"version", marker.version}};
    if (marker.build) object["build"] = *marker.build;
    return prettyJson(object);
}

std::optional<BundleMarker> readMarker(const std::filesystem::path& root) {
    const auto text = readSmallRegularFile(root / markerPath, maxMarkerBytes);
    if (!text) return std::nullopt;
    const Json object = Json::parse(*text, nullptr, false);
    if (!object.is_object()) return std::nullopt;
    const auto bundleID = object.find("bundle_id");
    const auto version = object.find("version");
    if (bundleID == object.end() || !bundleID->is_string() || version == object.end() || !version->is_string()) {
        return std::nullopt;
    }
    BundleMarker marker{bundleID->get<std::string>(), version->get<std::string>(), std::nullopt};
    if (const auto build = object.find("build"); build != object.end() && build->is_number_integer()) {
        marker.build = build->get<std::int64_t>();
    }
    return marker;
}

std::optional<std::filesystem::path> runningInstallRoot(std::string_view bundleID) {
    std::error_code error;
    const auto program = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return std::nullopt;
    const auto root = program.parent_path().parent_path();
    if (program.parent_path().filename() != "bin") return std::nullopt;
    const auto marker = readMarker(root);
    if (!marker || marker->bundleID != bundleID) return std::nullopt;
    return root;
}

void checkNewTree(const std::filesystem::path& root, std::string_view bundleID, std::string_view version,
                  std::string_view appName) {
    const auto marker = readMarker(root);
    if (!marker) throw UpdateError::noInstallTreeError();
    if (marker->bundleID != bundleID || marker->version != version) {
        const std::string found = markerDescription(marker);
        const std::string expected = fmt::format("{} {}", bundleID, version);
        throw UpdateError::make(UpdateError::noInstallTree,
                                L(fmt::format("L'archive contient {} au lieu de {}.", found, expected),
                                  fmt::format("The archive holds {} instead of {}.", found, expected)));
    }
    struct stat info {};
    const auto program = root / "bin" / std::string(appName);
    if (::lstat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & S_IXUSR) == 0) {
        throw UpdateError::noInstallTreeError();
    }
}

std::filesystem::path Lock::pathFor(const std::filesystem::path& target) {
    return target.parent_path() / (hiddenPrefix(target) + ".lock");
}

std::optional<Lock> Lock::tryAcquire(const std::filesystem::path& target) {
    const auto file = pathFor(target);
    for (;;) {
        FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.valid()) failToPrepare(target);
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK) return std::nullopt;
            failToPrepare(target);
        }
        // The holder before us removes the file as it lets go: a lock on a file no longer at the
        // path guards nothing, so take the one at the path now.
        struct stat held {
        }, named{};
        if (::fstat(fd.get(), &held) != 0) failToPrepare(target);
        if (::lstat(file.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            return Lock(std::move(fd), file);
        }
    }
}

Lock& Lock::operator=(Lock&& other) noexcept {
    if (this != &other) {
        unlock();
        fd_ = std::move(other.fd_);
        file_ = std::move(other.file_);
    }
    return *this;
}

void Lock::unlock() noexcept {
    if (!fd_.valid()) return;
    ::unlink(file_.c_str());  // still held: nobody else can be relying on this file
    fd_.reset();
}

StagingFolder::StagingFolder(const std::filesystem::path& target) {
    std::string pattern = (target.parent_path() / (hiddenPrefix(target) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) failToPrepare(target);
    path_ = pattern;
}

StagingFolder::~StagingFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool StagingFolder::isStagingName(std::string_view name, const std::filesystem::path& target) {
    const std::string prefix = hiddenPrefix(target) + "-";
    return name.size() == prefix.size() + 6 && name.starts_with(prefix);
}

Swap::Swap(const std::filesystem::path& replacement, const std::filesystem::path& target,
           const std::filesystem::path& aside)
    : replacement_(replacement), target_(target) {
    if (::renameat2(AT_FDCWD, replacement.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        exchanged_ = true;
        oldTree_ = replacement;
        return;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) failErrno(target.string());
    // The file system cannot exchange: move the old tree aside, then the new one in, or back.
    if (::rename(target.c_str(), aside.c_str()) != 0) failErrno(target.string());
    if (::rename(replacement.c_str(), target.c_str()) != 0) {
        const int code = errno;
        (void)::rename(aside.c_str(), target.c_str());
        errno = code;
        failErrno(target.string());
    }
    oldTree_ = aside;
}

bool Swap::undo() noexcept {
    if (exchanged_) {
        return ::renameat2(AT_FDCWD, replacement_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0;
    }
    return ::rename(target_.c_str(), replacement_.c_str()) == 0 && ::rename(oldTree_.c_str(), target_.c_str()) == 0;
}

namespace {

// $1 the leftover to remove, $2… the program and its arguments. Reading standard input to its end
// waits for the installing process to end, however it ends; only "go" written before makes the
// helper act.
constexpr const char* relaunchScript =
    "verdict=$(cat); [ \"$verdict\" = go ] || exit 0; rm -rf -- \"$1\"; shift; exec \"$@\" </dev/null";

}  // namespace

Relauncher::Relauncher(const std::filesystem::path& leftover, const std::filesystem::path& program,
                       const std::vector<std::string>& arguments) {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) failErrno("pipe");
    FileDescriptor fromParent(ends[0]);
    toHelper_.reset(ends[1]);

    SpawnActions files;
    posix_spawn_file_actions_adddup2(&files.actions, fromParent.get(), STDIN_FILENO);
    posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&files.actions, 3);  // no socket or lock of ours lives on in it

    SpawnAttributes attributes;
    startWithDefaultSignals(attributes, POSIX_SPAWN_SETSID);

    std::vector<std::string> words{"/bin/sh",       "-c", relaunchScript, "ostrel-relaunch", leftover.string(),
                                   program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int status = ::posix_spawn(&pid_, "/bin/sh", &files.actions, &attributes.attributes, argv.data(), environ);
    if (status != 0) {
        toHelper_.reset();
        throw Error("spawn", status, fmt::format("/bin/sh: {}", std::strerror(status)));
    }
}

Relauncher::~Relauncher() {
    if (!toHelper_.valid()) return;
    toHelper_.reset();  // end of input without "go": the helper ends at once
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

int Relauncher::commit() {
    constexpr std::string_view go = "go";
    // A helper that already ended would raise SIGPIPE; MSG_NOSIGNAL is for sockets, so ignore it here.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    ssize_t written = -1;
    do {
        written = ::write(toHelper_.get(), go.data(), go.size());
    } while (written < 0 && errno == EINTR);
    const int code = errno;
    ::sigaction(SIGPIPE, &previous, nullptr);
    errno = code;
    if (written != static_cast<ssize_t>(go.size())) failErrno("relaunch helper");
    return toHelper_.release();
}

namespace {

/// Staging folders of earlier installs beside `target`.
std::vector<std::filesystem::path> stagingLeftovers(const std::filesystem::path& target) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        if (!StagingFolder::isStagingName(entry.path().filename().string(), target)) continue;
        if (!entry.is_directory(error) || entry.is_symlink(error)) continue;
        found.push_back(entry.path());
    }
    return found;
}

}  // namespace

void removeLeftovers(const std::filesystem::path& target) noexcept {
    try {
        // Nothing is made beside a tree that has nothing left over: no lock file at every start.
        std::error_code error;
        if (stagingLeftovers(target).empty() && !std::filesystem::exists(Lock::pathFor(target), error)) return;
        const auto lock = Lock::tryAcquire(target);
        if (!lock) return;
        for (const auto& leftover : stagingLeftovers(target)) std::filesystem::remove_all(leftover, error);
    } catch (...) {
        // Nothing to report: a leftover that stays is removed by a later start.
    }
}

}  // namespace ostrel::InstallTree
