// Copying the local order book onto a server.
#include "order_book_copy.h"

#include "order_book.h"
#include "order_book_statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace kestova {

namespace Sql = Statement::OrderBook;

namespace {

using Rows = QList<QVariantList>;

bool ReadRows(const QSqlDatabase &db, const QString &statement, Rows *rows, QString *error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(statement)) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        rows->append(row);
    }
    return true;
}

// The statement is prepared once for all its rows.
bool InsertRows(QSqlQuery &q, const QString &statement, const Rows &rows)
{
    if (rows.isEmpty())
        return true;
    if (!q.prepare(statement))
        return false;
    for (const QVariantList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            q.bindValue(i, row[i]);
        if (!q.exec())
            return false;
    }
    return true;
}

qint64 FirstNumber(const QSqlDatabase &db, const QString &statement, bool *ok)
{
    QSqlQuery q(db);
    *ok = q.exec(statement);
    return *ok && q.next() ? q.value(0).toLongLong() : 0;
}

} // namespace

bool CopyOrderBook(const QSqlDatabase &local, const QSqlDatabase &server, CopyCounts *counts, QString *error)
{
    OrderBook localBook(local);
    OrderBook serverBook(server);
    if (!localBook.Upgrade(error) || !serverBook.Upgrade(error))
        return false;

    Rows services, kinds, sizes, orders, lines;
    if (!ReadRows(local, Sql::SelectServiceRows, &services, error) || !ReadRows(local, Sql::SelectAllPriceKinds, &kinds, error)
        || !ReadRows(local, Sql::SelectAllSizePrices, &sizes, error) || !ReadRows(local, Sql::SelectAllOrders, &orders, error)
        || !ReadRows(local, Sql::SelectAllOrderLines, &lines, error))
        return false;
    bool ok = false;
    qint64 last = FirstNumber(local, Sql::SelectHighestNoteNumber, &ok);
    if (!ok) {
        *error = QStringLiteral("本机单号读取失败");
        return false;
    }
    last = std::max(last, FirstNumber(local, Sql::SelectNoteSequence, &ok));

    QSqlDatabase db = server;
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    const auto exec = [&q](const QString &text, const QVariantList &values = {}) {
        return ExecStatement(q, text, values);
    };
    // Locking the counter row first: no counter can issue a number while
    // the copy looks and writes.
    bool done = exec(Sql::Server::SetCounter + QStringLiteral(" WHERE LastNumber = 0"), {0});
    const qint64 issued = done ? FirstNumber(db, Sql::Server::SelectCounter, &done) : 0;
    const qint64 held = done ? FirstNumber(db, Sql::Server::CountOrders, &done) : 0;
    if (done && (held > 0 || issued > 0)) {
        db.rollback();
        *error = held > 0 ? QStringLiteral("服务器上的订单库已有 %1 张订单，不能再复制").arg(held)
                          : QStringLiteral("服务器上的订单库已发出过单号（到 %1），不能再复制").arg(issued);
        return false;
    }
    done = done && exec(Sql::Server::DeleteServiceNames) && exec(Sql::Server::DeletePriceKinds)
        && exec(Sql::Server::DeleteAllSizePrices);
    done = done && InsertRows(q, Sql::InsertServiceRow, services) && InsertRows(q, Sql::InsertPriceKind, kinds)
        && InsertRows(q, Sql::InsertSizePrice, sizes) && InsertRows(q, Sql::InsertOrder, orders)
        && InsertRows(q, Sql::InsertOrderLine, lines);
    done = done && exec(Sql::Server::SetCounter, {last});
    if (done && db.commit()) {
        counts->services = services.size();
        counts->prices = kinds.size() + sizes.size();
        counts->orders = orders.size();
        counts->lastNoteNumber = last;
        return true;
    }
    *error = q.lastError().text().isEmpty() ? db.lastError().text() : q.lastError().text();
    db.rollback();
    return false;
}

} // namespace kestova
