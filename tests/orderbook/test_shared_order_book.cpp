// The order book shared by several counters on a PostgreSQL server that the
// test starts itself: one sequence of note numbers for all counters, under
// load too; prices, orders and the day seen from every counter; a server
// that stops mid-way; moving a shop's local order book onto the server; the
// layout upgraded in place.
#include "clock.h"
#include "ini_file.h"
#include "order_book.h"
#include "order_book_source.h"
#include "order_book_statements.h"
#include "pg_server.h"
#include "photo_store.h"
#include "program_folder.h"
#include "sandbox.h"
#include "store_connection.h"
#include "store_statements.h"
#include "test_environment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <signal.h>
#include <thread>

using namespace kestova;
using namespace kestova::test;

namespace {

// One server for the whole program; each test takes a database of its own.
PgServer &Server()
{
    static PgServer server;
    static const bool started = server.Start();
    if (!started)
        throw std::runtime_error(server.Problem().toStdString());
    return server;
}

class SharedOrderBookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        try {
            Server();
        } catch (const std::exception &e) {
            GTEST_SKIP() << "no PostgreSQL server: " << e.what();
        }
        connection = Server().NewDatabase();
        ASSERT_FALSE(connection.isEmpty()) << Server().Problem().toStdString();
    }

    // A counter: a program folder pointed at the server, with a count of
    // three 15.24 × 10.16 cm photos in its store.
    QString Counter(const QString &name)
    {
        const QString dir = box.path(name);
        EXPECT_EQ(RunCountTool({"setup", "--program-dir", dir}).status, 0);
        EXPECT_TRUE(WriteProfileStrings(dir + QStringLiteral("/Config.ini"),
                                        {{QStringLiteral("OrderBook"), QStringLiteral("Connection"), connection},
                                         {QStringLiteral("OrderBook"), QStringLiteral("CounterName"), name}}));
        for (int i = 0; i < 3; ++i)
            box.writeFile(name + QStringLiteral("-photos/%1.png").arg(i), PngBytes(600, 400, 100));
        EXPECT_EQ(RunCountTool({"scan", "--program-dir", dir, box.path(name + QStringLiteral("-photos"))}).status, 0);
        return dir;
    }

    // kestova-count order into a PDF: the note number it printed, or the run.
    CountToolRun Order(const QString &dir, const QString &pdf)
    {
        return RunCountTool({"order", "--pdf", box.path(pdf), "--member", "顾客", "--program-dir", dir});
    }

    QList<QStringList> ServerRows(const QString &statement)
    {
        const QString name = QStringLiteral("check");
        QList<QStringList> rows;
        {
            QString error;
            const QSqlDatabase db = OpenServer(connection, name, &error);
            EXPECT_TRUE(db.isValid()) << error.toStdString();
            rows = QueryRows(db, statement);
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }

    Sandbox box;
    QString connection;
};

