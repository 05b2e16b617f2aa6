// A counter printing orders as fast as it can, for the tests of the shared
// order book: N times a note number from the server, then the order under it.
//   order_book_worker CONNINFO COUNTER N
// Order i holds 1 + i % 7 photos at 0.80 yuan. Exit status 0 when every
// number was issued and every order recorded.
#include "clock.h"
#include "order_book.h"
#include "order_book_source.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

using namespace kestova;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    QString error;
    const QSqlDatabase db = OpenServer(args[1], QStringLiteral("worker"), &error);
    OrderBook book(db);
    if (!db.isValid() || !book.Upgrade(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const int orders = args[3].toInt();
    for (int i = 0; i < orders; ++i) {
        const std::optional<qint64> number = book.IssueNoteNumber(args[2], &error);
        if (!number) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const qint64 photos = 1 + i % 7;
        OrderRecordData order;
        order.noteNumber = *number;
        order.issuedAt = Now();
        order.memberName = QStringLiteral("%1-%2").arg(args[2]).arg(i);
        order.service = QStringLiteral("数码冲印（光面）");
        order.sizeUnit = LengthUnit::Centimetre;
        order.areaUnit = AreaUnit::SquareMetre;
        order.counterName = args[2];
        order.order.lines = {PricedLine{QStringLiteral("15.24*10.16"), photos, 0.0155 * photos, 80, 80 * photos},
                             PricedLine{QStringLiteral("合计"), photos, 0.0155 * photos, std::nullopt, 80 * photos}};
        if (!book.Record(order, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}
