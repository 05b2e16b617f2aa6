// PrintTarget's page loop, its paged-device base, the PDF target and the
// borrowed printer.
#include "print_target.h"

#include "dialogs.h"
#include "pdf_unicode.h"
#include "program_title.h"
#include "replace_file.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QPrinter>

namespace kestova {

void PrintTarget::Preview(const Job &job, const std::function<void()> &, QWidget *)
{
    job(*this);
}

QPainter *PagedDeviceTarget::NewPage()
{
    if (m_device) {
        if (!m_device->newPage())
            return nullptr;
        ++m_pages;
        return &m_painter;
    }
    SetFailureReason(QString());
    QPagedPaintDevice *device = OpenDevice();
    if (!device || !m_painter.begin(device)) {
        CloseDevice();
        return nullptr;
    }
    m_device = device;
    m_pages = 1;
    return &m_painter;
}

QRectF PagedDeviceTarget::PrintableArea() const
{
    if (!m_device)
        return {};
    // The painter's origin is the top-left corner of the printable area.
    const QRect paint = m_device->pageLayout().paintRectPixels(m_device->logicalDpiX());
    return QRectF(0, 0, paint.width(), paint.height());
}

QSizeF PagedDeviceTarget::Resolution() const
{
    if (!m_device)
        return {};
    return QSizeF(m_device->logicalDpiX(), m_device->logicalDpiY());
}

bool PagedDeviceTarget::EndDocument()
{
    if (!m_device)
        return true;
    const bool ended = m_painter.end();
    m_device = nullptr;
    return CloseDevice() && ended;
}

PdfPrintTarget::PdfPrintTarget(const QString &fileName, const QString &title)
    : m_fileName(fileName)
{
    SetDocumentName(title);
}

PdfPrintTarget::~PdfPrintTarget()
{
    EndDocument();
}

QPagedPaintDevice *PdfPrintTarget::OpenDevice()
{
    m_pdf.clear();
    m_buffer = std::make_unique<QBuffer>(&m_pdf);
    m_buffer->open(QIODevice::WriteOnly);
    m_writer = std::make_unique<QPdfWriter>(m_buffer.get());
    m_writer->setCreator(ProgramTitle);
    m_writer->setTitle(documentName());
    m_writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, OrderPageMargins,
                                        QPageLayout::Millimeter));
    return m_writer.get();
}

bool PdfPrintTarget::CloseDevice()
{
    if (!m_writer)
        return false;
    m_writer.reset();
    m_buffer.reset();
    MendPdfText(m_pdf);
    QString cause;
    const bool written = ReplaceFile(m_fileName, m_pdf, &cause);
    m_pdf.clear();
    if (!written)
        SetFailureReason(CannotWriteReason(m_fileName, cause));
    return written;
}

QString CannotWriteReason(const QString &fileName, const QString &cause)
{
    return QStringLiteral("无法写入 %1（%2）").arg(QDir::toNativeSeparators(fileName), cause);
}

BorrowedPrinterTarget::~BorrowedPrinterTarget()
{
    EndDocument();
}

QPagedPaintDevice *BorrowedPrinterTarget::OpenDevice()
{
    // A printer set to print into a file (the print dialog's PDF choice)
    // would write it in place; it writes a temporary file instead.
    m_pdfFile.clear();
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty()) {
        m_temp = std::make_unique<QTemporaryFile>();
        if (!m_temp->open()) {
            SetFailureReason(CannotWriteReason(m_temp->fileTemplate(), m_temp->errorString()));
            m_temp.reset();
            return nullptr;
        }
        m_pdfFile = m_printer.outputFileName();
        m_printer.setOutputFileName(m_temp->fileName());
    }
    return &m_printer;
}

bool BorrowedPrinterTarget::CloseDevice()
{
    if (m_pdfFile.isEmpty())
        return true;
    m_printer.setOutputFileName(m_pdfFile);
    QByteArray pdf = m_temp->readAll();
    const bool read = m_temp->error() == QFileDevice::NoError && !pdf.isEmpty();
    m_temp.reset();
    if (!read) {
        SetFailureReason(CannotWriteReason(m_pdfFile, QStringLiteral("临时文件无法读回")));
        return false;
    }
    MendPdfText(pdf);
    QString cause;
    if (!ReplaceFile(m_pdfFile, pdf, &cause)) {
        SetFailureReason(CannotWriteReason(m_pdfFile, cause));
        return false;
    }
    return true;
}

void UseA4(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
}

QString PrinterFailedText(const PrintTarget &target)
{
    const QString reason = target.failureReason();
    return reason.isEmpty() ? QStringLiteral("打印机失败...") : QStringLiteral("打印机失败：") + reason;
}

PagesPrinted PrintPages(PrintTarget &target, Dialogs &dialogs, const std::function<bool(QPainter &, int)> &drawPage)
{
    PagesPrinted printed;
    for (bool more = true; more;) {
        QPainter *painter = target.NewPage();
        if (!painter) {
            target.EndDocument();
            printed.failed = true;
            break;
        }
        more = drawPage(*painter, printed.pages++);
    }
    if (!printed.failed && !target.EndDocument())
        printed.failed = true;
    if (printed.failed)
        dialogs.ShowMessage(PrinterFailedText(target), ProgramTitle, MessageIcon::None, MessageButtons::Ok);
    return printed;
}

} // namespace kestova
