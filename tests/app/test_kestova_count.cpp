// kestova-count run as a shop's script would run it: exit status, stdout and
// stderr, and the store it leaves.
#include "heif_bytes.h"
#include "sandbox.h"
#include "slow_mount.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringEncoder>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using kestova::test::EncodeImage;
using kestova::test::HeifBytes;
using kestova::test::JpegBytes;
using kestova::test::ReadBytes;
using kestova::test::Sandbox;
using kestova::test::SlowMount;

namespace {

using Outcome = kestova::test::CountToolRun;

Outcome Count(const QStringList &args)
{
    return kestova::test::RunCountTool(args);
}

// A run of kestova-count with the loader reporting every library the
// process loads, at start or later; the names are in libraries.
struct LoadedRun {
    Outcome run;
    QStringList libraries;
};

LoadedRun CountWatchingLibraries(const Sandbox &box, const QStringList &args)
{
    const QString report = box.path("loader");
    QDir(report).removeRecursively();
    QDir().mkpath(report);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_DEBUG", "files");
    env.insert("LD_DEBUG_OUTPUT", report + "/ld");
    p.setProcessEnvironment(env);
    p.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")), args);
    LoadedRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.run = {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    for (const QString &name : QDir(report).entryList(QDir::Files)) {
        for (const QByteArray &line : ReadBytes(report + "/" + name).split('\n')) {
            const qsizetype at = line.indexOf("file=");
            if (at >= 0)
                r.libraries << QString::fromUtf8(line.mid(at + 5, line.indexOf(' ', at) - at - 5));
        }
    }
    return r;
}

bool AnyContains(const QStringList &names, const char *part)
{
    return std::any_of(names.begin(), names.end(), [part](const QString &n) { return n.contains(part); });
}


} // namespace

TEST(KestovaCount, SetupLaysOutAFreshProgramFolderAndNeverOverwrites)
{
    Sandbox box;
    const QString dir = box.path("prog");
    Outcome r = Count({"setup", "--program-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir + "/Data.mdb"));
    EXPECT_TRUE(ReadBytes(dir + "/Config.ini").startsWith("[Sum]\r\nPhotoSize=0\r\n"));

    QFile::remove(dir + "/Config.ini");
    box.writeFile("prog/Config.ini", "[Sum]\r\nRadixPoint=3\r\n");
    const QByteArray store = ReadBytes(dir + "/Data.mdb");
    r = Count({"setup", "--program-dir", dir});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadBytes(dir + "/Config.ini"), "[Sum]\r\nRadixPoint=3\r\n");
    EXPECT_EQ(ReadBytes(dir + "/Data.mdb"), store);
}

TEST(KestovaCount, ScanPrintsTotalsAndDetails)
{
    Sandbox box;
    const QString dir = box.path("prog");
    ASSERT_EQ(Count({"setup", "--program-dir", dir}).status, 0);
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));
    box.writeFile("photos/b.jpg", JpegBytes(480, 960));
    box.writeFile("photos/notes.txt", "call back");
    const QString photos = box.path("photos");

    Outcome r = Count({"scan", "--program-dir", dir, photos});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "25.4*12.7 2 0.06\n合计 2 0.06\n");
    EXPECT_EQ(r.err, ""); // stderr is no terminal: no progress bar

    r = Count({"scan", "--details", "--program-dir", dir, photos + "/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QString("%1/notes.txt\t0*0\t0\t0\t0\t失败\n"
                             "%1/a.jpg\t25.4*12.7\t96\t96\t0.0323\t成功\n"
                             "%1/b.jpg\t25.4*12.7\t96\t96\t0.0323\t成功\n"
                             "25.4*12.7 2 0.06\n合计 2 0.06\n")
                         .arg(photos));
}

