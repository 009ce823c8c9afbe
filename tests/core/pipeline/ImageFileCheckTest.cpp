#include "core/pipeline/ImageFileCheck.h"

#include "testsupport/PngChunks.h"
#include "core/pipeline/RasterImage.h"

#include "core/support/system/FileDescriptor.h"
#include "testsupport/TempDir.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {
namespace {

namespace fs = std::filesystem;

QByteArray be32(std::uint32_t v) {
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8) out.append(char((v >> shift) & 0xFF));
    return out;
}

QByteArray be16(std::uint32_t v) { return QByteArray(1, char(v >> 8)) + QByteArray(1, char(v & 0xFF)); }

using test::pngChunk;

QByteArray pngHeader(std::uint32_t w, std::uint32_t h) {
    return QByteArray("\x89PNG\r\n\x1A\n", 8) +
           pngChunk("IHDR", be32(w) + be32(h) + QByteArray("\x08\x00\x00\x00\x00", 5));
}

// SOI, one application segment, a frame header of the given kind and size, then the scan header.
QByteArray jpegWithFrame(unsigned char marker, std::uint32_t w, std::uint32_t h) {
    QByteArray out("\xFF\xD8", 2);
    out += QByteArray("\xFF\xE0", 2) + be16(7) + QByteArray("JFIF\0", 5);
    out += QByteArray(1, '\xFF') + QByteArray(1, char(marker)) + be16(11) + QByteArray(1, 8) + be16(h) + be16(w) +
           QByteArray("\x01\x01\x11\x00", 4);
    out += QByteArray("\xFF\xDA", 2) + be16(8) + QByteArray("\x01\x01\x00\x00\x3F\x00", 6);
    return out;
}

bool acceptable(const QByteArray& bytes) {
    return headerIsAcceptable(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size()));
}

TEST(ImageFileCheck, PngChunksMustFitAndTheHeaderStayWithinThePixelCap) {
    const QByteArray end = pngChunk("IEND", {});
    const QByteArray data = pngChunk("IDAT", QByteArray(20, 'x'));
    struct Case {
        const char* name;
        QByteArray bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"whole file", pngHeader(2400, 2400) + data + end, true},
        {"bytes after the end", pngHeader(10, 10) + data + end + QByteArray(9, 'z'), true},
        {"clean end without IEND", pngHeader(10, 10) + data, true},
        {"at the cap", pngHeader(8192, 8192) + data + end, true},
        {"over the cap", pngHeader(8192, 8193) + data + end, false},
        {"zero width", pngHeader(0, 10) + data + end, false},
        {"sides whose product overflows 64 signed bits", pngHeader(0xFFFF7EFCu, 0xBE2706FFu) + data + end, false},
        {"2 GB text chunk", pngHeader(1, 1) + pngChunk("tEXt", "Comment", 0x7FFFFFF0u), false},
        {"chunk one byte past the end", pngHeader(10, 10) + pngChunk("IDAT", QByteArray(20, 'x'), 21) + end, false},
        {"cut inside a chunk header", pngHeader(10, 10) + data.left(6), false},
        {"first chunk not IHDR", QByteArray("\x89PNG\r\n\x1A\n", 8) + data + end, false},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptable(c.bytes), c.accepted) << c.name;
}

QByteArray le32(std::uint32_t v) {
    QByteArray out;
    for (int shift = 0; shift < 32; shift += 8) out.append(char((v >> shift) & 0xFF));
    return out;
}

// A BMP file with a 40-byte info header; `rowBytes` bytes of pixel data follow the headers.
QByteArray bmp(std::int32_t w, std::int32_t h, std::uint16_t bits, std::uint32_t compression, int rowBytes) {
    QByteArray info = le32(40) + le32(std::uint32_t(w)) + le32(std::uint32_t(h)) + QByteArray("\x01\x00", 2) +
                      QByteArray(1, char(bits & 0xFF)) + QByteArray(1, char(bits >> 8)) + le32(compression) +
                      QByteArray(20, '\0');
    const QByteArray rows(rowBytes, '\x55');
    return QByteArray("BM", 2) + le32(std::uint32_t(14 + info.size() + rows.size())) + le32(0) + le32(54) + info + rows;
}

