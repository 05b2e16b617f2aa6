// The order book's windows driven as the shop uses them: 价格表 (sizes taken
// from the count, prices typed in, 确定; a bad price is named and nothing
// saved), 订单记录 and 日结.
#include "clock.h"
#include "frm_order_book.h"
#include "frm_price_list.h"
#include "order_csv.h"

#include "order_book.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "store_connection.h"

#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

namespace {

class OrderBookWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        box.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        book = std::make_unique<OrderBook>(StoreConnection::Of(*store));
        ASSERT_TRUE(book->Upgrade());
    }

    Sandbox box;
    std::unique_ptr<PhotoStore> store;
    std::unique_ptr<OrderBook> book;
    RecordingDialogs dialogs;
};

} // namespace

TEST_F(OrderBookWindowTest, PricesTypedInAreSavedAllOrNothing)
{
    const QStringList counted{QStringLiteral("15.24*10.16"), QStringLiteral("20.32*15.24")};

    {
        frmPriceList window(*book, dialogs, counted);
        ASSERT_EQ(window.lstService->count(), 4);
        window.optPerPhoto->setChecked(true);
        QTest::mouseClick(window.cmdAddSizes, Qt::LeftButton);
        ASSERT_EQ(window.mfgSizePrice->rowCount(), 2);
        window.mfgSizePrice->item(0, 1)->setText(QStringLiteral("0.8"));
        window.mfgSizePrice->item(1, 1)->setText(QStringLiteral("2.50"));
        window.lstService->setCurrentRow(3); // 写真海报
        window.optPerSquareMetre->setChecked(true);
        window.txtPerSquareMetre->setText(QStringLiteral("45"));
        QTest::mouseClick(window.cmdOK, Qt::LeftButton);
        EXPECT_EQ(window.result(), QDialog::Accepted);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    ServicePrices glossy = book->PricesOf(QStringLiteral("数码冲印（光面）"));
    EXPECT_EQ(glossy.kind, PricingKind::PerPhoto);
    EXPECT_EQ(glossy.perPhoto, (QMap<QString, qint64>{{"15.24*10.16", 80}, {"20.32*15.24", 250}}));
    EXPECT_EQ(book->PricesOf(QStringLiteral("写真海报")).perSquareMetre, 4500);

    // A price with three decimals on the poster service, a good change on the
    // first: the message names the bad one, and neither is saved.
    {
        frmPriceList window(*book, dialogs, counted);
        window.mfgSizePrice->item(0, 1)->setText(QStringLiteral("0.9"));
        window.lstService->setCurrentRow(3);
        EXPECT_EQ(window.txtPerSquareMetre->text(), QStringLiteral("45.00"));
        window.txtPerSquareMetre->setText(QStringLiteral("45.125"));
        window.lstService->setCurrentRow(0);
        QTest::mouseClick(window.cmdOK, Qt::LeftButton);
        EXPECT_NE(window.result(), QDialog::Accepted);
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("45.125")));
        EXPECT_EQ(window.lstService->currentRow(), 3); // shows where the fault is
    }
    EXPECT_EQ(book->PricesOf(QStringLiteral("数码冲印（光面）")).perPhoto, glossy.perPhoto);
    EXPECT_EQ(book->PricesOf(QStringLiteral("写真海报")).perSquareMetre, 4500);
}

