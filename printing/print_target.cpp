// PrintTarget's paged-device base, the PDF target and the borrowed printer.
#include "print_target.h"

#include "pdf_unicode.h"
#include "program_title.h"

#include <QFile>
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
    // Opened here rather than by the writer, so that a file that cannot be
    // written is a refused page, not a painter warning.
    m_file = std::make_unique<QFile>(m_fileName);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_file.reset();
        return nullptr;
    }
    m_writer = std::make_unique<QPdfWriter>(m_file.get());
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
    const bool written = m_file->error() == QFileDevice::NoError && m_file->size() > 0;
    m_file.reset();
    return written && MendPdfTextFile(m_fileName);
}

BorrowedPrinterTarget::~BorrowedPrinterTarget()
{
    EndDocument();
}

QPagedPaintDevice *BorrowedPrinterTarget::OpenDevice()
{
    return &m_printer;
}

bool BorrowedPrinterTarget::CloseDevice()
{
    // A printer set to print into a file (the print dialog's PDF choice)
    // has written it when the painter ended.
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty())
        return MendPdfTextFile(m_printer.outputFileName());
    return true;
}

void UseA4(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
}

} // namespace kestova
