// OrderPrinting as the main window drives it: the dialog loaded once per
// run, print and preview on OK only, one number per order and every printed
// order in the book, saving the previewed order as PDF, and the system
// printer's preview.
#include "program_title.h"
#include "daily_summary_print.h"
#include "modal.h"
#include "numbers.h"
#include "order_book.h"
#include "order_printing.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "rpt_print_a4.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QToolBar>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

// A preview that draws the job "on screen" (into a PDF the test reads) and
// then presses 保存为PDF.
class ScreenPreviewTarget : public PrintTarget
{
public:
    explicit ScreenPreviewTarget(const QString &file) : m_file(file) {}
    QPainter *NewPage() override { return m_pdf ? m_pdf->NewPage() : nullptr; }
    QRectF PrintableArea() const override { return m_pdf->PrintableArea(); }
    QSizeF Resolution() const override { return m_pdf->Resolution(); }
    bool EndDocument() override { return m_pdf->EndDocument(); }
    void Preview(const Job &job, const std::function<void()> &saveAsPdf, QWidget *) override
    {
        m_pdf = std::make_unique<PdfPrintTarget>(m_file);
        SetOnScreen(true);
        job(*this);
        SetOnScreen(false);
        saveAsPdf();
    }

private:
    QString m_file;
    std::unique_ptr<PdfPrintTarget> m_pdf;
};

class OrderPrintingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HavePdfToText())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        ASSERT_TRUE(PutSmallOrder(*store));
        source = std::make_unique<OrderBookSource>(*store, settings);
        pdf = sandbox.path(QStringLiteral("order.pdf"));
        target = std::make_unique<PdfPrintTarget>(pdf);
        printing = std::make_unique<OrderPrinting>(*source, settings, dialogs, info, *target, nullptr);
    }

    static void OkAs(const QString &name)
    {
        AnswerModal<frmRemark>([name](frmRemark &d) {
            Child<QLineEdit>(d, "txtMemberName")->setText(name);
            Click(d, "cmdOK");
        });
    }
    qint64 NotesIssued()
    {
        QSqlQuery q(StoreConnection::Of(*store));
        return q.exec(QStringLiteral("SELECT COUNT(*) FROM NoteNumber")) && q.next() ? q.value(0).toLongLong() : -1;
    }
    OrderPage FirstPage(const QString &file) { return OrderPage(PdfWords(file), 0); }

    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    PrintInfo info;
    RecordingDialogs dialogs;
    QString pdf;
    std::unique_ptr<PdfPrintTarget> target;
    std::unique_ptr<OrderBookSource> source;
    std::unique_ptr<OrderPrinting> printing;
};

