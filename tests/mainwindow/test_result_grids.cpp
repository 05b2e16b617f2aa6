// The result grids on their own: lazy binding of a large detail table with
// its marks, the threshold's edges, the placeholder row and the font.
#include "result_grids.h"

#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScrollBar>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace kestova;
using namespace kestova::test;

namespace {

const QColor Yellow(255, 255, 128);
const QColor Magenta(255, 128, 255);

DetailRow Row(const QString &path, float horizontal, float vertical, bool ok = true)
{
    DetailRow row;
    row.PhotoPath = path;
    row.PhotoWidth = 15.24;
    row.PhotoHeight = 10.16;
    row.WidthAndHeight = ok ? QStringLiteral("15.24*10.16") : QStringLiteral("0*0");
    row.HorizontalResolution = horizontal;
    row.VerticalResolution = vertical;
    row.PhotoArea = ok ? 0.0155 : 0;
    row.IsSucceed = ok;
    return row;
}

class GridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        total.resize(400, 300);
        detail.resize(600, 600);
        total.Model().SetHeaderText(TotalGridHeader);
        detail.Model().SetHeaderText(DetailGridHeader);
        detail.Model().SetSingleColumns({2, 3});
    }
    void TearDown() override
    {
        detail.Detach();
        total.Detach();
    }

    bool Show()
    {
        QString error;
        const bool ok = ShowScanResults(total, detail, *store, settings, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return ok;
    }
    QColor Colour(const ResultGrid &grid, int row, int column = 0) const
    {
        return grid.model()->index(row, column).data(Qt::BackgroundRole).value<QColor>();
    }

    Sandbox sandbox;
    Settings settings;
    std::unique_ptr<PhotoStore> store;
    ResultGrid total;
    ResultGrid detail;
};

} // namespace

TEST_F(GridTest, FortyThousandRowsBindAtOnceAndAreMarkedAsTheyAreFetched)
{
    // 5,000 failed files, 10,000 photos at 72 dpi, 25,000 at 300 dpi: in
    // SelectDetailGrid's order they come in exactly these three runs.
    store->BeginBatch();
    for (int i = 0; i < 40000; ++i) {
        const QString path = QStringLiteral("/orders/big/%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        if (i % 8 == 0)
            store->InsertPhotoDetail(Row(path, 0, 0, false));
        else if (i % 8 <= 2)
            store->InsertPhotoDetail(Row(path, 72, 72));
        else
            store->InsertPhotoDetail(Row(path, 300, 300));
    }
    store->EndBatch();

    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(Show());
    EXPECT_LT(timer.elapsed(), 500);
    // Binding and marking fetched only the first rows.
    EXPECT_LT(detail.model()->rowCount(), 1000);
    EXPECT_TRUE(detail.model()->canFetchMore(QModelIndex()));
    EXPECT_EQ(Colour(detail, 0), Yellow);

    // The grid's half-read query does not stand in the way of the store's
    // other work: printing issues a note number, export reads the totals.
    EXPECT_TRUE(store->IssueNoteNumber().has_value());
    bool read = false;
    store->ReadTotals(&read);
    EXPECT_TRUE(read);

    // Scrolling down fetches the rest, a few hundred rows at a time.
    timer.restart();
    qint64 slowest = 0;
    while (detail.model()->canFetchMore(QModelIndex())) {
        QElapsedTimer step;
        step.start();
        detail.scrollToBottom();
        detail.model()->fetchMore(QModelIndex());
        slowest = std::max(slowest, step.elapsed());
    }
    EXPECT_LT(slowest, 100);
    ASSERT_EQ(detail.model()->rowCount(), 40000);
    EXPECT_EQ(Colour(detail, 4999, 5), Yellow);
    EXPECT_EQ(Colour(detail, 5000, 3), Magenta);
    EXPECT_EQ(Colour(detail, 14999), Magenta);
    EXPECT_FALSE(Colour(detail, 15000).isValid());
    EXPECT_FALSE(Colour(detail, 39999, 5).isValid());
    EXPECT_EQ(detail.Text(39999, 0), QStringLiteral("/orders/big/39999.jpg"));
    EXPECT_EQ(detail.Text(39999, 5), QStringLiteral("成功"));
}

TEST_F(GridTest, ThresholdEdges)
{
    settings.AlarmNum = 150;
    store->InsertPhotoDetail(Row(QStringLiteral("/o/equal.jpg"), 150, 150));
    store->InsertPhotoDetail(Row(QStringLiteral("/o/tall.jpg"), 300, 72));
    store->InsertPhotoDetail(Row(QStringLiteral("/o/just-below.jpg"), 149.5f, 300));
    store->InsertPhotoDetail(Row(QStringLiteral("/o/failed.txt"), 0, 0, false));
    ASSERT_TRUE(Show());
    ASSERT_EQ(detail.model()->rowCount(), 4);
    // Order: failed (0), just-below (149.5), equal (150), tall (300 × 72).
    EXPECT_EQ(detail.Text(1, 2), QStringLiteral("149.5"));
    EXPECT_EQ(Colour(detail, 0), Yellow); // yellow only, though 0 dpi is low too
    EXPECT_EQ(Colour(detail, 1), Magenta);
    EXPECT_FALSE(Colour(detail, 2).isValid());
    EXPECT_EQ(Colour(detail, 3), Magenta);

    // A new threshold counts from the next binding on.
    settings.AlarmNum = 100;
    EXPECT_EQ(Colour(detail, 1), Magenta);
    ASSERT_TRUE(Show());
    EXPECT_FALSE(Colour(detail, 1).isValid());
    EXPECT_EQ(Colour(detail, 3), Magenta); // 72 is below 100 as well
    EXPECT_EQ(Colour(detail, 0), Yellow);
}

TEST_F(GridTest, EmptyResultsShowOneEmptyUnmarkedRow)
{
    store->DeletePhotoTotal();
    store->InsertGrandTotal(settings.RadixPoint);
    ASSERT_TRUE(Show());
    ASSERT_EQ(detail.model()->rowCount(), 1);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(detail.Text(0, c), QString());
        EXPECT_FALSE(Colour(detail, 0, c).isValid());
    }
    // The total row over no photo: "合计" with empty count and area.
    ASSERT_EQ(total.model()->rowCount(), 1);
    EXPECT_EQ(total.Text(0, 0), QStringLiteral("合计"));
    EXPECT_EQ(total.Text(0, 1), QString());
    EXPECT_EQ(total.Text(0, 2), QString());
    EXPECT_EQ(total.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("图片尺寸"));
}

