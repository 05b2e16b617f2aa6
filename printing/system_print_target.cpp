// The program's printer: a print system queue (the system default unless
// one is named) with A4 paper, used without a printer dialog. The pages are
// written as one PDF document and handed to the queue through libcups, so
// that a refused or aborted job is known; its preview is Qt's print preview.
// The print system is asked on a thread of its own: the window goes on being
// drawn meanwhile, with a notice that the program waits for the printer.
#include "cups_queue.h"
#include "order_printing.h"
#include "pdf_unicode.h"
#include "program_title.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTimer>
#include <QToolBar>

#include <future>
#include <thread>

namespace kestova {

namespace {

// The longest the program waits for an answer, whatever libcups does
// inside: each exchange's own limit several times over, and the following
// of a job.
int FindLimitSeconds()
{
    return 3 * AnswerSeconds() + 2;
}
int SpoolLimitSeconds()
{
    return 5 * AnswerSeconds() + FollowSeconds + 2;
}

bool WindowShown()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            return true;
    }
    return false;
}

// Runs work on a thread of its own and returns its answer; none when it
// has not answered within limitSeconds (the thread then ends on its own).
// While it works, a shown window keeps being drawn, behind a notice that
// blocks its input.
template <typename Answer, typename Work>
std::optional<Answer> AskPrintSystem(Work work, int limitSeconds)
{
    auto task = std::make_shared<std::packaged_task<Answer()>>(std::move(work));
    std::future<Answer> answer = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    const QDeadlineTimer deadline(limitSeconds * 1000);
    const auto ready = [&answer] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (WindowShown()) {
        QProgressDialog notice(QStringLiteral("正在等待打印机回应…"), QString(), 0, 0, QApplication::activeWindow());
        notice.setWindowTitle(ProgramTitle);
        notice.setWindowModality(Qt::ApplicationModal);
        notice.setMinimumDuration(400);
        notice.setValue(0);
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (ready() || deadline.hasExpired())
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    if (answer.wait_for(std::chrono::milliseconds(deadline.remainingTime())) != std::future_status::ready)
        return std::nullopt;
    return answer.get();
}

QString NoAnswer(int seconds)
{
    return QStringLiteral("打印系统 %1 秒内没有回应").arg(seconds);
}

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
        const std::optional<QueueAnswer> found =
            AskPrintSystem<QueueAnswer>([queue = m_queue] { return FindQueue(queue); }, FindLimitSeconds());
        // Qt's printer asks the print system itself, without a time limit:
        // a print system that does not answer gets no preview, and the job
        // tells the operator so when it finds no printer.
        if (!found || !found->answered) {
            job(*this);
            return;
        }
        QPrinter printer(QPrinter::HighResolution);
        if (!found->queue.isEmpty())
            printer.setPrinterName(found->queue);
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
        // Without the queue nothing is drawn. Whether the queue takes the
        // job is its own answer when the job is handed over.
        const std::optional<QueueAnswer> found =
            AskPrintSystem<QueueAnswer>([queue = m_queue] { return FindQueue(queue); }, FindLimitSeconds());
        if (!found || found->queue.isEmpty()) {
            SetFailureReason(found ? found->failure : NoAnswer(FindLimitSeconds()));
            return nullptr;
        }
        m_using = found->queue;
        m_pdf.clear();
        m_buffer.setBuffer(&m_pdf);
        m_buffer.open(QIODevice::WriteOnly);
        m_writer = std::make_unique<QPdfWriter>(&m_buffer);
        m_writer->setCreator(ProgramTitle);
        m_writer->setTitle(documentName());
        m_writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                            found->margins.value_or(OrderPageMargins), QPageLayout::Millimeter));
        return m_writer.get();
    }

    bool CloseDevice() override
    {
        if (!m_writer)
            return false;
        m_writer.reset();
        m_buffer.close();
        MendPdfText(m_pdf);
        const std::optional<SpoolResult> spooled = AskPrintSystem<SpoolResult>(
            [queue = m_using, pdf = m_pdf, title = documentName(), copies = m_copies] {
                return SpoolPdf(queue, pdf, title, copies);
            },
            SpoolLimitSeconds());
        m_pdf.clear();
        if (!spooled || !spooled->accepted)
            SetFailureReason(spooled ? spooled->error : NoAnswer(SpoolLimitSeconds()));
        return spooled && spooled->accepted;
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
