// kestova-count where the world is hostile: folders and files it may not or
// cannot read, a second count while the first prints, lock files left by a
// power cut, stores that cannot be opened, names that break lines.
#include "sandbox.h"
#include "slow_mount.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using kestova::test::CountToolRun;
using kestova::test::JpegBytes;
using kestova::test::ReadBytes;
using kestova::test::RunCountTool;
using kestova::test::RunCountToolAsNobody;
using kestova::test::Sandbox;
using kestova::test::SlowMount;

namespace {

void OpenToEveryone(const QString &path) { ::chmod(QFile::encodeName(path).constData(), 0777); }

class CountToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        program = box.path("prog");
        ASSERT_EQ(RunCountTool({"setup", "--program-dir", program}).status, 0);
    }

    QString Mdb() const { return program + "/Data.mdb"; }

    Sandbox box;
    QString program;
};

} // namespace

// A folder "nobody" may not open, and on a share a folder that cannot be
// listed, a file that cannot be read and one whose kind cannot be asked: each
// is a failed row with its reason, counted among the files, told on stderr,
// with an exit status of its own. The readable pictures are the totals.
TEST_F(CountToolTest, EntriesThatCannotBeReadAreFailedRowsWithTheirReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the tool as another user and to mount a share";
    for (const char *name : {"A/a.jpg", "A/locked/b.jpg", "A/open/c.jpg", "S/ok.jpg", "S/eio-folder/inside.jpg",
                             "S/eio-file.jpg", "S/eio-stat-file.jpg"})
        box.writeFile(name, JpegBytes(960, 480));
    for (const QString &path : {box.root(), program, Mdb(), program + "/Config.ini"})
        OpenToEveryone(path);
    ::chmod(QFile::encodeName(box.path("A/locked")).constData(), 0);
    const QString a = box.path("A");

    CountToolRun r = RunCountToolAsNobody({"scan", "--details", "--program-dir", program, a});
    ::chmod(QFile::encodeName(box.path("A/locked")).constData(), 0755);
    ASSERT_NE(r.status, 127) << "setpriv missing";
    EXPECT_EQ(r.status, 5) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(a + "/locked/\t无法读取：权限不足\t0\t0\t0\t失败\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("合计 2 0.06\n")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("有 1 个文件或文件夹无法读取")) << r.err.toStdString();

    SlowMount share(box.path("S"), 0);
    if (!share.whyNot().isEmpty())
        GTEST_SKIP() << share.whyNot().toStdString();
    r = RunCountTool({"scan", "--details", "--program-dir", program, share.path()});
    EXPECT_EQ(r.status, 5) << r.err.toStdString();
    for (const char *entry : {"eio-folder/", "eio-file.jpg", "eio-stat-file.jpg"})
        EXPECT_TRUE(r.out.contains(share.path() + "/" + entry + "\t无法读取：输入/输出错误\t0\t0\t0\t失败\n"))
            << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("合计 1 0.03\n")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("有 3 个文件或文件夹无法读取")) << r.err.toStdString();
}

// The first count holds its lock until it has printed everything: a second
// count started while the first is still printing its details is refused,
// and the first prints its own totals.
TEST_F(CountToolTest, ASecondCountWaitsUntilTheFirstHasPrinted)
{
    // Enough detail lines to fill the pipe, so that the first count stops
    // in the middle of printing until the test reads on.
    const QByteArray picture = JpegBytes(96, 96);
    for (int i = 0; i < 1500; ++i)
        box.writeFile(QString("A/%1-%2.jpg").arg(QString(120, u'x')).arg(i, 4, 10, QChar(u'0')), picture);
    box.writeFile("B/b.jpg", JpegBytes(960, 480));

    QProcess first;
    first.start(qgetenv("KESTOVA_COUNT"), {"scan", "--details", "--program-dir", program, box.path("A")});
    ASSERT_TRUE(first.waitForReadyRead(60000));
    const CountToolRun second = RunCountTool({"scan", "--program-dir", program, box.path("B")});
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.status, 4) << second.out.toStdString();
    const QString out = QString::fromUtf8(first.readAllStandardOutput());
    EXPECT_TRUE(out.contains("\n2.54*2.54 1500 ") && out.contains("\n合计 1500 ")) << out.right(200).toStdString();
}

// A lock file that no live count holds is taken over at once, whatever it
// holds; one that is not a file is reported with its path, never waited on.
TEST_F(CountToolTest, LeftOverLockFilesDoNotBlockAndOddOnesAreReported)
{
    box.writeFile("A/a.jpg", JpegBytes(960, 480));
    const QString lock = Mdb() + "-counting";
    // Empty (a power cut before it was written), garbage, another host's
    // count, a process that is gone.
    for (const QByteArray &leftOver : {QByteArray(), QByteArray("\x01\xff\x00zz\n", 6),
                                       QByteArray("4242\nshop-pc-2\nkestova-count\n"),
                                       QByteArray("999999\n") + qgetenv("HOSTNAME") + "\nkestova-count\n"}) {
        box.writeFile("prog/Data.mdb-counting", leftOver);
        const CountToolRun r = RunCountTool({"scan", "--program-dir", program, box.path("A")});
        EXPECT_EQ(r.status, 0) << leftOver.toHex().toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(lock));
    }

    // A folder, then a FIFO, where the lock file should be.
    for (const bool folder : {true, false}) {
        ASSERT_TRUE(folder ? QDir().mkpath(lock) : ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0);
        const CountToolRun r = RunCountTool({"scan", "--program-dir", program, box.path("A")});
        EXPECT_EQ(r.status, 3);
        EXPECT_TRUE(r.err.contains(lock + " 不是普通文件")) << r.err.toStdString();
        QDir().rmdir(lock);
    }
}

