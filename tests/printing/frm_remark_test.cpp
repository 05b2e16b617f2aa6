// frmRemark: what its load takes from the store, how it looks, what OK,
// Cancel and the close box leave in PrintInfo, and a new order's empty texts.
#include "frm_remark.h"
#include "order_book.h"
#include "modal.h"
#include "order_book_source.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

class FrmRemarkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        source = std::make_unique<OrderBookSource>(*store, settings);
    }

    void Exec(const QString &statement)
    {
        QSqlQuery q(StoreConnection::Of(*store));
        ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
    }
    qint64 Scalar(const QString &statement)
    {
        QSqlQuery q(StoreConnection::Of(*store));
        return q.exec(statement) && q.next() ? q.value(0).toLongLong() : -1;
    }
    qint64 NotesIssued() { return Scalar(QStringLiteral("SELECT COUNT(*) FROM NoteNumber")); }

    static void Ok(frmRemark &d) { d.cmdOK->click(); }

    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    std::unique_ptr<OrderBookSource> source;
    PrintInfo info;
};

TEST_F(FrmRemarkTest, LoadListsTheServicesAndTakesNoNoteNumber)
{
    frmRemark dialog(*source, settings, info);
    EXPECT_EQ(NotesIssued(), 0);

    const QStringList services = store->ServiceNames();
    ASSERT_FALSE(services.isEmpty());
    ASSERT_EQ(dialog.cbServiceName->count(), services.size());
    for (int i = 0; i < services.size(); ++i)
        EXPECT_EQ(dialog.cbServiceName->itemText(i), services[i]);
    EXPECT_EQ(dialog.cbServiceName->currentText(), services.first());
    EXPECT_TRUE(dialog.txtMemberName->isEnabled());
}

TEST_F(FrmRemarkTest, IsAFixedWindowWithTheServiceInSightAndTheAppendTextBeyondItsRightEdge)
{
    frmRemark dialog(*source, settings, info);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("打印信息"));
    EXPECT_EQ(dialog.size(), QSize(295, 322));  // 4425 x 4830 twips
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(dialog.cmdOK->text(), QStringLiteral("确定"));
    EXPECT_EQ(dialog.cmdCancel->text(), QStringLiteral("取消"));
    for (QWidget *seen : {static_cast<QWidget *>(dialog.txtMemberName), static_cast<QWidget *>(dialog.txtRemark),
                          static_cast<QWidget *>(dialog.cbServiceName), static_cast<QWidget *>(dialog.lblCounted),
                          static_cast<QWidget *>(dialog.lblAmount), static_cast<QWidget *>(dialog.cmdOK),
                          static_cast<QWidget *>(dialog.cmdCancel)})
        EXPECT_TRUE(dialog.rect().contains(seen->geometry())) << seen->objectName().toStdString();
    EXPECT_GE(dialog.txtAppend->geometry().left(), dialog.width());

    QStringList captions;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        captions << label->text();
    for (const char *caption : {"客户名称：", "备注：", "品名规格：", "附加："})
        EXPECT_TRUE(captions.contains(QString::fromUtf8(caption))) << caption;
}

// The amount the counter tells the customer, for the service picked.
TEST_F(FrmRemarkTest, TheAmountFollowsTheChosenService)
{
    QSqlQuery q(StoreConnection::Of(*store));
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('15.24*10.16',12,0.19)")));
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('20.32*15.24',3,0.09)")));
    ASSERT_TRUE(store->InsertGrandTotal(2));
    ASSERT_TRUE(MarkCounted(*store));
    OrderBook book(StoreConnection::Of(*store));
    ASSERT_TRUE(book.Upgrade());
    ASSERT_TRUE(book.SetPerSquareMetre(QStringLiteral("写真海报"), 4500));
    ASSERT_TRUE(book.SetSizePrice(QStringLiteral("证件照"), QStringLiteral("15.24*10.16"), 80));

    frmRemark dialog(*source, settings, info);
    dialog.cbServiceName->setCurrentText(QStringLiteral("写真海报"));
    // 12 × 15.24 × 10.16 cm² and 3 × 20.32 × 15.24 cm² at 45 yuan/m².
    EXPECT_EQ(dialog.lblAmount->text(), QStringLiteral("金额：12.54 元"));
    dialog.cbServiceName->setCurrentText(QStringLiteral("证件照"));
    EXPECT_EQ(dialog.lblAmount->text(), QStringLiteral("金额：有尺寸未定价，不计合计"));
}

