// The 价格表 window driven as the shop's owner drives it: sizes taken from
// the count, prices typed in, 确定; a bad price is named and nothing saved.
#include "frm_price_list.h"

#include "order_book.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestova;
using namespace kestova::test;

TEST(PriceListWindow, PricesTypedInAreSavedAllOrNothing)
{
    Sandbox box;
    box.createStore();
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    OrderBook book(store->database());
    ASSERT_TRUE(book.Upgrade());
    RecordingDialogs dialogs;
    const QStringList counted{QStringLiteral("15.24*10.16"), QStringLiteral("20.32*15.24")};

    {
        frmPriceList window(book, dialogs, counted);
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
    ServicePrices glossy = book.PricesOf(QStringLiteral("数码冲印（光面）"));
    EXPECT_EQ(glossy.kind, PricingKind::PerPhoto);
    EXPECT_EQ(glossy.perPhoto, (QMap<QString, qint64>{{"15.24*10.16", 80}, {"20.32*15.24", 250}}));
    EXPECT_EQ(book.PricesOf(QStringLiteral("写真海报")).perSquareMetre, 4500);

    // A price with three decimals on the poster service, a good change on the
    // first: the message names the bad one, and neither is saved.
    {
        frmPriceList window(book, dialogs, counted);
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
    EXPECT_EQ(book.PricesOf(QStringLiteral("数码冲印（光面）")).perPhoto, glossy.perPhoto);
    EXPECT_EQ(book.PricesOf(QStringLiteral("写真海报")).perSquareMetre, 4500);
}