// The 订单记录 window: a search by customer text, the chosen order's rows,
// the list as CSV, and the day's summary.
TEST_F(OrderBookWindowTest, SearchShowsOrdersNewestFirstWithTheirRows)
{
    const ServicePrices prices{QStringLiteral("数码冲印（光面）"), PricingKind::PerPhoto, 0,
                               {{QStringLiteral("15.24*10.16"), 80}}};
    const QList<TotalRow> totals{TotalRow{QStringLiteral("15.24*10.16"), 12, 0.19},
                                 TotalRow{QStringLiteral("20.32*15.24"), 3, 0.09},
                                 TotalRow{QStringLiteral("合计"), 15, 0.28}};
    for (qint64 n : {5, 6, 7}) {
        OrderRecordData o;
        o.noteNumber = n;
        o.issuedAt = QDateTime(Today(), QTime(9, int(n)));
        o.memberName = n == 6 ? QStringLiteral("李四") : QStringLiteral("张三");
        o.service = prices.service;
        o.areaUnit = AreaUnit::SquareMetre;
        o.order = PriceTotals(totals, prices, LengthUnit::Centimetre);
        ASSERT_TRUE(book->Record(o));
    }
    frmOrderBook window(*book, dialogs);
    EXPECT_EQ(window.mfgOrders->rowCount(), 3);
    window.txtCustomer->setText(QStringLiteral("张"));
    QTest::mouseClick(window.cmdSearch, Qt::LeftButton);
    ASSERT_EQ(window.mfgOrders->rowCount(), 2);
    EXPECT_EQ(window.mfgOrders->item(0, 0)->text(), QStringLiteral("7"));
    EXPECT_EQ(window.mfgOrders->item(1, 0)->text(), QStringLiteral("5"));
    EXPECT_EQ(window.mfgOrders->item(0, 6)->text(), QString()); // one size has no price
    window.mfgOrders->setCurrentCell(1, 0);
    ASSERT_EQ(window.mfgLines->rowCount(), 3);
    EXPECT_EQ(window.mfgLines->item(0, 4)->text(), QStringLiteral("9.60"));
    EXPECT_EQ(window.mfgLines->item(1, 3)->text(), QString());
    // Tab leaves the list for the order's rows instead of walking its cells.
    window.show();
    window.mfgOrders->setFocus();
    QTest::keyClick(window.mfgOrders, Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), window.mfgLines);
    // 查询 again keeps the chosen order and its rows.
    QTest::mouseClick(window.cmdSearch, Qt::LeftButton);
    EXPECT_EQ(window.mfgOrders->currentRow(), 1);
    ASSERT_EQ(window.mfgLines->rowCount(), 3);
    EXPECT_EQ(window.mfgLines->item(0, 4)->text(), QStringLiteral("9.60"));
    EXPECT_FALSE(window.cmdReprint->isVisibleTo(&window)); // no printer action handed in
    // 补打 and 保存为PDF hand the chosen order, as recorded, to the printing.
    QList<qint64> reprinted;
    window.SetOrderActions(
        [&](const OrderRecordData &o) {
            reprinted << o.noteNumber;
            return QStringLiteral("printed");
        },
        [&](const OrderRecordData &o) {
            reprinted << -o.noteNumber;
            return QString(); // cancelled: the status line keeps what it said
        });
    QTest::mouseClick(window.cmdReprint, Qt::LeftButton);
    QTest::mouseClick(window.cmdSavePdf, Qt::LeftButton);
    EXPECT_EQ(reprinted, (QList<qint64>{5, -5}));
    EXPECT_EQ(window.lblStatus->text(), QStringLiteral("printed"));

    // The CSV dialog opens in Documents, then where the last file went; the
    // status line names the file written.
    QString folder;
    window.SetExportFolder(&folder);
    const QString csv = box.path(QStringLiteral("exports/orders.csv"));
    box.mkdir(QStringLiteral("exports"));
    dialogs.saveAnswers = {csv, QString()};
    QTest::mouseClick(window.cmdExportCsv, Qt::LeftButton);
    EXPECT_EQ(ReadBytes(csv), OrdersCsv(book->Search({std::nullopt, std::nullopt, QStringLiteral("张")})));
    EXPECT_EQ(window.lblStatus->text(), QStringLiteral("已导出到 ") + csv);
    QTest::mouseClick(window.cmdExportCsv, Qt::LeftButton);
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder,
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    EXPECT_EQ(dialogs.fileRequests[1].initialFolder, box.path(QStringLiteral("exports")));
    EXPECT_EQ(window.lblStatus->text(), QStringLiteral("已导出到 ") + csv);

    window.txtNoteNumber->setText(QStringLiteral("六"));
    QTest::mouseClick(window.cmdSearch, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("单号应为数字。"));

    frmDailySummary summary(*book, dialogs);
    ASSERT_EQ(summary.mfgDays->rowCount(), 2); // today, then 合计
    EXPECT_EQ(summary.mfgDays->item(0, 1)->text(), QStringLiteral("3"));
    EXPECT_EQ(summary.mfgDays->item(1, 2)->text(), QStringLiteral("45"));
}
