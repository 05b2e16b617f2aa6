// PrintTarget: where printed pages go. The print job draws on it through a
// QPainter page by page; the program's printer, a PDF file and the tests'
// recorders are targets. Also the paged-device base that the printer and PDF
// targets share.
#pragma once

#include <QBuffer>
#include <QMarginsF>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTemporaryFile>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPdfWriter;
class QPrinter;
class QWidget;

namespace kestova {

class Dialogs;

class PrintTarget
{
public:
    virtual ~PrintTarget() = default;

    // Starts the next page and gives the painter to draw it with; the first
    // call of a document starts the document. Null when the printer cannot
    // be used; nothing is started then.
    virtual QPainter *NewPage() = 0;
    // Valid after NewPage: the printable area in painter coordinates and the
    // painter's dots per inch.
    virtual QRectF PrintableArea() const = 0;
    virtual QSizeF Resolution() const = 0;
    // Ends the document, so that its pages go to the printer or file. False
    // when they could not be written. Without a started document: true.
    virtual bool EndDocument() = 0;

    // Runs a job meant for this target so that the operator sees its pages
    // before they go out. The job draws on the target it is given and ends
    // the document itself; saveAsPdf is offered beside the preview. Without
    // a screen of its own, a target runs the job straight onto itself.
    using Job = std::function<void(PrintTarget &)>;
    virtual void Preview(const Job &job, const std::function<void()> &saveAsPdf, QWidget *owner);

    // The name the next document carries: the spooler's job name, or the
    // PDF file's title.
    void SetDocumentName(const QString &name) { m_documentName = name; }
    QString documentName() const { return m_documentName; }

    // True for the preview's drawing on screen: pages that reach no printer
    // and no file, so no order is issued by them.
    void SetOnScreen(bool onScreen) { m_onScreen = onScreen; }
    bool OnScreen() const { return m_onScreen; }

    // Why the last NewPage or EndDocument failed, in the operator's words
    // ("队列不接受任务"); empty when the target cannot say.
    QString failureReason() const { return m_failureReason; }

protected:
    void SetFailureReason(const QString &reason) { m_failureReason = reason; }

private:
    QString m_documentName;
    bool m_onScreen = false;
    QString m_failureReason;
};

// What the operator is told when a target refused a page or a document:
// "打印机失败：" and the target's reason, else "打印机失败...".
QString PrinterFailedText(const PrintTarget &target);

// The pages of one document onto a target: each on a new page, drawn by
// drawPage(painter, index from 0), which says whether another page
// follows; then the document ends. A page or document the target refuses
// ends the document and is told through `dialogs` (PrinterFailedText).
struct PagesPrinted {
    int pages = 0;        // pages the target took
    bool failed = false;  // the target refused a page or the document
};
PagesPrinted PrintPages(PrintTarget &target, Dialogs &dialogs,
                        const std::function<bool(QPainter &, int)> &drawPage);

// The margins, in millimetres, of an order page on A4 when the paper's own
// are not known: 4 mm at the sides leave 202 mm for the 200 mm wide order.
inline const QMarginsF OrderPageMargins{4, 10, 4, 10};

// A target drawing on a QPagedPaintDevice (QPrinter, QPdfWriter).
class PagedDeviceTarget : public PrintTarget
{
public:
    QPainter *NewPage() override;
    QRectF PrintableArea() const override;
    QSizeF Resolution() const override;
    bool EndDocument() override;

    int pagesInDocument() const { return m_pages; }

protected:
    // The device for a new document, or null when there is none.
    virtual QPagedPaintDevice *OpenDevice() = 0;
    // After the painter has ended a document; false when it was not written.
    virtual bool CloseDevice() { return true; }

private:
    QPagedPaintDevice *m_device = nullptr;
    QPainter m_painter;
    int m_pages = 0;
};

// Writes the pages into a PDF file on A4; the document name is the PDF's
// title. The document is made in memory and replaces the file whole when it
// ends (ReplaceFile): a file that cannot be written fails EndDocument with
// the reason, and leaves an existing file as it was.
class PdfPrintTarget final : public PagedDeviceTarget
{
public:
    explicit PdfPrintTarget(const QString &fileName, const QString &title = QString());
    ~PdfPrintTarget() override;

    QString fileName() const { return m_fileName; }

protected:
    QPagedPaintDevice *OpenDevice() override;
    bool CloseDevice() override;

private:
    QString m_fileName;
    QByteArray m_pdf;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
};

// "无法写入 <file>（<cause>）": a PDF file that could not be written.
QString CannotWriteReason(const QString &fileName, const QString &cause);

// Draws onto a printer that someone else has set up and owns, such as the one
// a print preview hands out.
class BorrowedPrinterTarget final : public PagedDeviceTarget
{
public:
    explicit BorrowedPrinterTarget(QPrinter &printer) : m_printer(printer) {}
    ~BorrowedPrinterTarget() override;

protected:
    QPagedPaintDevice *OpenDevice() override;
    bool CloseDevice() override;

private:
    QPrinter &m_printer;
    // A printer set to print into a PDF file draws into m_temp; the file is
    // replaced whole when the document ends.
    QString m_pdfFile;
    std::unique_ptr<QTemporaryFile> m_temp;
};

// Puts A4 paper on the printer and keeps its other current settings.
void UseA4(QPrinter &printer);

} // namespace kestova
