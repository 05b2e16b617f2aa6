// order_book_bench [ORDERS] [--server CONNINFO]: fills a fresh store (or the
// empty shared order book on the server CONNINFO names) with ORDERS recorded
// orders (default 100,000) of ten rows each over one year, then times a
// search by customer text, a search by note number and a year's daily
// summary; on a server also what one order costs at the counter: a note
// number issued and the order recorded, each its own transaction.
#include "order_book.h"
#include "order_book_source.h"
#include "photo_store.h"
#include "store_connection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace kestova;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString server;
    if (const qsizetype at = args.indexOf(QStringLiteral("--server")); at >= 0 && at + 1 < args.size()) {
        server = args.takeAt(at + 1);
        args.removeAt(at);
    }
    const int orders = args.isEmpty() ? 100000 : args[0].toInt();
    QTemporaryDir dir;
    const QString mdb = dir.filePath(QStringLiteral("Data.mdb"));
    if (!PhotoStore::Create(mdb))
        return 1;
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(mdb);
    QString error;
    const QSqlDatabase db =
        server.isEmpty() ? StoreConnection::Of(*store) : OpenServer(server, QStringLiteral("bench"), &error);
    OrderBook book(db);
    if (!store || !db.isValid() || !book.Upgrade(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    const QStringList surnames = {"张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
    QElapsedTimer clock;
    clock.start();
    // Only the fill skips waiting for the disk; each order is still its own
    // transaction, as at the counter.
    if (server.isEmpty())
        QSqlQuery(StoreConnection::Of(*store)).exec(QStringLiteral("PRAGMA synchronous=OFF"));
    else
        QSqlQuery(db).exec(QStringLiteral("SET synchronous_commit = off"));
    const auto order = [&](qint64 n) {
        OrderRecordData o;
        o.noteNumber = n;
        o.issuedAt = QDateTime(QDate(2026, 1, 1).addDays(n * 365 / orders), QTime(9, 0).addSecs(n % 36000));
        o.memberName = surnames[n % surnames.size()] + QString::number(n % 9973);
        o.service = QStringLiteral("数码冲印（光面）");
        o.areaUnit = AreaUnit::SquareMetre;
        QList<TotalRow> rows;
        for (int i = 0; i < 9; ++i)
            rows.append(TotalRow{QStringLiteral("%1*10.16").arg(10 + i), 1 + n % 7, 0.0155 * (1 + n % 7)});
        rows.append(TotalRow{QStringLiteral("合计"), 9, 0.5});
        ServicePrices prices{o.service, PricingKind::PerSquareMetre, 4500, {}};
        o.order = PriceTotals(rows, prices, LengthUnit::Centimetre);
        o.counterName = QStringLiteral("bench");
        return o;
    };
    for (int n = 1; n <= orders; ++n) {
        if (!book.Record(order(n)))
            return 1;
    }
    std::printf("filled %d orders in %lld ms\n", orders, static_cast<long long>(clock.elapsed()));

    if (!server.isEmpty()) {
        // At the counter: every commit waits for the server's disk again.
        QSqlQuery(db).exec(QStringLiteral("SET synchronous_commit = on"));
        QSqlQuery(db).exec(QStringLiteral("UPDATE NoteCounter SET LastNumber = %1").arg(orders));
        QList<double> costs;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            const std::optional<qint64> number = book.IssueNoteNumber(QStringLiteral("bench"), &error);
            if (!number || !book.Record(order(*number), &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            costs << t.nsecsElapsed() / 1e6;
        }
        std::sort(costs.begin(), costs.end());
        std::printf("note number + order recorded  median %.1f ms, slowest %.1f ms  (200 orders)\n", costs[100],
                    costs.last());
    }

    const auto time = [](const char *what, const auto &run) {
        QElapsedTimer t;
        t.start();
        const qsizetype found = run();
        std::printf("%-28s %6.1f ms  (%lld rows)\n", what, t.nsecsElapsed() / 1e6, static_cast<long long>(found));
    };
    time("search by customer text", [&] { return book.Search({std::nullopt, std::nullopt, QStringLiteral("张12")}).size(); });
    time("search by note number", [&] { return book.Search({std::nullopt, std::nullopt, {}, orders / 2}).size(); });
    time("find one order", [&] { return book.Find(orders / 3)->order.lines.size(); });
    time("daily summary of a year", [&] { return book.Daily(QDate(2026, 1, 1), QDate(2026, 12, 31)).size(); });
    return 0;
}
