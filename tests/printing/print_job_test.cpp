// The print job rendered into PDF files and read back: pages, rows, the
// total line, the heading and printer failures.
#include "program_title.h"
#include "clock.h"
#include "order_pdf_fixture.h"
#include "photo_store.h"
#include "print_job.h"
#include "print_target.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "rpt_print_a4.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QPrinter>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

using namespace PrintA4;

// A PDF target that refuses its n-th page (from 1) and counts the requests.
class FailingTarget : public PrintTarget
{
public:
    FailingTarget(const QString &file, int failAt) : m_pdf(file), m_failAt(failAt) {}
    QPainter *NewPage() override
    {
        ++requests;
        return requests >= m_failAt ? nullptr : m_pdf.NewPage();
    }
    QRectF PrintableArea() const override { return m_pdf.PrintableArea(); }
    QSizeF Resolution() const override { return m_pdf.Resolution(); }
    bool EndDocument() override
    {
        ++ends;
        return m_pdf.EndDocument();
    }
    int requests = 0;
    int ends = 0;

private:
    PdfPrintTarget m_pdf;
    int m_failAt;
};

class PrintJobTest : public OrderPdfTest
{
protected:
    void SetUp() override
    {
        OrderPdfTest::SetUp();
        if (Stopped())
            return;
        info.MemberName = QStringLiteral("张三");
        info.Remark = QStringLiteral("加急 Friday");
        info.ServiceName = QStringLiteral("证件照");
        info.Append = QStringLiteral("过塑");
        info.NoteNumber = QStringLiteral("1207");
    }

    void AddRow(const QString &size, const QVariant &amount, const QVariant &area)
    {
        QSqlQuery q(StoreConnection::Of(*store));
        ASSERT_TRUE(q.prepare(QStringLiteral("INSERT INTO PhotoTotal(PhotoSize,PhotoAmount,PhotoArea) VALUES(?,?,?)")));
        q.addBindValue(size);
        q.addBindValue(amount);
        q.addBindValue(area);
        ASSERT_TRUE(q.exec());
    }
    // n size rows "<10+i>*<5+i>" with i pictures of 0.0i m² each, then the
    // total row as the scan writes it.
    void AddSizes(int n)
    {
        for (int i = 1; i <= n; ++i)
            AddRow(SizeText(i), i, i / 100.0);
        ASSERT_TRUE(store->InsertGrandTotal(2));
    }
    static QString SizeText(int i) { return QStringLiteral("%1.5*%2.25").arg(10 + i).arg(5 + i); }

    PrintJobResult Print()
    {
        PdfPrintTarget target(pdf);
        return PrintCounted(target);
    }

    QList<OrderPage> Pages()
    {
        const QList<PdfWord> words = PdfWords(pdf);
        QList<OrderPage> pages;
        for (int p = 0; p < PdfLayoutPages(pdf).size(); ++p)
            pages.append(OrderPage(words, p));
        return pages;
    }

    void ExpectHeading(const OrderPage &page)
    {
        EXPECT_EQ(page.NoteNumber(), QStringLiteral("1207"));
        EXPECT_EQ(page.MemberName(), QStringLiteral("张三"));
        EXPECT_EQ(page.Remark(), QStringLiteral("加急 Friday"));
        EXPECT_EQ(page.Append(), QStringLiteral("过塑"));
        const QDate today = Today();
        EXPECT_EQ(page.SumDate(), QStringLiteral("%1/%2/%3").arg(today.year()).arg(today.month()).arg(today.day()));
    }
    void ExpectSizeRow(const OrderPage &page, int row, int i)
    {
        SCOPED_TRACE(QStringLiteral("row %1, size %2").arg(row).arg(i).toStdString());
        EXPECT_EQ(page.Cell(row, ServiceName), QStringLiteral("证件照"));
        EXPECT_EQ(page.Cell(row, PhotoHeight), QStringLiteral("%1.5").arg(10 + i));
        EXPECT_EQ(page.Cell(row, PhotoWidth), QStringLiteral("%1.25").arg(5 + i));
        EXPECT_EQ(page.Cell(row, PhotoAmount), QString::number(i));
        EXPECT_EQ(page.Cell(row, PhotoArea), QString::number(i / 100.0));
    }
    void ExpectTotalRow(const OrderPage &page, int row, int sizes)
    {
        SCOPED_TRACE(QStringLiteral("total in row %1").arg(row).toStdString());
        double area = 0;
        for (int i = 1; i <= sizes; ++i)
            area += i / 100.0;
        EXPECT_EQ(page.Cell(row, ServiceName), QStringLiteral("合计"));
        EXPECT_EQ(page.Cell(row, PhotoHeight), QString());
        EXPECT_EQ(page.Cell(row, PhotoWidth), QString());
        EXPECT_EQ(page.Cell(row, PhotoAmount), QString::number(sizes * (sizes + 1) / 2));
        EXPECT_EQ(page.Cell(row, PhotoArea), QString::number(std::round(area * 100) / 100));
    }
    void ExpectEmptyRows(const OrderPage &page, int from)
    {
        for (int row = from; row <= Rows; ++row) {
            for (const QString &family : {ServiceName, PhotoHeight, PhotoWidth, PhotoAmount, PhotoArea})
                EXPECT_EQ(page.Cell(row, family), QString()) << "row " << row << ' ' << family.toStdString();
        }
    }

};

