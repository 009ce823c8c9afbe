#include "core/support/system/FileWriting.h"

#include "core/support/system/Error.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {
namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileWritingTest, ReplacesARegularFileAndCreatesMissingFolders) {
    test::TempDir dir;
    const fs::path existing = dir.path() / "out.svg";
    std::ofstream(existing) << "old";
    writeFileAtomically(existing.string(), "new");
    EXPECT_EQ(contentsOf(existing), "new");

    const fs::path nested = dir.path() / "a" / "b" / "out.svg";
    writeFileAtomically(nested.string(), "made");
    EXPECT_EQ(contentsOf(nested), "made");
    // No temporary file is left beside the targets.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A replaced file keeps its permission bits, a private one too; a new file gets what open() would
// give it under the umask of the moment.
TEST(FileWritingTest, AReplacedFileKeepsItsModeAndANewOneGetsTheUsualMode) {
    test::TempDir dir;
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0755}, mode_t{0604}}) {
        const fs::path file = dir.path() / ("kept-" + std::to_string(mode));
        std::ofstream(file) << "old";
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        writeFileAtomically(file.string(), "new");
        EXPECT_EQ(contentsOf(file), "new");
        EXPECT_EQ(modeOf(file), mode) << std::oct << mode;
    }
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        const mode_t previous = ::umask(mask);
        const fs::path file = dir.path() / ("new-" + std::to_string(mask));
        writeFileAtomically(file.string(), "made");
        ::umask(previous);
        EXPECT_EQ(modeOf(file), 0666 & ~mask) << std::oct << mask;
    }
}

// Where the process may set it (as root), a replaced file keeps its owner and group too.
TEST(FileWritingTest, AReplacedFileKeepsItsOwnerWhereThatIsAllowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    test::TempDir dir;
    const fs::path file = dir.path() / "theirs.svg";
    std::ofstream(file) << "old";
    ASSERT_EQ(::chown(file.c_str(), 12345, 23456), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0620), 0);
    writeFileAtomically(file.string(), "new");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
    EXPECT_EQ(info.st_mode & 07777, 0620u);
}

// A link stays a link: the file it leads to receives the bytes, through relative links, chains of
// links and links to files that do not exist yet.
TEST(FileWritingTest, FollowsSymbolicLinks) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "real");
    std::ofstream(dir.path() / "real" / "target.svg") << "old";
    fs::create_symlink("real/target.svg", dir.path() / "relative");
    fs::create_symlink(dir.path() / "relative", dir.path() / "chained");
    fs::create_symlink("real/later.svg", dir.path() / "dangling");

    writeFileAtomically((dir.path() / "chained").string(), "through two links");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "chained"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "relative"));
    EXPECT_EQ(contentsOf(dir.path() / "real" / "target.svg"), "through two links");

    writeFileAtomically((dir.path() / "dangling").string(), "created");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling"));
    EXPECT_EQ(contentsOf(dir.path() / "real" / "later.svg"), "created");
}

TEST(FileWritingTest, ALoopOfLinksIsAnErrorAndWritesNothing) {
    test::TempDir dir;
    fs::create_symlink("b", dir.path() / "a");
    fs::create_symlink("a", dir.path() / "b");
    try {
        writeFileAtomically((dir.path() / "a").string(), "x");
        FAIL() << "a loop of links was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "file");
        EXPECT_EQ(e.code(), ELOOP);
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "a"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A FIFO is written into, not replaced by a regular file.
TEST(FileWritingTest, WritesIntoAFifoWithoutReplacingIt) {
    test::TempDir dir;
    const fs::path fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&fifo] { return contentsOf(fifo); });
    writeFileAtomically(fifo.string(), "streamed");
    EXPECT_EQ(reader.get(), "streamed");
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A pipe reached through the kernel's descriptor links, as /dev/stdout is.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    writeFileAtomically("/proc/self/fd/" + std::to_string(ends[1]), "through a descriptor");
    ::close(ends[1]);
    char buffer[64] = {};
    const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
    ::close(ends[0]);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "through a descriptor");
}

// A device node reached directly or through a link stays a device node.
TEST(FileWritingTest, WritesIntoACharacterDeviceWithoutReplacingIt) {
    test::TempDir dir;
    fs::create_symlink("/dev/null", dir.path() / "sink");
    writeFileAtomically("/dev/null", "discarded");
    writeFileAtomically((dir.path() / "sink").string(), "discarded");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "sink"));
}

TEST(FileWritingTest, AFolderIsAnErrorAndStaysAsItIs) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "folder");
    std::ofstream(dir.path() / "folder" / "inside") << "kept";
    EXPECT_THROW(writeFileAtomically((dir.path() / "folder").string(), "x"), Error);
    EXPECT_EQ(contentsOf(dir.path() / "folder" / "inside"), "kept");
}

// What the window writes: regular files and new ones as usual; any other node, even one without a
// reader that would block an open for writing, is refused at once and left as it is.
TEST(FileWritingTest, TheRegularFileWriterRefusesEveryOtherNodeWithoutOpeningIt) {
    test::TempDir dir;
    const fs::path fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, dir.path() / "to-pipe");
    fs::create_directories(dir.path() / "folder");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string pipeEnd = "/proc/self/fd/" + std::to_string(ends[1]);

    for (const std::string& target : {fifo.string(), (dir.path() / "to-pipe").string(),
                                      (dir.path() / "folder").string(), std::string("/dev/null"), pipeEnd}) {
        // Run aside: a writer that opened the FIFO would wait for a reader forever.
        auto write = std::async(std::launch::async, [&target] {
            try {
                writeRegularFileAtomically(target, "x");
                return std::string("written");
            } catch (const Error& e) {
                return e.domain() + " " + std::to_string(e.code()) + " " + e.message();
            }
        });
        if (write.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));  // release it before failing
            FAIL() << target << " blocked the writer";
        }
        EXPECT_EQ(write.get(), "file " + std::to_string(EINVAL) + " " + target + " is not a regular file");
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "to-pipe"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    ::close(ends[0]);
    ::close(ends[1]);

    const fs::path regular = dir.path() / "out.svg";
    std::ofstream(regular) << "old";
    writeRegularFileAtomically(regular.string(), "new");
    writeRegularFileAtomically((dir.path() / "made" / "new.svg").string(), "made");
    EXPECT_EQ(contentsOf(regular), "new");
    EXPECT_EQ(contentsOf(dir.path() / "made" / "new.svg"), "made");
}

}  // namespace
}  // namespace ostrel