TEST_F(FrmRemarkTest, OkStoresTheAnswersCancelAndTheCloseBoxLeaveThem)
{
    frmRemark dialog(*source, settings, info);
    AnswerModal<frmRemark>([](frmRemark &d) {
        d.txtMemberName->setText(QStringLiteral("  李 四  "));
        d.txtRemark->setPlainText(QStringLiteral("  第一行\n第二行 "));
        d.cmdOK->click();
    });
    EXPECT_EQ(dialog.Show(), QStringLiteral("1"));
    EXPECT_EQ(dialog.result(), QStringLiteral("1"));
    EXPECT_EQ(info.MemberName, QStringLiteral("李 四"));
    EXPECT_EQ(info.Remark, QStringLiteral("  第一行\n第二行 "));
    EXPECT_EQ(info.ServiceName, store->ServiceNames().value(0));
    EXPECT_EQ(info.Append, QString());
    EXPECT_FALSE(dialog.isVisible());

    const PrintInfo before = info;
    const auto unchanged = [&] {
        EXPECT_EQ(info.MemberName, before.MemberName);
        EXPECT_EQ(info.Remark, before.Remark);
    };
    AnswerModal<frmRemark>([](frmRemark &d) {
        d.txtMemberName->setText(QStringLiteral("王五"));
        d.cmdCancel->click();
    });
    EXPECT_EQ(dialog.Show(), QStringLiteral("0"));
    unchanged();

    AnswerModal<frmRemark>([](frmRemark &d) { d.close(); });
    EXPECT_EQ(dialog.Show(), QStringLiteral("0"));
    EXPECT_EQ(dialog.result(), QStringLiteral("0"));
    unchanged();
}

TEST_F(FrmRemarkTest, TheSameOrderKeepsItsTextsANewOneStartsEmpty)
{
    frmRemark dialog(*source, settings, info);
    AnswerModal<frmRemark>([](frmRemark &d) {
        d.txtMemberName->setText(QStringLiteral("张三"));
        d.txtRemark->setPlainText(QStringLiteral("加急"));
        d.cmdOK->click();
    });
    ASSERT_EQ(dialog.Show(), QStringLiteral("1"));
    QString seenName, seenRemark;
    const auto look = [&](frmRemark &d) {
        seenName = d.txtMemberName->text();
        seenRemark = d.txtRemark->toPlainText();
        d.cmdCancel->click();
    };
    AnswerModal<frmRemark>(look);
    dialog.Show();
    EXPECT_EQ(seenName, QStringLiteral("张三"));
    EXPECT_EQ(seenRemark, QStringLiteral("加急"));

    dialog.StartNewOrder();
    AnswerModal<frmRemark>(look);
    dialog.Show();
    EXPECT_EQ(seenName, QString());
    EXPECT_EQ(seenRemark, QString());
    EXPECT_EQ(NotesIssued(), 0);
}

TEST_F(FrmRemarkTest, WithPathAsMemberNameTheNameBoxIsDisabledAndIgnored)
{
    settings.PathAsMemberName = true;
    info.MemberName = QStringLiteral("Smith");
    frmRemark dialog(*source, settings, info);
    EXPECT_FALSE(dialog.txtMemberName->isEnabled());
    QString shown;
    AnswerModal<frmRemark>([&](frmRemark &d) {
        shown = d.txtMemberName->text();
        d.txtMemberName->setText(QStringLiteral("typed anyway"));
        Ok(d);
    });
    ASSERT_EQ(dialog.Show(), QStringLiteral("1"));
    EXPECT_EQ(shown, QStringLiteral("Smith"));
    EXPECT_EQ(info.MemberName, QStringLiteral("Smith"));
}

TEST_F(FrmRemarkTest, AnEmptyServiceListLoadsQuietly)
{
    Exec(QStringLiteral("DELETE FROM ServiceName"));
    frmRemark dialog(*source, settings, info);
    EXPECT_EQ(dialog.cbServiceName->count(), 0);
    AnswerModal<frmRemark>(Ok);
    ASSERT_EQ(dialog.Show(), QStringLiteral("1"));
    EXPECT_EQ(info.ServiceName, QString());
}

// The remark box stops where the printed remark field would have to cut:
// four lines fit it, a fifth is undone; so is a paste too long for it.
TEST_F(FrmRemarkTest, TheRemarkBoxTakesNoMoreThanTheOrderShowsWhole)
{
    frmRemark dialog(*source, settings, info);
    const QString four = QStringLiteral("第一行\n第二行\n第三行\n第四行");
    dialog.txtRemark->setPlainText(four);
    EXPECT_EQ(dialog.txtRemark->toPlainText(), four);
    dialog.txtRemark->moveCursor(QTextCursor::End);
    dialog.txtRemark->insertPlainText(QStringLiteral("\n第五行"));
    EXPECT_EQ(dialog.txtRemark->toPlainText(), four);
    dialog.txtRemark->insertPlainText(QStringLiteral("：加急"));  // typing on the last line goes on
    EXPECT_EQ(dialog.txtRemark->toPlainText(), four + QStringLiteral("：加急"));

    dialog.txtRemark->clear();
    dialog.txtRemark->insertPlainText(QStringLiteral("光面相纸").repeated(100));
    EXPECT_EQ(dialog.txtRemark->toPlainText(), QString());
}

} // namespace
} // namespace kestova::test