// A counter frozen at any moment of an order (a hung laptop: SIGSTOP)
// holds nothing another counter waits for; a session that does hold the
// counter row makes a number fail within the lock timeout, never hang.
TEST_F(SharedOrderBookTest, NoCounterCanHoldAnother)
{
    const QString a = Counter(QStringLiteral("counterA"));
    const QString b = Counter(QStringLiteral("counterB"));
    ASSERT_EQ(Order(a, QStringLiteral("first.pdf")).status, 0);
    for (int delayMs : {0, 5, 15, 30, 60, 120}) {
        SCOPED_TRACE(delayMs);
        QProcess frozen;
        frozen.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")),
                     {"order", "--pdf", box.path(QStringLiteral("frozen.pdf")), "--program-dir", a});
        ASSERT_TRUE(frozen.waitForStarted());
        QThread::msleep(delayMs); // the moment it freezes
        ::kill(pid_t(frozen.processId()), SIGSTOP);
        QProcess other;
        other.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")),
                    {"order", "--pdf", box.path(QStringLiteral("other.pdf")), "--program-dir", b});
        const bool finished = other.waitForFinished(60000);
        ::kill(pid_t(frozen.processId()), SIGCONT);
        frozen.waitForFinished(60000);
        ASSERT_TRUE(finished) << "a frozen counter held another";
        EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    }

    // Another session holding the counter row (a tool, an older program).
    QString error;
    {
        QSqlDatabase holder = OpenServer(connection, QStringLiteral("holder"), &error);
        ASSERT_TRUE(holder.isValid()) << error.toStdString();
        QSqlQuery hold(holder);
        ASSERT_TRUE(hold.exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(hold.exec(QStringLiteral("UPDATE NoteCounter SET LastNumber = LastNumber")));
        // A lock timeout of the server's role instead of the program's 5 s.
        const test::ScopedEnv wait("PGOPTIONS", "-c lock_timeout=300");
        const CountToolRun held = Order(b, QStringLiteral("held.pdf"));
        EXPECT_EQ(held.status, 3);
        EXPECT_TRUE(held.out.isEmpty());
        EXPECT_TRUE(held.err.contains(QStringLiteral("订单库"))) << held.err.toStdString();
        hold.exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    EXPECT_EQ(Order(b, QStringLiteral("after.pdf")).status, 0);
}

// An order book in a schema of its own (the connection's search_path), run
// after run; texts as long as the local book takes; `status` names the
// schema and never shows a password.
TEST_F(SharedOrderBookTest, AnySchemaAndTextsOfAnyLength)
{
    {
        QString error;
        QSqlDatabase db = OpenServer(connection, QStringLiteral("schema"), &error);
        ASSERT_TRUE(db.isValid()) << error.toStdString();
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("CREATE SCHEMA kestova")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
    connection += QStringLiteral(" options='-csearch_path=kestova'");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const QString name = QStringLiteral("run%1").arg(run);
        {
            QString error;
            QSqlDatabase db = OpenServer(connection, name, &error);
            ASSERT_TRUE(db.isValid()) << error.toStdString();
            OrderBook book(db);
            ASSERT_TRUE(book.Upgrade(&error)) << error.toStdString();
            const std::optional<qint64> number = book.IssueNoteNumber(QString(300, u'柜'), &error);
            ASSERT_EQ(number, run) << error.toStdString();
            OrderRecordData order;
            order.noteNumber = *number;
            order.issuedAt = Now();
            order.memberName = QString(300, u'客');
            order.service = QString(300, u'服');
            order.folder = QString(5000, u'夹');
            order.remark = QString(3000, u'备');
            order.counterName = QString(300, u'柜');
            ASSERT_TRUE(book.Record(order, &error)) << error.toStdString();
            EXPECT_EQ(book.Find(*number)->folder.size(), 5000);
        }
        QSqlDatabase::removeDatabase(name);
    }
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT COUNT(*) FROM kestova.OrderRecord")), (QList<QStringList>{{"2"}}));

    // A batch whose later statement fails is a failed batch, whatever its
    // first statements did: a pending order never takes a printed one's number.
    {
        QString error;
        QSqlDatabase db = OpenServer(connection, QStringLiteral("batch"), &error);
        OrderBook book(db);
        OrderRecordData clash;
        clash.noteNumber = 1;
        clash.issuedAt = Now();
        clash.status = OrderStatus::Pending;
        EXPECT_FALSE(book.Record(clash, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(book.Find(1)->folder.size(), 5000);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("batch"));

    const QString dir = box.path(QStringLiteral("prog"));
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", dir}).status, 0);
    ASSERT_TRUE(WriteProfileStrings(dir + QStringLiteral("/Config.ini"),
                                    {{QStringLiteral("OrderBook"), QStringLiteral("Connection"),
                                      connection + QStringLiteral(" password=geheim")}}));
    const CountToolRun status = RunCountTool({"orderbook", "status", "--program-dir", dir});
    EXPECT_EQ(status.status, 0) << status.out.toStdString() << status.err.toStdString();
    EXPECT_TRUE(status.out.contains(QStringLiteral("模式 kestova"))) << status.out.toStdString();
    EXPECT_FALSE((status.out + status.err).contains(QStringLiteral("geheim")));

    // A backup restored over a counter that had gone further: status warns,
    // and no number an order holds is issued again.
    {
        QString error;
        QSqlDatabase db = OpenServer(connection, QStringLiteral("restore"), &error);
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("UPDATE NoteCounter SET LastNumber = 1")));
        EXPECT_TRUE(RunCountTool({"orderbook", "status", "--program-dir", dir}).out.contains(QStringLiteral("警告")));
        EXPECT_EQ(OrderBook(db).IssueNoteNumber(QStringLiteral("c"), &error), 3) << error.toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("restore"));
}

// Prices saved again and again while orders read them: every order gets
// one whole price list, the old one or the new one.
TEST_F(SharedOrderBookTest, APriceEditDuringOrdersLeavesEveryOrderPriced)
{
    const QString service = QStringLiteral("写真海报");
    {
        QString error;
        QSqlDatabase db = OpenServer(connection, QStringLiteral("setup"), &error);
        OrderBook book(db);
        ASSERT_TRUE(book.Upgrade(&error)) << error.toStdString();
        ASSERT_TRUE(book.SetPerSquareMetre(service, 3500, &error)) << error.toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        {
            QSqlDatabase db = OpenServer(connection, QStringLiteral("editor"), nullptr);
            OrderBook book(db);
            for (int i = 0; !stop; ++i) {
                ServicePrices prices{service, i % 2 ? PricingKind::PerSquareMetre : PricingKind::PerPhoto, 3500,
                                     {{QStringLiteral("15.24*10.16"), 80}}};
                book.SavePrices({prices});
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("editor"));
    });
    int unpriced = 0;
    {
        QSqlDatabase db = OpenServer(connection, QStringLiteral("reader"), nullptr);
        OrderBook book(db);
        for (int i = 0; i < 200; ++i) {
            bool ok = false;
            const ServicePrices prices = book.PricesOf(service, &ok);
            if (ok && prices.kind == PricingKind::None)
                ++unpriced;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    stop = true;
    editor.join();
    EXPECT_EQ(unpriced, 0);
}

TEST_F(SharedOrderBookTest, TwoCountersShareNumbersPricesOrdersAndTheDay)
{
    const QString a = Counter(QStringLiteral("counterA"));
    const QString b = Counter(QStringLiteral("counterB"));

    ASSERT_EQ(RunCountTool({"price", "set", "数码冲印（光面）", "--size", "15.24*10.16", "0.8", "--program-dir", a}).status,
              0);
    EXPECT_TRUE(RunCountTool({"prices", "--program-dir", b}).out.startsWith(
        QStringLiteral("数码冲印（光面）\t15.24*10.16\t0.80\n")));

    EXPECT_EQ(Order(a, QStringLiteral("1.pdf")).out, QStringLiteral("1\n"));
    EXPECT_EQ(Order(b, QStringLiteral("2.pdf")).out, QStringLiteral("2\n"));
    EXPECT_EQ(Order(a, QStringLiteral("3.pdf")).out, QStringLiteral("3\n"));

    const CountToolRun orders = RunCountTool({"orders", "--program-dir", b});
    ASSERT_EQ(orders.status, 0) << orders.err.toStdString();
    QStringList counters;
    for (const QString &line : orders.out.split(u'\n', Qt::SkipEmptyParts))
        counters << line.section(u'\t', 0, 0) + u' ' + line.section(u'\t', 7, 7);
    EXPECT_EQ(counters, (QStringList{"3 counterA", "2 counterB", "1 counterA"}));

    const QString today = Today().toString(Qt::ISODate);
    EXPECT_EQ(RunCountTool({"orders", "--customer", "顾", "--from", today, "--to", today, "--program-dir", a})
                  .out.count(u'\n'),
              3);
    EXPECT_TRUE(RunCountTool({"orders", "--customer", "%", "--program-dir", a}).out.isEmpty());

    const CountToolRun dayA = RunCountTool({"daily", "--program-dir", a});
    EXPECT_EQ(dayA.out, RunCountTool({"daily", "--program-dir", b}).out);
    EXPECT_TRUE(dayA.out.endsWith(QStringLiteral("合计\t3\t9\t0.15\t7.20\t0\t0\n"))) << dayA.out.toStdString();

    // Nothing of the order book went into the counters' own stores.
    SetProgramFolder(a);
    std::unique_ptr<PhotoStore> local = PhotoStore::Open(DataMdbPath());
    ASSERT_TRUE(local);
    EXPECT_EQ(QueryRows(StoreConnection::Of(*local), QStringLiteral("SELECT COUNT(*) FROM NoteNumber")),
              (QList<QStringList>{{"0"}}));
}

TEST_F(SharedOrderBookTest, FourCountersAtOnceGetOneUnbrokenSequence)
{
    // The four start on an empty database: they also race to lay it out.
    QList<QProcess *> workers;
    for (int w = 0; w < 4; ++w) {
        auto *p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QString::fromLocal8Bit(qgetenv("ORDER_BOOK_WORKER")),
                 {connection, QStringLiteral("counter%1").arg(w), QStringLiteral("250")});
        workers << p;
    }
    for (QProcess *p : workers) {
        EXPECT_TRUE(p->waitForFinished(300000));
        EXPECT_EQ(p->exitCode(), 0);
        delete p;
    }
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT COUNT(DISTINCT NoteNumber), MIN(NoteNumber), MAX(NoteNumber),"
                                        " COUNT(*) FROM OrderRecord")),
              (QList<QStringList>{{"1000", "1", "1000", "1000"}}));
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT COUNT(*) FROM NoteNumber")), (QList<QStringList>{{"1000"}}));
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT CounterName, COUNT(*) FROM OrderRecord GROUP BY CounterName"
                                        " ORDER BY CounterName")),
              (QList<QStringList>{{"counter0", "250"}, {"counter1", "250"}, {"counter2", "250"}, {"counter3", "250"}}));

    // Order i of a worker holds 1 + i % 7 photos at 80 fen.
    qint64 photos = 0;
    for (int i = 0; i < 250; ++i)
        photos += 4 * (1 + i % 7);
    const QString name = QStringLiteral("daily");
    {
        const QSqlDatabase db = OpenServer(connection, name, nullptr);
        const QList<DaySummary> days = OrderBook(db).Daily(Today().addDays(-1), Today());
        ASSERT_FALSE(days.isEmpty());
        EXPECT_EQ(days.last().orders, 1000);
        EXPECT_EQ(days.last().photos, photos);
        EXPECT_EQ(days.last().amount, 80 * photos);
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_F(SharedOrderBookTest, AStoppedServerIssuesNothingAndTheNextNumberFollows)
{
    const QString a = Counter(QStringLiteral("counterA"));
    EXPECT_EQ(Order(a, QStringLiteral("1.pdf")).out, QStringLiteral("1\n"));

    ASSERT_TRUE(Server().Stop());
    const CountToolRun refused = Order(a, QStringLiteral("2.pdf"));
    const bool restarted = Server().Start();
    ASSERT_TRUE(restarted) << Server().Problem().toStdString();
    EXPECT_EQ(refused.status, 3);
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("订单库无法连接："))) << refused.err.toStdString();
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(box.path(QStringLiteral("2.pdf"))));

    EXPECT_EQ(Order(a, QStringLiteral("3.pdf")).out, QStringLiteral("2\n"));
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT NoteNumber FROM OrderRecord ORDER BY NoteNumber")),
              (QList<QStringList>{{"1"}, {"2"}}));
}

