// The print job: an order's content from the counted totals (PrepareOrder)
// or from the order book (RecordedOrder), printed as A4 order pages, and a
// new order's way to the order book (NewOrder).
#pragma once

#include "clock.h"
#include "order_book.h"
#include "print_info.h"

#include <QDateTime>

#include <optional>

namespace kestova {

class Dialogs;
class OrderBookSource;
class PrintTarget;

// Everything an order page shows: a new order, or one from the order book
// printed again (marked 补打 beside its number, with the date it was issued).
struct OrderContent {
    PrintInfo info;
    QDateTime issuedAt; // printed as its date, and recorded as it is
    LengthUnit sizeUnit = LengthUnit::Centimetre; // the units the totals were counted in
    AreaUnit areaUnit = AreaUnit::SquareMetre;
    QString folder;     // the counted folder
    PricedOrder order;  // the size rows with their amounts, "合计" last
    bool reprint = false;
};

struct PrintJobResult {
    int pages = 0;               // pages handed to the target
    bool printerFailed = false;  // the printer or the PDF file failed
    bool readFailed = false;     // nothing printable: no complete count, an impossible size or amount
    bool bookFailed = false;     // the order book could not give the number or take the order
    bool recorded = false;       // the order is in the order book, as printed or as 待确认
    OrderContent printed;        // what went onto the pages
    bool Accepted() const { return pages > 0 && !printerFailed && !readFailed && !bookFailed; }
};

// "冲印单 1207": the name of an order's print job and PDF title.
QString OrderDocumentName(const QString &noteNumber);

// The content of a new order: the totals of the last count, in the units
// that count used, priced for the order's service, issued at `now`. None
// when the order cannot be printed, with *refusal the operator's message:
// the totals cannot be read, the last count did not complete, nothing was
// counted, a size no printer makes or an amount too large, or a shared order
// book that does not answer (*bookDown then true): an order is never priced
// without its server.
std::optional<OrderContent> PrepareOrder(OrderBookSource &source, const PrintInfo &info, const QDateTime &now,
                                         QString *refusal, bool *bookDown = nullptr);

// The order's amount for one service, as the counter tells it before
// printing.
struct OrderAmount {
    enum class Kind {
        NoOrder,  // the totals make no printable order
        BookDown, // the shared order book did not answer
        Priced,   // fen is the amount
        Unpriced, // a size has no price, so there is no total
    };
    Kind kind = Kind::NoOrder;
    qint64 fen = 0;
};
// PrepareOrder for `service`, reduced to its amount; no number is taken.
OrderAmount AmountOf(OrderBookSource &source, const QString &service, const QDateTime &now);

// A recorded order as it was printed.
OrderContent RecordedOrder(const OrderRecordData &order);

// The content's pages (PaginateOrder) onto the target, then the end of the
// target's document; a refusing target is told through `dialogs`.
PrintJobResult PrintOrderContent(const OrderContent &content, PrintTarget &target, Dialogs &dialogs);

// One new order, from its first print, preview or PDF until the order book
// has it as printed. Its note number is taken when it first needs one and
// kept through cancelled previews and refused prints; it is recorded (as
// 待确认) before any page goes out and marked printed once the printer or
// the PDF file took the pages, so no page leaves without its order in the
// book. A number that no order was recorded under is given back when the
// NewOrder ends, if no later number was issued since.
class NewOrder
{
public:
    explicit NewOrder(OrderBookSource &source);
    ~NewOrder();
    NewOrder(const NewOrder &) = delete;
    NewOrder &operator=(const NewOrder &) = delete;

    // Prices the counted totals for `info` at `now`, and prints them with
    // this order's number. On a target that is only on screen nothing is
    // recorded. Every failure is told through `dialogs`.
    PrintJobResult Print(const PrintInfo &info, PrintTarget &target, Dialogs &dialogs, const QDateTime &now);

    // True once the order is in the order book: the next print is another
    // order.
    bool Recorded() const { return m_recorded; }
    std::optional<qint64> number() const { return m_number; }

private:
    std::optional<qint64> TakeNumber(QString *error);
    void GiveBack();

    OrderBookSource &m_source;
    std::optional<qint64> m_number;
    QString m_numberPlace; // the order book that issued it
    bool m_recorded = false;
};

} // namespace kestova