TEST_F(PrintJobTest, NothingIsPrintedForAnEmptyTableOrOneHoldingOnlyTheTotalRow)
{
    EXPECT_EQ(Print().pages, 0);
    EXPECT_FALSE(QFileInfo::exists(pdf));

    ASSERT_TRUE(store->InsertGrandTotal(2));  // a scan without images
    const PrintJobResult result = Print();
    EXPECT_EQ(result.pages, 0);
    EXPECT_TRUE(result.readFailed);
    EXPECT_FALSE(result.printerFailed);
    EXPECT_FALSE(QFileInfo::exists(pdf));
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1].text, QStringLiteral("统计结果中没有可打印的图片，订单未打印。"));
}

TEST_F(PrintJobTest, ThreeSizesAndTheTotalFillOnePage)
{
    AddSizes(3);
    EXPECT_EQ(Print().pages, 1);
    const QList<OrderPage> pages = Pages();
    ASSERT_EQ(pages.size(), 1);
    ASSERT_TRUE(pages[0].valid());
    ExpectHeading(pages[0]);
    for (int i = 1; i <= 3; ++i)
        ExpectSizeRow(pages[0], i, i);
    ExpectTotalRow(pages[0], 4, 3);
    ExpectEmptyRows(pages[0], 5);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(PrintJobTest, TwelveSizesGoOnTwoPagesUnderTheSameHeading)
{
    // The date is the Chinese short date on a machine set to any locale.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AddSizes(12);
    EXPECT_EQ(Print().pages, 2);
    const QList<OrderPage> pages = Pages();
    ASSERT_EQ(pages.size(), 2);
    for (int i = 1; i <= 10; ++i)
        ExpectSizeRow(pages[0], i, i);
    ExpectSizeRow(pages[1], 1, 11);
    ExpectSizeRow(pages[1], 2, 12);
    ExpectTotalRow(pages[1], 3, 12);
    ExpectEmptyRows(pages[1], 4);  // page 1's rows do not show through
    ExpectHeading(pages[0]);
    ExpectHeading(pages[1]);
    QLocale::setDefault(before);
}

TEST_F(PrintJobTest, ATotalRowAloneOnTheLastPageIsStillPrinted)
{
    for (int sizes : {10, 20}) {
        SCOPED_TRACE(sizes);
        ASSERT_TRUE(store->DeletePhotoTotal());
        AddSizes(sizes);
        EXPECT_EQ(Print().pages, sizes / 10 + 1);
        const QList<OrderPage> pages = Pages();
        ASSERT_EQ(pages.size(), sizes / 10 + 1);
        for (int i = 1; i <= 10; ++i)
            ExpectSizeRow(pages[sizes / 10 - 1], i, sizes - 10 + i);
        ExpectTotalRow(pages.last(), 1, sizes);
        ExpectEmptyRows(pages.last(), 2);
        ExpectHeading(pages.last());
    }
}

// A size that is not two plain sides (only a hand-edited store has one) or
// one no printer makes is refused, naming the size; blanks around "合计"
// still make it the total row.
TEST_F(PrintJobTest, SizesNoPrinterMakesRefuseTheOrder)
{
    for (const QString &bad : {QStringLiteral("1*2*3"), QStringLiteral("30x40"), QStringLiteral("5368708946*10")}) {
        SCOPED_TRACE(bad.toStdString());
        dialogs.messages.clear();
        ASSERT_TRUE(store->DeletePhotoTotal());
        AddRow(QStringLiteral("15.24*10.16"), 2, 0.03);
        AddRow(bad, 1, 0.01);
        AddRow(QStringLiteral(" 合计 "), 3, 0.04);
        const PrintJobResult result = Print();
        EXPECT_TRUE(result.readFailed);
        EXPECT_FALSE(QFileInfo::exists(pdf));
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].text.contains(bad)) << dialogs.messages[0].text.toStdString();
    }
    ASSERT_TRUE(store->DeletePhotoTotal());
    AddRow(QStringLiteral("15.24*10.16"), 2, 0.03);
    AddRow(QStringLiteral(" 合计 "), 2, 0.03);
    EXPECT_EQ(Print().pages, 1);
    const OrderPage page = Pages().value(0);
    EXPECT_EQ(page.Cell(1, PhotoHeight), QStringLiteral("15.24"));
    EXPECT_EQ(page.Cell(1, PhotoWidth), QStringLiteral("10.16"));
    EXPECT_EQ(page.Cell(2, ServiceName), QStringLiteral("合计"));
    EXPECT_EQ(page.Cell(2, PhotoAmount), QStringLiteral("2"));
}

