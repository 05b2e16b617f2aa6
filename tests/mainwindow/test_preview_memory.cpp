// The most memory one preview takes, measured in a process of its own
// (preview_child) against the same process left idle: files that claim far
// more than they hold must not make the decoders allocate the claim.
#include "child_peak.h"
#include "heif_bytes.h"
#include "hostile_files.h"
#include "sandbox.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace kestova::test;

namespace {

// What one preview may take above the idle program.
constexpr qint64 LimitKb = 300 * 1024;

QString Child()
{
    return QString::fromLocal8Bit(qgetenv("PREVIEW_CHILD"));
}

struct Case {
    const char *name;
    QByteArray bytes;
    bool shown; // drawn, or "显示失败!"
};

void ExpectWithinLimit(const QList<Case> &cases)
{
    const PeakRun idle = RunMeasuringPeak(Child(), {});
    if (idle.peakKb == 0)
        GTEST_SKIP() << "peak memory of a child is measured on Linux only";
    ASSERT_TRUE(idle.exited && idle.status == 0);
    Sandbox box;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const PeakRun run = RunMeasuringPeak(Child(), {box.writeFile(QString::fromLatin1(c.name), c.bytes)});
        ASSERT_TRUE(run.exited) << "killed, peak " << run.peakKb << " KB";
        EXPECT_EQ(run.status, c.shown ? 0 : 1);
        EXPECT_LT(run.peakKb - idle.peakKb, LimitKb) << "idle " << idle.peakKb << " KB, peak " << run.peakKb << " KB";
    }
}

} // namespace

// libpng allocates (and clears) a text chunk's whole claimed length before
// reading it; libmng allocates every frame and image the file defines.
TEST(PreviewMemory, ClaimedChunksAreNotAllocated)
{
    const QByteArray small = PngChunksOf(EncodeImage(QImage(40, 30, QImage::Format_RGB32), "PNG"));
    const QByteArray tiny = PngChunksOf(EncodeImage(QImage(4, 4, QImage::Format_RGB32), "PNG"));
    const QByteArray object1 = PngChunk("DEFI", QByteArray("\0\1\0\0", 4));
    const QByteArray show1 = PngChunk("SHOW", QByteArray("\0\1\0\1", 4));
    ExpectWithinLimit({
        {"claim.png", PngClaimingHugeChunk(), false},
        // The damaged tail follows complete image data: the photo is shown.
        {"photo.png", PhotoPngWithHugeChunkAfterImage(1800, 1200), true},
        {"claim.ico", IcoHolding(PngClaimingHugeChunk()), false},
        {"frame.mng", Mng(8000, 8000, small), false},
        {"magnified.mng", Mng(40, 30, object1 + tiny + MagnChunk(1, 1, 4000) + show1), false},
        {"small.mng", Mng(40, 30, small), true},
    });
}

// libjpeg keeps a multi-scan or progressive JPEG's coefficients for the
// whole image, whatever size is decoded.
TEST(PreviewMemory, JpegCoefficientsOfClaimedSizesAreNotAllocated)
{
    ExpectWithinLimit({
        {"multiscan.jpg", JpegClaiming(12000, 12000, false), false},
        {"progressive.jpg", JpegClaiming(12000, 12000, true), false},
    });
}

// Small pictures behind (or before) hundreds of megabytes of metadata, and a header
// claiming 2^31 - 1 pixels a side. The metadata never reaches the decoders
// whole; a JPEG the count cannot measure (more segments than it reads) is not
// shown at all.
TEST(PreviewMemory, MetadataIsNotReadWholeToShowAPicture)
{
    const PeakRun idle = RunMeasuringPeak(Child(), {});
    if (idle.peakKb == 0)
        GTEST_SKIP() << "peak memory of a child is measured on Linux only";
    QImage photo(1500, 1000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x ^ y) % 256));
    }
    const QByteArray jpeg = EncodeImage(photo, "JPEG");
    const QByteArray webp = EncodeImage(photo.scaled(300, 200), "WEBP");
    ASSERT_FALSE(webp.isEmpty()) << "no WebP writer";
    constexpr qint64 Huge = 300 << 20;  // the WebP reader holds the file once: more than the limit
    Sandbox box;
    const struct {
        QString name;
        bool written;
        bool shown;
    } cases[] = {
        {QStringLiteral("behind5800.jpg"), WriteJpegWithSegments(box.path(QStringLiteral("behind5800.jpg")), jpeg, 5800), false},
        {QStringLiteral("behind4000.jpg"), WriteJpegWithSegments(box.path(QStringLiteral("behind4000.jpg")), jpeg, 4000), true},
        {QStringLiteral("after5800.jpg"), WriteJpegWithSegments(box.path(QStringLiteral("after5800.jpg")), jpeg, 5800, true), true},
        {QStringLiteral("described.tif"), WriteTiffWithDescription(box.path(QStringLiteral("described.tif")), 100, 100, Huge), true},
        {QStringLiteral("exif.webp"), WriteWebpWithExif(box.path(QStringLiteral("exif.webp")), webp, Huge + (20 << 20)), true},
        {QStringLiteral("claim.bmp"), !box.writeFile(QStringLiteral("claim.bmp"), BmpV5Claiming(0x7FFFFFFF, 0x7FFFFFFF)).isEmpty(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        ASSERT_TRUE(c.written);
        const PeakRun run = RunMeasuringPeak(Child(), {box.path(c.name)});
        ASSERT_TRUE(run.exited) << "killed, peak " << run.peakKb << " KB";
        EXPECT_EQ(run.status, c.shown ? 0 : 1);
        EXPECT_LT(run.peakKb - idle.peakKb, LimitKb) << "idle " << idle.peakKb << " KB, peak " << run.peakKb << " KB";
        QFile::remove(box.path(c.name));
    }
}

// A phone photo of 33 megapixels (the 48-megapixel ones take 210 MB).
TEST(PreviewMemory, LargeHeifPhotoIsShrunkFromItsPlanes)
{
    QImage photo(7000, 4800, QImage::Format_RGB32);
    photo.fill(qRgb(90, 140, 200));
    const QByteArray heif = HeifFromPicture(photo);
    if (heif.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    photo = QImage();
    ExpectWithinLimit({{"phone.heic", heif, true}});
}
