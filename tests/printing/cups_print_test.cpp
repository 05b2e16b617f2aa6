// Printing orders through a real print system: a cupsd of the test's own
// with queues that accept, refuse, hold or are gone. What reached the queue
// is read from the scheduler's job list, its log and the documents its
// queues wrote.
#include "cups_queue.h"
#include "cups_server.h"
#include "modal.h"
#include "order_book.h"
#include "order_printing.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "queue_chooser.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "rpt_print_a4.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"
#include "test_environment.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <signal.h>

#include <memory>

namespace kestova::test {
namespace {

class CupsPrintTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { server = new CupsServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        if (!server->running())
            GTEST_SKIP() << server->why().toStdString();
        if (!HavePdfToText())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        server->Reset();
        ASSERT_TRUE(server->AddQueue(QStringLiteral("shop"))) << server->said().toStdString();
        ASSERT_TRUE(server->SetDefault(QStringLiteral("shop"))) << server->said().toStdString();
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        ASSERT_TRUE(PutSmallOrder(*store));
        source = std::make_unique<OrderBookSource>(*store, settings);
        target = MakeSystemPrintTarget();
        printing = std::make_unique<OrderPrinting>(*source, settings, dialogs, info, *target, nullptr);
        firstJob = server->Jobs().isEmpty() ? 1 : server->Jobs().last().id + 1;
    }

    // The jobs this test sent.
    QList<CupsServer::Job> NewJobs() const
    {
        QList<CupsServer::Job> jobs;
        for (const CupsServer::Job &job : server->Jobs()) {
            if (job.id >= firstJob)
                jobs.append(job);
        }
        return jobs;
    }
    void PrintAs(const QString &name)
    {
        AnswerModal<frmRemark>([name](frmRemark &d) {
            Child<QLineEdit>(d, "txtMemberName")->setText(name);
            Click(d, "cmdOK");
        });
        printing->Print();
    }
    QStringList Messages() const
    {
        QStringList texts;
        for (const RecordedMessage &m : dialogs.messages)
            texts << m.text;
        return texts;
    }

    static CupsServer *server;
    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    PrintInfo info;
    RecordingDialogs dialogs;
    std::unique_ptr<PrintTarget> target;
    std::unique_ptr<OrderBookSource> source;
    std::unique_ptr<OrderPrinting> printing;
    int firstJob = 1;
};

CupsServer *CupsPrintTest::server = nullptr;

TEST_F(CupsPrintTest, AnAcceptedOrderIsPrintedOnTheDefaultQueueUnderItsNoteNumber)
{
    PrintAs(QStringLiteral("金长日 色面户"));
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(u'\n').toStdString();
    const QList<CupsServer::Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].queue, QStringLiteral("shop"));
    EXPECT_EQ(jobs[0].title, QStringLiteral("冲印单 1"));
    ASSERT_TRUE(server->WaitDone(jobs[0].id)) << server->Log().right(3000).toStdString();

    // The queue received the order as drawn, its text searchable.
    const QString printed = server->OutputFile(QStringLiteral("shop"));
    ASSERT_EQ(PdfLayoutPages(printed).size(), 1);
    const OrderPage page(PdfWords(printed), 0);
    ASSERT_TRUE(page.valid());
    EXPECT_EQ(page.MemberName(), QStringLiteral("金长日 色面户"));
    EXPECT_EQ(page.NoteNumber(), QStringLiteral("1"));
    EXPECT_EQ(page.Cell(1, PrintA4::PhotoHeight), QStringLiteral("15.24"));
}

TEST_F(CupsPrintTest, AQueueThatRefusesJobsIsAFailedPrint)
{
    ASSERT_TRUE(server->Reject(QStringLiteral("shop")));
    PrintAs(QStringLiteral("王五"));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("打印机失败：队列不接受任务")});
    EXPECT_TRUE(NewJobs().isEmpty());
    // The job was really offered, and refused by the scheduler.
    EXPECT_TRUE(server->Log().contains(QStringLiteral("server-error-not-accepting-jobs")));

    // Stopped as well as refusing: the same.
    ASSERT_TRUE(server->Pause(QStringLiteral("shop")));
    PrintAs(QStringLiteral("王五"));
    EXPECT_EQ(Messages().size(), 2);
    EXPECT_TRUE(NewJobs().isEmpty());
}

TEST_F(CupsPrintTest, APausedQueueHoldsTheJobAndThatIsASuccess)
{
    ASSERT_TRUE(server->Pause(QStringLiteral("shop")));
    PrintAs(QStringLiteral("赵六"));
    EXPECT_TRUE(Messages().isEmpty());
    const QList<CupsServer::Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].state, 3);  // pending
}

TEST_F(CupsPrintTest, WithoutADefaultQueueNothingGoesAnywhere)
{
    ASSERT_TRUE(server->AddQueue(QStringLiteral("other")));
    ASSERT_TRUE(server->Delete(QStringLiteral("shop")));  // the default is gone
    PrintAs(QStringLiteral("钱七"));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("打印机失败：没有默认打印机")});
    EXPECT_TRUE(NewJobs().isEmpty());
}

