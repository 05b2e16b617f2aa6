// `kestova-count order` under faults, as a shop would meet them: the amount
// of real counted photos whatever the display settings, counts that did not
// complete, a store that is busy or full, and the program killed or the
// server stopped at any moment. No page may leave without its order in the
// book, and no refused order may use a note number.
#include "folder_scan.h"
#include "order_book.h"
#include "order_book_source.h"
#include "pdf_text.h"
#include "pg_server.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"
#include "test_environment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace kestova::test {
namespace {

class OrderFaultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HavePdfToText())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        // Six photos of 600×400 px at 100 dpi: 15.24 × 10.16 cm each.
        for (int i = 0; i < 6; ++i)
            box.writeFile(QStringLiteral("客户/%1.jpg").arg(i), JpegBytes(600, 400, 100));
        folder = box.path(QStringLiteral("客户"));
        program = box.programDir();
        ASSERT_EQ(RunCountTool({"setup", "--program-dir", program}).status, 0);
        ASSERT_EQ(RunCountTool({"price", "set", "写真海报", "--per-m2", "35", "--program-dir", program}).status, 0);
    }

    void Save(const Settings &settings)
    {
        SetProgramFolder(program);
        ASSERT_TRUE(settings.Save());
    }
    CountToolRun Order(const QString &pdf, const QStringList &more = {})
    {
        return RunCountTool(QStringList{"order", "--pdf", pdf, "--program-dir", program, "--service", "写真海报"}
                            + more);
    }
    // How long a whole order takes here (at least 20 ms), to spread faults
    // over it.
    qint64 WholeOrderMs()
    {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Order(box.path(QStringLiteral("whole.pdf"))).status, 0);
        return std::max<qint64>(clock.elapsed(), 20);
    }
    // An order started into `pdf`, then the moment `at` (0 to 1) of a whole
    // run waited out: the moment a fault strikes, not anything the program
    // does.
    void StartOrderAndWait(QProcess &order, const QString &pdf, double at, qint64 wholeMs)
    {
        order.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")),
                    {"order", "--pdf", pdf, "--program-dir", program, "--service", "写真海报"});
        ASSERT_TRUE(order.waitForStarted());
        QThread::usleep(quint64(at * double(wholeMs) * 1000));
    }
    // The note number and the amount printed on a PDF; empty when the file
    // is missing or not a whole PDF.
    static QString NumberOn(const QString &pdf)
    {
        return QFileInfo::exists(pdf) ? OrderPage(PdfWords(pdf), 0).NoteNumber() : QString();
    }
    std::optional<OrderRecordData> Recorded(qint64 number)
    {
        SetProgramFolder(program);
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        if (!store)
            return std::nullopt;
        OrderBook book(StoreConnection::Of(*store));
        return book.Find(number);
    }
    qint64 NotesIssued()
    {
        SetProgramFolder(program);
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        const QList<QStringList> rows =
            QueryRows(StoreConnection::Of(*store), QStringLiteral("SELECT COUNT(*) FROM NoteNumber"));
        return rows.value(0).value(0).toLongLong();
    }

    Sandbox box;
    QString folder;
    QString program;
};

// 6 × 0.1524 m × 0.1016 m × 35 yuan = 3.25 yuan, whatever the decimals and
// area unit the count was made with, and whatever the settings are when the
// order prints.
TEST_F(OrderFaultsTest, TheAmountIsTheSameUnderEveryDisplaySetting)
{
    int run = 0;
    for (int decimals = 0; decimals <= 4; ++decimals) {
        for (const AreaUnit areaUnit : {AreaUnit::SquareMetre, AreaUnit::SquareCentimetre}) {
            SCOPED_TRACE(QStringLiteral("RadixPoint=%1 %2").arg(decimals).arg(UnitText(areaUnit)).toStdString());
            Settings counted;
            counted.RadixPoint = decimals;
            counted.UnitRadixPoint = decimals;
            counted.PhotoArea = areaUnit;
            Save(counted);
            ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folder}).status, 0);
            // The settings change between the count and the print.
            Settings now = counted;
            now.PhotoSize = LengthUnit::Inch;
            now.PhotoArea = areaUnit == AreaUnit::SquareMetre ? AreaUnit::SquareCentimetre : AreaUnit::SquareMetre;
            Save(now);
            const QString pdf = box.path(QStringLiteral("o%1.pdf").arg(++run));
            const CountToolRun r = Order(pdf);
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            const OrderPage page(PdfWords(pdf), 0);
            EXPECT_EQ(page.Cell(1, QStringLiteral("PhotoHeight")), QStringLiteral("15.24"));
            EXPECT_EQ(page.Cell(1, QStringLiteral("Money")), QStringLiteral("3.25"));
            EXPECT_EQ(page.Cell(2, QStringLiteral("Money")), QStringLiteral("3.25"));
            const QString text = PdfLayoutPages(pdf).value(0);
            EXPECT_TRUE(text.contains(QStringLiteral("长(cm)")));
            EXPECT_TRUE(text.contains(areaUnit == AreaUnit::SquareMetre ? QStringLiteral("面积(㎡)")
                                                                        : QStringLiteral("面积(cm²)")));
            const std::optional<OrderRecordData> order = Recorded(r.out.trimmed().toLongLong());
            ASSERT_TRUE(order);
            EXPECT_EQ(order->sizeUnit, LengthUnit::Centimetre);
            EXPECT_EQ(order->areaUnit, areaUnit);
            EXPECT_EQ(order->order.TotalAmount(), 325);
        }
    }
}