TEST(ImageFileCheck, BmpRowsMustFitAndTheSidesStayWithinThePixelCap) {
    QByteArray saved;
    QBuffer buffer(&saved);
    buffer.open(QIODevice::WriteOnly);
    QImage image(13, 7, QImage::Format_RGB32);
    image.fill(Qt::white);
    ASSERT_TRUE(image.save(&buffer, "BMP"));
    struct Case {
        const char* name;
        QByteArray bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"a file the decoder wrote", saved, true},
        {"that file without its last byte", saved.left(saved.size() - 1), false},
        {"12 x 9 rows of 4 bits, all there", bmp(12, 9, 4, 0, 8 * 9), true},
        {"bottom-up height of 655,369 rows in 118 bytes", bmp(12, 655369, 4, 0, 64), false},
        {"top-down (negative) height, all rows there", bmp(12, -9, 4, 0, 8 * 9), true},
        {"sides over the cap", bmp(8192, 8193, 1, 0, 0), false},
        {"run-length rows are left to the decoder", bmp(64, 64, 8, 1, 10), true},
        {"cut inside the info header", bmp(12, 9, 4, 0, 72).left(30), false},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptable(c.bytes), c.accepted) << c.name;
    test::TempDir folder;
    const fs::path file = folder.path() / "tall.bmp";
    const QByteArray truncated = bmp(12, 655369, 4, 0, 64);
    std::ofstream(file, std::ios::binary).write(truncated.constData(), truncated.size());
    EXPECT_FALSE(RasterImage::fromFile(file.string(), 2400)) << "the loader refuses what the check refuses";
}

TEST(ImageFileCheck, JpegFramesMustFitWithinTheCapOfTheirKind) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"baseline", jpegWithFrame(0xC0, 2400, 1800), true},
        {"baseline, large (decoded scaled)", jpegWithFrame(0xC0, 16384, 16384), true},
        {"extended sequential over its cap", jpegWithFrame(0xC1, 65535, 65535), false},
        {"progressive within the cap", jpegWithFrame(0xC2, 8192, 8192), true},
        {"progressive 20000 x 20000", jpegWithFrame(0xC2, 20000, 20000), false},
        {"lossless 10000 x 10000", jpegWithFrame(0xC3, 10000, 10000), false},
        {"height from a later marker (0)", jpegWithFrame(0xC0, 100, 0), false},
        {"frame cut short", jpegWithFrame(0xC0, 100, 100).left(12), false},
        {"scan before any frame", QByteArray("\xFF\xD8\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 12), false},
        {"segment longer than the file", QByteArray("\xFF\xD8\xFF\xE0\x7F\xFF", 6) + jpegWithFrame(0xC0, 10, 10),
         false},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptable(c.bytes), c.accepted) << c.name;
    EXPECT_TRUE(acceptable(QByteArray("GIF89a", 6)));  // other formats: their decoder's own limits
}

fs::path corpusFile(const char* name) { return fs::path(OSTREL_SOURCE_DIR) / "tests/fuzz/corpus/image_file" / name; }

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The hostile files kept in the image corpus are refused before a decoder allocates for them.
TEST(ImageFileCheck, TheLoaderRefusesTheHostileFilesOfTheCorpus) {
    for (const char* name : {"regression-png-text-chunk-2gb.png", "regression-jpeg-progressive-20000.jpg"}) {
        ASSERT_TRUE(fs::exists(corpusFile(name))) << name;
        EXPECT_FALSE(readImageFile(corpusFile(name).string())) << name;
        EXPECT_FALSE(RasterImage::fromFile(corpusFile(name).string(), kDocumentMaxDimension)) << name;
    }
    // These pass the look at their headers; decoding them would take more than the bound in bytes.
    const long before = peakResidentKiB();
    for (const char* name : {"regression-webp-11585.webp", "regression-png16-rgba-8192.png"}) {
        ASSERT_TRUE(fs::exists(corpusFile(name))) << name;
        EXPECT_FALSE(RasterImage::fromFile(corpusFile(name).string(), kDocumentMaxDimension)) << name;
    }
    EXPECT_FALSE(readImageFile(corpusFile("regression-ico-png16-8192.ico").string()));
    EXPECT_LT(peakResidentKiB() - before, 128L * 1024) << "refused before their pixels were allocated";
    const auto bytes = readImageFile(corpusFile("line-rgb.png").string());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), qsizetype(fs::file_size(corpusFile("line-rgb.png"))));
}

