// Printing against a shared order book whose server goes away: the order is
// refused with the server's reason, nothing is printed or recorded and no
// number is used, and once the server is back the order gets the next number.
#include "modal.h"
#include "order_printing.h"
#include "pdf_text.h"
#include "pg_server.h"
#include "print_job.h"
#include "rpt_print_a4.h"
#include "photo_store.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"
#include "store_connection.h"
#include "tcp_relay.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kestova::test {
namespace {

// A counter with a small count in its store; the server is started for
// each test, as the tests stop it.
class SharedOrderPrinting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.Start())
            GTEST_SKIP() << "no PostgreSQL server: " << server.Problem().toStdString();
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store && PutSmallOrder(*store));
    }

    PgServer server;
    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    Settings settings;
    const QString pdf = sandbox.path(QStringLiteral("order.pdf"));
    PdfPrintTarget target{pdf};
    RecordingDialogs dialogs;
    PrintInfo info;
};

TEST_F(SharedOrderPrinting, AServerLostMidOrderPrintsNothingAndUsesNoNumber)
{
    settings.OrderBookConnection = server.NewDatabase();
    settings.CounterName = QStringLiteral("二号柜台");

    // The server stops while the dialog is open.
    {
        OrderBookSource source(*store, settings);
        OrderPrinting run(source, settings, dialogs, info, target, nullptr);
        AnswerModal<frmRemark>([this](frmRemark &d) {
            EXPECT_TRUE(server.Stop());
            Click(d, "cmdOK");
        });
        run.Print();
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("订单库无法连接："))) << dialogs.messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdf));

    // The next run cannot even read the services: no dialog, the same message.
    OrderBookSource source(*store, settings);
    OrderPrinting run(source, settings, dialogs, info, target, nullptr);
    run.Print();
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("订单库无法连接：")));
    EXPECT_FALSE(QFileInfo::exists(pdf));

    ASSERT_TRUE(server.Start()) << server.Problem().toStdString();
    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdOK"); });
    run.Print();
    EXPECT_EQ(dialogs.messages.size(), 2);
    ASSERT_TRUE(QFileInfo::exists(pdf));
    EXPECT_EQ(OrderPage(PdfWords(pdf), 0).NoteNumber(), QStringLiteral("1"));

    OrderBook *book = source.Book();
    ASSERT_TRUE(book);
    const std::optional<OrderRecordData> recorded = book->Find(1);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->counterName, QStringLiteral("二号柜台"));
    // The counter's own store issued nothing.
    EXPECT_EQ(QueryRows(StoreConnection::Of(*store), QStringLiteral("SELECT COUNT(*) FROM NoteNumber")),
              (QList<QStringList>{{"0"}}));
}

// The server set in the middle of a run: the number the dialog took from
// the local store is not used on the server, where it could be another
// counter's.
TEST_F(SharedOrderPrinting, ANumberFromTheLocalStoreIsNotUsedOnTheServer)
{
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(store->IssueNoteNumber());
    OrderBookSource source(*store, settings);
    OrderPrinting run(source, settings, dialogs, info, target, nullptr);

    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdOK"); });
    run.Print();
    EXPECT_EQ(OrderPage(PdfWords(pdf), 0).NoteNumber(), QStringLiteral("7"));

    settings.OrderBookConnection = server.NewDatabase();
    QFile::remove(pdf);
    AnswerModal<frmRemark>([](frmRemark &d) { Click(d, "cmdOK"); });
    run.Print();
    EXPECT_EQ(OrderPage(PdfWords(pdf), 0).NoteNumber(), QStringLiteral("1"));
    OrderBook *book = source.Book();
    ASSERT_TRUE(book);
    EXPECT_TRUE(book->Find(1));
    EXPECT_FALSE(book->Find(7));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// One order — its prices read, a number issued, the order recorded as
// pending, printed to a PDF and confirmed — in at most six round trips to
// the server, counted by a relay between the program and the server.
TEST_F(SharedOrderPrinting, AnOrderTakesAtMostSixRoundTrips)
{
    const QString direct = server.NewDatabase();
    const QRegularExpressionMatch at = QRegularExpression(QStringLiteral("host=(\\S+) port=(\\d+)")).match(direct);
    ASSERT_TRUE(at.hasMatch());
    TcpRelay relay(QStringLiteral("%1/.s.PGSQL.%2").arg(at.captured(1), at.captured(2)).toStdString());
    ASSERT_TRUE(relay.Start());
    settings.OrderBookConnection = QString(direct).replace(
        at.captured(0), QStringLiteral("host=127.0.0.1 port=%1 sslmode=disable gssencmode=disable").arg(relay.Port()));

    OrderBookSource source(*store, settings);
    const QStringList services = source.ServiceNames(); // as the dialog does, connecting
    ASSERT_FALSE(services.isEmpty());
    info.ServiceName = services.first();
    for (int number = 1; number <= 3; ++number) {
        SCOPED_TRACE(number);
        QFile::remove(pdf);
        const int before = relay.RoundTrips();
        NewOrder order(source);
        const PrintJobResult result =
            order.Print(info, target, dialogs, QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
        EXPECT_LE(relay.RoundTrips() - before, 6);
        EXPECT_TRUE(result.recorded);
        ASSERT_TRUE(QFileInfo::exists(pdf));
        EXPECT_EQ(OrderPage(PdfWords(pdf), 0).NoteNumber(), QString::number(number));
        const std::optional<OrderRecordData> recorded = source.Book()->Find(number);
        ASSERT_TRUE(recorded);
        EXPECT_EQ(recorded->status, OrderStatus::Printed);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

} // namespace
} // namespace kestova::test
