// The photo store: schema, the statements and the functions behind them.
#include "clock.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "store_statements.h"
#include "test_environment.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <ctime>

using namespace kestova;
using kestova::test::Sandbox;

namespace {

class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        box.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
    }

    DetailRow Row(const QString &path, const QString &key, double area, float dpi = 300, bool ok = true)
    {
        DetailRow r;
        r.PhotoPath = path;
        r.WidthAndHeight = key;
        r.PhotoArea = area;
        r.HorizontalResolution = dpi;
        r.VerticalResolution = dpi;
        r.IsSucceed = ok;
        return r;
    }

    QList<QStringList> Query(const QString &text) { return kestova::test::FileRows(DataMdbPath(), text); }
    QList<QStringList> TotalGrid() { return kestova::test::GridRows(store->ReadTotalGrid()); }

    void Totals(qint32 radix)
    {
        ASSERT_TRUE(store->DeletePhotoTotal());
        ASSERT_TRUE(store->InsertSizeTotals(radix));
        ASSERT_TRUE(store->InsertGrandTotal(radix));
    }

    Sandbox box;
    std::unique_ptr<PhotoStore> store;
};

} // namespace

TEST_F(StoreTest, OddPathsAreStoredExactlyAndChangeNothingElse)
{
    const QStringList paths = {
        "D:\\Bob's\\a.jpg",
        "/photos/it''s \"quoted\"/x.jpg",
        "/photos/a'); DELETE FROM PhotoDetail; --/b.jpg",
        "/photos/line\nbreak/c.jpg",
        "/photos/Zoë 🙂/d.jpg",
    };
    for (const QString &p : paths)
        ASSERT_TRUE(store->InsertPhotoDetail(Row(p, "15.24*10.16", 0.0155))) << store->lastError().toStdString();
    QStringList stored;
    for (const QStringList &row : Query("SELECT PhotoPath FROM PhotoDetail ORDER BY rowid"))
        stored << row[0];
    EXPECT_EQ(stored, paths);
}

TEST_F(StoreTest, TotalsPerSizeInKeyOrderWithTotalRowLast)
{
    for (int i = 0; i < 3; ++i)
        store->InsertPhotoDetail(Row(QString("/p/a%1.jpg").arg(i), "15.24*10.16", 0.0155));
    store->InsertPhotoDetail(Row("/p/b.jpg", "10.16*15.24", 0.0155));
    store->InsertPhotoDetail(Row("/p/c.txt", "0*0", 0, 0, false));
    store->InsertPhotoDetail(Row("/p/locked/", "无法读取：权限不足", 0, 0, false));
    store->InsertPhotoDetail(Row("/p/d.jpg", "无法读取：输入/输出错误", 0, 0, false));
    Totals(2);
    const QList<TotalRow> rows = store->ReadTotals();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].PhotoSize, "10.16*15.24");
    EXPECT_EQ(rows[0].PhotoAmount.toLongLong(), 1);
    EXPECT_DOUBLE_EQ(rows[0].PhotoArea.toDouble(), 0.02);
    EXPECT_EQ(rows[1].PhotoSize, "15.24*10.16");
    EXPECT_EQ(rows[1].PhotoAmount.toLongLong(), 3);
    EXPECT_DOUBLE_EQ(rows[1].PhotoArea.toDouble(), 0.05); // 0.0465
    EXPECT_EQ(rows[2].PhotoSize, "合计");
    EXPECT_EQ(rows[2].PhotoAmount.toLongLong(), 4);
    EXPECT_DOUBLE_EQ(rows[2].PhotoArea.toDouble(), 0.07); // 0.02 + 0.05
    EXPECT_EQ(TotalGrid(),
              (QList<QStringList>{{"10.16*15.24", "1", "0.02"}, {"15.24*10.16", "3", "0.05"}, {"合计", "4", "0.07"},
                                  {"无法读取", "2", ""}}));
}

TEST_F(StoreTest, RoundTiesToEvenOnDecimalText)
{
    // 0.0625 + 0.0625 = 0.125: a tie, rounded to the even 0.12; 0.135 to 0.14.
    store->InsertPhotoDetail(Row("/a", "1*1", 0.0625));
    store->InsertPhotoDetail(Row("/b", "1*1", 0.0625));
    store->InsertPhotoDetail(Row("/c", "2*2", 0.135));
    Totals(2);
    EXPECT_EQ(TotalGrid(),
              (QList<QStringList>{{"1*1", "2", "0.12"}, {"2*2", "1", "0.14"}, {"合计", "3", "0.26"}}));
    // A tie without decimals, an empty sum, and the number text of the
    // areas the grid shows.
    ASSERT_TRUE(store->DeletePhotoDetail());
    store->InsertPhotoDetail(Row("/d", "3*3", 2.5));
    Totals(0);
    EXPECT_EQ(TotalGrid(), (QList<QStringList>{{"3*3", "1", "2"}, {"合计", "1", "2"}}));
    ASSERT_TRUE(store->DeletePhotoTotal());
    ASSERT_TRUE(store->InsertGrandTotal(2));
    Query("INSERT INTO PhotoTotal VALUES('a', 1, 0.00007), ('b', 1, 2)");
    EXPECT_EQ(TotalGrid(), (QList<QStringList>{{"合计", "<null>", "<null>"}, {"a", "1", "7E-05"}, {"b", "1", "2"}}));
}

