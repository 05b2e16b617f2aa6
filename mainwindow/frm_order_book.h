// frmOrderBook, the 订单记录 window: the recorded orders, newest first,
// searched by note number, customer text and date range; the rows of the
// chosen order; the list saved as CSV; and frmDailySummary (日结), the orders,
// photos, area and amount of each day in a range.
//
// Printing a stored order again (补打, 保存为PDF) and printing the summary are
// actions the main window hands in; without them their buttons stay hidden.
// Each action answers what it did ("" when nothing), and the window's status
// line says so, as it does for the CSV files it writes.
#pragma once

#include "order_book.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestova {

class Dialogs;

using OrderAction = std::function<QString(const OrderRecordData &)>;
using SummaryAction = std::function<QString(const QList<DaySummary> &, const QDate &, const QDate &)>;

class frmDailySummary : public QDialog
{
    Q_OBJECT
public:
    frmDailySummary(OrderBook &book, Dialogs &dialogs, QWidget *parent = nullptr);
    void SetPrintAction(SummaryAction print);
    // The folder the CSV dialog opens in, kept up to date by the window.
    void SetExportFolder(QString *folder) { m_exportFolder = folder; }

    QDateEdit *dtpFrom = nullptr;
    QDateEdit *dtpTo = nullptr;
    QTableWidget *mfgDays = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdExportCsv = nullptr;
    QLabel *lblStatus = nullptr;

    void Refresh();

private:
    OrderBook &m_book;
    Dialogs &m_dialogs;
    QList<DaySummary> m_days;
    SummaryAction m_print;
    QString m_ownFolder;
    QString *m_exportFolder = &m_ownFolder;
};

class frmOrderBook : public QDialog
{
    Q_OBJECT
public:
    frmOrderBook(OrderBook &book, Dialogs &dialogs, QWidget *parent = nullptr);
    void SetOrderActions(OrderAction reprint, OrderAction savePdf);
    void SetSummaryPrintAction(SummaryAction print) { m_printSummary = std::move(print); }
    void SetExportFolder(QString *folder) { m_exportFolder = folder; }

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
    QLabel *lblStatus = nullptr;

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
    QString m_ownFolder;
    QString *m_exportFolder = &m_ownFolder;
};

// Asks for a file, in folder (Documents when empty), and writes the CSV
// there; folder becomes the file's. The file written, or "" (a failure is
// reported).
QString SaveCsv(Dialogs &dialogs, QString &folder, const QString &proposedName, const QByteArray &bytes);

} // namespace kestova
