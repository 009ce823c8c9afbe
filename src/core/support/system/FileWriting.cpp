#include "core/support/system/FileWriting.h"

#include "core/support/system/Error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

[[noreturn]] void fail(int code, const std::string& what) {
    throw Error("file", code, what.empty() ? std::strerror(code) : what);
}

/// Owns a file descriptor; closes it on scope exit.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

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

}  // namespace

std::string expandUserPath(const std::string& path) {
    std::string expanded = path;
    if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
        const char* home = std::getenv("HOME");
        expanded = std::string(home ? home : "") + path.substr(1);
    }
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(expanded, ec);
    return ec ? expanded : absolute.lexically_normal().string();
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path folder = target.parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) fail(ec.value(), ec.message());
    }
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) fail(errno, {});
    try {
        writeAll(fd.get(), bytes);
        if (::fchmod(fd.get(), 0644) != 0 || ::fsync(fd.get()) != 0) fail(errno, {});
        if (::close(fd.release()) != 0) fail(errno, {});
        if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno, {});
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

}  // namespace ostrel