TEST_F(SharedOrderBookTest, CopyMovesTheLocalBookOnceAndTheNumbersGoOn)
{
    // A shop that has worked alone: prices, two orders, five numbers issued.
    const QString shop = box.path(QStringLiteral("shop"));
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", shop}).status, 0);
    box.writeFile(QStringLiteral("photos/1.png"), PngBytes(600, 400, 100));
    ASSERT_EQ(RunCountTool({"scan", "--program-dir", shop, box.path(QStringLiteral("photos"))}).status, 0);
    ASSERT_EQ(RunCountTool({"price", "set", "写真海报", "--per-m2", "45", "--program-dir", shop}).status, 0);
    EXPECT_EQ(Order(shop, QStringLiteral("1.pdf")).out, QStringLiteral("1\n"));
    EXPECT_EQ(Order(shop, QStringLiteral("2.pdf")).out, QStringLiteral("2\n"));
    {
        SetProgramFolder(shop);
        std::unique_ptr<PhotoStore> store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(store->IssueNoteNumber());
    }

    const CountToolRun copy = RunCountTool({"orderbook", "copy", "--to", connection, "--program-dir", shop});
    ASSERT_EQ(copy.status, 0) << copy.err.toStdString();
    EXPECT_TRUE(copy.out.contains(QStringLiteral("订单 2 张"))) << copy.out.toStdString();
    EXPECT_TRUE(copy.out.contains(QStringLiteral("下一个单号\t6")));

    const QString counter = Counter(QStringLiteral("counter"));
    EXPECT_TRUE(RunCountTool({"prices", "--program-dir", counter}).out.contains(QStringLiteral("写真海报\tm2\t45.00\n")));
    EXPECT_EQ(RunCountTool({"orders", "--program-dir", counter}).out.count(u'\n'), 2);
    EXPECT_EQ(Order(counter, QStringLiteral("6.pdf")).out, QStringLiteral("6\n"));

    // The shop's own folder now uses the server; put back on its local book,
    // it refuses to issue numbers the server issues too.
    EXPECT_EQ(Order(shop, QStringLiteral("7.pdf")).out, QStringLiteral("7\n"));
    ASSERT_TRUE(WriteProfileStrings(shop + QStringLiteral("/Config.ini"),
                                    {{QStringLiteral("OrderBook"), QStringLiteral("Connection"), QString()}}));
    const CountToolRun local = Order(shop, QStringLiteral("local.pdf"));
    EXPECT_EQ(local.status, 3);
    EXPECT_TRUE(local.out.isEmpty());
    EXPECT_TRUE(local.err.contains(QStringLiteral("已移到服务器"))) << local.err.toStdString();

    const CountToolRun again = RunCountTool({"orderbook", "copy", "--to", connection, "--program-dir", shop});
    EXPECT_EQ(again.status, 3);
    EXPECT_TRUE(again.err.contains(QStringLiteral("不能再复制"))) << again.err.toStdString();
    EXPECT_EQ(ServerRows(QStringLiteral("SELECT COUNT(*) FROM OrderRecord")), (QList<QStringList>{{"4"}}));

    const CountToolRun status = RunCountTool({"orderbook", "status", "--program-dir", counter});
    EXPECT_EQ(status.status, 0);
    EXPECT_TRUE(status.out.contains(QStringLiteral("连接成功：PostgreSQL"))) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QStringLiteral("共 4 张订单")));
    ASSERT_TRUE(WriteProfileStrings(counter + QStringLiteral("/Config.ini"),
                                    {{QStringLiteral("OrderBook"), QStringLiteral("Connection"), PgServer::Nowhere()}}));
    const CountToolRun nowhere = RunCountTool({"orderbook", "status", "--program-dir", counter});
    EXPECT_EQ(nowhere.status, 3);
    EXPECT_TRUE(nowhere.out.contains(QStringLiteral("订单库无法连接：服务器没有运行"))) << nowhere.out.toStdString();
}

