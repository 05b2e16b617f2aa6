// `kestova-count order --pdf` when the file cannot be written whole: a
// folder the user may not write to, a full disk, a process killed while it
// writes. An existing file stays as it was and no part of the new one is
// left anywhere in its folder.
#include "clock.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "store_connection.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <functional>

namespace kestova::test {
namespace {

const QByteArray OldPdf = "%PDF-1.4 the order printed before\n";

class PdfWriteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root (nobody, a mount, limits)";
        sandbox.createStore();
    }
    // Totals of `sizes` print sizes, ten to an order page.
    void Count(int sizes)
    {
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        QSqlQuery q(StoreConnection::Of(*store));
        for (int i = 1; i <= sizes; ++i)
            ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('%1*20',1,0.1)").arg(i)));
        ASSERT_TRUE(store->InsertGrandTotal(2));
        ASSERT_TRUE(store->BeginCount({QStringLiteral("/照片"), Now(), LengthUnit::Centimetre,
                                       AreaUnit::SquareMetre, 2, 4, false})
                    && store->CompleteCount());
    }

    // The order command writing `pdf`, its process set up by `setUp`.
    QProcess *Run(const QString &pdf, const std::function<void()> &setUp)
    {
        auto *p = new QProcess;
        p->setChildProcessModifier(setUp);
        p->start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")),
                 {QStringLiteral("order"), QStringLiteral("--pdf"), pdf, QStringLiteral("--program-dir"),
                  sandbox.programDir()});
        EXPECT_TRUE(p->waitForFinished(60000));
        return p;
    }
    // A folder holding only the order printed before.
    QString FolderWithOldPdf(const QString &folder)
    {
        const QString pdf = folder + QStringLiteral("/order.pdf");
        QFile file(pdf);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(OldPdf) == OldPdf.size());
        return pdf;
    }
    static QStringList Entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    Sandbox sandbox;
};

TEST_F(PdfWriteTest, AFolderTheUserMayNotWriteToIsNamedWithTheCause)
{
    Count(1);
    // The store belongs to nobody; the PDF's folder to root alone.
    for (const QString &path : {sandbox.programDir(), DataMdbPath()})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(sandbox.root()).constData(), 0755), 0);
    const QString pdf = FolderWithOldPdf(sandbox.mkdir(QStringLiteral("locked")));
    std::unique_ptr<QProcess> p(Run(pdf, [] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(120);
    }));
    EXPECT_EQ(p->exitCode(), 3);
    EXPECT_EQ(QString::fromUtf8(p->readAllStandardError()),
              QStringLiteral("打印机失败：无法写入 %1（权限不足）\n").arg(pdf));
    EXPECT_EQ(ReadBytes(pdf), OldPdf);
}

TEST_F(PdfWriteTest, AFullDiskLeavesTheOldFileAndNothingElse)
{
    Count(1);
    const QString mount = sandbox.mkdir(QStringLiteral("small"));
    const SmallDisk disk(mount, "256k");
    ASSERT_TRUE(disk.mounted());
    const QString pdf = FolderWithOldPdf(mount);
    struct statvfs fs;
    ASSERT_EQ(::statvfs(QFile::encodeName(mount).constData(), &fs), 0);
    QFile filler(mount + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    ASSERT_EQ(filler.write(QByteArray(qint64(fs.f_bavail) * fs.f_bsize, '\0')), qint64(fs.f_bavail) * fs.f_bsize);
    filler.close();

    std::unique_ptr<QProcess> p(Run(pdf, [] {}));
    EXPECT_EQ(p->exitCode(), 3);
    EXPECT_EQ(QString::fromUtf8(p->readAllStandardError()), QStringLiteral("打印机失败：无法写入 %1（磁盘已满）\n").arg(pdf));
    EXPECT_EQ(ReadBytes(pdf), OldPdf);
    EXPECT_EQ(Entries(mount), (QStringList{QStringLiteral("filler"), QStringLiteral("order.pdf")}));
}

// The process may not write past a file size that the store stays below
// and the order's many pages do not: the system kills it in the PDF's write.
TEST_F(PdfWriteTest, AProcessKilledWhileWritingLeavesTheOldFileAndNothingElse)
{
    Count(600);
    const qint64 storeSize = QFileInfo(DataMdbPath()).size();
    const QString folder = sandbox.mkdir(QStringLiteral("out"));
    const QString pdf = FolderWithOldPdf(folder);
    const rlim_t limit = rlim_t(storeSize) * 2;
    std::unique_ptr<QProcess> p(Run(pdf, [limit] {
        const struct rlimit files{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &files);
    }));
    ASSERT_EQ(p->exitStatus(), QProcess::CrashExit) << p->readAllStandardError().toStdString();
    EXPECT_EQ(ReadBytes(pdf), OldPdf);
    EXPECT_EQ(Entries(folder), QStringList{QStringLiteral("order.pdf")});

    // Without the limit the same order is written, far larger than it.
    p.reset(Run(pdf, [] {}));
    EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    EXPECT_GT(QFileInfo(pdf).size(), qint64(limit));
    EXPECT_EQ(Entries(folder), QStringList{QStringLiteral("order.pdf")});
}

} // namespace
} // namespace kestova::test
