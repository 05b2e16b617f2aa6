// The 订单记录 and 日结 windows.
#include "frm_order_book.h"

#include "clock.h"
#include "dialogs.h"
#include "numbers.h"
#include "order_csv.h"
#include "text_export.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kestova {

namespace {

QTableWidget *Table(const QString &name, const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setWordWrap(false);
    table->setTabKeyNavigation(false); // Tab goes on to the next control, the arrows move in the list
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

void Fill(QTableWidget *table, const QList<QStringList> &rows)
{
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c)
            table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    }
}

QDateEdit *DateBox(const QString &name, QWidget *parent)
{
    auto *box = new QDateEdit(Today(), parent);
    box->setObjectName(name);
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return box;
}

QString AreaText(const QVariant &area)
{
    return area.isNull() ? QString() : NumberText(area.toDouble());
}

QString Money(const std::optional<qint64> &fen)
{
    return fen ? YuanText(*fen) : QString();
}

QLabel *StatusLine(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("lblStatus"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString WrittenText(const QString &path)
{
    return path.isEmpty() ? QString() : QStringLiteral("已导出到 ") + QDir::toNativeSeparators(path);
}

} // namespace

QString SaveCsv(Dialogs &dialogs, QString &folder, const QString &proposedName, const QByteArray &bytes)
{
    FileDialogRequest request;
    request.initialFolder =
        folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) : folder;
    request.title = QStringLiteral("导出CSV");
    request.filter = QStringLiteral("CSV文件(*.csv)");
    request.fileName = proposedName;
    request.defaultSuffix = QStringLiteral("csv");
    request.confirmOverwrite = true;
    const QString path = dialogs.GetSaveFileName(request);
    if (path.isEmpty())
        return {};
    folder = QFileInfo(path).absolutePath();
    QString reason;
    if (!WriteExportFile(path, bytes, &reason)) {
        dialogs.ShowMessage(QStringLiteral("文件保存失败：") + QDir::toNativeSeparators(path) + u'\n' + reason,
                            QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
        return {};
    }
    return path;
}

frmDailySummary::frmDailySummary(OrderBook &book, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , m_book(book)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmDailySummary"));
    setWindowTitle(QStringLiteral("日结"));
    setModal(true);
    dtpFrom = DateBox(QStringLiteral("dtpFrom"), this);
    dtpTo = DateBox(QStringLiteral("dtpTo"), this);
    mfgDays = Table(QStringLiteral("mfgDays"),
                    {QStringLiteral("日期"), QStringLiteral("单数"), QStringLiteral("张数"),
                     QStringLiteral("面积(平方米)"), QStringLiteral("金额"), QStringLiteral("未定价单数"),
                     QStringLiteral("待确认单数")},
                    this);
    cmdPrint = new QPushButton(QStringLiteral("打印"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint->hide();
    cmdExportCsv = new QPushButton(QStringLiteral("导出CSV"), this);
    cmdExportCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    lblStatus = StatusLine(this);

    auto *range = new QHBoxLayout;
    range->addWidget(new QLabel(QStringLiteral("从"), this));
    range->addWidget(dtpFrom);
    range->addWidget(new QLabel(QStringLiteral("到"), this));
    range->addWidget(dtpTo);
    range->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdExportCsv);
    buttons->addWidget(close);
    auto *all = new QVBoxLayout(this);
    all->addLayout(range);
    all->addWidget(mfgDays);
    all->addLayout(buttons);
    resize(640, 420);

    connect(dtpFrom, &QDateEdit::dateChanged, this, &frmDailySummary::Refresh);
    connect(dtpTo, &QDateEdit::dateChanged, this, &frmDailySummary::Refresh);
    connect(cmdExportCsv, &QPushButton::clicked, this, [this] {
        const QString written = SaveCsv(m_dialogs, *m_exportFolder,
                                        QStringLiteral("日结%1至%2.csv")
                                            .arg(dtpFrom->date().toString(QStringLiteral("yyyyMMdd")),
                                                 dtpTo->date().toString(QStringLiteral("yyyyMMdd"))),
                                        DailyCsv(m_days));
        if (!written.isEmpty())
            lblStatus->setText(WrittenText(written));
    });
    connect(cmdPrint, &QPushButton::clicked, this, [this] {
        if (!m_print)
            return;
        const QString done = m_print(m_days, dtpFrom->date(), dtpTo->date());
        if (!done.isEmpty())
            lblStatus->setText(done);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Refresh();
}

void frmDailySummary::SetPrintAction(SummaryAction print)
{
    m_print = std::move(print);
    cmdPrint->setVisible(bool(m_print));
}

void frmDailySummary::Refresh()
{
    bool ok = false;
    m_days = m_book.Daily(dtpFrom->date(), dtpTo->date(), &ok);
    if (!ok) {
        m_dialogs.ShowMessage(QStringLiteral("日结读取失败。"), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
    }
    QList<QStringList> rows;
    for (const DaySummary &d : std::as_const(m_days)) {
        rows.append({d.day, QString::number(d.orders), QString::number(d.photos),
                     NumberText(RoundHalfEven(d.squareMetres, 4)), YuanText(d.amount),
                     QString::number(d.ordersWithoutAmount), QString::number(d.pending)});
    }
    Fill(mfgDays, rows);
}

frmOrderBook::frmOrderBook(OrderBook &book, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , m_book(book)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmOrderBook"));
    setWindowTitle(QStringLiteral("订单记录"));
    setModal(true);

    txtNoteNumber = new QLineEdit(this);
    txtNoteNumber->setObjectName(QStringLiteral("txtNoteNumber"));
    txtCustomer = new QLineEdit(this);
    txtCustomer->setObjectName(QStringLiteral("txtCustomer"));
    chkFrom = new QCheckBox(QStringLiteral("从"), this);
    chkFrom->setObjectName(QStringLiteral("chkFrom"));
    dtpFrom = DateBox(QStringLiteral("dtpFrom"), this);
    chkTo = new QCheckBox(QStringLiteral("到"), this);
    chkTo->setObjectName(QStringLiteral("chkTo"));
    dtpTo = DateBox(QStringLiteral("dtpTo"), this);
    cmdSearch = new QPushButton(QStringLiteral("查询"), this);
    cmdSearch->setObjectName(QStringLiteral("cmdSearch"));
    cmdSearch->setDefault(true);
    mfgOrders = Table(QStringLiteral("mfgOrders"),
                      {QStringLiteral("单号"), QStringLiteral("开单时间"), QStringLiteral("客户"),
                       QStringLiteral("服务"), QStringLiteral("张数"), QStringLiteral("面积"), QStringLiteral("金额"),
                       QStringLiteral("柜台"), QStringLiteral("状态")},
                      this);
    // Numbers, times and short words as wide as they are; the customer and
    // the service share the rest.
    for (const int column : {0, 1, 4, 5, 6, 7, 8})
        mfgOrders->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    mfgLines = Table(QStringLiteral("mfgLines"),
                     {QStringLiteral("图片尺寸"), QStringLiteral("数量"), QStringLiteral("面积"),
                      QStringLiteral("单价"), QStringLiteral("金额")},
                     this);
    cmdReprint = new QPushButton(QStringLiteral("补打"), this);
    cmdReprint->setObjectName(QStringLiteral("cmdReprint"));
    cmdSavePdf = new QPushButton(QStringLiteral("保存为PDF"), this);
    cmdSavePdf->setObjectName(QStringLiteral("cmdSavePdf"));
    cmdReprint->hide();
    cmdSavePdf->hide();
    // For an order recorded but never confirmed printed (the program was
    // stopped or the server lost while it printed).
    cmdConfirm = new QPushButton(QStringLiteral("确认已打印"), this);
    cmdConfirm->setObjectName(QStringLiteral("cmdConfirm"));
    cmdVoid = new QPushButton(QStringLiteral("作废"), this);
    cmdVoid->setObjectName(QStringLiteral("cmdVoid"));
    cmdExportCsv = new QPushButton(QStringLiteral("导出CSV"), this);
    cmdExportCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    cmdDaily = new QPushButton(QStringLiteral("日结"), this);
    cmdDaily->setObjectName(QStringLiteral("cmdDaily"));
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    lblStatus = StatusLine(this);

    auto *search = new QHBoxLayout;
    search->addWidget(new QLabel(QStringLiteral("单号"), this));
    search->addWidget(txtNoteNumber);
    search->addWidget(new QLabel(QStringLiteral("客户"), this));
    search->addWidget(txtCustomer);
    search->addWidget(chkFrom);
    search->addWidget(dtpFrom);
    search->addWidget(chkTo);
    search->addWidget(dtpTo);
    search->addWidget(cmdSearch);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdReprint);
    buttons->addWidget(cmdSavePdf);
    buttons->addWidget(cmdConfirm);
    buttons->addWidget(cmdVoid);
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(cmdExportCsv);
    buttons->addWidget(cmdDaily);
    buttons->addWidget(close);
    auto *all = new QVBoxLayout(this);
    all->addLayout(search);
    all->addWidget(mfgOrders, 3);
    all->addWidget(mfgLines, 2);
    all->addLayout(buttons);
    resize(900, 600);

    connect(cmdSearch, &QPushButton::clicked, this, &frmOrderBook::Search);
    connect(mfgOrders, &QTableWidget::currentCellChanged, this, [this](int row) { ShowOrder(row); });
    connect(cmdExportCsv, &QPushButton::clicked, this, [this] {
        const QString written = SaveCsv(m_dialogs, *m_exportFolder, QStringLiteral("订单记录.csv"), OrdersCsv(m_orders));
        if (!written.isEmpty())
            lblStatus->setText(WrittenText(written));
    });
    connect(cmdDaily, &QPushButton::clicked, this, [this] {
        frmDailySummary summary(m_book, m_dialogs, this);
        if (m_printSummary)
            summary.SetPrintAction(m_printSummary);
        summary.SetExportFolder(m_exportFolder);
        summary.exec();
    });
    const auto act = [this](const OrderAction &action) {
        if (const std::optional<OrderRecordData> order = CurrentOrder(); order && action) {
            const QString done = action(*order);
            if (!done.isEmpty())
                lblStatus->setText(done);
        }
    };
    connect(cmdReprint, &QPushButton::clicked, this, [this, act] { act(m_reprint); });
    connect(cmdSavePdf, &QPushButton::clicked, this, [this, act] { act(m_savePdf); });
    connect(cmdConfirm, &QPushButton::clicked, this, [this] { Settle(OrderStatus::Printed); });
    connect(cmdVoid, &QPushButton::clicked, this, [this] { Settle(OrderStatus::Voided); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Search();
}

void frmOrderBook::SetOrderActions(OrderAction reprint, OrderAction savePdf)
{
    m_reprint = std::move(reprint);
    m_savePdf = std::move(savePdf);
    cmdReprint->setVisible(bool(m_reprint));
    cmdSavePdf->setVisible(bool(m_savePdf));
}

void frmOrderBook::Search()
{
    OrderSearch search;
    const QString number = txtNoteNumber->text().trimmed();
    if (!number.isEmpty()) {
        bool isNumber = false;
        search.noteNumber = number.toLongLong(&isNumber);
        if (!isNumber) {
            m_dialogs.ShowMessage(QStringLiteral("单号应为数字。"), QStringLiteral("提示"), MessageIcon::Warning,
                                  MessageButtons::Ok);
            return;
        }
    }
    search.customer = txtCustomer->text().trimmed();
    if (chkFrom->isChecked())
        search.from = dtpFrom->date();
    if (chkTo->isChecked())
        search.to = dtpTo->date();
    // The order chosen before stays chosen when the new list holds it.
    const int before = mfgOrders->currentRow();
    const qint64 chosen = before >= 0 && before < m_orders.size() ? m_orders[before].noteNumber : -1;
    bool ok = false;
    m_orders = m_book.Search(search, &ok);
    if (!ok) {
        m_dialogs.ShowMessage(QStringLiteral("订单记录读取失败。"), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
    }
    QList<QStringList> rows;
    for (const OrderListEntry &o : std::as_const(m_orders)) {
        rows.append({QString::number(o.noteNumber), o.issuedAt, o.memberName, o.service, o.photoCount.toString(),
                     AreaText(o.photoArea), Money(o.amount), o.counterName, StatusText(o.status)});
    }
    Fill(mfgOrders, rows);
    int row = m_orders.isEmpty() ? -1 : 0;
    for (int r = 0; r < m_orders.size(); ++r) {
        if (m_orders[r].noteNumber == chosen)
            row = r;
    }
    {
        // The lines are shown below for the row, moved or not.
        const QSignalBlocker quiet(mfgOrders);
        mfgOrders->setCurrentCell(row, 0);
    }
    ShowOrder(row);
}

std::optional<OrderRecordData> frmOrderBook::CurrentOrder()
{
    const int row = mfgOrders->currentRow();
    if (row < 0 || row >= m_orders.size())
        return std::nullopt;
    return m_book.Find(m_orders[row].noteNumber);
}

void frmOrderBook::Settle(OrderStatus status)
{
    const int row = mfgOrders->currentRow();
    if (row < 0 || row >= m_orders.size() || m_orders[row].status != OrderStatus::Pending)
        return;
    const qint64 number = m_orders[row].noteNumber;
    const QString question = status == OrderStatus::Printed
        ? QStringLiteral("单号 %1 的冲印单确实已经打印出来了吗？确认后计入日结。").arg(number)
        : QStringLiteral("作废单号 %1？作废的订单不计入日结，单号不再使用。").arg(number);
    if (m_dialogs.ShowMessage(question, QStringLiteral("订单记录"), MessageIcon::Question, MessageButtons::YesNo)
        != MessageAnswer::Yes)
        return;
    QString error;
    if (!m_book.SetStatus(number, status, &error)) {
        m_dialogs.ShowMessage(QStringLiteral("订单记录无法修改：") + error, QStringLiteral("错误"),
                              MessageIcon::Critical, MessageButtons::Ok);
    }
    Search();
    for (int i = 0; i < m_orders.size(); ++i) {
        if (m_orders[i].noteNumber == number)
            mfgOrders->setCurrentCell(i, 0);
    }
}

void frmOrderBook::ShowOrder(int row)
{
    const bool pending = row >= 0 && row < m_orders.size() && m_orders[row].status == OrderStatus::Pending;
    cmdConfirm->setEnabled(pending);
    cmdVoid->setEnabled(pending);
    const std::optional<OrderRecordData> order = CurrentOrder();
    QList<QStringList> rows;
    if (order) {
        for (const PricedLine &line : order->order.lines) {
            rows.append({line.size, line.count.toString(), AreaText(line.area), Money(line.price),
                         Money(line.amount)});
        }
    }
    Fill(mfgLines, rows);
}

} // namespace kestova
