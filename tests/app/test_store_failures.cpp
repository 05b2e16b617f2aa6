// kestova-count on stores that cannot be written, fill the disk, are locked
// by another program or are being counted by another count: never a good
// count on a store that refused it, never another count's rows mixed in.
#include "folder_scan.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"
#include "store_statements.h"
#include "test_environment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace kestova;
using kestova::test::CountToolRun;
using kestova::test::JpegBytes;
using kestova::test::RunCountTool;
using kestova::test::RunCountToolAsNobody;
using kestova::test::ReadBytes;
using kestova::test::Sandbox;
using kestova::test::ScopedEnv;
using kestova::test::SmallDisk;

namespace {


// Rows of a store opened on a connection of the test's own.
QList<QStringList> StoreRows(const QString &mdb, const QString &statement)
{
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(mdb);
        if (db.open())
            rows = kestova::test::QueryRows(db, statement);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return rows;
}

class StoreFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        program = box.path(QStringLiteral("prog"));
        ASSERT_EQ(RunCountTool({"setup", "--program-dir", program}).status, 0);
        box.writeFile(QStringLiteral("A/a.jpg"), JpegBytes(1800, 1200, 300));
        box.writeFile(QStringLiteral("A/b.jpg"), JpegBytes(1200, 1800, 300));
        folderA = box.path(QStringLiteral("A"));
    }

    QString Mdb() const { return program + QStringLiteral("/Data.mdb"); }

    Sandbox box;
    QString program;
    QString folderA;
};

} // namespace

// Read-only file or folder (for a user without root's rights) and damaged
// pages: the store is refused at start, and left exactly as it was.
TEST_F(StoreFailureTest, AStoreThatCannotBeWrittenIsRefusedAtStartAndLeftAlone)
{
    // A table's page overwritten: the schema still reads, the table does not.
    QByteArray bytes = ReadBytes(Mdb());
    ASSERT_GE(bytes.size(), 3 * 4096);
    bytes.replace(4096, 4096, QByteArray(4096, '\xA5'));
    {
        QFile f(Mdb());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    CountToolRun r = RunCountTool({"scan", "--program-dir", program, folderA});
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("数据库连接失败，请检查数据库是否存在！"))) << r.err.toStdString();
    EXPECT_EQ(ReadBytes(Mdb()), bytes);

    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    QFile::remove(Mdb());
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", program}).status, 0);
    ::chmod(QFile::encodeName(box.root()).constData(), 0755);
    ::chmod(QFile::encodeName(folderA).constData(), 0755);
    const QByteArray fresh = ReadBytes(Mdb());

    // The file read-only, its folder writable.
    ::chmod(QFile::encodeName(program).constData(), 0777);
    ::chmod(QFile::encodeName(Mdb()).constData(), 0444);
    r = RunCountToolAsNobody({"scan", "--program-dir", program, folderA});
    ASSERT_NE(r.status, 127) << "setpriv missing";
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("数据库连接失败"))) << r.err.toStdString();
    EXPECT_EQ(ReadBytes(Mdb()), fresh);

    // The file writable, its folder not: a rollback journal cannot be made.
    ::chmod(QFile::encodeName(Mdb()).constData(), 0666);
    ::chmod(QFile::encodeName(program).constData(), 0555);
    r = RunCountToolAsNobody({"scan", "--program-dir", program, folderA});
    ::chmod(QFile::encodeName(program).constData(), 0755);
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("数据库连接失败"))) << r.err.toStdString();
    EXPECT_EQ(ReadBytes(Mdb()), fresh);
    EXPECT_FALSE(QFile::exists(Mdb() + QStringLiteral("-journal")));
}

