// The program's printer: a print system queue (the system default unless
// one is named) with A4 paper, used without a printer dialog. The pages are
// written as one PDF document and handed to the queue through libcups, so
// that a refused or aborted job is known; its preview is Qt's print preview.
// The print system is asked on a thread of its own: the window goes on being
// drawn meanwhile, with a notice that the program waits for the printer.
#include "cups_queue.h"
#include "queue_chooser.h"
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
        // A print system that does not answer gets no preview, and the job
        // tells the operator so when it finds no printer.
        if (!found || !found->answered) {
            job(*this);
            return;
        }
        // The preview's printer is a PDF one laid out as the queue's A4
        // page, so that Qt never asks the print system itself.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          found->margins.value_or(OrderPageMargins), QPageLayout::Millimeter));
        printer.setDocName(documentName());
        QPrintPreviewDialog dialog(&printer, owner);
        dialog.setWindowTitle(QStringLiteral("打印预览"));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&job](QPrinter *shown) {
            BorrowedPrinterTarget target(*shown);
            target.SetOnScreen(true);
            job(target);
        });
        // Qt's own print and page set-up dialogs ask the print system
        // without a time limit. The page is always A4 with the queue's
        // margins, so page set-up goes; the print button lists the queues
        // the program's own way and prints on the chosen one.
        for (QAction *action : dialog.findChildren<QAction *>()) {
            if (action->text() == QCoreApplication::translate("QPrintPreviewDialog", "Page setup"))
                action->setVisible(false);
            if (action->text() != QCoreApplication::translate("QPrintPreviewDialog", "Print"))
                continue;
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            QObject::connect(action, &QAction::triggered, &dialog, [this, &job, &dialog] {
                const std::optional<QueueList> listed = AskPrintSystem<QueueList>(&ListQueues, FindLimitSeconds());
                SystemPrintTarget chosen{QString()};
                if (!listed || listed->queues.isEmpty()) {
                    chosen.m_refusal = listed ? listed->failure : NoAnswer(FindLimitSeconds());
                } else {
                    QueueChooser chooser(listed->queues, listed->defaultQueue, &dialog);
                    if (chooser.exec() != QDialog::Accepted)
                        return;
                    chosen.m_queue = chooser.queue();
                    chosen.m_copies = chooser.copies();
                }
                chosen.SetDocumentName(documentName());
                job(chosen);
                dialog.accept();
            });
        }
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
        if (!m_refusal.isEmpty()) {
            SetFailureReason(m_refusal);
            return nullptr;
        }
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
    QString m_refusal; // why there is no queue to print on, known before the job
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
