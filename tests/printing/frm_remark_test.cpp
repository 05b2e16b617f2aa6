// frmRemark: what its load takes from the order book, how it looks, what
// OK, Cancel and the close box answer, and a new order's empty texts.
#include "clock.h"
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
#include <QDateTime>
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

    static void Ok(frmRemark &d) { Click(d, "cmdOK"); }
    // As the order printing tells them.
    OrderFacts Facts()
    {
        return {[this] { return store->ReadCount(); },
                [this](const QString &service) { return AmountOf(*source, service, Now()); }};
    }

    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    std::unique_ptr<OrderBookSource> source;
    PrintInfo info;
};

TEST_F(FrmRemarkTest, LoadListsTheServicesAndTakesNoNoteNumber)
{
    frmRemark dialog(*source, settings, Facts());
    EXPECT_EQ(NotesIssued(), 0);

    const QStringList services = store->ServiceNames();
    ASSERT_FALSE(services.isEmpty());
    ASSERT_EQ(Child<QComboBox>(dialog, "cbServiceName")->count(), services.size());
    for (int i = 0; i < services.size(); ++i)
        EXPECT_EQ(Child<QComboBox>(dialog, "cbServiceName")->itemText(i), services[i]);
    EXPECT_EQ(Child<QComboBox>(dialog, "cbServiceName")->currentText(), services.first());
    EXPECT_TRUE(Child<QLineEdit>(dialog, "txtMemberName")->isEnabled());
}

TEST_F(FrmRemarkTest, IsAFixedWindowWithEveryWidgetInSight)
{
    frmRemark dialog(*source, settings, Facts());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("打印信息"));
    EXPECT_EQ(dialog.size(), QSize(295, 322));  // 4425 x 4830 twips
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(Child<QPushButton>(dialog, "cmdOK")->text(), QStringLiteral("确定"));
    EXPECT_EQ(Child<QPushButton>(dialog, "cmdCancel")->text(), QStringLiteral("取消"));
    for (const QWidget *seen : dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dialog.rect().contains(seen->geometry())) << seen->objectName().toStdString();
    QStringList captions;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        captions << label->text();
    for (const char *caption : {"客户名称：", "备注：", "品名规格："})
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

    frmRemark dialog(*source, settings, Facts());
    Child<QComboBox>(dialog, "cbServiceName")->setCurrentText(QStringLiteral("写真海报"));
    // 12 × 15.24 × 10.16 cm² and 3 × 20.32 × 15.24 cm² at 45 yuan/m².
    EXPECT_EQ(Child<QLabel>(dialog, "lblAmount")->text(), QStringLiteral("金额：12.54 元"));
    Child<QComboBox>(dialog, "cbServiceName")->setCurrentText(QStringLiteral("证件照"));
    EXPECT_EQ(Child<QLabel>(dialog, "lblAmount")->text(), QStringLiteral("金额：有尺寸未定价，不计合计"));
}

TEST_F(FrmRemarkTest, OkGivesTheAnswersCancelAndTheCloseBoxNone)
{
    frmRemark dialog(*source, settings, Facts());
    AnswerModal<frmRemark>([](frmRemark &d) {
        Child<QLineEdit>(d, "txtMemberName")->setText(QStringLiteral("  李 四  "));
        Child<QPlainTextEdit>(d, "txtRemark")->setPlainText(QStringLiteral("  第一行\n第二行 "));
        Click(d, "cmdOK");
    });
    info.Append = QStringLiteral("过塑");
    const std::optional<PrintInfo> answer = dialog.Show(info);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->MemberName, QStringLiteral("李 四"));
    EXPECT_EQ(answer->Remark, QStringLiteral("  第一行\n第二行 "));
    EXPECT_EQ(answer->ServiceName, store->ServiceNames().value(0));
    EXPECT_EQ(answer->Append, QString());
    EXPECT_FALSE(dialog.isVisible());

    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdCancel"); });
    EXPECT_FALSE(dialog.Show(info));
    AnswerModal<frmRemark>([](frmRemark &d) { d.close(); });
    EXPECT_FALSE(dialog.Show(info));
}