// The preview's print button, pressed with the print system answering and
// then stopped: the printer chosen from the queues the program listed
// itself, or the reason within the time limit.
TEST_F(CupsPrintTest, ThePreviewsPrintButtonPrintsOnTheChosenQueueOrSaysWhyWithinTheLimit)
{
    ASSERT_TRUE(server->AddQueue(QStringLiteral("back")));
    const auto pressPrint = [](QPrintPreviewDialog &preview) {
        for (QAction *action : preview.findChild<QToolBar *>()->actions()) {
            if (action->text() == QStringLiteral("Print"))
                return action->trigger();
        }
        ADD_FAILURE() << "no print button";
    };
    for (const bool frozen : {false, true}) {
        AnswerModal<frmRemark>([](frmRemark &d) {
            Child<QLineEdit>(d, "txtMemberName")->setText(QStringLiteral("孙八"));
            Click(d, "cmdOK");
        });
        AnswerModal<QPrintPreviewDialog>([&](QPrintPreviewDialog &preview) {
            if (frozen)
                server->Freeze();
            else
                AnswerModal<QueueChooser>([](QueueChooser &chooser) {
                    EXPECT_EQ(chooser.queue(), QStringLiteral("shop"));
                    chooser.findChild<QComboBox *>()->setCurrentText(QStringLiteral("back"));
                    chooser.accept();
                });
            pressPrint(preview);
            EXPECT_FALSE(preview.isVisible());
        });
        QElapsedTimer clock;
        clock.start();
        printing->PrintPreview();
        server->Thaw();
        if (frozen) {
            EXPECT_EQ(Messages(), QStringList{QStringLiteral("打印机失败：打印系统 %1 秒内没有回应").arg(AnswerSeconds())});
            EXPECT_LT(clock.elapsed(), 3 * AnswerSeconds() * 1000);
            EXPECT_EQ(NewJobs().size(), 1);
            continue;
        }
        EXPECT_TRUE(Messages().isEmpty()) << Messages().join(u'\n').toStdString();
        const QList<CupsServer::Job> jobs = NewJobs();
        ASSERT_EQ(jobs.size(), 1);
        EXPECT_EQ(jobs[0].queue, QStringLiteral("back"));
        EXPECT_EQ(jobs[0].title, QStringLiteral("冲印单 1"));
        ASSERT_TRUE(server->WaitDone(jobs[0].id));
        EXPECT_EQ(OrderPage(PdfWords(server->OutputFile(QStringLiteral("back"))), 0).MemberName(),
                  QStringLiteral("孙八"));
    }
}

// kestova-count order --print, as a shop's script runs it.
TEST_F(CupsPrintTest, TheOrderCommandPrintsOnTheDefaultOrANamedQueue)
{
    printing.reset();
    source.reset();
    store.reset();
    const QStringList common = {QStringLiteral("order"), QStringLiteral("--print"), QStringLiteral("--program-dir"),
                                sandbox.programDir(), QStringLiteral("--member"), QStringLiteral("周八")};
    CountToolRun r = RunCountTool(common);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n"));
    EXPECT_EQ(r.err, QString());

    ASSERT_TRUE(server->AddQueue(QStringLiteral("counter")));
    r = RunCountTool(common + QStringList{QStringLiteral("--printer"), QStringLiteral("counter")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QList<CupsServer::Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs[0].queue, QStringLiteral("shop"));
    EXPECT_EQ(jobs[0].title, QStringLiteral("冲印单 1"));
    EXPECT_EQ(jobs[1].queue, QStringLiteral("counter"));
    EXPECT_EQ(jobs[1].title, QStringLiteral("冲印单 2"));
    ASSERT_TRUE(server->WaitDone(jobs[1].id));
    EXPECT_EQ(OrderPage(PdfWords(server->OutputFile(QStringLiteral("counter"))), 0).MemberName(),
              QStringLiteral("周八"));

    // Refused, deleted, unknown: the message alone on stderr, exit status 3.
    ASSERT_TRUE(server->Reject(QStringLiteral("shop")));
    ASSERT_TRUE(server->Delete(QStringLiteral("counter")));
    const qsizetype kept = NewJobs().size();  // the deleted queue's job is gone
    const struct {
        QStringList more;
        QString err;
    } failures[] = {
        {{}, QStringLiteral("打印机失败：队列不接受任务\n")},
        {{QStringLiteral("--printer"), QStringLiteral("counter")}, QStringLiteral("打印机失败：没有名为 counter 的打印机\n")},
    };
    for (const auto &f : failures) {
        r = RunCountTool(common + f.more);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, f.err);
    }
    EXPECT_EQ(NewJobs().size(), kept);
    // Only the two orders the queues accepted are in the order book.
    r = RunCountTool({QStringLiteral("orders"), QStringLiteral("--program-dir"), sandbox.programDir()});
    EXPECT_EQ(r.out.count(u'\n'), 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("2\t"))) << r.out.toStdString();
}