TEST(KestovaCount, FailuresHaveTheirOwnExitStatus)
{
    Sandbox box;
    const QString dir = box.path("prog");
    box.mkdir("empty");
    box.writeFile("photos/a.jpg", JpegBytes(96, 96));

    Outcome r = Count({"scan", "--program-dir", dir, box.path("photos")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("数据库连接失败，请检查数据库是否存在！")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir + "/Data.mdb"));

    ASSERT_EQ(Count({"setup", "--program-dir", dir}).status, 0);
    r = Count({"scan", "--program-dir", dir, box.path("empty")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("文件不存在！"));
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(Count({"scan", "--program-dir", dir}).status, 2);
    EXPECT_EQ(Count({"scan", "--bogus", box.path("photos")}).status, 2);
    EXPECT_EQ(Count({"frobnicate"}).status, 2);
    r = Count({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("kestova-count scan"));
}

// Ctrl-C while a share holds up a folder's listing or a file: the count
// stops at once, without waiting for the share, and ends with 130. (The
// process itself may only end once the share answers: the system does not
// let a process go while a FUSE server has its request in hand.)
TEST(KestovaCount, CtrlCStopsACountTheShareHoldsUp)
{
    Sandbox box;
    const QString dir = box.path("prog");
    ASSERT_EQ(Count({"setup", "--program-dir", dir}).status, 0);
    for (int i = 0; i < 8; ++i)
        box.writeFile(QString("share/f%1.jpg").arg(i), JpegBytes(96, 96));
    box.writeFile("share/held/x.jpg", JpegBytes(96, 96));
    for (const QString hold : {"held", "f5.jpg"}) {
        SCOPED_TRACE(hold.toStdString());
        SlowMount share(box.path("share"), 0, hold);
        if (!share.whyNot().isEmpty())
            GTEST_SKIP() << share.whyNot().toStdString();
        QProcess count;
        count.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")), {"scan", "--program-dir", dir, share.path()});
        ASSERT_TRUE(count.waitForStarted());
        for (int i = 0; i < 4000 && !share.held(); ++i)
            QThread::msleep(5);
        ASSERT_TRUE(share.held());
        ::kill(pid_t(count.processId()), SIGINT);
        count.setReadChannel(QProcess::StandardError);
        QString err;
        for (int i = 0; i < 100 && !err.contains("已中断"); ++i) {
            count.waitForReadyRead(100);
            err += QString::fromUtf8(count.readAllStandardError());
        }
        EXPECT_TRUE(err.contains("已中断")) << err.toStdString();
        EXPECT_FALSE(share.letGo()) << "the count waited for the share";
        share.release();
        ASSERT_TRUE(count.waitForFinished(60000));
        EXPECT_EQ(count.exitCode(), 130);
    }
}

TEST(KestovaCount, SettingsPrintsTheNineValuesTheProgramUses)
{
    Sandbox box;
    const QString dir = box.path("prog");
    Outcome r = Count({"settings", "--program-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "RadixPoint=2\nUnitRadixPoint=4\nAlarmNum=150\nSameness=1\nPathAsMemberName=0\n"
                     "PhotoSize=0\nPhotoArea=0\nEditPath=0\nPreview=1\n");

    QStringEncoder gbk("GBK");
    box.writeFile("prog/Config.ini", "[Sum]\r\nRadixPoint=3.5\r\nSameness=False\r\nPhotoSize=1\r\nEditPath="
                                         + QByteArray(gbk.encode(QString("D:\\图片\\PS.exe")))
                                         + "\r\n[MemberName]\r\nPathAsMemberName=1\r\n[DPIAlarm]\r\nAlarmNum=99999\r\n");
    r = Count({"settings", "--program-dir", dir});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "RadixPoint=4\nUnitRadixPoint=4\nAlarmNum=150\nSameness=0\nPathAsMemberName=1\n"
                     "PhotoSize=1\nPhotoArea=0\nEditPath=D:\\图片\\PS.exe\nPreview=1\n");

    EXPECT_EQ(Count({"settings", "--program-dir", dir, "extra"}).status, 2);
    EXPECT_TRUE(Count({"--help"}).out.contains("kestova-count settings"));
}

// A folder named in GBK, as unpacked from a Chinese Windows archive, named on
// the command line by its bytes on disk.
TEST(KestovaCount, FolderArgumentInGbk)
{
    Sandbox box;
    const QString dir = box.path("prog");
    ASSERT_EQ(Count({"setup", "--program-dir", dir}).status, 0);
    box.writeRawFile("\xD5\xD5\xC6\xAC/a.jpg", JpegBytes(960, 480));
    QProcess p;
    p.start("/bin/sh", {"-c", "exec \"$0\" scan --details --program-dir \"$1\" \"$2$(printf '\\325\\325\\306\\254')\"",
                        QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")), dir, box.root() + "/"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
              box.root() + "/照片/a.jpg\t25.4*12.7\t96\t96\t0.0323\t成功\n25.4*12.7 1 0.03\n合计 1 0.03\n");
}

// The counter starts without Qt Gui, the widgets, the print system and
// libheif (their loading was a good part of a count of a small folder), and
// loads Qt Gui (with its image plugins) and libheif when it meets a file that
// needs them. The page-drawing commands still work through kestova-count.
TEST(KestovaCount, ScanLoadsGuiAndHeifOnlyForFilesThatNeedThem)
{
    Sandbox box;
    const QString dir = box.path("prog");
    ASSERT_EQ(Count({"setup", "--program-dir", dir}).status, 0);
    box.writeFile("photos/a.jpg", JpegBytes(960, 480));
    const char *const heavy[] = {"libQt6Gui", "libQt6Widgets", "libQt6PrintSupport", "libcups", "libheif"};

    LoadedRun r = CountWatchingLibraries(box, {"scan", "--program-dir", dir, box.path("photos")});
    ASSERT_EQ(r.run.status, 0) << r.run.err.toStdString();
    ASSERT_TRUE(AnyContains(r.libraries, "libQt6Core")) << "the loader reported nothing";
    for (const char *name : heavy)
        EXPECT_FALSE(AnyContains(r.libraries, name)) << name;

    const QByteArray heif = HeifBytes(64, 48, heif_orientation_normal);
    if (heif.isEmpty())
        GTEST_SKIP() << "libheif has no HEVC encoder here";
    box.writeFile("photos/b.heic", heif);
    QImage icon(16, 32, QImage::Format_ARGB32);
    icon.fill(Qt::darkGreen);
    box.writeFile("photos/c.ico", EncodeImage(icon, "ico"));
    r = CountWatchingLibraries(box, {"scan", "--details", "--program-dir", dir, box.path("photos")});
    ASSERT_EQ(r.run.status, 0) << r.run.err.toStdString();
    EXPECT_TRUE(r.run.out.contains("/b.heic\t1.69*1.27\t96\t96\t0.0002\t成功\n")) << r.run.out.toStdString();
    EXPECT_TRUE(r.run.out.contains("/c.ico\t0.85*0.42\t96\t96\t0\t成功\n")) << r.run.out.toStdString();
    EXPECT_TRUE(AnyContains(r.libraries, "libheif"));
    EXPECT_TRUE(AnyContains(r.libraries, "libQt6Gui"));
    EXPECT_FALSE(AnyContains(r.libraries, "libQt6Widgets"));

    const QString pdf = box.path("order.pdf");
    const Outcome order = Count({"order", "--pdf", pdf, "--program-dir", dir});
    EXPECT_EQ(order.status, 0) << order.err.toStdString();
    EXPECT_TRUE(ReadBytes(pdf).startsWith("%PDF")) << order.err.toStdString();
}
