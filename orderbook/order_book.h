// The order book: the shop's prices per service, the amounts they give an
// order, and every order that reached the printer or a PDF. It is kept in the
// photo store next to the last count, or shared by several counters on a
// PostgreSQL server (see order_book_source.h); the statements are the same.
//
// A service is priced one of two ways: one price per square metre for every
// size (posters), or a price per photo for each print size, keyed by the size
// text as the count writes it ("15.24*10.16"). Money is in fen.
#pragma once

#include "numbers.h"
#include "photo_store.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>

namespace kestova {

enum class PricingKind { None, PerPhoto, PerSquareMetre };

struct ServicePrices {
    QString service;
    PricingKind kind = PricingKind::None;
    qint64 perSquareMetre = 0;        // fen, for PerSquareMetre
    QMap<QString, qint64> perPhoto;   // size text → fen, for PerPhoto
};

// One row of an order: a size row, or the total row "合计" last.
struct PricedLine {
    QString size;
    QVariant count;                  // null in an empty total row
    QVariant area;
    std::optional<qint64> price;     // per photo or per m², fen
    std::optional<qint64> amount;    // fen; none without a price
};

// The totals of a count with their amounts. The total row's amount is the
// sum of the size rows' amounts, and none at all when any size row has no
// price: a partial sum is never shown as the total.
struct PricedOrder {
    QList<PricedLine> lines; // the size rows, then "合计"
    std::optional<qint64> TotalAmount() const;

    // Why the order cannot be printed, when it cannot: a size no printer
    // makes, or an amount beyond MaxAmountFen (of `refusedSize`'s row, or of
    // "合计").
    enum class Refusal { None, UnprintableSize, AmountTooLarge };
    Refusal refusal = Refusal::None;
    QString refusedSize;
};

// Amount of each row: count × price per photo, or count × width × height ×
// price per m² from the size as printed (SizeAmountFen), whatever the area
// unit and decimals of the count. Every size row is checked to be
// printable, priced or not.
PricedOrder PriceTotals(const QList<TotalRow> &rows, const ServicePrices &prices, LengthUnit unit);

// Printed: the printer or the PDF took it. Pending (待确认): recorded before
// printing, and the printing was never confirmed (the program was stopped,
// the server went away); the operator confirms or voids it.
enum class OrderStatus { Printed, Pending, Voided };
QString StatusText(OrderStatus status); // "", "待确认", "作废"

struct OrderRecordData {
    qint64 noteNumber = 0;
    QDateTime issuedAt;
    QString memberName;
    QString remark;
    QString service;
    QString append;
    QString folder;
    LengthUnit sizeUnit = LengthUnit::Centimetre;
    AreaUnit areaUnit = AreaUnit::SquareMetre;
    PricedOrder order;
    QString counterName; // the counter that printed it
    OrderStatus status = OrderStatus::Printed;
};

struct OrderSearch {
    std::optional<QDate> from;
    std::optional<QDate> to;
    QString customer;                // part of the customer name
    std::optional<qint64> noteNumber = std::nullopt;
};

struct OrderListEntry {
    qint64 noteNumber = 0;
    QString issuedAt;
    QString memberName;
    QString service;
    QVariant photoCount;
    QVariant photoArea;
    std::optional<qint64> amount;
    QString counterName;
    OrderStatus status = OrderStatus::Printed;
};

struct DaySummary {
    QString day; // yyyy-MM-dd, or "合计" in the total line
    qint64 orders = 0;
    qint64 photos = 0;
    double squareMetres = 0;
    qint64 amount = 0;
    qint64 ordersWithoutAmount = 0;
    qint64 pending = 0; // 待确认, counted in nothing else
};

// Runs one statement: locally prepared with its values bound; on a server
// as one simple query with the values written in by the driver's quoting
// (one round trip instead of three), as is a statement without values.
bool ExecStatement(QSqlQuery &q, const QString &text, const QVariantList &values = {});

class OrderBook
{
public:
    explicit OrderBook(const QSqlDatabase &db);

    // On a PostgreSQL connection: the shared order book, which also holds
    // the service list and issues the note numbers.
    bool Shared() const;

    // Brings the tables up to the layout of this program: a store that
    // lacks them gains them, one of an earlier version is upgraded in
    // place; existing rows are kept. Refused for a layout newer than this
    // program knows.
    bool Upgrade(QString *error = nullptr);

    // The service list, in its order.
    QStringList ServiceNames(bool *ok = nullptr) const;
    // Shared order book only: the next note number, issued to the counter in
    // one transaction on the server.
    std::optional<qint64> IssueNoteNumber(const QString &counterName, QString *error = nullptr);

    QList<ServicePrices> Prices(bool *ok = nullptr) const;
    ServicePrices PricesOf(const QString &service, bool *ok = nullptr) const;
    // A service of the ServiceName list gets one price per m² (its size
    // prices go), or a price for one size (its price per m² goes).
    bool SetPerSquareMetre(const QString &service, qint64 fen, QString *error = nullptr);
    bool SetSizePrice(const QString &service, const QString &size, qint64 fen, QString *error = nullptr);
    bool RemoveSizePrice(const QString &service, const QString &size, QString *error = nullptr);
    // Replaces the prices of every service given, in one transaction.
    bool SavePrices(const QList<ServicePrices> &prices, QString *error = nullptr);

    // The order and its rows, in one transaction: all or nothing. A note
    // number that holds an order already is refused, except a pending one,
    // which a pending order replaces (the same order tried again).
    bool Record(const OrderRecordData &order, QString *error = nullptr);
    // A pending order becomes printed or voided; false when the number holds
    // no pending order.
    bool SetStatus(qint64 noteNumber, OrderStatus status, QString *error = nullptr);
    // Removes a pending order that surely never came out (the printer
    // refused it).
    bool RemovePending(qint64 noteNumber, QString *error = nullptr);
    // Shared order book only: gives back a number no order was recorded
    // under, when no later number was issued since.
    bool ReturnNoteNumber(qint64 noteNumber);
    // Local order book only: the server it was moved onto by `orderbook
    // copy` (it then issues no numbers of its own), or none.
    std::optional<QString> MovedTo() const;
    bool MarkMoved(const QString &connection, QString *error = nullptr);

    // Shared order book only: the problems that stop this connection from
    // numbering or recording orders (empty when none); *warnings gets what
    // the operator should know, such as a counter behind the recorded orders
    // after a backup was restored.
    QStringList ServerProblems(QStringList *warnings) const;
    std::optional<OrderRecordData> Find(qint64 noteNumber, bool *ok = nullptr) const;
    QList<OrderListEntry> Search(const OrderSearch &search, bool *ok = nullptr) const;
    // One line per day with orders in the range, then the total line.
    QList<DaySummary> Daily(const QDate &from, const QDate &to, bool *ok = nullptr) const;

private:
    int StoredVersion(bool *ok) const;
    bool ServiceExists(const QString &service, QString *error) const;
    bool Run(const QList<std::pair<QString, QVariantList>> &statements, QString *error);

    QSqlDatabase m_db;
    QHash<QString, QSqlQuery> m_prepared;
};

} // namespace kestova
