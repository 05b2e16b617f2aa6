// OrderPrinting: the main window's way into printing. Make one for the run
// and keep it; it owns the print information dialog (loaded at the first
// Print or PrintPreview) and the order being made (NewOrder: one note
// number per order, kept until the order is recorded).
//
//   auto target = kestova::MakeSystemPrintTarget();
//   kestova::OrderBookSource orderBook(store, settings); // the program's, made at start
//   kestova::OrderPrinting printing(orderBook, settings, dialogs, printInfo, *target, this);
//   connect(printButton, ..., [&] { printing.Print(); });          // 打印
//   connect(previewAction, ..., [&] { printing.PrintPreview(); });  // 打印预览(&V)
#pragma once

#include "order_book.h"
#include "order_book_source.h"

#include "clock.h"
#include "frm_remark.h"
#include "print_info.h"
#include "print_job.h"
#include "print_target.h"

#include <QDateTime>
#include <QPointer>

#include <functional>

#include <memory>

class QWidget;

namespace kestova {

class Dialogs;
class PhotoStore;
struct Settings;

class OrderPrinting
{
public:
    // The orders go to `source`'s order book, the counts come from its store.
    OrderPrinting(OrderBookSource &source, const Settings &settings, Dialogs &dialogs, PrintInfo &info,
                  PrintTarget &target, QWidget *owner);
    ~OrderPrinting();
    OrderPrinting(const OrderPrinting &) = delete;
    OrderPrinting &operator=(const OrderPrinting &) = delete;

    // 打印: the print information dialog, then on OK the order goes straight
    // to the target, without a printer dialog.
    void Print();
    // 打印预览: the same dialog, then the same job shown page by page on
    // screen first, from where it can go to the printer or into a PDF file.
    void PrintPreview();
    // The preview's 保存为PDF: the same job into a PDF file the operator
    // names, with the answers given to the dialog for the preview.
    void SaveAsPdf();

    // A recorded order printed again as it was, marked 补打: on the printer,
    // or into a PDF file the operator names.
    // True when the printer took it; the PDF file written, "" when none.
    bool Reprint(const OrderRecordData &order);
    QString SaveReprintAsPdf(const OrderRecordData &order);

    // The daily summary shown page by page first, as an order's preview,
    // from where it goes to a printer the operator picks; true when printed.
    bool PrintDailySummary(const QList<DaySummary> &days, const QDate &from, const QDate &to);

    // Where the time of each new order comes from (the system clock unless
    // set).
    void SetClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Null before the first Print or PrintPreview.
    frmRemark *remarkDialog() const { return m_remark; }

private:
    bool AskPrintInfo();
    // After an order was recorded, the next print is a new order.
    void FinishOrder();
    // A new order: no number yet, the texts empty (the name from the
    // folder when the settings say so).
    void StartNewOrder();
    bool PrintRecorded(const OrderRecordData &order, PrintTarget &target);

    PhotoStore &m_store;
    OrderBookSource &m_source;
    const Settings &m_settings;
    Dialogs &m_dialogs;
    PrintInfo &m_info;
    PrintTarget &m_target;
    QPointer<QWidget> m_owner;
    QPointer<frmRemark> m_remark;
    std::unique_ptr<NewOrder> m_order;
    QString m_orderFolder; // the counted folder the current order was begun for
    std::function<QDateTime()> m_clock = [] { return Now(); };
};

// A print system queue with A4 paper: `queue`, or the system default when
// empty. A missing or refusing queue, or a job it refuses or aborts, is a
// printer that cannot be used. Its preview offers saving as PDF.
std::unique_ptr<PrintTarget> MakeSystemPrintTarget(const QString &queue = QString());

} // namespace kestova