TEST_F(PrintJobTest, AnUnusablePrinterEndsTheJob)
{
    AddSizes(12);
    {
        FailingTarget target(pdf, 1);
        const PrintJobResult result = PrintCounted(target);
        EXPECT_TRUE(result.printerFailed);
        EXPECT_EQ(result.pages, 0);
        EXPECT_EQ(target.requests, 1);  // no later page is attempted
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("打印机失败..."));
    EXPECT_EQ(dialogs.messages[0].title, ProgramTitle);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(QFileInfo::exists(pdf));

    // A PDF file that cannot be written is an unusable printer too.
    pdf = sandbox.path(QStringLiteral("no-such-folder/order.pdf"));
    EXPECT_TRUE(Print().printerFailed);
    EXPECT_EQ(dialogs.messages.size(), 2);
}

TEST_F(PrintJobTest, AFailureOnTheSecondPageKeepsTheFirst)
{
    AddSizes(12);
    FailingTarget target(pdf, 2);
    const PrintJobResult result = PrintCounted(target);
    EXPECT_EQ(result.pages, 1);
    EXPECT_TRUE(result.printerFailed);
    EXPECT_EQ(target.requests, 2);
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(PdfLayoutPages(pdf).size(), 1);
}

// The print dialog's "print to file" hands the job a printer writing a PDF;
// its text reads back as drawn, too.
TEST_F(PrintJobTest, APrinterWritingAPdfFileGivesTheTextAsDrawn)
{
    AddSizes(1);
    info.MemberName = QStringLiteral("金长日 色面户");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    {
        BorrowedPrinterTarget target(printer);
        EXPECT_EQ(PrintCounted(target).pages, 1);
    }
    const OrderPage page = Pages().value(0);
    EXPECT_EQ(page.MemberName(), QStringLiteral("金长日 色面户"));
    EXPECT_TRUE(PdfLayoutPages(pdf).value(0).contains(QStringLiteral("客户名称")));
}

// The figures are in the units of the count, whatever the settings say now;
// so are the captions above them. The default units keep the design's
// captions.
TEST_F(PrintJobTest, TheCaptionsNameTheUnitsTheTotalsWereCountedIn)
{
    AddSizes(1);
    const LengthUnit cm = LengthUnit::Centimetre;
    const LengthUnit in = LengthUnit::Inch;
    const AreaUnit m2 = AreaUnit::SquareMetre;
    const AreaUnit cm2 = AreaUnit::SquareCentimetre;
    struct Case {
        LengthUnit size;
        AreaUnit area;
        QStringList shown;
        QStringList absent;
    };
    const QList<Case> cases = {
        {cm, m2, {"长(cm)", "宽(cm)", "面积(㎡)"}, {"(in)", "cm²"}},
        {in, cm2, {"长(in)", "宽(in)", "面积(cm²)"}, {"(cm)", "㎡"}},
        {cm, cm2, {"长(cm)", "宽(cm)", "面积(cm²)"}, {"(in)", "㎡"}},
        {in, m2, {"长(in)", "宽(in)", "面积(㎡)"}, {"(cm)", "cm²"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((UnitText(c.size) + u' ' + UnitText(c.area)).toStdString());
        // The settings changed since the count, to the other units.
        settings.PhotoSize = c.size == in ? cm : in;
        settings.PhotoArea = c.area == cm2 ? m2 : cm2;
        ASSERT_TRUE(MarkCounted(*store, QStringLiteral("/照片"), c.size, c.area));
        ASSERT_EQ(Print().pages, 1);
        const QString text = PdfLayoutPages(pdf).value(0);
        for (const QString &caption : c.shown)
            EXPECT_TRUE(text.contains(caption)) << caption.toStdString() << "\n" << text.toStdString();
        for (const QString &unit : c.absent)
            EXPECT_FALSE(text.contains(unit)) << unit.toStdString();
    }
}

} // namespace
} // namespace kestova::test
