// ReadImageHeader on HEIF, read from its boxes as libheif reads it, and on
// what is not an ordinary image file: text, devices, a FIFO, an unreadable
// file, a link, every cut of a complete file, the same files read from
// several threads at once, and the inputs the fuzzer once crashed on.
#include "heif_bytes.h"
#include "image_bytes.h"
#include "image_formats.h"
#include "image_headers.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestova;
using namespace kestova::test;

namespace {

// ---- HEIF ----------------------------------------------------------------

TEST(ImageHeaders, Heif)
{
    const QByteArray plain = HeifBytes(64, 48, heif_orientation_normal, QByteArray());
    if (plain.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    Sandbox box;
    const QByteArray withExif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true}));
    const QByteArray withCmExif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(118, 118, 3)}));
    const QByteArray rotated = HeifBytes(64, 48, heif_orientation_rotate_90_cw, QByteArray());
    QByteArray broken = plain;
    broken.truncate(40);
    const struct {
        const char *name;
        QByteArray bytes;
        Expect expect;
    } rows[] = {
        {"plain", plain, {true, 64, 48}},
        {"exif", withExif, {true, 64, 48, 300, 150}},
        {"exif in cm", withCmExif, {true, 64, 48, Cm(118), Cm(118)}},
        // The size as displayed: the irot turns the stored 64 × 48 upright.
        {"rotated", rotated, {true, 48, 64}},
        {"cut short", broken, NotAnImage},
        {"audio in the same box format", Be32(24) + "ftypM4A " + Be32(0) + "M4A mp42" + Be32(8) + "free", NotAnImage},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ExpectHeader(ReadImageHeader(box.writeFile(QStringLiteral("a.heic"), row.bytes)), row.expect);
        ExpectHeader(ReadImageHeader(row.bytes.constData(), row.bytes.size()), row.expect);
    }
}

// Bytes this process has read through system calls so far; -1 where the
// system does not say.
qint64 BytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// A HEIF photo is measured from its boxes and its EXIF: libheif copies the
// coded picture while it opens the file but does not look at it, so it is
// not read (on a share or a cold disk, most of the cost of the photo).
TEST(ImageHeaders, HeifCodedPictureIsNotRead)
{
    QImage noise(640, 480, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        random.fillRange(reinterpret_cast<quint32 *>(noise.scanLine(y)), noise.bytesPerLine() / 4);
    const QByteArray bytes = HeifFromPicture(noise, nullptr, TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true}));
    if (bytes.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    ASSERT_GT(bytes.size(), 256 * 1024);
    Sandbox box;
    const QString path = box.writeFile(QStringLiteral("noise.heic"), bytes);
    const qint64 before = BytesReadSoFar();
    if (before < 0)
        GTEST_SKIP() << "no /proc/self/io here";
    const ImageHeader header = ReadImageHeader(path);
    const qint64 read = BytesReadSoFar() - before;
    ExpectHeader(header, {true, 640, 480, 300, 150});
    EXPECT_LT(read, 32 * 1024);
}

