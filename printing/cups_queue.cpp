// libcups calls, each on a connection with a time limit to the default
// server (CUPS_SERVER, client.conf, else the local scheduler).
#include "cups_queue.h"

#include <QDeadlineTimer>

#include <cups/cups.h>

#include <chrono>
#include <memory>
#include <thread>

namespace kestova {

int AnswerSeconds()
{
    bool ok = false;
    const int given = qEnvironmentVariableIntValue("KESTOVA_PRINT_ANSWER_SECONDS", &ok);
    return ok && given > 0 ? given : 5;
}

namespace {

// A connection to the print system whose waits give up once the current
// exchange has gone AnswerSeconds without an answer.
class Connection
{
public:
    Connection()
    {
        Arm();
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              AnswerSeconds() * 1000, nullptr);
        if (m_http)
            httpSetTimeout(m_http, 0.25, &Connection::KeepWaiting, this);
        else
            m_timedOut = m_deadline.hasExpired();  // a server that takes no connection in time
    }
    ~Connection()
    {
        if (m_http)
            httpClose(m_http);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    http_t *http() const { return m_http; }
    // Starts the time limit of the next exchange.
    void Arm() { m_deadline = QDeadlineTimer(AnswerSeconds() * 1000); }
    bool timedOut() const { return m_timedOut; }

    // Why the last exchange failed.
    QString Failure() const
    {
        if (m_timedOut)
            return QStringLiteral("打印系统 %1 秒内没有回应").arg(AnswerSeconds());
        if (!m_http)
            return QStringLiteral("无法连接打印系统");
        switch (cupsLastError()) {
        case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS: return QStringLiteral("队列不接受任务");
        case IPP_STATUS_ERROR_NOT_FOUND: return QStringLiteral("打印系统找不到这个队列");
        case IPP_STATUS_ERROR_FORBIDDEN:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED: return QStringLiteral("打印系统不允许打印");
        case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        case IPP_STATUS_ERROR_INTERNAL: return QStringLiteral("无法连接打印系统（%1）").arg(LastErrorText());
        default: return QStringLiteral("打印系统拒绝了任务（%1）").arg(LastErrorText());
        }
    }

private:
    static QString LastErrorText() { return QString::fromUtf8(cupsLastErrorString()); }

    static int KeepWaiting(http_t *, void *self)
    {
        auto *connection = static_cast<Connection *>(self);
        if (!connection->m_deadline.hasExpired())
            return 1;
        connection->m_timedOut = true;
        return 0;
    }

    http_t *m_http = nullptr;
    QDeadlineTimer m_deadline;
    bool m_timedOut = false;
};

struct DestDeleter {
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
using Dest = std::unique_ptr<cups_dest_t, DestDeleter>;

Dest NamedDest(Connection &connection, const QString &queue)
{
    const QByteArray name = queue.toUtf8();
    connection.Arm();
    return Dest(cupsGetNamedDest(connection.http(), queue.isEmpty() ? nullptr : name.constData(), nullptr));
}

// Why no queue was found.
QString MissingQueue(const Connection &connection, const QString &queue)
{
    if (!connection.http() || connection.timedOut())
        return connection.Failure();
    if (queue.isEmpty())
        return QStringLiteral("没有默认打印机");
    return QStringLiteral("没有名为 %1 的打印机").arg(queue);
}

std::optional<QMarginsF> DestMargins(Connection &connection, cups_dest_t *dest)
{
    connection.Arm();
    cups_dinfo_t *info = cupsCopyDestInfo(connection.http(), dest);
    if (!info)
        return std::nullopt;
    cups_size_t size{};
    connection.Arm();
    const bool found = cupsGetDestMediaByName(connection.http(), dest, info, CUPS_MEDIA_A4,
                                              CUPS_MEDIA_FLAGS_DEFAULT, &size);
    cupsFreeDestInfo(info);
    if (!found)
        return std::nullopt;
    // Hundredths of a millimetre.
    return QMarginsF(size.left / 100.0, size.top / 100.0, size.right / 100.0, size.bottom / 100.0);
}

struct JobStatus {
    int state = 0;             // 0 when it could not be read
    QString message;           // what the printer or its backend last said
};

// Whether the queue is stopped (jobs wait on it until it is started again).
bool QueueStopped(Connection &connection, const char *queue)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s", queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state");
    connection.Arm();
    ipp_t *response = cupsDoRequest(connection.http(), request, "/");
    ipp_attribute_t *attr = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    const bool stopped = attr && ippGetInteger(attr, 0) == IPP_PSTATE_STOPPED;
    ippDelete(response);
    return stopped;
}

JobStatus ReadJob(Connection &connection, int jobId)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char *const wanted[] = {"job-state", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    connection.Arm();
    ipp_t *response = cupsDoRequest(connection.http(), request, "/");
    JobStatus status;
    if (ipp_attribute_t *attr = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
        status.state = ippGetInteger(attr, 0);
    if (ipp_attribute_t *attr = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT))
        status.message = QString::fromUtf8(ippGetString(attr, 0, nullptr)).trimmed();
    ippDelete(response);
    return status;
}

QString WithMessage(const QString &reason, const QString &message)
{
    return message.isEmpty() ? reason : QStringLiteral("%1（%2）").arg(reason, message);
}

// Follows a job until it ends or is held; the failure, or empty when the
// print system has taken it.
QString FollowJob(Connection &connection, const char *queue, int jobId)
{
    const QDeadlineTimer follow(FollowSeconds * 1000);
    for (;;) {
        const JobStatus job = ReadJob(connection, jobId);
        switch (job.state) {
        case IPP_JSTATE_ABORTED: return WithMessage(QStringLiteral("打印系统中止了任务"), job.message);
        case IPP_JSTATE_CANCELED: return WithMessage(QStringLiteral("任务被取消"), job.message);
        case IPP_JSTATE_STOPPED: return WithMessage(QStringLiteral("打印系统停止了任务"), job.message);
        case IPP_JSTATE_COMPLETED:
        case IPP_JSTATE_HELD: return QString();
        default: break;
        }
        // A job waiting on a stopped queue prints when the queue is started
        // again; a print system that stopped answering has the job already.
        if (job.state == 0 || follow.hasExpired())
            return QString();
        if (job.state == IPP_JSTATE_PENDING && QueueStopped(connection, queue))
            return QString();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

} // namespace

QueueAnswer FindQueue(const QString &queue)
{
    QueueAnswer answer;
    Connection connection;
    answer.answered = !connection.timedOut();
    if (!connection.http()) {
        answer.failure = connection.Failure();
        return answer;
    }
    const Dest dest = NamedDest(connection, queue);
    answer.answered = !connection.timedOut();
    if (!dest) {
        answer.failure = MissingQueue(connection, queue);
        return answer;
    }
    answer.queue = QString::fromUtf8(dest->name);
    answer.margins = DestMargins(connection, dest.get());
    return answer;
}

QueueList ListQueues()
{
    QueueList list;
    Connection connection;
    if (!connection.http()) {
        list.answered = !connection.timedOut();
        list.failure = connection.Failure();
        return list;
    }
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    connection.Arm();
    ipp_t *response = cupsDoRequest(connection.http(), request, "/");
    for (ipp_attribute_t *attr = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); attr;
         attr = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
        list.queues.append(QString::fromUtf8(ippGetString(attr, 0, nullptr)));
    ippDelete(response);
    if (connection.timedOut()) {
        list.failure = connection.Failure();
        return list;
    }
    const Dest dest = NamedDest(connection, QString());
    list.answered = !connection.timedOut();
    if (dest)
        list.defaultQueue = QString::fromUtf8(dest->name);
    else if (list.queues.isEmpty())
        list.failure = MissingQueue(connection, QString());
    return list;
}

SpoolResult SpoolPdf(const QString &queue, const QByteArray &pdf, const QString &title, int copies)
{
    SpoolResult result;
    Connection connection;
    if (!connection.http()) {
        result.error = connection.Failure();
        return result;
    }
    const Dest dest = NamedDest(connection, queue);
    if (!dest) {
        result.error = MissingQueue(connection, queue);
        return result;
    }
    cups_option_t *options = nullptr;
    int optionCount = 0;
    optionCount = cupsAddOption("media", CUPS_MEDIA_A4, optionCount, &options);
    if (copies > 1)
        optionCount = cupsAddOption("copies", QByteArray::number(copies).constData(), optionCount, &options);
    const QByteArray name = title.toUtf8();
    connection.Arm();
    const int jobId = cupsCreateJob(connection.http(), dest->name, name.constData(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (jobId <= 0) {
        result.error = connection.Failure();
        return result;
    }
    result.jobId = jobId;

    const auto cancel = [&] {
        connection.Arm();
        cupsCancelJob2(connection.http(), dest->name, jobId, 0);
    };
    connection.Arm();
    if (cupsStartDocument(connection.http(), dest->name, jobId, name.constData(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE) {
        result.error = connection.Failure();
        cancel();
        return result;
    }
    connection.Arm();
    const bool sent =
        cupsWriteRequestData(connection.http(), pdf.constData(), size_t(pdf.size())) == HTTP_STATUS_CONTINUE;
    // Read the answer even after a failed write: it says why.
    connection.Arm();
    const ipp_status_t status = cupsFinishDocument(connection.http(), dest->name);
    if (!sent || status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        result.error = connection.Failure();
        if (!connection.timedOut())
            cancel();
        return result;
    }
    result.error = FollowJob(connection, dest->name, jobId);
    result.accepted = result.error.isEmpty();
    return result;
}

} // namespace kestova