TEST_F(OrderPrintingTest, EachCustomerIsAnOrderOfItsOwnWithItsOwnNumber)
{
    EXPECT_EQ(printing->remarkDialog(), nullptr);
    // Three customers in one run, the last one at 23:59:59: the paper and
    // the book agree on the day.
    const QDateTime lateEvening(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    const QStringList customers{QStringLiteral("王五"), QStringLiteral("赵六"), QStringLiteral("钱七")};
    for (int i = 0; i < customers.size(); ++i) {
        SCOPED_TRACE(customers[i].toStdString());
        QString seenName;
        AnswerModal<frmRemark>([&](frmRemark &d) {
            seenName = Child<QLineEdit>(d, "txtMemberName")->text();
            Child<QLineEdit>(d, "txtMemberName")->setText(customers[i]);
            Click(d, "cmdOK");
        });
        if (i == 2)
            printing->SetClock([lateEvening] { return lateEvening; });
        printing->Print();
        EXPECT_EQ(seenName, QString()); // not the previous customer's
        const OrderPage page = FirstPage(pdf);
        ASSERT_TRUE(page.valid());
        EXPECT_EQ(page.NoteNumber(), QString::number(i + 1));
        EXPECT_EQ(page.MemberName(), customers[i]);
        QFile::remove(pdf);
    }
    EXPECT_EQ(NotesIssued(), 3);
    OrderBook *book = source->Book();
    ASSERT_TRUE(book);
    for (int i = 0; i < customers.size(); ++i) {
        const std::optional<OrderRecordData> order = book->Find(i + 1);
        ASSERT_TRUE(order);
        EXPECT_EQ(order->memberName, customers[i]);
        EXPECT_EQ(order->status, OrderStatus::Printed);
        EXPECT_EQ(order->folder, QStringLiteral("/照片/客户"));
    }
    EXPECT_EQ(book->Find(3)->issuedAt, lateEvening.addMSecs(-999));
    EXPECT_EQ(book->Daily(QDate(2026, 12, 31), QDate(2026, 12, 31)).last().orders, 1);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(OrderPrintingTest, CancelAndARefusedPrintUseNoNumber)
{
    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdCancel"); });
    printing->Print();
    AnswerModal<frmRemark>([](frmRemark &d) { d.close(); });
    printing->PrintPreview();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_EQ(NotesIssued(), 0);

    // A PDF that cannot be written (its folder is a file): nothing is
    // recorded, and the run's unused number goes back when it ends.
    const QString blocked = sandbox.path(QStringLiteral("blocked"));
    ASSERT_TRUE(QFile(blocked).open(QIODevice::WriteOnly));
    PdfPrintTarget unwritable(blocked + QStringLiteral("/order.pdf"));
    printing = std::make_unique<OrderPrinting>(*source, settings, dialogs, info, unwritable, nullptr);
    OkAs(QStringLiteral("孙八"));
    printing->Print();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_FALSE(source->Book()->Find(1));
    printing.reset();
    EXPECT_EQ(NotesIssued(), 0);

    printing = std::make_unique<OrderPrinting>(*source, settings, dialogs, info, *target, nullptr);
    OkAs(QStringLiteral("孙八"));
    printing->Print();
    EXPECT_EQ(FirstPage(pdf).NoteNumber(), QStringLiteral("1"));
}

TEST_F(OrderPrintingTest, PreviewRunsTheSameJobAndLeavesNoTextsBehind)
{
    OkAs(QStringLiteral("赵六"));
    printing->PrintPreview();  // a target without a screen prints the job at once
    const OrderPage page = FirstPage(pdf);
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(page.Cell(2, PrintA4::ServiceName), QStringLiteral("合计"));
    EXPECT_EQ(NotesIssued(), 1);
    EXPECT_TRUE(source->Book()->Find(1));
}

TEST_F(OrderPrintingTest, SaveAsPdfFromThePreviewIsTheOrderShown)
{
    const QString chosen = sandbox.path(QStringLiteral("mail/订单.pdf"));
    QDir().mkpath(QFileInfo(chosen).absolutePath());
    dialogs.saveAnswers << chosen;
    ScreenPreviewTarget screen(sandbox.path(QStringLiteral("screen.pdf")));
    printing = std::make_unique<OrderPrinting>(*source, settings, dialogs, info, screen, nullptr);
    OkAs(QStringLiteral("钱七"));
    printing->PrintPreview();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].fileName, QStringLiteral("冲印单1.pdf"));
    EXPECT_EQ(dialogs.fileRequests[0].defaultSuffix, QStringLiteral("pdf"));
    EXPECT_EQ(FirstPage(sandbox.path(QStringLiteral("screen.pdf"))).NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(FirstPage(chosen).MemberName(), QStringLiteral("钱七"));
    EXPECT_EQ(FirstPage(chosen).NoteNumber(), QStringLiteral("1"));
    EXPECT_TRUE(source->Book()->Find(1));

    // Previewed and closed without printing: the number stays with the
    // order and goes back when the run ends.
    OkAs(QStringLiteral("周九"));
    dialogs.saveAnswers << QString();
    printing->PrintPreview();
    EXPECT_EQ(FirstPage(sandbox.path(QStringLiteral("screen.pdf"))).NoteNumber(), QStringLiteral("2"));

    // Another folder counted meanwhile: another customer, whose dialog
    // starts empty; the number 2 went back and is this order's now.
    ASSERT_TRUE(MarkCounted(*store, QStringLiteral("/照片/下一位")));
    QString seenName = QStringLiteral("?");
    AnswerModal<frmRemark>([&](frmRemark &d) {
        seenName = Child<QLineEdit>(d, "txtMemberName")->text();
        Click(d, "cmdCancel");
    });
    printing->PrintPreview();
    EXPECT_EQ(seenName, QString());
    printing.reset();
    EXPECT_EQ(NotesIssued(), 1);
}

TEST(SystemPrintTarget, PreviewDrawsTheJobAndOffersSavingAsPdf)
{
    const std::unique_ptr<PrintTarget> system = MakeSystemPrintTarget();
    int drawn = 0;
    int saved = 0;
    AnswerModal<QPrintPreviewDialog>([](QPrintPreviewDialog &preview) {
        for (QAction *action : preview.findChild<QToolBar *>()->actions()) {
            if (action->text() == QStringLiteral("保存为PDF..."))
                action->trigger();
        }
        preview.reject();
    });
    system->Preview(
        [&drawn](PrintTarget &shown) {
            QPainter *painter = shown.NewPage();
            ASSERT_NE(painter, nullptr);
            // A4 portrait less the printer's margins.
            EXPECT_GT(shown.PrintableArea().width() / shown.Resolution().width(), 7.5);
            EXPECT_LT(shown.PrintableArea().width() / shown.Resolution().width(), 8.27);
            painter->drawLine(0, 0, 100, 100);
            EXPECT_TRUE(shown.EndDocument());
            ++drawn;
        },
        [&saved] { ++saved; }, nullptr);
    EXPECT_GE(drawn, 1);
    EXPECT_EQ(saved, 1);

    // Without a system printer there is nothing to print on.
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        EXPECT_EQ(MakeSystemPrintTarget()->NewPage(), nullptr);
    }
}