// kestova-count order --print killed at moments spread over a run: every
// job the print system took carries a number whose order is in the book.
TEST_F(CupsPrintTest, AnOrderCommandKilledAtAnyMomentLeavesNoJobWithoutItsOrder)
{
    printing.reset();
    source.reset();
    store.reset();
    const QStringList args = {QStringLiteral("order"), QStringLiteral("--print"), QStringLiteral("--program-dir"),
                              sandbox.programDir()};
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(RunCountTool(args).status, 0);
    const qint64 whole = std::max<qint64>(clock.elapsed(), 20);
    const int runs = 20;
    for (int run = 0; run < runs; ++run) {
        QProcess order;
        order.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")), args);
        ASSERT_TRUE(order.waitForStarted());
        // The moment to kill at, the runs' moments spread evenly over a
        // whole run; nothing of the program's is waited for.
        QThread::usleep(quint64(whole) * 1000 * run / runs);
        ::kill(pid_t(order.processId()), SIGKILL);
        order.waitForFinished(60000);
    }
    SetProgramFolder(sandbox.programDir());
    store = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(store);
    OrderBook book(StoreConnection::Of(*store));
    QSet<QString> titles;
    for (const CupsServer::Job &job : NewJobs()) {
        SCOPED_TRACE(job.title.toStdString());
        EXPECT_FALSE(titles.contains(job.title));
        titles.insert(job.title);
        bool number = false;
        const qint64 n = job.title.section(u' ', 1).toLongLong(&number);
        ASSERT_TRUE(number);
        const std::optional<OrderRecordData> recorded = book.Find(n);
        ASSERT_TRUE(recorded) << "a job without its order";
        EXPECT_NE(recorded->status, OrderStatus::Voided);
    }
    RecordProperty("jobs", int(titles.size()));
}

// The backend fails the job after the queue accepted it: the order is not
// printed, and the operator reads why.
TEST_F(CupsPrintTest, AJobTheBackendAbortsIsAFailedPrint)
{
    ASSERT_TRUE(server->AddFailingQueue(QStringLiteral("jammed"))) << server->said().toStdString();
    ASSERT_TRUE(server->SetDefault(QStringLiteral("jammed")));
    PrintAs(QStringLiteral("吴九"));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("打印机失败：打印系统中止了任务"))) << Messages()[0].toStdString();
    const QList<CupsServer::Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].state, 8);  // aborted

    // The command says the same and records nothing.
    printing.reset();
    source.reset();
    store.reset();
    const CountToolRun r = RunCountTool({QStringLiteral("order"), QStringLiteral("--print"), QStringLiteral("--program-dir"),
                                         sandbox.programDir(), QStringLiteral("--member"), QStringLiteral("吴九")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("打印机失败：打印系统中止了任务"))) << r.err.toStdString();
    EXPECT_EQ(RunCountTool({QStringLiteral("orders"), QStringLiteral("--program-dir"), sandbox.programDir()}).out,
              QString());
}

// A scheduler that takes connections and answers nothing: the print fails
// within the time limit, and the window goes on being drawn, with a notice,
// while the program waits.
TEST_F(CupsPrintTest, AStoppedPrintSystemIsAnsweredWithinTheLimit)
{
    QWidget window;
    window.show();
    int ticks = 0;
    bool noticeShown = false;
    bool previewShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ++ticks;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *notice = qobject_cast<QProgressDialog *>(w))
                noticeShown |= notice->isVisible() && notice->labelText() == QStringLiteral("正在等待打印机回应…");
            if (auto *preview = qobject_cast<QPrintPreviewDialog *>(w); preview && preview->isVisible()) {
                previewShown = true;
                preview->reject();
            }
        }
    });
    watch.start(50);

    const ScopedEnv answer("KESTOVA_PRINT_ANSWER_SECONDS", "1");
    const QString timedOut = QStringLiteral("打印机失败：打印系统 1 秒内没有回应");
    server->Freeze();
    QElapsedTimer clock;
    clock.start();
    PrintAs(QStringLiteral("郑十"));
    const qint64 windowWait = clock.elapsed();
    // Qt's own printer would wait for the print system without a limit:
    // no preview, the job says why.
    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdOK"); });
    printing->PrintPreview();
    const CountToolRun r = RunCountTool({QStringLiteral("order"), QStringLiteral("--print"), QStringLiteral("--program-dir"),
                                         sandbox.programDir(), QStringLiteral("--member"), QStringLiteral("郑十")});
    server->Thaw();

    EXPECT_EQ(Messages(), (QStringList{timedOut, timedOut}));
    EXPECT_FALSE(previewShown);
    EXPECT_LT(windowWait, 3 * AnswerSeconds() * 1000);
    EXPECT_GT(ticks, 10);
    EXPECT_TRUE(noticeShown);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, timedOut + u'\n');
    EXPECT_TRUE(NewJobs().isEmpty());
}

} // namespace
} // namespace kestova::test