TEST_F(StoreTest, NoSuccessfulFileLeavesOnlyAnEmptyTotalRow)
{
    store->InsertPhotoDetail(Row("/p/a.txt", "0*0", 0, 0, false));
    Totals(2);
    const QList<TotalRow> rows = store->ReadTotals();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].PhotoSize, "合计");
    EXPECT_TRUE(rows[0].PhotoAmount.isNull());
    EXPECT_TRUE(rows[0].PhotoArea.isNull());
}

TEST_F(StoreTest, DetailGridListsFailedFilesFirstWithResultTexts)
{
    store->InsertPhotoDetail(Row("/p/hi.jpg", "15.24*10.16", 0.0155, 300));
    store->InsertPhotoDetail(Row("/p/bad.txt", "0*0", 0, 0, false));
    store->InsertPhotoDetail(Row("/p/lo.jpg", "63.5*42.33", 0.2688, 72));
    store->InsertPhotoDetail(Row("/p/hi2.jpg", "15.24*10.16", 0.0155, 300));
    EXPECT_EQ(kestova::test::GridRows(store->ReadDetailGrid()),
              (QList<QStringList>{{"/p/bad.txt", "0*0", "0", "0", "0", "失败"},
                                  {"/p/lo.jpg", "63.5*42.33", "72", "72", "0.2688", "成功"},
                                  {"/p/hi.jpg", "15.24*10.16", "300", "300", "0.0155", "成功"},
                                  {"/p/hi2.jpg", "15.24*10.16", "300", "300", "0.0155", "成功"}}));
}

TEST_F(StoreTest, ResolutionsAreStoredAsTheirSevenDigitText)
{
    store->InsertPhotoDetail(Row("/p/a.jpg", "1*1", 0.1, 72.00001f));
    const QList<QStringList> rows = Query("SELECT HorizontalResolution FROM PhotoDetail");
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toDouble(), 72.00001);
}

TEST_F(StoreTest, NoteNumbersIncreaseAndNeverRepeat)
{
    const auto first = store->IssueNoteNumber();
    const auto second = store->IssueNoteNumber();
    ASSERT_TRUE(first && second);
    EXPECT_GT(*second, *first);
    EXPECT_EQ(Query("SELECT PrintDate FROM NoteNumber ORDER BY 1 DESC LIMIT 1"),
              (QList<QStringList>{{Today().toString(Qt::ISODate)}}));

    // Deleting every row and reopening the store does not bring a number back.
    Query("DELETE FROM NoteNumber");
    store.reset();
    store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    const auto third = store->IssueNoteNumber();
    ASSERT_TRUE(third);
    EXPECT_GT(*third, *second);
}

TEST_F(StoreTest, NoteNumberDateIsTheLocalDate)
{
    // Fourteen hours ahead of UTC, the local date differs from the UTC date
    // at the tests' clock (the evening in UTC).
    const QByteArray previous = qgetenv("TZ");
    qputenv("TZ", "Etc/GMT-14");
    ::tzset();
    const QDate expected = Now().toUTC().addSecs(14 * 3600).date();
    ASSERT_NE(expected, Now().toUTC().date());
    ASSERT_TRUE(store->IssueNoteNumber());
    const auto rows = Query("SELECT PrintDate FROM NoteNumber ORDER BY rowid DESC LIMIT 1");
    if (previous.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previous);
    ::tzset();
    EXPECT_EQ(rows, (QList<QStringList>{{expected.toString(Qt::ISODate)}}));
}

TEST_F(StoreTest, StarterServiceListInItsOrder)
{
    bool ok = false;
    EXPECT_EQ(store->ServiceNames(&ok),
              (QStringList{"数码冲印（光面）", "数码冲印（绒面）", "证件照", "写真海报"}));
    EXPECT_TRUE(ok);
}

TEST_F(StoreTest, BatchedRowsAreVisibleAfterTheBatchEnds)
{
    store->BeginBatch();
    store->DeletePhotoDetail();
    for (int i = 0; i < 100; ++i)
        store->InsertPhotoDetail(Row(QString("/p/%1.jpg").arg(i), "1*1", 0.01));
    store->EndBatch();
    // Another connection, as another program would read the file.
    EXPECT_EQ(Query("SELECT COUNT(*) FROM PhotoDetail"), (QList<QStringList>{{"100"}}));
}

TEST_F(StoreTest, BusyStoreGivesAnErrorInsteadOfHanging)
{
    // A store opened with a short wait for the holder (the program's is 5 s).
    const test::ScopedEnv wait("KESTOVA_BUSY_TIMEOUT_MS", "200");
    store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    {
        // Another program's connection, holding the file.
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
        other.setDatabaseName(DataMdbPath());
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(store->IssueNoteNumber().has_value());
        EXPECT_GE(clock.elapsed(), 200);
        EXPECT_LT(clock.elapsed(), 4000);
        lock.exec("ROLLBACK");
    }
    QSqlDatabase::removeDatabase("other-program");
    EXPECT_TRUE(store->IssueNoteNumber().has_value());
}

TEST(StoreCreate, RefusesToReplaceAnExistingFile)
{
    Sandbox box;
    const QString path = box.writeFile("program/Data.mdb", "keep me");
    QString error;
    EXPECT_FALSE(PhotoStore::Create(path, &error));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "keep me");
}