// The daily summary on paper: every day of the range with orders, and the
// total line, over as many pages as they need.
TEST(DailySummaryPrint, EveryDayAndTheTotalReachThePages)
{
    if (!HavePdfToText())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Sandbox sandbox;
    QList<DaySummary> days;
    DaySummary total{QStringLiteral("合计")};
    for (int d = 0; d < 60; ++d) {
        const DaySummary day{QDate(2026, 10, 1).addDays(d).toString(QStringLiteral("yyyy-MM-dd")), 2, 20 + d,
                             0.5, 1000 + d, 0};
        days.append(day);
        total.orders += day.orders;
        total.photos += day.photos;
        total.squareMetres += day.squareMetres;
        total.amount += day.amount;
    }
    days.append(total);
    const QString pdf = sandbox.path(QStringLiteral("daily.pdf"));
    PdfPrintTarget target(pdf);
    RecordingDialogs dialogs;
    ASSERT_TRUE(PrintDailySummary(days, QDate(2026, 10, 1), QDate(2026, 11, 29), target, dialogs));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    const QString text = PdfLayoutPages(pdf).join(u'\n');
    EXPECT_GT(PdfLayoutPages(pdf).size(), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("2026/10/1 至 2026/11/29")));
    for (const DaySummary &day : std::as_const(days)) {
        const QRegularExpression line(day.day + QStringLiteral("\\s+%1\\s+%2\\s+%3\\s+%4")
                                                    .arg(day.orders)
                                                    .arg(day.photos)
                                                    .arg(NumberText(RoundHalfEven(day.squareMetres, 4)))
                                                    .arg(QRegularExpression::escape(YuanText(day.amount))));
        EXPECT_TRUE(line.match(text).hasMatch()) << day.day.toStdString();
    }
}

} // namespace
} // namespace kestova::test
