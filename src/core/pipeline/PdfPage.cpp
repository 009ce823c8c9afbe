#include "core/pipeline/PdfPage.h"

#include "core/support/system/Spawn.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ostrel::PdfPage {

namespace {

constexpr std::size_t kHeaderBytes = 8;  // width and height, 32-bit little-endian

std::mutex programMutex;
std::string rendererProgram;                                     // guarded by programMutex
std::chrono::milliseconds rendererTimeLimit = kRenderTimeLimit;  // guarded by programMutex
PageRenderer inProcessRenderer = nullptr;                        // guarded by programMutex

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A child process that is killed and reaped however its parent's work with it ends.
class Child {
public:
    explicit Child(pid_t pid) noexcept : pid_(pid) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            (void)waitFor(nullptr);
        }
    }

    // Waits until the child ends or `deadline` passes (then kills it); true when it exited with 0.
    bool exitedCleanlyBy(std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            int status = 0;
            const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
            if (ended == pid_) {
                pid_ = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            if (ended < 0 && errno != EINTR) {
                pid_ = -1;  // reaped elsewhere: its output alone decides
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            ::poll(nullptr, 0, 5);
        }
    }

private:
    bool waitFor(int* status) {
        while (::waitpid(pid_, status, 0) < 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    pid_t pid_;
};

// Reads the child's page from `fd` until its end, the page's size or the deadline; the page when
// it came whole.
std::optional<QImage> readPage(int fd, int maxDimension, std::chrono::steady_clock::time_point deadline) {
    unsigned char header[kHeaderBytes];
    std::size_t headerRead = 0;
    QImage page;
    std::size_t pixelBytes = 0;
    std::size_t pixelsRead = 0;
    for (;;) {
        using std::chrono::milliseconds;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
        if (polled < 0 && errno != EINTR) return std::nullopt;
        if (polled <= 0) continue;
        char* into = nullptr;
        std::size_t room = 0;
        if (headerRead < kHeaderBytes) {
            into = reinterpret_cast<char*>(header) + headerRead;
            room = kHeaderBytes - headerRead;
        } else {
            room = pixelBytes - pixelsRead;
            into = reinterpret_cast<char*>(page.bits()) + pixelsRead;
            if (room == 0) {  // the page is whole: anything more is wrong
                char extra = 0;
                const ssize_t n = ::read(fd, &extra, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n == 0) return page;
                return std::nullopt;
            }
        }
        const ssize_t n = ::read(fd, into, room);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        if (headerRead < kHeaderBytes) {
            headerRead += static_cast<std::size_t>(n);
            if (headerRead == kHeaderBytes) {
                const auto little = [&](int at) {
                    return std::uint32_t{header[at]} | std::uint32_t{header[at + 1]} << 8 |
                           std::uint32_t{header[at + 2]} << 16 | std::uint32_t{header[at + 3]} << 24;
                };
                const std::uint32_t w = little(0);
                const std::uint32_t h = little(4);
                const auto limit = static_cast<std::uint32_t>(maxDimension);
                if (w < 1 || h < 1 || w > limit || h > limit) return std::nullopt;
                page = QImage(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
                if (page.isNull() || page.bytesPerLine() != static_cast<qsizetype>(w) * 4) return std::nullopt;
                pixelBytes = std::size_t{w} * h * 4;
            }
        } else {
            pixelsRead += static_cast<std::size_t>(n);
        }
    }
}

QImage renderInChild(const std::string& program, std::chrono::milliseconds timeLimit, const QByteArray& bytes,
                     int maxDimension) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    const FileDescriptor input = memoryFileOf(bytes);
    if (!input.valid()) return {};
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) return {};
    FileDescriptor output(ends[0]);
    FileDescriptor childOutput(ends[1]);

    SpawnActions files;
    posix_spawn_file_actions_adddup2(&files.actions, input.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&files.actions, childOutput.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&files.actions, 3);
    SpawnAttributes attributes;
    startWithDefaultSignals(attributes);

    std::string argument(kRendererArgument);
    std::string size = std::to_string(maxDimension);
    std::string programCopy = program;
    char* argv[] = {programCopy.data(), argument.data(), size.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &files.actions, &attributes.attributes, argv, environ) != 0) return {};
    Child child(pid);
    childOutput.reset();  // the pipe ends when the child's copy closes

    std::optional<QImage> page = readPage(output.get(), maxDimension, deadline);
    if (!page) return {};
    if (!child.exitedCleanlyBy(deadline)) return {};
    return *page;
}

}  // namespace

bool looksLikePdf(const QByteArray& bytes) noexcept { return bytes.left(1024).contains(QByteArrayView("%PDF-")); }

QImage renderFirstPage(const QByteArray& bytes, int maxDimension) {
    if (maxDimension < 1 || !looksLikePdf(bytes)) return {};
    std::string program;
    std::chrono::milliseconds timeLimit{};
    PageRenderer inProcess = nullptr;
    {
        const std::lock_guard lock(programMutex);
        program = rendererProgram;
        timeLimit = rendererTimeLimit;
        inProcess = inProcessRenderer;
    }
    if (!program.empty()) return renderInChild(program, timeLimit, bytes, maxDimension);
    return inProcess != nullptr ? inProcess(bytes, maxDimension) : QImage();
}

void setRendererProgram(std::string path, std::chrono::milliseconds timeLimit) {
    const std::lock_guard lock(programMutex);
    rendererProgram = std::move(path);
    rendererTimeLimit = timeLimit;
}

void setInProcessRenderer(PageRenderer renderer) {
    const std::lock_guard lock(programMutex);
    inProcessRenderer = renderer;
}

FileDescriptor memoryFileOf(const QByteArray& bytes) {
    FileDescriptor fd(::memfd_create("ostrel-pdf", MFD_CLOEXEC));
    if (!fd.valid() || !writeAll(fd.get(), bytes.constData(), static_cast<std::size_t>(bytes.size())) ||
        ::lseek(fd.get(), 0, SEEK_SET) != 0) {
        return {};
    }
    return fd;
}

bool writePage(int fd, const QImage& page) {
    unsigned char header[kHeaderBytes];
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(page.width()) >> (8 * i));
        header[4 + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(page.height()) >> (8 * i));
    }
    if (!writeAll(fd, reinterpret_cast<const char*>(header), kHeaderBytes)) return false;
    for (int y = 0; y < page.height(); ++y) {
        if (!writeAll(fd, reinterpret_cast<const char*>(page.constScanLine(y)),
                      static_cast<std::size_t>(page.width()) * 4)) {
            return false;
        }
    }
    return true;
}

}  // namespace ostrel::PdfPage