TEST_F(GridTest, RejectedStatementIsReportedNotFatal)
{
    // The detail grid's table is gone from under the open store.
    FileRows(DataMdbPath(), QStringLiteral("DROP TABLE PhotoDetail"));
    QString error;
    EXPECT_FALSE(ShowScanResults(total, detail, *store, settings, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("PhotoDetail"))) << error.toStdString();
    EXPECT_EQ(detail.model()->rowCount(), 1);
    EXPECT_EQ(total.model()->rowCount(), 1);
}

TEST(GridFont, SongTiNinePointMapsToAnInstalledCjkFace)
{
    const QFont font = GridFont();
    EXPECT_EQ(font.pointSize(), 9);
    const QFontInfo info(font);
    EXPECT_TRUE(info.family().contains(QStringLiteral("CJK")) || info.family().contains(QStringLiteral("SimSun")))
        << info.family().toStdString();
    const QFontMetrics metrics(font);
    for (const QChar c : QStringLiteral("图片尺寸数量面积文件名水平垂直分辨率统计结果成功失败合计"))
        EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString();
}

TEST(GridColours, BlueInTheHighByte)
{
    EXPECT_EQ(ColorFromBgr(FailedRowColor), QColor(255, 255, 128));
    EXPECT_EQ(ColorFromBgr(LowDpiRowColor), QColor(255, 128, 255));
    EXPECT_EQ(ColorFromBgr(0xC0C0C0), QColor(192, 192, 192));
    EXPECT_EQ(ColorFromBgr(0x0000FF), QColor(255, 0, 0));
}

// At a counter screen's width: long paths keep their file name, numbers are
// never cut into other numbers, headers show whole, and a vertical scroll
// bar does not bring a horizontal one.
TEST_F(GridTest, NarrowGridKeepsFileNamesNumbersAndHeadersReadable)
{
    store->BeginBatch();
    for (int i = 0; i < 200; ++i)
        store->InsertPhotoDetail(Row(QStringLiteral("/tmp/客户订单/张三_2024-05-01/精修/IMG_%1.JPG").arg(i, 4, 10, QChar(u'0')),
                                     299.9994f, 300));
    store->EndBatch();
    detail.SetPathColumn(0);
    detail.resize(576, 300); // the detail grid of a maximised window at 1366 × 768
    detail.show();
    ASSERT_TRUE(Show());
    QCoreApplication::processEvents();

    EXPECT_TRUE(detail.verticalScrollBar()->isVisible());
    EXPECT_EQ(detail.horizontalScrollBar()->maximum(), 0);
    for (int c = 0; c < 6; ++c)
        EXPECT_GE(detail.columnWidth(c), detail.MinimumColumnWidth(c)) << c;

    const QString path = detail.ShownText(7, 0);
    EXPECT_TRUE(path.startsWith(u'…')) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("IMG_0007.JPG"))) << path.toStdString();

    // 299.9994 at 7 digits; squeezed, it loses its end, never its middle.
    detail.setColumnWidth(2, 40);
    const QString number = detail.ShownText(7, 2);
    EXPECT_TRUE(number.endsWith(u'…') && detail.Text(7, 2).startsWith(number.chopped(1))) << number.toStdString();
    EXPECT_EQ(detail.ShownText(7, 1), QStringLiteral("15.24*10.16")); // values fit their columns
}
