// The print job: the current totals of the photo store as order pages on
// rptPrintA4, ten size rows a page with the total row last.
#pragma once

#include "order_book.h"
#include "print_info.h"
#include "report_model.h"

#include <QSqlRecord>

namespace kestova {

class Dialogs;
class OrderBookSource;
class PrintTarget;
struct Settings;

// Everything an order page shows: a new order, or one from the order book
// printed again (marked 补打 beside its number, with the date it was issued).
struct OrderContent {
    PrintInfo info;
    QString date;       // yyyy/M/d
    QString sizeUnit;   // "cm" or "in"
    QString areaUnit;   // "m2" or "cm2"
    PricedOrder order;  // the size rows with their amounts, "合计" last
    bool reprint = false;
};

struct PrintJobResult {
    int pages = 0;               // pages handed to the target
    bool printerFailed = false;  // "打印机失败..." was shown
    bool readFailed = false;     // the totals could not be read
    OrderContent printed;        // what went onto the pages
    bool Accepted() const { return pages > 0 && !printerFailed && !readFailed; }
};

// The content of a new order: the current totals, priced for the order's
// service when the order book has prices for it, dated today. *ok is false
// when the totals cannot be read, or when a shared order book does not
// answer (its reason then in *orderBookError): an order is never priced
// without its server.
OrderContent CurrentOrder(OrderBookSource &source, const PrintInfo &info, const Settings &settings, bool *ok,
                          QString *orderBookError = nullptr);
// A recorded order as it was printed.
OrderContent RecordedOrder(const OrderRecordData &order);

// Prints the content page by page onto the target, with pageSource (the
// one row of statement 10) as each page's data, then ends the target's
// document.
PrintJobResult PrintOrderContent(const OrderContent &content, const QList<QSqlRecord> &pageSource,
                                 ReportSlot &layout, PrintTarget &target, Dialogs &dialogs, AsyncJob kind);

// Puts an accepted order into the order book (the latest print of a note
// number replaces an earlier one); a failure is told, never fatal.
void RecordOrder(OrderBookSource &source, const OrderContent &content, const QString &folder, Dialogs &dialogs);

// Fills the layout held by `layout` and prints it page by page onto the
// target, then ends the target's document. The column captions name the
// units of `settings`, those the totals were counted in. Failures are told
// through `dialogs`. `kind` is what the layout's progress notices report.
PrintJobResult RunPrintJob(OrderBookSource &source, const PrintInfo &info, const Settings &settings, ReportSlot &layout,
                           PrintTarget &target, Dialogs &dialogs, AsyncJob kind = AsyncJob::Print);

} // namespace kestova
