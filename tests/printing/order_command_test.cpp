// `kestova-count order` run as a shop's script runs it: the note number on
// stdout, the order pages in the PDF file, and the exit statuses.
#include "pdf_text.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "store_connection.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>

#include <QSysInfo>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

using Outcome = CountToolRun;

Outcome Order(const QStringList &args)
{
    return RunCountTool(QStringList{QStringLiteral("order")} + args);
}

class OrderCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HavePdfToText())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        sandbox.createStore();
        pdf = sandbox.path(QStringLiteral("order.pdf"));
    }
    void AddSizes(int n)
    {
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        QSqlQuery q(StoreConnection::Of(*store));
        for (int i = 1; i <= n; ++i) {
            ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('%1*%2',%3,%4)")
                                   .arg(10 + i).arg(20 + i).arg(i).arg(i / 10.0)));
        }
        ASSERT_TRUE(store->InsertGrandTotal(2));
        ASSERT_TRUE(MarkCounted(*store));
    }
    QStringList Args(const QStringList &more = {}) const
    {
        return QStringList{QStringLiteral("--pdf"), pdf, QStringLiteral("--program-dir"), sandbox.programDir()} + more;
    }

    Sandbox sandbox;
    QString pdf;
};

TEST_F(OrderCommandTest, WritesTheOrderPagesAndPrintsANewNoteNumberEachRun)
{
    AddSizes(12);
    Outcome r = Order(Args({QStringLiteral("--member"), QStringLiteral("周八"), QStringLiteral("--remark=两份")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n"));
    const QList<PdfWord> words = PdfWords(pdf);
    ASSERT_EQ(PdfLayoutPages(pdf).size(), 2);
    for (int page = 0; page < 2; ++page) {
        const OrderPage order(words, page);
        EXPECT_EQ(order.NoteNumber(), QStringLiteral("1"));
        EXPECT_EQ(order.MemberName(), QStringLiteral("周八"));
        EXPECT_EQ(order.Remark(), QStringLiteral("两份"));
    }
    const OrderPage second(words, 1);
    EXPECT_EQ(second.Cell(1, QStringLiteral("PhotoHeight")), QStringLiteral("21"));
    EXPECT_EQ(second.Cell(1, QStringLiteral("PhotoWidth")), QStringLiteral("31"));
    EXPECT_EQ(second.Cell(1, QStringLiteral("ServiceName")), QStringLiteral("数码冲印（光面）"));
    EXPECT_EQ(second.Cell(3, QStringLiteral("ServiceName")), QStringLiteral("合计"));
    EXPECT_EQ(second.Cell(3, QStringLiteral("PhotoAmount")), QStringLiteral("78"));

    // The captions are set in a Song face and read back whole.
    const QString text = PdfLayoutPages(pdf).value(0);
    for (const char *caption : {"冲印单", "客户名称", "开单日期", "单号", "制作", "调色", "理件", "品名规格", "长(cm)",
                                "宽(cm)", "数量", "面积(㎡)", "金额", "附加", "备注", "客户签名"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(caption))) << caption;

    r = Order(Args());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("2\n"));
    EXPECT_EQ(OrderPage(PdfWords(pdf), 0).NoteNumber(), QStringLiteral("2"));
}

// Characters whose glyphs the CJK fonts share with a radical (户 ⼾, 长 ⻓,
// 日 ⽇, 面 ⾯, 金 ⾦, 色 ⾊) read back as themselves, so a saved order can be
// searched for its customer.
TEST_F(OrderCommandTest, ThePdfTextIsTheTextOnThePage)
{
    AddSizes(1);
    const QString name = QStringLiteral("金长日 色面户");
    const Outcome r = Order(Args({QStringLiteral("--member"), name, QStringLiteral("--remark"), QStringLiteral("户长")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString text = PdfLayoutPages(pdf).value(0);
    for (const QChar c : text)
        EXPECT_FALSE(c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF) << "radical U+" << std::hex << int(c.unicode());
    const OrderPage page(PdfWords(pdf), 0);
    EXPECT_EQ(page.MemberName(), name);
    EXPECT_EQ(page.Remark(), QStringLiteral("户长"));
    for (const char *caption : {"客户名称", "开单日期", "长(cm)", "面积(㎡)", "金额", "客户签名"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(caption))) << caption;
}

// Every refusal is told before a note number is taken: the first order
// that comes out has number 1, and only it is told on standard output.
TEST_F(OrderCommandTest, ExitStatusesTellWhatHappenedAndRefusalsUseNoNumber)
{
    Outcome r = Order(Args());
    EXPECT_EQ(r.status, 1);  // nothing counted
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err, QStringLiteral("还没有统计结果，请先统计图片。\n"));
    EXPECT_FALSE(QFileInfo::exists(pdf));

    AddSizes(1);
    const QString missing = sandbox.path(QStringLiteral("missing/order.pdf"));
    r = Order({QStringLiteral("--pdf"), missing, QStringLiteral("--program-dir"), sandbox.programDir()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, QString());
    // The tool's message alone: no notice of Qt's about the painter.
    EXPECT_EQ(r.err, QStringLiteral("打印机失败：无法写入 %1（文件夹不存在）\n").arg(missing));
    EXPECT_EQ(Order(Args({QStringLiteral("--service"), QStringLiteral("无此服务")})).out, QString());

    EXPECT_EQ(Order({QStringLiteral("--program-dir"), sandbox.programDir()}).status, 2);
    EXPECT_EQ(Order(Args({QStringLiteral("--colour")})).status, 2);
    EXPECT_EQ(Order(Args({QStringLiteral("--print")})).status, 2);  // a file or a queue, not both
    EXPECT_EQ(Order(Args({QStringLiteral("--printer"), QStringLiteral("shop")})).status, 2);
    // A remark the order cannot show whole is refused, as the dialog refuses it.
    r = Order(Args({QStringLiteral("--remark"), QStringLiteral("光面相纸").repeated(100)}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("备注太长"))) << r.err.toStdString();
    EXPECT_EQ(Order({QStringLiteral("--pdf"), pdf, QStringLiteral("--program-dir"), sandbox.path("none")}).status, 2);

    r = Order(Args());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n"));
}

// Prices give the 金额 column (per m²: count × length × width as printed);
// the printed order goes into the order book;
// after other counts, reprinting it gives the same page, marked 补打, with
// the date it was issued.
TEST_F(OrderCommandTest, AmountsAreDrawnAndARecordedOrderReprintsLineForLine)
{
    AddSizes(2); // 11*21: 1 photo, 0.1 m²; 12*22: 2 photos, 0.2 m²
    const QString dir = sandbox.programDir();
    ASSERT_EQ(RunCountTool({"price", "set", "写真海报", "--per-m2", "45.5", "--program-dir", dir}).status, 0);
    ASSERT_EQ(RunCountTool({"price", "set", "证件照", "--size", "11*21", "3", "--program-dir", dir}).status, 0);
    Outcome r = Order(Args({"--member", "张三", "--service", "写真海报"}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString number = r.out.trimmed();
    const OrderPage first(PdfWords(pdf), 0);
    // 0.0231 m² and 2 × 0.0264 m² at 45.50 yuan.
    EXPECT_EQ(first.Cell(1, QStringLiteral("Money")), QStringLiteral("1.05"));
    EXPECT_EQ(first.Cell(2, QStringLiteral("Money")), QStringLiteral("2.40"));
    EXPECT_EQ(first.Cell(3, QStringLiteral("Money")), QStringLiteral("3.45"));

    // A service with a price for one size only: that row's amount, no total.
    r = Order(Args({"--service", "证件照"}));
    ASSERT_EQ(r.status, 0);
    const OrderPage partial(PdfWords(pdf), 0);
    EXPECT_EQ(partial.Cell(1, QStringLiteral("Money")), QStringLiteral("3.00"));
    EXPECT_EQ(partial.Cell(2, QStringLiteral("Money")), QString());
    EXPECT_EQ(partial.Cell(3, QStringLiteral("Money")), QString());
    EXPECT_EQ(Order(Args({"--service", "无此服务"})).status, 2);

    // Other counts replace the totals; the reprint still shows the order.
    AddSizes(5);
    const QString again = sandbox.path(QStringLiteral("again.pdf"));
    r = RunCountTool({"reprint", number, "--pdf", again, "--program-dir", dir});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const OrderPage reprint(PdfWords(again), 0);
    EXPECT_EQ(reprint.NoteNumber(), number + QStringLiteral(" 补打"));
    EXPECT_EQ(reprint.MemberName(), first.MemberName());
    EXPECT_EQ(reprint.SumDate(), first.SumDate());
    for (int row = 1; row <= 4; ++row) {
        for (const char *family : {"ServiceName", "PhotoHeight", "PhotoWidth", "PhotoAmount", "PhotoArea", "Money"})
            EXPECT_EQ(reprint.Cell(row, QString::fromLatin1(family)), first.Cell(row, QString::fromLatin1(family)))
                << row << family;
    }
    EXPECT_EQ(RunCountTool({"reprint", "999", "--pdf", again, "--program-dir", dir}).status, 1);

    r = RunCountTool({"orders", "--program-dir", dir});
    EXPECT_EQ(r.out.count(u'\n'), 2) << r.out.toStdString();
    // The orders carry this machine's name as the counter's.
    EXPECT_TRUE(r.out.contains(QStringLiteral("\t张三\t写真海报\t3\t0.3\t3.45\t%1\t\n").arg(QSysInfo::machineHostName())))
        << r.out.toStdString();

    // Today's summary on A4: two orders, six photos, one with an amount.
    const QString daily = sandbox.path(QStringLiteral("daily.pdf"));
    r = RunCountTool({"daily", "--pdf", daily, "--program-dir", dir});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("合计\\s+2\\s+6\\s+0\\.6\\s+3\\.45\\s+1"))
                    .match(PdfLayoutPages(daily).join(u'\n'))
                    .hasMatch())
        << PdfLayoutPages(daily).join(u'\n').toStdString();
}

} // namespace
} // namespace kestova::test