// Every way the store cannot be opened keeps the message's first line and
// adds the store's path and the cause.
TEST_F(CountToolTest, StoreErrorsNameTheStoreAndTheCause)
{
    box.writeFile("A/a.jpg", JpegBytes(960, 480));
    const QByteArray fresh = ReadBytes(Mdb());
    const auto failsWith = [&](const char *cause, bool asNobody = false) {
        const QStringList args{"scan", "--program-dir", program, box.path("A")};
        const CountToolRun r = asNobody ? RunCountToolAsNobody(args) : RunCountTool(args);
        EXPECT_EQ(r.status, 2) << cause;
        EXPECT_TRUE(r.err.startsWith("数据库连接失败，请检查数据库是否存在！\n数据库 " + Mdb() + "：" + cause))
            << r.err.toStdString();
    };

    QFile::remove(Mdb());
    failsWith("不存在");
    QDir().mkpath(Mdb());
    failsWith("不是文件");
    QDir().rmdir(Mdb());
    ASSERT_EQ(::mkfifo(QFile::encodeName(Mdb()).constData(), 0600), 0);
    failsWith("不是文件");
    QFile::remove(Mdb());
    QByteArray damaged = fresh;
    damaged.replace(4096, 4096, QByteArray(4096, '\xA5'));
    box.writeFile("prog/Data.mdb", damaged);
    failsWith("已损坏");
    EXPECT_EQ(RunCountTool({"check", "--program-dir", program}).status, 2);

    // Damage in the order book's pages is not looked for on every open (that
    // would read the whole order book); `check` finds it.
    box.writeFile("prog/Data.mdb", fresh);
    ASSERT_EQ(RunCountTool({"price", "set", "证件照", "--size", "5*3.5", "2", "--program-dir", program}).status, 0);
    QByteArray bytes = ReadBytes(Mdb());
    ASSERT_GT(bytes.size(), 7 * 4096);
    bytes.replace(bytes.size() - 4096, 4096, QByteArray(4096, '\x5A'));
    box.writeFile("prog/Data.mdb", bytes);
    CountToolRun r = RunCountTool({"check", "--program-dir", program});
    EXPECT_EQ(r.status, 7);
    EXPECT_TRUE(r.err.contains("数据库已损坏：" + Mdb())) << r.err.toStdString();
    EXPECT_EQ(RunCountTool({"scan", "--program-dir", program, box.path("A")}).status, 0);
    // A log left beside the store with no program holding it (a program
    // killed after a write) is an unclean end: the whole file is checked.
    QByteArray log;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
        db.setDatabaseName(Mdb());
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("PRAGMA wal_autocheckpoint=0");
        ASSERT_TRUE(QSqlQuery(db).exec("INSERT INTO NoteNumber(PrintDate) VALUES('2026-12-08')"));
        log = ReadBytes(Mdb() + "-wal");
        db.close();
    }
    QSqlDatabase::removeDatabase("writer");
    ASSERT_FALSE(log.isEmpty());
    box.writeFile("prog/Data.mdb-wal", log);
    failsWith("已损坏");

    if (::geteuid() != 0)
        return;
    QFile::remove(Mdb());
    box.writeFile("prog/Data.mdb", fresh);
    OpenToEveryone(box.root());
    OpenToEveryone(program);
    ::chmod(QFile::encodeName(Mdb()).constData(), 0444);
    failsWith("只读", true);
}

// Names with a tab, a line feed, a carriage return or a backslash stay one
// field of one line; an empty folder argument is a usage error, not the
// working folder; an image handler's complaint is the file's reason, not a
// line on stderr.
TEST_F(CountToolTest, OutputsStayParseableAndQuiet)
{
    box.writeFile("A/tab\there.jpg", JpegBytes(960, 480));
    box.writeFile("A/line\nbreak\r\\.jpg", JpegBytes(960, 480));
    box.writeFile("A/broken.tga", "abc");
    CountToolRun r = RunCountTool({"scan", "--details", "--program-dir", program, box.path("A")});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(box.path("A") + "/broken.tga\t图片数据有误：QTgaHandler")) << lines[0].toStdString();
    EXPECT_EQ(lines[1].section('\t', 0, 1), box.path("A") + "/line\\nbreak\\r\\\\.jpg\t25.4*12.7");
    EXPECT_EQ(lines[2].section('\t', 0, 1), box.path("A") + "/tab\\there.jpg\t25.4*12.7");
    EXPECT_EQ(r.err, "");

    ASSERT_EQ(RunCountTool({"price", "set", "证件照", "--size", "a\tb", "2", "--program-dir", program}).status, 0);
    r = RunCountTool({"prices", "--program-dir", program});
    EXPECT_TRUE(r.out.contains("证件照\ta\\tb\t2.00\n")) << r.out.toStdString();

    r = RunCountTool({"scan", "--program-dir", program, ""});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith("FOLDER 不能为空。\n用法:")) << r.err.toStdString();
}
