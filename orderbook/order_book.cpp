// The order book.
#include "order_book.h"

#include "clock.h"
#include "numbers.h"
#include "order_book_statements.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

namespace kestova {

namespace Sql = Statement::OrderBook;

namespace {

const QString TotalRowKey = QStringLiteral("合计");
const QString DayFormat = QStringLiteral("yyyy-MM-dd");

std::optional<qint64> OptionalFen(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

QVariant FenValue(const std::optional<qint64> &fen)
{
    return fen ? QVariant(*fen) : QVariant(QMetaType(QMetaType::LongLong));
}

bool Fail(const QSqlQuery &q, QString *error)
{
    if (error)
        *error = q.lastError().text();
    return false;
}

const QString Pending = QStringLiteral("pending");
const QString Voided = QStringLiteral("void");

QVariant StatusValue(OrderStatus status)
{
    switch (status) {
    case OrderStatus::Pending: return Pending;
    case OrderStatus::Voided: return Voided;
    case OrderStatus::Printed: break;
    }
    return QVariant(QMetaType(QMetaType::QString));
}

OrderStatus StatusOf(const QVariant &value)
{
    const QString text = value.toString();
    return text == Pending ? OrderStatus::Pending : text == Voided ? OrderStatus::Voided : OrderStatus::Printed;
}

} // namespace

QString StatusText(OrderStatus status)
{
    switch (status) {
    case OrderStatus::Pending: return QStringLiteral("待确认");
    case OrderStatus::Voided: return QStringLiteral("作废");
    case OrderStatus::Printed: break;
    }
    return {};
}

static bool OnServer(const QSqlDriver *driver)
{
    return driver && driver->dbmsType() == QSqlDriver::PostgreSQL;
}

// The statement with each "?" outside quotes replaced by its value, quoted by
// the driver itself.
static QString Inlined(const QSqlDriver *driver, const QString &text, const QVariantList &values)
{
    QString out;
    out.reserve(text.size() + 16 * values.size());
    qsizetype next = 0;
    QChar quote;
    for (const QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?' && next < values.size()) {
            const QVariant &value = values[next++];
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            out += driver->formatValue(field);
            continue;
        }
        out += c;
    }
    return out;
}

bool ExecStatement(QSqlQuery &q, const QString &text, const QVariantList &values)
{
    if (values.isEmpty())
        return q.exec(text);
    // A prepared statement costs a server three round trips (prepare,
    // execute, and the deallocation when the query is done with); written
    // out as one simple query it costs one.
    if (OnServer(q.driver()))
        return q.exec(Inlined(q.driver(), text, values));
    bool done = q.prepare(text);
    for (const QVariant &v : values)
        q.addBindValue(v);
    return done && q.exec();
}

std::optional<qint64> PricedOrder::TotalAmount() const
{
    return lines.isEmpty() ? std::nullopt : lines.last().amount;
}

PricedOrder PriceTotals(const QList<TotalRow> &rows, const ServicePrices &prices, LengthUnit unit)
{
    PricedOrder order;
    qint64 sum = 0;
    bool complete = true;
    bool anySize = false;
    const auto refuse = [&order](PricedOrder::Refusal why, const QString &size) {
        if (order.refusal == PricedOrder::Refusal::None) {
            order.refusal = why;
            order.refusedSize = size;
        }
    };
    for (const TotalRow &row : rows) {
        PricedLine line{row.PhotoSize, row.PhotoAmount, row.PhotoArea, std::nullopt, std::nullopt};
        if (row.PhotoSize.trimmed() == TotalRowKey) {
            if (complete && anySize) {
                line.amount = sum;
                if (sum > MaxAmountFen)
                    refuse(PricedOrder::Refusal::AmountTooLarge, row.PhotoSize);
            }
            order.lines.append(line);
            continue;
        }
        anySize = true;
        if (!PrintableSize(row.PhotoSize, unit))
            refuse(PricedOrder::Refusal::UnprintableSize, row.PhotoSize);
        const qint64 count = row.PhotoAmount.toLongLong();
        if (prices.kind == PricingKind::PerPhoto && prices.perPhoto.contains(row.PhotoSize)) {
            line.price = prices.perPhoto.value(row.PhotoSize);
            line.amount = PhotoAmountFen(count, *line.price);
            if (!line.amount)
                refuse(PricedOrder::Refusal::AmountTooLarge, row.PhotoSize);
        } else if (prices.kind == PricingKind::PerSquareMetre && PrintableSize(row.PhotoSize, unit)) {
            line.price = prices.perSquareMetre;
            line.amount = SizeAmountFen(row.PhotoSize, unit, count, prices.perSquareMetre);
            if (!line.amount)
                refuse(PricedOrder::Refusal::AmountTooLarge, row.PhotoSize);
        }
        // Each row is at most MaxAmountFen: the sum cannot overflow.
        if (line.amount)
            sum += *line.amount;
        else
            complete = false;
        order.lines.append(line);
    }
    return order;
}

OrderBook::OrderBook(const QSqlDatabase &db)
    : m_db(db)
{
}

bool OrderBook::Run(const QList<std::pair<QString, QVariantList>> &statements, QString *error)
{
    if (Shared() && !statements.isEmpty()) {
        // One round trip: the server runs the statements of one query
        // string as one transaction, all or nothing, and stops at the
        // first that fails.
        QStringList batch;
        for (const auto &[text, values] : statements)
            batch << Inlined(m_db.driver(), text, values);
        // The driver judges a query string by its first statement's result:
        // every later result is read too, or a batch cut off by a failing
        // statement or a lost server would pass for done.
        QSqlQuery q(m_db);
        bool done = q.exec(batch.join(QStringLiteral(";\n")));
        while (done && q.nextResult()) {
        }
        return (done && !q.lastError().isValid()) || Fail(q, error);
    }
    if (!m_db.transaction()) {
        if (error)
            *error = m_db.lastError().text();
        return false;
    }
    for (const auto &[text, values] : statements) {
        // Each statement is prepared once per connection.
        auto prepared = m_prepared.find(text);
        if (prepared == m_prepared.end()) {
            QSqlQuery q(m_db);
            if (!q.prepare(text)) {
                Fail(q, error);
                m_db.rollback();
                return false;
            }
            prepared = m_prepared.insert(text, q);
        }
        QSqlQuery &q = *prepared;
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
        bool done = q.exec();
        if (!done) {
            Fail(q, error);
            m_db.rollback();
            return false;
        }
    }
    if (m_db.commit())
        return true;
    if (error)
        *error = m_db.lastError().text();
    m_db.rollback();
    return false;
}

bool OrderBook::Shared() const
{
    return m_db.driverName() == QLatin1String("QPSQL");
}

int OrderBook::StoredVersion(bool *ok) const
{
    if (Shared()) {
        // In whatever schema the connection's search_path names.
        QSqlQuery q(m_db);
        *ok = q.exec(Sql::Server::SelectLayoutTables) && q.next();
        if (!*ok)
            return 0;
        if (!q.value(0).toBool())
            return q.value(1).toBool() ? 1 : 0;
        *ok = q.exec(Sql::SelectVersion) && q.next();
        return *ok ? q.value(0).toInt() : 0;
    }
    const QStringList tables = m_db.tables();
    const auto has = [&tables](const char *name) {
        return tables.contains(QLatin1String(name), Qt::CaseInsensitive);
    };
    *ok = true;
    if (!has("OrderBookVersion"))
        return has("OrderRecord") ? 1 : 0;
    QSqlQuery q(m_db);
    *ok = q.exec(Sql::SelectVersion) && q.next();
    return *ok ? q.value(0).toInt() : 0;
}

bool OrderBook::Upgrade(QString *error)
{
    bool ok = false;
    if (StoredVersion(&ok) == Sql::Version && ok)
        return true;
    if (!m_db.transaction()) {
        if (error)
            *error = m_db.lastError().text();
        return false;
    }
    QSqlQuery q(m_db);
    const auto exec = [&q](const QString &text, const QVariantList &values = {}) {
        return ExecStatement(q, text, values);
    };
    bool done = !Shared() || exec(Sql::Server::LockLayout);
    const int version = done ? StoredVersion(&done) : 0;
    if (done && version > Sql::Version) {
        m_db.rollback();
        if (error)
            *error = QStringLiteral("订单库由较新版本的程序建立（版本 %1），请先升级本程序").arg(version);
        return false;
    }
    if (done && version < 1) {
        for (const char *text : Sql::Step1)
            done = done && exec(QString::fromLatin1(text));
        if (Shared()) {
            for (const char *text : Sql::Server::Step1)
                done = done && exec(QString::fromLatin1(text));
            done = done && exec(Sql::Server::InsertCounter);
            const QStringList starters = StarterServiceNames();
            for (int i = 0; done && i < starters.size(); ++i)
                done = exec(Sql::InsertServiceRow, {i + 1, starters[i]});
        }
    }
    if (done && version < 2) {
        for (const char *text : Sql::Step2)
            done = done && exec(QString::fromLatin1(text));
    }
    if (done && version < 3) {
        for (const char *text : Sql::Step3)
            done = done && exec(QString::fromLatin1(text));
    }
    if (done && version < 4 && Shared()) {
        for (const char *text : Sql::Server::Step4)
            done = done && exec(QString::fromLatin1(text));
    }
    done = done && exec(Sql::UpdateVersion, {Sql::Version});
    if (done && m_db.commit())
        return true;
    if (error)
        *error = q.lastError().text().isEmpty() ? m_db.lastError().text() : q.lastError().text();
    m_db.rollback();
    return false;
}

QStringList OrderBook::ServiceNames(bool *ok) const
{
    QStringList names;
    QSqlQuery q(m_db);
    const bool done = q.exec(Sql::SelectServiceNames);
    while (done && q.next())
        names << q.value(0).toString();
    if (ok)
        *ok = done;
    return names;
}

std::optional<qint64> OrderBook::IssueNoteNumber(const QString &counterName, QString *error)
{
    QSqlQuery q(m_db);
    if (ExecStatement(q, Sql::Server::IssueNumber, {counterName}) && q.next())
        return q.value(0).toLongLong();
    if (error)
        *error = q.lastError().text();
    return std::nullopt;
}

QList<ServicePrices> OrderBook::Prices(bool *ok) const
{
    QList<ServicePrices> list;
    QSqlQuery q(m_db);
    bool done = q.exec(Sql::SelectPriceKinds);
    QStringList services;
    while (done && q.next())
        services << q.value(0).toString();
    for (const QString &service : std::as_const(services)) {
        bool one = false;
        list.append(PricesOf(service, &one));
        done = done && one;
    }
    if (ok)
        *ok = done;
    return list;
}

ServicePrices OrderBook::PricesOf(const QString &service, bool *ok) const
{
    ServicePrices prices;
    prices.service = service;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    const bool done = ExecStatement(q, Sql::SelectServicePrices, {service});
    QMap<QString, qint64> sizes;
    std::optional<qint64> perSquareMetre;
    while (done && q.next()) {
        if (!q.value(0).isNull())
            perSquareMetre = q.value(0).toLongLong();
        if (!q.value(1).isNull())
            sizes.insert(q.value(1).toString(), q.value(2).toLongLong());
    }
    if (perSquareMetre) {
        prices.kind = PricingKind::PerSquareMetre;
        prices.perSquareMetre = *perSquareMetre;
    } else if (!sizes.isEmpty()) {
        prices.kind = PricingKind::PerPhoto;
        prices.perPhoto = sizes;
    }
    if (ok)
        *ok = done;
    return prices;
}

bool OrderBook::ServiceExists(const QString &service, QString *error) const
{
    QSqlQuery q(m_db);
    bool done = q.prepare(Sql::CountService);
    q.addBindValue(service);
    if (!(done && q.exec() && q.next()))
        return Fail(q, error);
    if (q.value(0).toLongLong() > 0)
        return true;
    if (error)
        *error = QStringLiteral("没有这项服务：%1").arg(service);
    return false;
}

bool OrderBook::SetPerSquareMetre(const QString &service, qint64 fen, QString *error)
{
    if (!ServiceExists(service, error))
        return false;
    return Run({{Sql::DeleteSizePrices, {service}},
                {Sql::DeletePriceKind, {service}},
                {Sql::InsertPriceKind, {service, fen}}},
               error);
}

bool OrderBook::SetSizePrice(const QString &service, const QString &size, qint64 fen, QString *error)
{
    if (!ServiceExists(service, error))
        return false;
    return Run({{Sql::DeletePriceKind, {service}},
                {Sql::DeleteSizePrice, {service, size}},
                {Sql::InsertSizePrice, {service, size, fen}}},
               error);
}

bool OrderBook::RemoveSizePrice(const QString &service, const QString &size, QString *error)
{
    return Run({{Sql::DeleteSizePrice, {service, size}}}, error);
}

bool OrderBook::SavePrices(const QList<ServicePrices> &prices, QString *error)
{
    QList<std::pair<QString, QVariantList>> statements;
    for (const ServicePrices &p : prices) {
        statements.append({Sql::DeleteSizePrices, {p.service}});
        statements.append({Sql::DeletePriceKind, {p.service}});
        if (p.kind == PricingKind::PerSquareMetre)
            statements.append({Sql::InsertPriceKind, {p.service, p.perSquareMetre}});
        if (p.kind == PricingKind::PerPhoto) {
            for (auto it = p.perPhoto.cbegin(); it != p.perPhoto.cend(); ++it)
                statements.append({Sql::InsertSizePrice, {p.service, it.key(), it.value()}});
        }
    }
    return Run(statements, error);
}

bool OrderBook::Record(const OrderRecordData &order, QString *error)
{
    const PricedLine total = order.order.lines.isEmpty() ? PricedLine{} : order.order.lines.last();
    QList<std::pair<QString, QVariantList>> statements;
    if (order.status == OrderStatus::Pending) {
        statements.append({Sql::DeletePendingOrderLines, {order.noteNumber, order.noteNumber}});
        statements.append({Sql::DeletePendingOrder, {order.noteNumber}});
    }
    statements.append({Sql::InsertOrder,
                       {order.noteNumber, order.issuedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                        order.issuedAt.date().toString(DayFormat), order.memberName, order.remark, order.service,
                        order.append, order.folder, UnitText(order.sizeUnit), UnitText(order.areaUnit), total.count,
                        total.area, FenValue(order.order.TotalAmount()), order.counterName,
                        StatusValue(order.status)}});
    int lineNo = 0;
    for (const PricedLine &line : order.order.lines) {
        statements.append({Sql::InsertOrderLine,
                           {order.noteNumber, ++lineNo, line.size, line.count, line.area, FenValue(line.price),
                            FenValue(line.amount)}});
    }
    return Run(statements, error);
}

bool OrderBook::SetStatus(qint64 noteNumber, OrderStatus status, QString *error)
{
    QSqlQuery q(m_db);
    if (!ExecStatement(q, Sql::SetOrderStatus, {StatusValue(status), noteNumber}))
        return Fail(q, error);
    if (q.numRowsAffected() == 1)
        return true;
    if (error)
        *error = QStringLiteral("单号 %1 没有待确认的订单").arg(noteNumber);
    return false;
}

bool OrderBook::RemovePending(qint64 noteNumber, QString *error)
{
    return Run({{Sql::DeletePendingOrderLines, {noteNumber, noteNumber}}, {Sql::DeletePendingOrder, {noteNumber}}},
               error);
}

std::optional<QString> OrderBook::MovedTo() const
{
    QSqlQuery q(m_db);
    if (!q.exec(Sql::MovedMarkExists) || !q.next() || q.value(0).toLongLong() == 0)
        return std::nullopt;
    if (q.exec(Sql::SelectMovedMark) && q.next())
        return q.value(0).toString();
    return QString();
}

bool OrderBook::MarkMoved(const QString &connection, QString *error)
{
    QSqlQuery q(m_db);
    if (!q.exec(Sql::CreateMovedMark))
        return Fail(q, error);
    return Run({{Sql::InsertMovedMark,
                 {connection, Now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}}},
               error);
}

QStringList OrderBook::ServerProblems(QStringList *warnings) const
{
    QStringList problems;
    QSqlQuery q(m_db);
    if (!q.exec(Sql::Server::SelectRights) || !q.next())
        return {QStringLiteral("无法读取权限：") + q.lastError().text()};
    if (!q.value(0).toBool())
        problems << QStringLiteral("这个用户不能开单号（NoteCounter、NoteNumber 没有写权限）");
    if (!q.value(1).toBool())
        problems << QStringLiteral("这个用户不能记录订单（OrderRecord、OrderLine 没有写权限）");
    if (q.exec(Sql::Server::SelectCounterAndHighest) && q.next() && !q.value(1).isNull()
        && q.value(1).toLongLong() > q.value(0).toLongLong()) {
        *warnings << QStringLiteral("单号计数器（%1）落后于已记录的最大单号（%2），像是恢复了较旧的备份："
                                   "下一张订单会从 %3 开始；若纸上已有更大的单号，请在服务器上执行 "
                                   "UPDATE NoteCounter SET LastNumber = 纸上最大的单号")
                        .arg(q.value(0).toLongLong())
                        .arg(q.value(1).toLongLong())
                        .arg(q.value(1).toLongLong() + 1);
    }
    return problems;
}

bool OrderBook::ReturnNoteNumber(qint64 noteNumber)
{
    if (!m_db.transaction())
        return false;
    QSqlQuery q(m_db);
    bool done = ExecStatement(q, Sql::Server::LowerCounter, {noteNumber}) && q.numRowsAffected() == 1;
    done = done && ExecStatement(q, Sql::Server::DeleteNoteNumber, {noteNumber});
    if (done && m_db.commit())
        return true;
    m_db.rollback();
    return false;
}

std::optional<OrderRecordData> OrderBook::Find(qint64 noteNumber, bool *ok) const
{
    QSqlQuery q(m_db);
    bool done = q.prepare(Sql::SelectOrder);
    q.addBindValue(noteNumber);
    done = done && q.exec();
    if (ok)
        *ok = done;
    if (!done || !q.next())
        return std::nullopt;
    OrderRecordData order;
    order.noteNumber = q.value(0).toLongLong();
    order.issuedAt = QDateTime::fromString(q.value(1).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    order.memberName = q.value(2).toString();
    order.remark = q.value(3).toString();
    order.service = q.value(4).toString();
    order.append = q.value(5).toString();
    order.folder = q.value(6).toString();
    order.sizeUnit = LengthUnitFromText(q.value(7).toString());
    order.areaUnit = AreaUnitFromText(q.value(8).toString());
    order.counterName = q.value(12).toString();
    order.status = StatusOf(q.value(13));

    QSqlQuery lines(m_db);
    done = lines.prepare(Sql::SelectOrderLines);
    lines.addBindValue(noteNumber);
    done = done && lines.exec();
    while (done && lines.next()) {
        order.order.lines.append(PricedLine{lines.value(0).toString(), lines.value(1), lines.value(2),
                                            OptionalFen(lines.value(3)), OptionalFen(lines.value(4))});
    }
    if (ok)
        *ok = done;
    return order;
}

QList<OrderListEntry> OrderBook::Search(const OrderSearch &search, bool *ok) const
{
    QList<OrderListEntry> list;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    bool done = q.prepare(Sql::SearchOrders);
    // "!" escapes the customer text's own wildcards in LIKE.
    QString pattern = search.customer;
    pattern.replace(u'!', QStringLiteral("!!")).replace(u'%', QStringLiteral("!%")).replace(u'_', QStringLiteral("!_"));
    q.addBindValue(search.from ? 1 : 0);
    q.addBindValue(search.from ? search.from->toString(DayFormat) : QString());
    q.addBindValue(search.to ? 1 : 0);
    q.addBindValue(search.to ? search.to->toString(DayFormat) : QString());
    q.addBindValue(search.customer.isEmpty() ? 0 : 1);
    q.addBindValue(u'%' + pattern + u'%');
    q.addBindValue(search.noteNumber ? 1 : 0);
    q.addBindValue(search.noteNumber ? *search.noteNumber : 0);
    done = done && q.exec();
    while (done && q.next()) {
        list.append(OrderListEntry{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                                   q.value(3).toString(), q.value(4), q.value(5), OptionalFen(q.value(6)),
                                   q.value(7).toString(), StatusOf(q.value(8))});
    }
    if (ok)
        *ok = done;
    return list;
}

QList<DaySummary> OrderBook::Daily(const QDate &from, const QDate &to, bool *ok) const
{
    QList<DaySummary> days;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    bool done = q.prepare(Sql::DailySummary);
    q.addBindValue(from.toString(DayFormat));
    q.addBindValue(to.toString(DayFormat));
    done = done && q.exec();
    DaySummary total;
    total.day = TotalRowKey;
    while (done && q.next()) {
        const DaySummary day{q.value(0).toString(), q.value(1).toLongLong(), q.value(2).toLongLong(),
                             q.value(3).toDouble(), q.value(4).toLongLong(), q.value(5).toLongLong(),
                             q.value(6).toLongLong()};
        total.orders += day.orders;
        total.photos += day.photos;
        total.squareMetres += day.squareMetres;
        total.amount += day.amount;
        total.ordersWithoutAmount += day.ordersWithoutAmount;
        total.pending += day.pending;
        days.append(day);
    }
    days.append(total);
    if (ok)
        *ok = done;
    return days;
}

} // namespace kestova