// The program folder on a small file system that fills during the count.
TEST_F(StoreFailureTest, ADiskThatFillsDuringTheCountStopsItWithStatusThree)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    const QString mount = box.mkdir(QStringLiteral("small"));
    const SmallDisk disk(mount, "1m");
    ASSERT_TRUE(disk.mounted());
    program = mount + QStringLiteral("/prog");
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", program}).status, 0);
    CountToolRun r = RunCountTool({"scan", "--program-dir", program, folderA});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QStringList> totalsA = StoreRows(Mdb(), Statement::SelectTotalExport);

    // Folder B's rows need far more than the 96 KiB left.
    const QString name(150, u'b');
    for (int i = 0; i < 1500; ++i)
        box.writeFile(QStringLiteral("B/%1_%2.txt").arg(name).arg(i), "x");
    struct statvfs fs;
    ASSERT_EQ(::statvfs(QFile::encodeName(mount).constData(), &fs), 0);
    const qint64 fill = qint64(fs.f_bavail) * fs.f_bsize - 96 * 1024;
    {
        QFile filler(mount + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        ASSERT_EQ(filler.write(QByteArray(fill, '\0')), fill);
    }

    r = RunCountTool({"scan", "--program-dir", program, box.path(QStringLiteral("B"))});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("数据库写入失败：磁盘已满"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();

    // With room again the store is sound and still holds A's totals whole.
    QFile::remove(mount + QStringLiteral("/filler"));
    EXPECT_EQ(StoreRows(Mdb(), QStringLiteral("PRAGMA integrity_check")), QList<QStringList>{{"ok"}});
    EXPECT_EQ(StoreRows(Mdb(), Statement::SelectTotalExport), totalsA);
}

// Another program holding the store's write lock: one message, after one
// wait, not a wait for every file.
TEST_F(StoreFailureTest, AStoreLockedByAnotherProgramFailsTheCountOnce)
{
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folderA}).status, 0);
    const int files = 40;
    for (int i = 0; i < files; ++i)
        box.writeFile(QStringLiteral("B/%1.jpg").arg(i), JpegBytes(60, 40));
    const QList<QStringList> totalsA = StoreRows(Mdb(), Statement::SelectTotalExport);

    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(Mdb()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const int waitMs = 250;
    const ScopedEnv wait("KESTOVA_BUSY_TIMEOUT_MS", QByteArray::number(waitMs));
    QElapsedTimer clock;
    clock.start();
    const CountToolRun r = RunCountTool({"scan", "--program-dir", program, box.path(QStringLiteral("B"))});
    const qint64 took = clock.elapsed();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.count(QStringLiteral("数据库写入失败：数据库正被其他程序使用")), 1) << r.err.toStdString();
    EXPECT_LT(took, files * waitMs / 2); // one wait, not one for every file
    EXPECT_EQ(StoreRows(Mdb(), Statement::SelectTotalExport), totalsA);
}

// A second count (another program) started while this one runs is refused at
// once; a note number issued meanwhile goes through; this count's rows and
// totals are what it gives alone.
TEST_F(StoreFailureTest, ASecondCountIsRefusedAndAnOrderIsAnsweredAtOnce)
{
    for (int i = 0; i < 60; ++i)
        box.writeFile(QStringLiteral("B/%1.jpg").arg(i, 2, 10, QChar(u'0')), JpegBytes(600, 400, 100 + i));
    const QString folderB = box.path(QStringLiteral("B")) + u'/';

    // Alone.
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folderB}).status, 0);
    const QList<QStringList> detailAlone =
        StoreRows(Mdb(), QStringLiteral("SELECT * FROM PhotoDetail ORDER BY rowid"));
    const QList<QStringList> totalsAlone = StoreRows(Mdb(), Statement::SelectTotalExport);

    // At the tenth file: a second count, run to its end; and an order that
    // needs a note number, left running while this count goes on slowly
    // enough to commit between files.
    class Intruder : public ScanObserver
    {
    public:
        Intruder(QString program, QString folder) : m_program(std::move(program)), m_folder(std::move(folder)) {}
        bool FileDone(int done) override
        {
            if (done == 10) {
                second = RunCountTool({"scan", "--program-dir", m_program, m_folder});
                order.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")),
                            {"order", "--program-dir", m_program, "--pdf", m_program + "/o.pdf"});
            } else if (done > 10 && order.state() != QProcess::NotRunning) {
                orderDoneDuringCount = order.waitForFinished(300);
            }
            return false;
        }
        CountToolRun second;
        QProcess order;
        bool orderDoneDuringCount = false;

    private:
        QString m_program;
        QString m_folder;
    } intruder(program, folderA);

    SetProgramFolder(program);
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    kestova::test::RecordingDialogs dialogs;
    EXPECT_EQ(ScanFolder(folderB, Settings(), *store, dialogs, &intruder), ScanEnd::Completed);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(intruder.second.status, 4) << intruder.second.err.toStdString();
    EXPECT_TRUE(intruder.second.err.contains(QStringLiteral("另一个统计正在进行，请稍后再试。")));
    EXPECT_TRUE(intruder.orderDoneDuringCount);
    intruder.order.waitForFinished(60000);
    // The order answered at once, without waiting for the count, and
    // refused: the totals in the store are not the counted folder's yet.
    EXPECT_EQ(intruder.order.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(intruder.order.readAllStandardError()).contains(QStringLiteral("没有完成")));
    EXPECT_EQ(StoreRows(Mdb(), "SELECT * FROM PhotoDetail ORDER BY rowid"), detailAlone);
    EXPECT_EQ(StoreRows(Mdb(), Statement::SelectTotalExport), totalsAlone);

    // Once the count is over, the lock is free again.
    EXPECT_EQ(RunCountTool({"scan", "--program-dir", program, folderA}).status, 0);
}