TEST_F(SharedOrderBookTest, AnOlderLayoutIsUpgradedInPlaceAndANewerOneRefused)
{
    const QString name = QStringLiteral("layout");
    {
        const QSqlDatabase db = OpenServer(connection, name, nullptr);
        QSqlQuery q(db);
        // The first shared layout, with one order in it.
        for (const char *text : Statement::OrderBook::Step1)
            ASSERT_TRUE(q.exec(QString::fromLatin1(text)));
        for (const char *text : Statement::OrderBook::Server::Step1)
            ASSERT_TRUE(q.exec(QString::fromLatin1(text)));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO NoteCounter VALUES(41)")));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO OrderRecord(NoteNumber, IssuedAt, IssuedOn, MemberName)"
                                          " VALUES(41, '2026-12-01 09:00:00', '2026-12-01', '老客户')")));

        OrderBook book(db);
        ASSERT_TRUE(book.Upgrade());
        const std::optional<OrderRecordData> old = book.Find(41);
        ASSERT_TRUE(old);
        EXPECT_EQ(old->memberName, QStringLiteral("老客户"));
        EXPECT_EQ(book.IssueNoteNumber(QStringLiteral("c1")), 42);
        const QString version = QString::number(Statement::OrderBook::Version);
        EXPECT_EQ(QueryRows(db, QStringLiteral("SELECT Version FROM OrderBookVersion")), (QList<QStringList>{{version}}));

        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE OrderBookVersion SET Version = %1").arg(Statement::OrderBook::Version + 1)));
        QString error;
        EXPECT_FALSE(OrderBook(db).Upgrade(&error));
        EXPECT_TRUE(error.contains(QStringLiteral("较新版本"))) << error.toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

