// OrderPrinting: the print and print-preview commands.
#include "order_printing.h"

#include "daily_summary_print.h"
#include "dialogs.h"
#include "frm_remark.h"
#include "print_job.h"
#include "rpt_print_a4.h"

namespace kestova {

QString OrderDocumentName(const QString &noteNumber)
{
    return QStringLiteral("冲印单 %1").arg(noteNumber);
}

OrderPrinting::OrderPrinting(PhotoStore &store, const Settings &settings, Dialogs &dialogs, PrintInfo &info,
                             PrintTarget &target, QWidget *owner)
    : m_store(store)
    , m_source(store, settings)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_info(info)
    , m_target(target)
    , m_owner(owner)
    , m_layout(rptPrintA4())
{
}

OrderPrinting::~OrderPrinting()
{
    delete m_remark.data();
}

bool OrderPrinting::AskPrintInfo()
{
    if (!m_remark)
        m_remark = new frmRemark(m_source, m_settings, m_info, m_owner);
    // A shared order book that gave no note number is asked again, and a
    // number from the order book used before the settings changed is
    // replaced: it could be another counter's. Without a number from the
    // server nothing is printed.
    QString error;
    if (m_remark->NumberFromElsewhere() || (m_source.Shared() && !m_remark->HasNoteNumber())) {
        if (!m_remark->LoadAgain(&error) && m_source.Shared()) {
            m_dialogs.ShowMessage(CannotConnectMessage(error), QStringLiteral("错误"), MessageIcon::Critical,
                                  MessageButtons::Ok);
            return false;
        }
    }
    return m_remark->Show().toInt() == 1;
}

void OrderPrinting::Print()
{
    if (!AskPrintInfo())
        return;
    m_target.SetDocumentName(OrderDocumentName(m_info.NoteNumber));
    const PrintJobResult result = RunPrintJob(m_source, m_info, m_settings, m_layout, m_target, m_dialogs,
                                              AsyncJob::Print);
    if (result.Accepted())
        RecordOrder(m_source, result.printed, m_countedFolder, m_dialogs);
}

void OrderPrinting::PrintPreview()
{
    if (!AskPrintInfo())
        return;
    // The preview may draw the job several times (a new page setup, then
    // the printer itself); each run starts from the design's texts, and none
    // leaves its rows behind for the next job.
    m_layout.Discard();
    m_target.SetDocumentName(OrderDocumentName(m_info.NoteNumber));
    m_target.Preview(
        [this](PrintTarget &target) {
            const PrintJobResult result =
                RunPrintJob(m_source, m_info, m_settings, m_layout, target, m_dialogs, AsyncJob::Preview);
            m_layout.Discard();
            if (!target.OnScreen() && result.Accepted())
                RecordOrder(m_source, result.printed, m_countedFolder, m_dialogs);
        },
        [this] { SaveAsPdf(); }, m_owner);
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
    const QString fileName = AskPdfFile(m_dialogs, m_info.NoteNumber);
    if (fileName.isEmpty())
        return;
    m_layout.Discard();
    PdfPrintTarget pdf(fileName, OrderDocumentName(m_info.NoteNumber));
    const PrintJobResult result = RunPrintJob(m_source, m_info, m_settings, m_layout, pdf, m_dialogs, AsyncJob::Export);
    m_layout.Discard();
    if (result.Accepted())
        RecordOrder(m_source, result.printed, m_countedFolder, m_dialogs);
}

bool OrderPrinting::PrintRecorded(const OrderRecordData &order, PrintTarget &target, AsyncJob kind)
{
    bool ok = false;
    const QList<QSqlRecord> pageSource = m_store.ReadPageSource(&ok);
    m_layout.Discard();
    target.SetDocumentName(OrderDocumentName(QString::number(order.noteNumber)));
    const PrintJobResult result = PrintOrderContent(RecordedOrder(order), pageSource, m_layout, target, m_dialogs, kind);
    m_layout.Discard();
    return result.Accepted();
}

bool OrderPrinting::Reprint(const OrderRecordData &order)
{
    return PrintRecorded(order, m_target, AsyncJob::Print);
}

QString OrderPrinting::SaveReprintAsPdf(const OrderRecordData &order)
{
    const QString fileName = AskPdfFile(m_dialogs, QString::number(order.noteNumber));
    if (fileName.isEmpty())
        return {};
    PdfPrintTarget pdf(fileName);
    return PrintRecorded(order, pdf, AsyncJob::Export) ? fileName : QString();
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
