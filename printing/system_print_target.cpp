// The program's printer: the system's default printer with A4 paper, used
// without a printer dialog; its preview is Qt's print preview.
#include "order_printing.h"

#include <QAction>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace kestova {

namespace {

class SystemPrintTarget final : public PagedDeviceTarget
{
public:
    ~SystemPrintTarget() override { EndDocument(); }

    void Preview(const Job &job, const std::function<void()> &saveAsPdf, QWidget *owner) override
    {
        QPrinter printer(QPrinter::HighResolution);
        UseA4(printer);
        QPrintPreviewDialog dialog(&printer, owner);
        dialog.setWindowTitle(QStringLiteral("打印预览"));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&job](QPrinter *shown) {
            BorrowedPrinterTarget target(*shown);
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
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // Without a system printer QPrinter falls back to a PDF file without
        // a name: there is no printer to use.
        if (m_printer->outputFormat() != QPrinter::NativeFormat || !m_printer->isValid())
            return nullptr;
        UseA4(*m_printer);
        m_printer->setDocName(QStringLiteral("冲印单"));
        return m_printer.get();
    }

    bool CloseDevice() override
    {
        const bool ok = m_printer && m_printer->printerState() != QPrinter::Error;
        m_printer.reset();
        return ok;
    }

private:
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace

std::unique_ptr<PrintTarget> MakeSystemPrintTarget()
{
    return std::make_unique<SystemPrintTarget>();
}

} // namespace kestova