TEST(ImageFileCheck, FilesOverTheSizeCapAndFoldersAreRefused) {
    test::TempDir dir;
    const fs::path big = dir.path() / "big.png";
    std::ofstream(big, std::ios::binary) << (pngHeader(10, 10) + pngChunk("IEND", {})).toStdString();
    fs::resize_file(big, kMaxImageFileBytes + 1);  // sparse: no disk is used
    EXPECT_FALSE(readImageFile(big.string()));
    EXPECT_FALSE(readImageFile(dir.path().string()));
    EXPECT_FALSE(readImageFile((dir.path() / "missing.png").string()));
}

// An icon file of one image: the directory entry's one-byte sides say 256 whatever the image holds.
QByteArray iconHolding(const QByteArray& image) {
    const auto le16 = [](std::uint32_t v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)); };
    QByteArray out = le16(0) + le16(1) + le16(1);
    out += QByteArray(4, '\0') + le16(1) + le16(32) + le32(std::uint32_t(image.size())) + le32(22);
    return out + image;
}

TEST(ImageFileCheck, IconsMustHoldSmallImagesAndProgressiveJpegsFewCoefficients) {
    const QByteArray end = pngChunk("IEND", {});
    QByteArray dib = le32(40) + le32(64) + le32(128) + QByteArray(28, '\0');
    struct Case {
        const char* name;
        QByteArray bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"icon of a 256 x 256 PNG", iconHolding(pngHeader(256, 256) + end), true},
        {"icon of an 8192 x 8192 PNG", iconHolding(pngHeader(8192, 8192) + end), false},
        {"icon of a 64 x 64 bitmap", iconHolding(dib), true},
        {"icon of a 5000 x 64 bitmap", iconHolding(le32(40) + le32(5000) + le32(128) + QByteArray(28, '\0')), false},
        {"icon whose image lies past the end", iconHolding(pngHeader(16, 16) + end).left(30), false},
        {"icon directory cut short", iconHolding(pngHeader(16, 16) + end).left(12), false},
        {"progressive 6000 x 6000, one component", jpegWithFrame(0xC2, 6000, 6000), true},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptable(c.bytes), c.accepted) << c.name;

    // The frame of jpegWithFrame has one component; three at full resolution cost three times as much:
    // 6 bytes of coefficients a pixel.
    QByteArray three = jpegWithFrame(0xC2, 7000, 7000);
    const qsizetype frame = three.indexOf(QByteArray("\xFF\xC2", 2));
    ASSERT_GT(frame, 0);
    three.replace(frame + 2, 2, be16(17));
    three.replace(frame + 9, 4, QByteArray("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00", 10));
    EXPECT_FALSE(acceptable(three)) << "progressive 7000 x 7000, three components (295 MB of coefficients)";
    three.replace(frame + 5, 4, be16(4000) + be16(4000));
    EXPECT_TRUE(acceptable(three)) << "progressive 4000 x 4000, three components";
}