// The password is not in Config.ini: libpq finds it in its password file.
TEST(SharedOrderBookPassword, ThePasswordComesFromLibpqsOwnFile)
{
    PgServer server(QStringLiteral("s3cret"));
    if (!server.Start())
        GTEST_SKIP() << "no PostgreSQL server: " << server.Problem().toStdString();
    const QString connection = server.NewDatabase();
    ASSERT_FALSE(connection.isEmpty()) << server.Problem().toStdString();
    Sandbox box;
    const QString dir = box.path(QStringLiteral("counter"));
    ASSERT_EQ(RunCountTool({"setup", "--program-dir", dir}).status, 0);
    ASSERT_TRUE(WriteProfileStrings(dir + QStringLiteral("/Config.ini"),
                                    {{QStringLiteral("OrderBook"), QStringLiteral("Connection"), connection}}));

    const QString passFile = box.writeFile(QStringLiteral("pgpass"), "*:*:*:postgres:s3cret\n");
    QFile::setPermissions(passFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qputenv("PGPASSFILE", box.path(QStringLiteral("none")).toLocal8Bit());
    const CountToolRun without = RunCountTool({"orderbook", "status", "--program-dir", dir});
    qputenv("PGPASSFILE", passFile.toLocal8Bit());
    const CountToolRun with = RunCountTool({"orderbook", "status", "--program-dir", dir});
    qunsetenv("PGPASSFILE");
    EXPECT_EQ(without.status, 3);
    EXPECT_TRUE(without.out.contains(QStringLiteral("订单库无法连接：服务器要求密码"))) << without.out.toStdString();
    EXPECT_EQ(with.status, 0) << with.out.toStdString();
    EXPECT_TRUE(with.out.contains(QStringLiteral("连接成功"))) << with.out.toStdString();
}

} // namespace
