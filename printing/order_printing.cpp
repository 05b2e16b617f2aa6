// OrderPrinting: the print and print-preview commands.
#include "order_printing.h"

#include "daily_summary_print.h"
#include "dialogs.h"
#include "frm_remark.h"
#include "photo_store.h"
#include "print_job.h"
#include "settings.h"

#include <QApplication>

namespace kestova {

OrderPrinting::OrderPrinting(OrderBookSource &source, const Settings &settings, Dialogs &dialogs, PrintInfo &info,
                             PrintTarget &target, QWidget *owner)
    : m_store(source.store())
    , m_source(source)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_info(info)
    , m_target(target)
    , m_owner(owner)
    , m_order(std::make_unique<NewOrder>(m_source))
{
}

OrderPrinting::~OrderPrinting()
{
    delete m_remark.data();
}

bool OrderPrinting::AskPrintInfo()
{
    if (!m_remark) {
        // What the dialog tells of the order is read here, at each showing.
        OrderFacts facts;
        facts.count = [this] { return m_store.ReadCount(); };
        facts.amount = [this](const QString &service) { return AmountOf(m_source, service, m_clock()); };
        m_remark = new frmRemark(m_source, m_settings, std::move(facts), m_owner);
    }
    // A shared order book that gave no service list is asked again, and so
    // is the order book set since the list was read.
    QString error;
    if (m_remark->NeedsLoading() && !m_remark->LoadAgain(&error) && m_source.Shared()) {
        m_dialogs.ShowMessage(CannotConnectMessage(error), QStringLiteral("错误"), MessageIcon::Critical,
                              MessageButtons::Ok);
        return false;
    }
    // Another folder counted since this order was begun: another
    // customer's order, whatever was typed or numbered for the first.
    const std::optional<CountRecord> count = m_store.ReadCount();
    const QString folder = count ? count->folder : QString();
    if (!m_orderFolder.isEmpty() && folder != m_orderFolder)
        StartNewOrder();
    const std::optional<PrintInfo> answer = m_remark->Show(m_info);
    if (!answer)
        return false;
    m_info = *answer;
    m_orderFolder = folder;
    return true;
}

void OrderPrinting::FinishOrder()
{
    if (m_order->Recorded())
        StartNewOrder();
}

void OrderPrinting::StartNewOrder()
{
    m_orderFolder.clear();
    m_order = std::make_unique<NewOrder>(m_source);
    if (m_remark)
        m_remark->StartNewOrder();
    if (!m_settings.PathAsMemberName)
        m_info.MemberName.clear();
    m_info.Remark.clear();
    m_info.Append.clear();
}

namespace {

// The wait cursor while an order waits for the order book or the printer;
// every wait has its time limit, so it never stays long.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

void OrderPrinting::Print()
{
    if (!AskPrintInfo())
        return;
    const WaitCursor waiting;
    m_order->Print(m_info, m_target, m_dialogs, m_clock());
    FinishOrder();
}

void OrderPrinting::PrintPreview()
{
    if (!AskPrintInfo())
        return;
    // The preview may draw the job several times (a new page setup, then
    // the printer itself); all of them are one order.
    m_target.Preview([this](PrintTarget &target) { m_order->Print(m_info, target, m_dialogs, m_clock()); },
        [this] { SaveAsPdf(); }, m_owner);
    FinishOrder();
}

namespace {

// The PDF file the operator names for an order; empty when cancelled.
QString AskPdfFile(Dialogs &dialogs, const QString &noteNumber)
{
    FileDialogRequest request;
    request.title = QStringLiteral("保存为PDF");
    request.filter = QStringLiteral("PDF文件(*.pdf)");
    request.fileName = QStringLiteral("冲印单%1.pdf").arg(noteNumber);
    request.defaultSuffix = QStringLiteral("pdf");
    request.confirmOverwrite = true;
    return dialogs.GetSaveFileName(request);
}

} // namespace

void OrderPrinting::SaveAsPdf()
{
    const std::optional<qint64> number = m_order->number();
    const QString fileName = AskPdfFile(m_dialogs, number ? QString::number(*number) : QString());
    if (fileName.isEmpty())
        return;
    PdfPrintTarget pdf(fileName);
    m_order->Print(m_info, pdf, m_dialogs, m_clock());
    // Called from the preview, which finishes the order when it closes.
}

bool OrderPrinting::PrintRecorded(const OrderRecordData &order, PrintTarget &target)
{
    target.SetDocumentName(OrderDocumentName(QString::number(order.noteNumber)));
    return PrintOrderContent(RecordedOrder(order), target, m_dialogs).Accepted();
}

bool OrderPrinting::Reprint(const OrderRecordData &order)
{
    return PrintRecorded(order, m_target);
}

QString OrderPrinting::SaveReprintAsPdf(const OrderRecordData &order)
{
    const QString fileName = AskPdfFile(m_dialogs, QString::number(order.noteNumber));
    if (fileName.isEmpty())
        return {};
    PdfPrintTarget pdf(fileName);
    return PrintRecorded(order, pdf) ? fileName : QString();
}

bool OrderPrinting::PrintDailySummary(const QList<DaySummary> &days, const QDate &from, const QDate &to)
{
    const QString name = QStringLiteral("日结 %1-%2").arg(from.toString(QStringLiteral("yyyyMMdd")),
                                                       to.toString(QStringLiteral("yyyyMMdd")));
    m_target.SetDocumentName(name);
    // Shown first, as an order's preview: its print button asks for the
    // printer, and the pages can go into a PDF file instead.
    bool printed = false;
    m_target.Preview(
        [&](PrintTarget &target) {
            const bool done = kestova::PrintDailySummary(days, from, to, target, m_dialogs);
            printed = printed || (done && !target.OnScreen());
        },
        [&] {
            FileDialogRequest request;
            request.title = QStringLiteral("保存为PDF");
            request.filter = QStringLiteral("PDF文件(*.pdf)");
            request.fileName = name + QStringLiteral(".pdf");
            request.defaultSuffix = QStringLiteral("pdf");
            request.confirmOverwrite = true;
            const QString fileName = m_dialogs.GetSaveFileName(request);
            if (!fileName.isEmpty()) {
                PdfPrintTarget pdf(fileName, name);
                kestova::PrintDailySummary(days, from, to, pdf, m_dialogs);
            }
        },
        m_owner);
    return printed;
}

} // namespace kestova