// What libheif makes of the bytes when it reads every one of them: the
// primary image's size and its EXIF's resolution.
ImageHeader LibheifReadingAll(const QByteArray &bytes)
{
    ImageHeader h;
    heif_context *context = heif_context_alloc();
    heif_image_handle *handle = nullptr;
    if (heif_context_read_from_memory_without_copy(context, bytes.constData(), size_t(bytes.size()), nullptr).code
            == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        h.width = heif_image_handle_get_width(handle);
        h.height = heif_image_handle_get_height(handle);
        h.valid = h.width > 0 && h.height > 0;
        heif_item_id id = 0;
        if (h.valid && heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) == 1) {
            QByteArray exif(qsizetype(heif_image_handle_get_metadata_size(handle, id)), '\0');
            if (exif.size() >= 4 && heif_image_handle_get_metadata(handle, id, exif.data()).code == heif_error_Ok) {
                const quint32 offset = qFromBigEndian<quint32>(exif.constData());
                ImageSource source(exif.constData(), exif.size());
                if (offset <= quint32(exif.size() - 4))
                    SetDpi(&h, ReadExifDpi(source, 4 + offset, exif.size() - 4 - offset));
            }
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    if (!h.valid)
        return ImageHeader();
    return h;
}

// Damaged boxes, and files cut anywhere: the measure is libheif's reading
// every byte, though the coded picture is not read.
TEST(ImageHeaders, HeifDamagedAsLibheifReadsIt)
{
    const QByteArray exif = TiffBytes({ResolutionTags(300, 150, 2)}, {.bigEndian = true});
    const QByteArray file = HeifBytes(64, 48, heif_orientation_rotate_90_cw, exif);
    if (file.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    const qsizetype boxesEnd = file.indexOf("mdat") + 4;
    ASSERT_GT(boxesEnd, 100);
    const auto same = [](const QByteArray &bytes) {
        const ImageHeader ours = ReadImageHeader(bytes.constData(), bytes.size());
        const ImageHeader libheif = LibheifReadingAll(bytes);
        return ours.valid == libheif.valid && ours.width == libheif.width && ours.height == libheif.height
               && ours.horizontalDpi == libheif.horizontalDpi && ours.verticalDpi == libheif.verticalDpi;
    };
    ASSERT_TRUE(same(file));
    ExpectHeader(ReadImageHeader(file.constData(), file.size()), {true, 48, 64, 300, 150});
    // Every byte of the boxes after ftyp, changed three ways.
    const qsizetype ftypEnd = qFromBigEndian<quint32>(file.constData());
    for (qsizetype at = ftypEnd; at < boxesEnd; ++at) {
        for (const char value : {char(0), char(0xFF), char(file[at] ^ 1)}) {
            QByteArray damaged = file;
            damaged[at] = value;
            EXPECT_TRUE(same(damaged)) << "byte " << at << " set to " << int(uchar(value));
        }
    }
    for (qsizetype cut = ftypEnd; cut < file.size(); cut += std::max<qsizetype>(1, (file.size() - ftypEnd) / 64))
        EXPECT_TRUE(same(file.left(cut))) << "cut at " << cut;
}

// ---- What is not an image file ------------------------------------------

TEST(ImageHeaders, NotImageFiles)
{
    Sandbox box;
    QByteArray random(5000, '\0');
    quint32 seed = 12345;
    for (char &c : random) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    const struct {
        const char *name;
        QString path;
    } rows[] = {
        {"empty file", box.writeFile(QStringLiteral("empty.jpg"), QByteArray())},
        {"text", box.writeFile(QStringLiteral("notes.txt"), "Customer: Li Wei, 20 photos 6 inch\n")},
        {"text named as an icon", box.writeFile(QStringLiteral("notes.ico"), "Customer: Li Wei, 20 photos 6 inch\n")},
        {"text named as a pixmap", box.writeFile(QStringLiteral("notes.ppm"), "P6 is not how this starts\n")},
        {"random bytes", box.writeFile(QStringLiteral("noise.bin"), random)},
        {"random bytes named as a bitmap", box.writeFile(QStringLiteral("noise.tga"), random)},
        {"only a signature", box.writeFile(QStringLiteral("sig.jpg"), Bytes({0xFF, 0xD8, 0xFF}))},
        {"folder", box.mkdir(QStringLiteral("folder.jpg"))},
        {"missing file", box.path(QStringLiteral("missing.jpg"))},
        {"character device", QStringLiteral("/dev/null")},
        {"endless device", QStringLiteral("/dev/zero")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ExpectHeader(ReadImageHeader(row.path), NotAnImage);
    }
}

TEST(ImageHeaders, FifoIsRefusedWithoutWaitingForAWriter)
{
    Sandbox box;
    const QString path = box.path(QStringLiteral("pipe.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    std::atomic<int> state{0}; // 0 running, 1 valid, 2 refused
    std::thread reader([&] { state = ReadImageHeader(path).valid ? 1 : 2; });
    for (int i = 0; i < 500 && state == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (state == 0) {
        // Release a reader stuck in open() so the test can end.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    reader.join();
    EXPECT_EQ(state, 2) << "0 would mean it blocked on the FIFO";
}

TEST(ImageHeaders, UnreadableFile)
{
    Sandbox box;
    const QString path = box.writeFile(QStringLiteral("locked.png"), Png({Ihdr(10, 10), Idat(), Iend()}));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    // Root reads a file whatever its permissions: the read is made as nobody.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const bool valid = ReadImageHeader(path).valid;
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_FALSE(valid);
}

TEST(ImageHeaders, LinkToAnImageIsFollowed)
{
    Sandbox box;
    const QString target = box.writeFile(QStringLiteral("a.png"), Png({Ihdr(10, 20), Idat(), Iend()}));
    const QString link = box.path(QStringLiteral("link.png"));
    ASSERT_TRUE(QFile::link(target, link));
    ExpectHeader(ReadImageHeader(link), {true, 10, 20});
}

// ---- Files cut short -----------------------------------------------------

// Every prefix of a complete file is either refused or read exactly as the
// whole file: a reader never guesses from half a header. The cuts come close
// together at the start, where the headers are, and around the first read
// and the end of the file; elsewhere every 53rd byte.
TEST(ImageHeaders, FilesCutShort)
{
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"jpeg with jfif, xmp and exif", Jpeg({Jfif(0, 1, 1), Xmp(), ExifDpi(300, 300, 3, true)}, 1800, 1200)},
        {"jpeg with exif thumbnail", Jpeg({ExifWithThumbnail(240)}, 4000, 3000)},
        {"png with phys", Png({Ihdr(640, 480), Chunk("iCCP", QByteArray(5000, 'c')), Phys(11811, 11811, 1), Idat(), Iend()})},
        {"tiff with ifd at end", TiffBytes({ImageTags(800, 600, ResolutionTags(72, 72, 2))}, {.bigEndian = true, .ifdsAtEnd = true, .filler = 5000})},
        {"tiff with preview first", TiffBytes({ImageTags(160, 120, {Lg(NewSubfileType, 1)}), ImageTags(3000, 2000, ResolutionTags(300, 300, 2))})},
        {"bigtiff", TiffBytes({ImageTags(5000, 4000, ResolutionTags(240, 240, 2))}, {.bigTiff = true})},
        {"bmp v5", Bmp(124, 800, -600, 3780, 3780)},
        {"gif without screen size", Gif("GIF89a", 0, 0, true, 44, 33)},
        {"webp with exif", Webp(Vp8x(3000, 2000, 0x08) + Vp8(3000, 2000) + RiffChunk("EXIF", TiffBytes({ResolutionTags(300, 300, 2)})))},
    };
    Sandbox box;
    const QString path = box.path(QStringLiteral("cut"));
    for (const auto &file : files) {
        SCOPED_TRACE(file.name);
        const QByteArray &bytes = file.bytes;
        const ImageHeader whole = ReadImageHeader(box.writeFile(QStringLiteral("whole"), bytes));
        ASSERT_TRUE(whole.valid);
        const qsizetype n = bytes.size();
        for (qsizetype length = 0; length < n; ++length) {
            const bool dense = length < 1200 || std::abs(length - 4096) < 40 || n - length < 40;
            if (!dense && length % 53 != 0)
                continue;
            const QByteArray prefix = bytes.left(length);
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(prefix);
            out.close();
            for (const ImageHeader &h : {ReadImageHeader(path), ReadImageHeader(prefix.constData(), prefix.size())}) {
                if (h.valid && !Same(h, whole)) {
                    ADD_FAILURE() << "cut at " << length << " of " << n << " reads " << h.width << "x" << h.height
                                  << " at " << h.horizontalDpi << "x" << h.verticalDpi;
                    return;
                }
            }
        }
    }
}

// ---- Threads -------------------------------------------------------------

// The scan may read headers in several threads at once; each answer must be
// the one a lone reader gets.
TEST(ImageHeaders, ParallelReadsAgree)
{
    Sandbox box;
    QStringList paths;
    int i = 0;
    const auto add = [&](const auto &table) {
        for (const Case &c : table)
            paths.append(box.writeFile(QStringLiteral("%1_%2").arg(i++).arg(QString::fromLatin1(c.fileName)), c.bytes()));
    };
    add(JpegCases);
    add(PngCases);
    add(TiffCases);
    add(BmpCases);
    add(WebpCases);
    const QByteArray heif = HeifBytes(64, 48, heif_orientation_normal, TiffBytes({ResolutionTags(300, 300, 2)}));
    if (!heif.isEmpty())
        paths.append(box.writeFile(QStringLiteral("h.heic"), heif));
    paths.append(box.writeFile(QStringLiteral("i.ico"), QtWritten(Picture(9, 7), "ico")));

    QList<ImageHeader> alone;
    for (const QString &p : paths)
        alone.append(ReadImageHeader(p));
    std::atomic<int> differences{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                for (qsizetype k = 0; k < paths.size(); ++k) {
                    const qsizetype j = (k + t * 7) % paths.size();
                    if (!Same(ReadImageHeader(paths[j]), alone[j]))
                        ++differences;
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(differences, 0);
}

// ---- Fuzzing finds ---------------------------------------------------------

// Every input that ever crashed the fuzzer (tests/engine/fuzz_regressions)
// is read from a file and from memory: no crash, and the same answer both
// ways.
TEST(ImageHeaders, FuzzRegressions)
{
    const QDir dir(kestova::test::SourcePath(QStringLiteral("tests/engine/fuzz_regressions")));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty())
        GTEST_SKIP() << "no regression inputs in " << dir.path().toStdString();
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(Same(ReadImageHeader(dir.filePath(name)), ReadImageHeader(bytes.constData(), bytes.size(), name)));
    }
}

} // namespace
