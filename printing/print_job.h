// The print job: the counted totals of the photo store as order pages on
// rptPrintA4, ten size rows a page with the total row last, and the order's
// way from the totals to the order book (NewOrder).
#pragma once

#include "clock.h"
#include "order_book.h"
#include "print_info.h"
#include "report_model.h"

#include <QDateTime>
#include <QSqlRecord>

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
    QString sizeUnit;   // "cm" or "in": the units the totals were counted in
    QString areaUnit;   // "m2" or "cm2"
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
// A recorded order as it was printed.
OrderContent RecordedOrder(const OrderRecordData &order);

// Prints the content page by page onto the target, with pageSource (the
// one row of statement 10) as each page's data, then ends the target's
// document.
PrintJobResult PrintOrderContent(const OrderContent &content, const QList<QSqlRecord> &pageSource,
                                 ReportSlot &layout, PrintTarget &target, Dialogs &dialogs, AsyncJob kind);

// PrepareOrder then PrintOrderContent, with the note number `info` holds:
// the drawing of an order, without the order book.
PrintJobResult RunPrintJob(OrderBookSource &source, const PrintInfo &info, ReportSlot &layout, PrintTarget &target,
                           Dialogs &dialogs, AsyncJob kind = AsyncJob::Print,
                           const QDateTime &now = Now());

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
    PrintJobResult Print(const PrintInfo &info, ReportSlot &layout, PrintTarget &target, Dialogs &dialogs,
                         AsyncJob kind, const QDateTime &now);

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
