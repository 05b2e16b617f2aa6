// The most memory a count takes, measured on kestova-count in a process of
// its own: formats measured through Qt must not be decoded at the sizes
// their files claim, several at once.
#include "child_peak.h"
#include "hostile_files.h"
#include "sandbox.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

using namespace kestova::test;

TEST(CountMemory, FilesClaimingHugeImagesAreMeasuredWithinTheLimit)
{
    constexpr qint64 LimitKb = 150 * 1024;
    Sandbox box;
    const QString dir = box.path("prog");
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", dir}).status, 0);
    const QString count = QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT"));

    box.writeFile("idle/a.jpg", JpegBytes(96, 96));
    const PeakRun idle = RunMeasuringPeak(count, {"scan", "--program-dir", dir, box.path("idle")});
    if (idle.peakKb == 0)
        GTEST_SKIP() << "peak memory of a child is measured on Linux only";

    // MNG frames that Qt's handler allocates whole to tell their size.
    const QByteArray small = PngChunksOf(EncodeImage(QImage(40, 30, QImage::Format_RGB32), "PNG"));
    for (int i = 1; i <= 4; ++i)
        box.writeFile(QStringLiteral("photos/frame%1.mng").arg(i), Mng(8000, 8000, small));
    // Apple icons, which Qt decodes to tell their size: an embedded PNG
    // claiming a 2 GB chunk, one of 7000 × 7000 pixels, and a plain one.
    box.writeFile("photos/claim.icns", IcnsHolding(PngClaimingHugeChunk()));
    QImage large(7000, 7000, QImage::Format_RGB32);
    large.fill(qRgb(200, 180, 40));
    box.writeFile("photos/large.icns", IcnsHolding(EncodeImage(large, "PNG")));
    large = QImage();
    box.writeFile("photos/plain.icns", EncodeImage(QImage(64, 64, QImage::Format_ARGB32), "ICNS"));

    const PeakRun run = RunMeasuringPeak(count, {"scan", "--program-dir", dir, box.path("photos")});
    ASSERT_TRUE(run.exited) << "killed, peak " << run.peakKb << " KB";
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(run.peakKb, LimitKb) << "idle " << idle.peakKb << " KB, peak " << run.peakKb << " KB";

    const CountToolRun details = RunCountTool({"scan", "--details", "--program-dir", dir, box.path("photos")});
    const QString photos = box.path("photos");
    EXPECT_EQ(details.out, QString("%1/claim.icns\t0*0\t0\t0\t0\t失败\n"
                                   "%1/large.icns\t0*0\t0\t0\t0\t失败\n"
                                   "%1/frame1.mng\t211.67*211.67\t96\t96\t4.4803\t成功\n"
                                   "%1/frame2.mng\t211.67*211.67\t96\t96\t4.4803\t成功\n"
                                   "%1/frame3.mng\t211.67*211.67\t96\t96\t4.4803\t成功\n"
                                   "%1/frame4.mng\t211.67*211.67\t96\t96\t4.4803\t成功\n"
                                   "%1/plain.icns\t1.69*1.69\t96\t96\t0.0003\t成功\n"
                                   "1.69*1.69 1 0\n211.67*211.67 4 17.92\n合计 5 17.92\n")
                               .arg(photos));
}
