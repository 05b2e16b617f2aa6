// store_open_bench [ORDERS...]: what opening the store costs as the order
// book grows. For each count of orders (default 100 and 100,000) a fresh
// store is filled, closed, and opened 50 times warm (the file in the page
// cache, as at every start and every command); the median and slowest open
// are printed, and beside them the full check `kestova-count check` makes.
#include "order_book.h"
#include "photo_store.h"
#include "store_connection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace kestova;

namespace {

bool Fill(const QString &mdb, int orders)
{
    if (!PhotoStore::Create(mdb))
        return false;
    std::unique_ptr<PhotoStore> store = PhotoStore::Open(mdb);
    if (!store)
        return false;
    OrderBook book(StoreConnection::Of(*store));
    QString error;
    if (!book.Upgrade(&error))
        return false;
    QSqlQuery(StoreConnection::Of(*store)).exec(QStringLiteral("PRAGMA synchronous=OFF"));
    for (int n = 1; n <= orders; ++n) {
        OrderRecordData o;
        o.noteNumber = n;
        o.issuedAt = QDateTime(QDate(2026, 1, 1).addDays(n % 365), QTime(9, 0));
        o.memberName = QStringLiteral("客户%1").arg(n % 9973);
        o.service = QStringLiteral("数码冲印（光面）");
        o.areaUnit = AreaUnit::SquareMetre;
        QList<TotalRow> rows;
        for (int i = 0; i < 9; ++i)
            rows.append(TotalRow{QStringLiteral("%1*10.16").arg(10 + i), 1 + n % 7, 0.0155 * (1 + n % 7)});
        rows.append(TotalRow{QStringLiteral("合计"), 9, 0.5});
        o.order = PriceTotals(rows, ServicePrices{o.service, PricingKind::PerSquareMetre, 4500, {}}, LengthUnit::Centimetre);
        if (!book.Record(o))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> counts;
    for (const QString &arg : app.arguments().mid(1))
        counts << arg.toInt();
    if (counts.isEmpty())
        counts = {100, 100000};
    for (const int orders : counts) {
        QTemporaryDir dir;
        const QString mdb = dir.filePath(QStringLiteral("Data.mdb"));
        if (!Fill(mdb, orders)) {
            std::fprintf(stderr, "could not fill a store with %d orders\n", orders);
            return 1;
        }
        QList<double> opens;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer t;
            t.start();
            const bool opened = PhotoStore::Open(mdb) != nullptr;
            opens << t.nsecsElapsed() / 1e6;
            if (!opened)
                return 1;
        }
        std::sort(opens.begin(), opens.end());
        QElapsedTimer t;
        t.start();
        bool opened = false;
        const bool sound = PhotoStore::CheckWhole(mdb, &opened).isEmpty();
        const double check = t.nsecsElapsed() / 1e6;
        std::printf("%7d orders  open median %5.2f ms, slowest %5.2f ms   full check %7.1f ms%s\n", orders,
                    opens[opens.size() / 2], opens.last(), check, sound ? "" : "  (damaged?)");
    }
    return 0;
}
