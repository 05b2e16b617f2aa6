// order_book_bench [ORDERS]: fills a fresh store with ORDERS recorded orders
// (default 100,000) of ten rows each over one year, then times a search by
// customer text, a search by note number and a year's daily summary.
#include "order_book.h"
#include "photo_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestova;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int orders = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString mdb = dir.filePath(QStringLiteral("Data.mdb"));
    if (!PhotoStore::Create(mdb))
        return 1;
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(mdb);
    OrderBook book(store->database());
    if (!store || !book.Upgrade())
        return 1;

    const QStringList surnames = {"张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
    QElapsedTimer clock;
    clock.start();
    // Only the fill skips waiting for the disk; each order is still its own
    // transaction, as at the counter.
    QSqlQuery(store->database()).exec(QStringLiteral("PRAGMA synchronous=OFF"));
    for (int n = 1; n <= orders; ++n) {
        OrderRecordData o;
        o.noteNumber = n;
        o.issuedAt = QDateTime(QDate(2026, 1, 1).addDays(n * 365 / orders), QTime(9, 0).addSecs(n % 36000));
        o.memberName = surnames[n % surnames.size()] + QString::number(n % 9973);
        o.service = QStringLiteral("数码冲印（光面）");
        o.areaUnit = QStringLiteral("m2");
        QList<TotalRow> rows;
        for (int i = 0; i < 9; ++i)
            rows.append(TotalRow{QStringLiteral("%1*10.16").arg(10 + i), 1 + n % 7, 0.0155 * (1 + n % 7)});
        rows.append(TotalRow{QStringLiteral("合计"), 9, 0.5});
        ServicePrices prices{o.service, PricingKind::PerSquareMetre, 4500, {}};
        o.order = PriceTotals(rows, prices, false);
        if (!book.Record(o))
            return 1;
    }
    std::printf("filled %d orders in %lld ms\n", orders, static_cast<long long>(clock.elapsed()));

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