// A count stopped midway leaves the earlier folder's totals in the store:
// they are not printed as this customer's, and no number is used.
TEST_F(OrderFaultsTest, AnInterruptedCountPrintsNothingUntilACountCompletes)
{
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folder}).status, 0);
    for (int i = 0; i < 5; ++i)
        box.writeFile(QStringLiteral("下一位/%1.jpg").arg(i), JpegBytes(300, 200, 100));
    const QString next = box.path(QStringLiteral("下一位"));
    struct StopAtTwo : ScanObserver {
        bool FileDone(int done) override { return done == 2; }
    } stop;
    {
        SetProgramFolder(program);
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        RecordingDialogs dialogs;
        ASSERT_EQ(ScanFolder(next, Settings::Load(), *store, dialogs, &stop), ScanEnd::Stopped);
    }
    const QString pdf = box.path(QStringLiteral("o.pdf"));
    CountToolRun r = Order(pdf);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("没有完成"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_EQ(NotesIssued(), 0);

    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, next}).status, 0);
    r = Order(pdf);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n"));
    EXPECT_EQ(QDir::cleanPath(Recorded(1)->folder), next);
}

// The store held by another program, or on a full disk: the order cannot be
// recorded, so nothing is printed and no number is shown (a store the full
// disk keeps from opening at all is refused as one that cannot be opened).
TEST_F(OrderFaultsTest, AStoreThatCannotRecordPrintsNothing)
{
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folder}).status, 0);
    const QString pdf = box.path(QStringLiteral("o.pdf"));
    {
        sqlite3 *other = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(program + QStringLiteral("/Data.mdb")).constData(), &other),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        const ScopedEnv wait("KESTOVA_BUSY_TIMEOUT_MS", "200");
        const CountToolRun r = Order(pdf);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        EXPECT_EQ(r.status, 3);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("订单库无法写入："))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(pdf));
    }

    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    const QString mount = box.mkdir(QStringLiteral("small"));
    const SmallDisk disk(mount, "2m");
    ASSERT_TRUE(disk.mounted());
    ASSERT_TRUE(QFile::copy(program + QStringLiteral("/Data.mdb"), mount + QStringLiteral("/Data.mdb")));
    ASSERT_TRUE(QFile::copy(program + QStringLiteral("/Config.ini"), mount + QStringLiteral("/Config.ini")));
    program = mount;
    {
        QFile filler(mount + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, '\0')) == 4096) {
        }
    }
    const CountToolRun r = Order(pdf);
    EXPECT_TRUE(r.status == 2 || r.status == 3) << r.status;
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("订单库无法写入：")) || r.err.startsWith(QStringLiteral("数据库")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(pdf));
    QFile::remove(mount + QStringLiteral("/filler"));
    EXPECT_EQ(NotesIssued(), 0);
}

