// frmOrderBook, the 订单记录 window: the recorded orders, newest first,
// searched by note number, customer text and date range; the rows of the
// chosen order; the list saved as CSV; and frmDailySummary (日结), the orders,
// photos, area and amount of each day in a range.
//
// Printing a stored order again (补打, 保存为PDF) and printing the summary are
// actions the main window hands in; without them their buttons stay hidden.
#pragma once

#include "order_book.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestova {

class Dialogs;

using OrderAction = std::function<void(const OrderRecordData &)>;
using SummaryAction = std::function<void(const QList<DaySummary> &, const QDate &, const QDate &)>;

class frmDailySummary : public QDialog
{
    Q_OBJECT
public:
    frmDailySummary(OrderBook &book, Dialogs &dialogs, QWidget *parent = nullptr);
    void SetPrintAction(SummaryAction print);

    QDateEdit *dtpFrom = nullptr;
    QDateEdit *dtpTo = nullptr;
    QTableWidget *mfgDays = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdExportCsv = nullptr;

    void Refresh();

private:
    OrderBook &m_book;
    Dialogs &m_dialogs;
    QList<DaySummary> m_days;
    SummaryAction m_print;
};

class frmOrderBook : public QDialog
{
    Q_OBJECT
public:
    frmOrderBook(OrderBook &book, Dialogs &dialogs, QWidget *parent = nullptr);
    void SetOrderActions(OrderAction reprint, OrderAction savePdf);
    void SetSummaryPrintAction(SummaryAction print) { m_printSummary = std::move(print); }

    QLineEdit *txtNoteNumber = nullptr;
    QLineEdit *txtCustomer = nullptr;
    QCheckBox *chkFrom = nullptr;
    QDateEdit *dtpFrom = nullptr;
    QCheckBox *chkTo = nullptr;
    QDateEdit *dtpTo = nullptr;
    QPushButton *cmdSearch = nullptr;
    QTableWidget *mfgOrders = nullptr;
    QTableWidget *mfgLines = nullptr;
    QPushButton *cmdReprint = nullptr;
    QPushButton *cmdSavePdf = nullptr;
    QPushButton *cmdConfirm = nullptr;
    QPushButton *cmdVoid = nullptr;
    QPushButton *cmdExportCsv = nullptr;
    QPushButton *cmdDaily = nullptr;

    void Search();

private:
    void ShowOrder(int row);
    // A pending order confirmed printed, or voided, after the operator says so.
    void Settle(OrderStatus status);
    std::optional<OrderRecordData> CurrentOrder();

    OrderBook &m_book;
    Dialogs &m_dialogs;
    QList<OrderListEntry> m_orders;
    OrderAction m_reprint;
    OrderAction m_savePdf;
    SummaryAction m_printSummary;
};

// Asks for a file and writes the CSV there; a failure is reported.
void SaveCsv(Dialogs &dialogs, const QString &proposedName, const QByteArray &bytes);

} // namespace kestova
