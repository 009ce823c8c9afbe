#include "core/support/system/FileWriting.h"

#include "core/support/system/Error.h"
#include "core/support/system/FileDescriptor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

namespace fs = std::filesystem;

// Symbolic links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinkHops = 40;

[[noreturn]] void fail(int code, const std::string& what) {
    throw Error("file", code, what.empty() ? std::strerror(code) : what);
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, {});
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The file a write to `path` lands in: the path itself, or, when it names a symbolic link, the file
// at the end of the links (which need not exist yet). A relative link is taken from its own folder.
fs::path followLinks(fs::path path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) fail(ec.value(), ec.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    fail(ELOOP, {});
}

// True when `path` exists and is not a regular file: a FIFO, a device, a socket or a folder.
bool isSpecialFile(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Writes straight into a node that must stay what it is (a FIFO or a device): renaming a file over
// it would replace the node.
void writeInPlace(const fs::path& path, std::string_view bytes) {
    const FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) fail(errno, {});
    writeAll(fd.get(), bytes);
}

// The mode a new file gets from open(…, 0666): the process's umask applied. The umask is read from
// /proc, since umask() can only be read by setting it, which would race with other threads.
mode_t usualNewFileMode() {
    mode_t mask = 022;
    const FileDescriptor fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        char text[4096];
        const ssize_t n = ::read(fd.get(), text, sizeof text - 1);
        if (n > 0) {
            text[n] = '\0';
            const char* line = std::strstr(text, "\nUmask:\t");
            if (line != nullptr) mask = static_cast<mode_t>(std::strtoul(line + 8, nullptr, 8));
        }
    }
    return 0666 & ~mask;
}

// Gives the temporary file `fd` what the file it replaces had: its owner and group where this
// process may set them, and its permission bits (set-id bits only when the owner could be kept);
// a new file gets the usual mode.
void takeOverOwnerAndMode(int fd, const fs::path& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) {
        if (::fchmod(fd, usualNewFileMode()) != 0) fail(errno, {});
        return;
    }
    struct stat created {};
    if (::fstat(fd, &created) != 0) fail(errno, {});
    bool ownerKept = created.st_uid == existing.st_uid && created.st_gid == existing.st_gid;
    if (!ownerKept) {
        // Either may be refused (another user's file, a group this process is not in): the file
        // then belongs to this process, as a file it wrote anew would.
        ownerKept = ::fchown(fd, existing.st_uid, existing.st_gid) == 0;
        if (!ownerKept) (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    }
    const mode_t mode = existing.st_mode & (ownerKept ? 07777 : 0777);
    if (::fchmod(fd, mode) != 0) fail(errno, {});
}

// Writes a temporary file beside `target`, flushes it and renames it over the target, which keeps
// its owner and mode.
void replaceThroughTemporary(const fs::path& target, std::string_view bytes) {
    const fs::path folder = target.parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) fail(ec.value(), ec.message());
    }
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (!fd.valid()) fail(errno, {});
    try {
        writeAll(fd.get(), bytes);
        takeOverOwnerAndMode(fd.get(), target);
        if (::fsync(fd.get()) != 0) fail(errno, {});
        if (::close(fd.release()) != 0) fail(errno, {});
        if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno, {});
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

}  // namespace

std::string expandUserPath(const std::string& path) {
    std::string expanded = path;
    if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
        const char* home = std::getenv("HOME");
        expanded = std::string(home ? home : "") + path.substr(1);
    }
    std::error_code ec;
    const auto absolute = fs::absolute(expanded, ec);
    return ec ? expanded : absolute.lexically_normal().string();
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    // stat() follows every link, the kernel's own too (/dev/stdout leads to "pipe:[…]", which is no
    // path): a node that is not a regular file is opened through the path as given.
    if (isSpecialFile(path)) {
        writeInPlace(path, bytes);
    } else {
        replaceThroughTemporary(followLinks(path), bytes);
    }
}

void writeRegularFileAtomically(const std::string& path, std::string_view bytes) {
    // The target is never opened, only renamed over: a node that turns special after this check is
    // replaced, and nothing waits for a reader.
    if (isSpecialFile(path)) fail(EINVAL, path + " is not a regular file");
    replaceThroughTemporary(followLinks(path), bytes);
}

}  // namespace ostrel