// The order command killed at moments spread over a run, and the moment its
// PDF comes out: every PDF that came out whole carries a number whose order
// is in the book (printed or 待确认), and no two runs share a number.
TEST_F(OrderFaultsTest, KilledAtAnyMomentNoPdfWithoutItsOrder)
{
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folder}).status, 0);
    const qint64 whole = WholeOrderMs();
    QSet<QString> numbers{NumberOn(box.path(QStringLiteral("whole.pdf")))};
    int produced = 0;
    const int spread = 20;
    for (int run = 0; run < spread + 15; ++run) {
        const QString name = QStringLiteral("kill%1.pdf").arg(run);
        const QString pdf = box.path(name);
        QProcess order;
        if (run < spread) {
            StartOrderAndWait(order, pdf, double(run) / spread, whole);
        } else {
            // The kernel tells the moment the file takes its name.
            const int watch = ::inotify_init1(IN_CLOEXEC);
            ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(box.root()).constData(),
                                          IN_MOVED_TO | IN_CLOSE_WRITE),
                      0);
            // At the lowest priority, so that the test runs the moment it wakes.
            order.setChildProcessModifier([] { (void)::nice(19); });
            StartOrderAndWait(order, pdf, 0, whole);
            bool out = false;
            while (!out) {
                pollfd ready{watch, POLLIN, 0};
                if (::poll(&ready, 1, 10000) <= 0)
                    break;
                alignas(inotify_event) char events[4096];
                const ssize_t n = ::read(watch, events, sizeof events);
                for (ssize_t at = 0; at < n;) {
                    const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                    out |= event->len > 0 && QFile::decodeName(event->name) == name;
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
            ::close(watch);
            EXPECT_TRUE(out);
        }
        ::kill(pid_t(order.processId()), SIGKILL);
        order.waitForFinished(60000);
        const QString number = NumberOn(pdf);
        if (number.isEmpty())
            continue;
        ++produced;
        SCOPED_TRACE(number.toStdString());
        EXPECT_FALSE(numbers.contains(number));
        numbers.insert(number);
        const std::optional<OrderRecordData> recorded = Recorded(number.toLongLong());
        ASSERT_TRUE(recorded) << "a PDF without its order";
        EXPECT_NE(recorded->status, OrderStatus::Voided);
    }
    RecordProperty("produced", produced);
}

// The shared server stopped at moments spread over orders: every PDF that
// came out has its order on the server; every refused order says why.
TEST_F(OrderFaultsTest, AServerStoppedAtAnyMomentLosesNoPrintedOrder)
{
    PgServer server;
    if (!server.Start())
        GTEST_SKIP() << "no PostgreSQL server: " << server.Problem().toStdString();
    Settings shared;
    shared.OrderBookConnection = server.NewDatabase();
    Save(shared);
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", program, folder}).status, 0);
    ASSERT_EQ(RunCountTool({"price", "set", "写真海报", "--per-m2", "35", "--program-dir", program}).status, 0);
    const qint64 whole = WholeOrderMs();
    QStringList produced{NumberOn(box.path(QStringLiteral("whole.pdf")))};
    QStringList said{QStringLiteral("whole")}; // how each produced PDF's run ended, for a failure's message
    const int runs = 12;
    for (int run = 0; run < runs; ++run) {
        const QString pdf = box.path(QStringLiteral("cut%1.pdf").arg(run));
        QProcess order;
        StartOrderAndWait(order, pdf, double(run) / runs, whole);
        ASSERT_TRUE(server.Stop());
        ASSERT_TRUE(order.waitForFinished(60000));
        const QString err = QString::fromUtf8(order.readAllStandardError());
        if (order.exitCode() != 0)
            EXPECT_TRUE(err.contains(QStringLiteral("订单库"))) << err.toStdString();
        else
            EXPECT_FALSE(NumberOn(pdf).isEmpty());
        if (!NumberOn(pdf).isEmpty()) {
            produced << NumberOn(pdf);
            said << QStringLiteral("run %1, exit %2: %3").arg(run).arg(order.exitCode()).arg(err);
        }
        ASSERT_TRUE(server.Start()) << server.Problem().toStdString();
    }
    SetProgramFolder(program);
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
    const Settings settings = Settings::Load();
    OrderBookSource source(*store, settings);
    OrderBook *book = source.Book();
    ASSERT_TRUE(book);
    for (qsizetype i = 0; i < produced.size(); ++i) {
        SCOPED_TRACE(produced[i].toStdString());
        const std::optional<OrderRecordData> order = book->Find(produced[i].toLongLong());
        ASSERT_TRUE(order) << "a PDF without its order (" << said[i].toStdString() << ")";
        EXPECT_NE(order->status, OrderStatus::Voided);
    }
    EXPECT_EQ(QSet<QString>(produced.cbegin(), produced.cend()).size(), produced.size());
}

} // namespace
} // namespace kestova::test
