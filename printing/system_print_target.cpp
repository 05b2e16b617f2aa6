// The program's printer: a print system queue (the system default unless
// one is named) with A4 paper, used without a printer dialog. The pages are
// written as one PDF document and handed to the queue through libcups, so
// that a refused or aborted job is known; its preview is Qt's print preview.
#include "cups_queue.h"
#include "order_printing.h"
#include "pdf_unicode.h"
#include "program_title.h"

#include <QAction>
#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace kestova {

namespace {

class SystemPrintTarget final : public PagedDeviceTarget
{
public:
    explicit SystemPrintTarget(QString queue, int copies = 1)
        : m_queue(std::move(queue))
        , m_copies(copies)
    {
    }
    ~SystemPrintTarget() override { EndDocument(); }

    void Preview(const Job &job, const std::function<void()> &saveAsPdf, QWidget *owner) override
    {
        QPrinter printer(QPrinter::HighResolution);
        const QString queue = m_queue.isEmpty() ? DefaultQueue() : m_queue;
        if (!queue.isEmpty())
            printer.setPrinterName(queue);
        UseA4(printer);
        printer.setDocName(documentName());
        QPrintPreviewDialog dialog(&printer, owner);
        dialog.setWindowTitle(QStringLiteral("打印预览"));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this, &job](QPrinter *shown) {
            // The preview draws through a picture engine; the print button
            // hands over the printer itself, set up by the print dialog.
            // That job goes to the chosen queue the program's own way.
            if (shown->outputFormat() == QPrinter::NativeFormat && shown->paintEngine()
                && shown->paintEngine()->type() != QPaintEngine::Picture) {
                SystemPrintTarget chosen(shown->printerName(), shown->copyCount());
                chosen.SetDocumentName(documentName());
                job(chosen);
                return;
            }
            BorrowedPrinterTarget target(*shown);
            target.SetOnScreen(shown->paintEngine() && shown->paintEngine()->type() == QPaintEngine::Picture);
            job(target);
        });
        if (auto *toolBar = dialog.findChild<QToolBar *>()) {
            toolBar->addSeparator();
            QAction *pdf = toolBar->addAction(QStringLiteral("保存为PDF..."));
            QObject::connect(pdf, &QAction::triggered, &dialog, [&saveAsPdf] { saveAsPdf(); });
        }
        dialog.exec();
    }

protected:
    QPagedPaintDevice *OpenDevice() override
    {
        // Without a default queue nothing is drawn. Whether a queue takes
        // the job is its own answer when the job is handed over.
        m_using = m_queue.isEmpty() ? DefaultQueue() : m_queue;
        if (m_using.isEmpty()) {
            qWarning("No default print queue: the order was not printed.");
            return nullptr;
        }
        m_pdf.clear();
        m_buffer.setBuffer(&m_pdf);
        m_buffer.open(QIODevice::WriteOnly);
        m_writer = std::make_unique<QPdfWriter>(&m_buffer);
        m_writer->setCreator(ProgramTitle);
        m_writer->setTitle(documentName());
        m_writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                            A4Margins(m_using).value_or(OrderPageMargins), QPageLayout::Millimeter));
        return m_writer.get();
    }

    bool CloseDevice() override
    {
        if (!m_writer)
            return false;
        m_writer.reset();
        m_buffer.close();
        MendPdfText(m_pdf);
        const SpoolResult spooled = SpoolPdf(m_using, m_pdf, documentName(), m_copies);
        m_pdf.clear();
        // The operator is told only that the printer failed; the print
        // system's reason goes to the log.
        if (!spooled.accepted)
            qWarning("Print queue %s did not take the order: %s", qUtf8Printable(m_using), qUtf8Printable(spooled.error));
        return spooled.accepted;
    }

private:
    QString m_queue;
    int m_copies;
    QString m_using;
    QByteArray m_pdf;
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
};

} // namespace

std::unique_ptr<PrintTarget> MakeSystemPrintTarget(const QString &queue)
{
    return std::make_unique<SystemPrintTarget>(queue);
}

} // namespace kestova
