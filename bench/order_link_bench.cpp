// order_link_bench [DELAY_MS] [ORDERS]: one order at a counter whose shared
// order book is across a slow link. Starts a PostgreSQL server of its own,
// puts a relay in front of it that holds every piece of data DELAY_MS
// (default 20) each way, and prints ORDERS orders (default 20) to a PDF as
// the counter does: prices read, a number issued, the order recorded,
// printed and confirmed. Reports the time and the round trips per order.
#include "dialogs.h"
#include "order_book_source.h"
#include "pg_server.h"
#include "photo_store.h"
#include "print_job.h"
#include "print_target.h"
#include "settings.h"
#include "store_connection.h"
#include "tcp_relay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace kestova;

namespace {

class QuietDialogs final : public Dialogs
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &, MessageIcon, MessageButtons) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return MessageAnswer::Ok;
    }
    QString GetOpenFileName(const FileDialogRequest &) override { return {}; }
    QString GetSaveFileName(const FileDialogRequest &) override { return {}; }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int delay = args.size() > 0 ? args[0].toInt() : 20;
    const int orders = std::max(1, args.size() > 1 ? args[1].toInt() : 20);

    test::PgServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", qPrintable(server.Problem()));
        return 1;
    }
    const QString direct = server.NewDatabase();
    const QRegularExpressionMatch at = QRegularExpression(QStringLiteral("host=(\\S+) port=(\\d+)")).match(direct);
    test::TcpRelay relay(QStringLiteral("%1/.s.PGSQL.%2").arg(at.captured(1), at.captured(2)).toStdString(), delay);
    if (!at.hasMatch() || !relay.Start())
        return 1;

    QTemporaryDir dir;
    const QString mdb = dir.filePath(QStringLiteral("Data.mdb"));
    std::unique_ptr<PhotoStore> store = PhotoStore::Create(mdb) ? PhotoStore::Open(mdb) : nullptr;
    if (!store
        || !QSqlQuery(StoreConnection::Of(*store))
                .exec(QStringLiteral("INSERT INTO PhotoTotal VALUES('15.24*10.16',3,0.05)"))
        || !store->InsertGrandTotal(2)
        || !store->BeginCount({QStringLiteral("/照片/客户"), QDateTime::currentDateTime(), LengthUnit::Centimetre,
                               AreaUnit::SquareMetre, 2, 4, false})
        || !store->CompleteCount())
        return 1;

    Settings settings;
    settings.CounterName = QStringLiteral("bench");
    settings.OrderBookConnection = QString(direct).replace(
        at.captured(0), QStringLiteral("host=127.0.0.1 port=%1 sslmode=disable gssencmode=disable").arg(relay.Port()));
    OrderBookSource source(*store, settings);
    QElapsedTimer clock;
    clock.start();
    const QStringList services = source.ServiceNames();
    if (services.isEmpty() || !source.Book()->SetPerSquareMetre(services.first(), 3500))
        return 1;
    std::printf("connected, order book laid out, a price set: %lld ms\n", static_cast<long long>(clock.elapsed()));

    PrintInfo info;
    info.ServiceName = services.first();
    info.MemberName = QStringLiteral("王五");
    QuietDialogs dialogs;
    QList<double> costs;
    QList<int> trips;
    for (int i = 0; i < orders; ++i) {
        PdfPrintTarget target(dir.filePath(QStringLiteral("order.pdf")));
        const int before = relay.RoundTrips();
        QElapsedTimer t;
        t.start();
        NewOrder order(source);
        if (!order.Print(info, target, dialogs, QDateTime::currentDateTime()).recorded)
            return 1;
        costs << t.nsecsElapsed() / 1e6;
        trips << relay.RoundTrips() - before;
    }
    std::sort(costs.begin(), costs.end());
    std::sort(trips.begin(), trips.end());
    std::printf("one order over %d ms each way: median %.1f ms, slowest %.1f ms, %d to %d round trips  (%d orders)\n",
                delay, costs[costs.size() / 2], costs.last(), trips.first(), trips.last(), orders);
    return 0;
}