// The loader opens a file once and decodes the very bytes it checked: counted by the file's own
// open events, so a second look (a mapping, a reopen by the decoder) would show.
TEST(ImageFileCheck, AFileIsOpenedOnceForCheckAndDecode) {
    test::TempDir dir;
    const fs::path file = dir.path() / "line.png";
    fs::copy_file(corpusFile("line-rgb.png"), file);
    const FileDescriptor watch(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    ASSERT_TRUE(watch.valid());
    ASSERT_GE(::inotify_add_watch(watch.get(), file.c_str(), IN_OPEN | IN_ACCESS), 0);
    ASSERT_TRUE(RasterImage::fromFile(file.string(), kDocumentMaxDimension));
    int opens = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = ::read(watch.get(), events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if ((event->mask & IN_OPEN) != 0) ++opens;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    EXPECT_EQ(opens, 1);
}

// Another program rewrites the file (truncates it, then writes it in two halves) while the loader
// opens it again and again: every open gives one of the two pictures whole, or nothing, and never
// takes the process down (a mapping of the file would fault past its new end).
TEST(ImageFileCheck, AFileRewrittenWhileItIsOpenedGivesAPictureOrNothing) {
    test::TempDir dir;
    const fs::path file = dir.path() / "changing.png";
    const auto bytesOf = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    };
    const std::string versions[2] = {bytesOf(corpusFile("line-rgb.png")), bytesOf(corpusFile("line-grey.png"))};
    const auto first = RasterImage::fromFile(corpusFile("line-rgb.png").string(), kDocumentMaxDimension);
    const auto second = RasterImage::fromFile(corpusFile("line-grey.png").string(), kDocumentMaxDimension);
    ASSERT_TRUE(first && second);
    std::ofstream(file, std::ios::binary) << versions[0];

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (std::size_t round = 0; !stop; ++round) {
            const std::string& bytes = versions[round % 2];
            const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd < 0) return;
            const std::size_t half = bytes.size() / 2;
            bool written = ::write(fd, bytes.data(), half) == ssize_t(half);
            written = written && ::write(fd, bytes.data() + half, bytes.size() - half) == ssize_t(bytes.size() - half);
            ::close(fd);
            if (!written) return;
            std::this_thread::sleep_for(std::chrono::microseconds(300));  // whole for a moment
        }
    });
    int whole = 0;
    for (int round = 0; round < 400; ++round) {
        const auto raster = RasterImage::fromFile(file.string(), kDocumentMaxDimension);
        if (!raster) continue;
        ++whole;
        EXPECT_TRUE(*raster == *first || *raster == *second) << round;
    }
    stop = true;
    writer.join();
    EXPECT_GT(whole, 0) << "no open ever saw a whole file";
}

// Writes `bytes` into a FIFO from another thread; the loader reads the other end.
class FifoWriter {
public:
    FifoWriter(const fs::path& fifo, QByteArray bytes, bool thenForever)
        : done_(std::async(std::launch::async, [fifo, bytes, thenForever] {
              const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
              if (fd < 0) return false;
              bool broken = ::write(fd, bytes.constData(), std::size_t(bytes.size())) < 0;
              const std::string zeros(1 << 16, '\0');
              while (thenForever && !broken) broken = ::write(fd, zeros.data(), zeros.size()) < 0;
              ::close(fd);
              return broken;
          })) {}
    // True when the reader went away before the writer was done.
    bool readerHungUp() { return done_.get(); }

private:
    std::future<bool> done_;
};

// A stream without a size (a pipe, standard input) decodes like the same file; one that never ends
// is read only up to the cap, then refused.
TEST(ImageFileCheck, StreamsDecodeLikeFilesAndEndlessOnesAreCut) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ::sigaction(SIGPIPE, &ignore, &previous);

    test::TempDir dir;
    const fs::path fifo = dir.path() / "stream";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* name : {"line-rgb.png", "line.jpg", "line-alpha.png"}) {
        std::ifstream in(corpusFile(name), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        FifoWriter writer(fifo, QByteArray::fromStdString(bytes), false);
        const auto streamed = RasterImage::fromFile(fifo.string(), kDocumentMaxDimension);
        EXPECT_FALSE(writer.readerHungUp()) << name;
        const auto stored = RasterImage::fromFile(corpusFile(name).string(), kDocumentMaxDimension);
        ASSERT_TRUE(streamed && stored) << name;
        EXPECT_EQ(*streamed, *stored) << name;
    }

    FifoWriter endless(fifo, pngHeader(100, 100), true);
    EXPECT_FALSE(RasterImage::fromFile(fifo.string(), kDocumentMaxDimension));
    EXPECT_TRUE(endless.readerHungUp());
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace ostrel