TEST_F(FrmRemarkTest, TheSameOrderKeepsItsTextsANewOneStartsEmpty)
{
    frmRemark dialog(*source, settings, Facts());
    AnswerModal<frmRemark>([](frmRemark &d) {
        Child<QLineEdit>(d, "txtMemberName")->setText(QStringLiteral("张三"));
        Child<QPlainTextEdit>(d, "txtRemark")->setPlainText(QStringLiteral("加急"));
        Click(d, "cmdOK");
    });
    ASSERT_TRUE(dialog.Show(info));
    QString seenName, seenRemark;
    const auto look = [&](frmRemark &d) {
        seenName = Child<QLineEdit>(d, "txtMemberName")->text();
        seenRemark = Child<QPlainTextEdit>(d, "txtRemark")->toPlainText();
        Click(d, "cmdCancel");
    };
    AnswerModal<frmRemark>(look);
    dialog.Show(info);
    EXPECT_EQ(seenName, QStringLiteral("张三"));
    EXPECT_EQ(seenRemark, QStringLiteral("加急"));

    dialog.StartNewOrder();
    AnswerModal<frmRemark>(look);
    dialog.Show(info);
    EXPECT_EQ(seenName, QString());
    EXPECT_EQ(seenRemark, QString());
    EXPECT_EQ(NotesIssued(), 0);
}

TEST_F(FrmRemarkTest, WithPathAsMemberNameTheNameBoxIsDisabledAndIgnored)
{
    settings.PathAsMemberName = true;
    info.MemberName = QStringLiteral("Smith");
    frmRemark dialog(*source, settings, Facts());
    EXPECT_FALSE(Child<QLineEdit>(dialog, "txtMemberName")->isEnabled());
    QString shown;
    AnswerModal<frmRemark>([&](frmRemark &d) {
        shown = Child<QLineEdit>(d, "txtMemberName")->text();
        Child<QLineEdit>(d, "txtMemberName")->setText(QStringLiteral("typed anyway"));
        Ok(d);
    });
    const std::optional<PrintInfo> answer = dialog.Show(info);
    ASSERT_TRUE(answer);
    EXPECT_EQ(shown, QStringLiteral("Smith"));
    EXPECT_EQ(answer->MemberName, QStringLiteral("Smith"));
}

TEST_F(FrmRemarkTest, AnEmptyServiceListLoadsQuietly)
{
    Exec(QStringLiteral("DELETE FROM ServiceName"));
    frmRemark dialog(*source, settings, Facts());
    EXPECT_EQ(Child<QComboBox>(dialog, "cbServiceName")->count(), 0);
    AnswerModal<frmRemark>(Ok);
    const std::optional<PrintInfo> answer = dialog.Show(info);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->ServiceName, QString());
}

// The remark box stops where the printed remark field would have to cut:
// four lines fit it, a fifth is undone; so is a paste too long for it.
TEST_F(FrmRemarkTest, TheRemarkBoxTakesNoMoreThanTheOrderShowsWhole)
{
    frmRemark dialog(*source, settings, Facts());
    const QString four = QStringLiteral("第一行\n第二行\n第三行\n第四行");
    Child<QPlainTextEdit>(dialog, "txtRemark")->setPlainText(four);
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "txtRemark")->toPlainText(), four);
    Child<QPlainTextEdit>(dialog, "txtRemark")->moveCursor(QTextCursor::End);
    Child<QPlainTextEdit>(dialog, "txtRemark")->insertPlainText(QStringLiteral("\n第五行"));
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "txtRemark")->toPlainText(), four);
    Child<QPlainTextEdit>(dialog, "txtRemark")->insertPlainText(QStringLiteral("：加急"));  // typing on the last line goes on
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "txtRemark")->toPlainText(), four + QStringLiteral("：加急"));

    Child<QPlainTextEdit>(dialog, "txtRemark")->clear();
    Child<QPlainTextEdit>(dialog, "txtRemark")->insertPlainText(QStringLiteral("光面相纸").repeated(100));
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "txtRemark")->toPlainText(), QString());
}

} // namespace
} // namespace kestova::test
