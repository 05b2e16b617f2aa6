// OrderPrinting as the main window drives it: the dialog loaded once per
// run, print and preview on OK only, saving the previewed order as PDF, and
// the system printer's preview.
#include "program_title.h"
#include "daily_summary_print.h"
#include "modal.h"
#include "numbers.h"
#include "order_printing.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "rpt_print_a4.h"
#include "sandbox.h"
#include "settings.h"

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
        pdf = sandbox.path(QStringLiteral("order.pdf"));
        target = std::make_unique<PdfPrintTarget>(pdf);
        printing = std::make_unique<OrderPrinting>(*store, settings, dialogs, info, *target, nullptr);
    }

    static void OkAs(const QString &name)
    {
        AnswerModal<frmRemark>([name](frmRemark &d) {
            d.txtMemberName->setText(name);
            d.cmdOK->click();
        });
    }
    qint64 NotesIssued()
    {
        QSqlQuery q(store->database());
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
    std::unique_ptr<OrderPrinting> printing;
};

TEST_F(OrderPrintingTest, PrintLoadsTheDialogOnceAndPrintsOnOk)
{
    EXPECT_EQ(printing->remarkDialog(), nullptr);
    OkAs(QStringLiteral("王五"));
    printing->Print();
    QCoreApplication::processEvents();
    OrderPage page = FirstPage(pdf);
    ASSERT_TRUE(page.valid());
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(page.MemberName(), QStringLiteral("王五"));
    EXPECT_EQ(page.Cell(1, PrintA4::PhotoHeight), QStringLiteral("15.24"));
    frmRemark *first = printing->remarkDialog();

    QFile::remove(pdf);
    OkAs(QStringLiteral("王五"));
    printing->Print();
    page = FirstPage(pdf);
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(printing->remarkDialog(), first);
    EXPECT_EQ(NotesIssued(), 1);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(OrderPrintingTest, CancelAndTheCloseBoxPrintNothing)
{
    AnswerModal<frmRemark>([](frmRemark &d) { d.cmdCancel->click(); });
    printing->Print();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    AnswerModal<frmRemark>([](frmRemark &d) { d.close(); });
    printing->PrintPreview();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_EQ(NotesIssued(), 1);
}

TEST_F(OrderPrintingTest, PreviewRunsTheSameJobAndLeavesNoTextsBehind)
{
    OkAs(QStringLiteral("赵六"));
    printing->Print();
    QFile::remove(pdf);
    OkAs(QStringLiteral("赵六"));
    printing->PrintPreview();  // a target without a screen prints the job at once
    const OrderPage page = FirstPage(pdf);
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(page.Cell(2, PrintA4::ServiceName), QStringLiteral("合计"));
    EXPECT_FALSE(printing->layout().HasInstance());
    EXPECT_EQ(NotesIssued(), 1);
}

TEST_F(OrderPrintingTest, SaveAsPdfWritesTheOrderWhereTheOperatorSays)
{
    OkAs(QStringLiteral("钱七"));
    printing->Print();
    const QString chosen = sandbox.path(QStringLiteral("mail/订单.pdf"));
    QDir().mkpath(QFileInfo(chosen).absolutePath());
    dialogs.saveAnswers << chosen << QString();
    printing->SaveAsPdf();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].fileName, QStringLiteral("冲印单1.pdf"));
    EXPECT_EQ(dialogs.fileRequests[0].defaultSuffix, QStringLiteral("pdf"));
    EXPECT_EQ(FirstPage(chosen).MemberName(), QStringLiteral("钱七"));
    EXPECT_FALSE(printing->layout().HasInstance());

    QFile::remove(chosen);
    printing->SaveAsPdf();  // cancelled
    EXPECT_FALSE(QFileInfo::exists(chosen));
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
    if (QPrinterInfo::availablePrinters().isEmpty())
        EXPECT_EQ(MakeSystemPrintTarget()->NewPage(), nullptr);
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
