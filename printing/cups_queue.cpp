// libcups calls. Every call goes to the default server (CUPS_SERVER,
// client.conf, else the local scheduler).
#include "cups_queue.h"

#include <cups/cups.h>

#include <memory>

namespace kestova {

namespace {

struct DestDeleter {
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
using Dest = std::unique_ptr<cups_dest_t, DestDeleter>;

Dest NamedDest(const QString &queue)
{
    const QByteArray name = queue.toUtf8();
    return Dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.isEmpty() ? nullptr : name.constData(), nullptr));
}

QString LastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// The state of a job just sent, or 0 when it cannot be read.
int JobState(int jobId)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    int state = 0;
    if (ipp_attribute_t *attr = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
        state = ippGetInteger(attr, 0);
    ippDelete(response);
    return state;
}

} // namespace

QString DefaultQueue()
{
    const Dest dest = NamedDest(QString());
    return dest ? QString::fromUtf8(dest->name) : QString();
}

std::optional<QMarginsF> A4Margins(const QString &queue)
{
    const Dest dest = NamedDest(queue);
    if (!dest)
        return std::nullopt;
    cups_dinfo_t *info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get());
    if (!info)
        return std::nullopt;
    cups_size_t size{};
    const bool found = cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info, CUPS_MEDIA_A4,
                                              CUPS_MEDIA_FLAGS_DEFAULT, &size);
    cupsFreeDestInfo(info);
    if (!found)
        return std::nullopt;
    // Hundredths of a millimetre.
    return QMarginsF(size.left / 100.0, size.top / 100.0, size.right / 100.0, size.bottom / 100.0);
}

SpoolResult SpoolPdf(const QString &queue, const QByteArray &pdf, const QString &title, int copies)
{
    SpoolResult result;
    const Dest dest = NamedDest(queue);
    if (!dest) {
        result.error = queue.isEmpty() ? QStringLiteral("no default queue") : LastError();
        return result;
    }
    cups_option_t *options = nullptr;
    int optionCount = 0;
    optionCount = cupsAddOption("media", CUPS_MEDIA_A4, optionCount, &options);
    if (copies > 1)
        optionCount = cupsAddOption("copies", QByteArray::number(copies).constData(), optionCount, &options);
    const QByteArray name = title.toUtf8();
    const int jobId = cupsCreateJob(CUPS_HTTP_DEFAULT, dest->name, name.constData(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (jobId <= 0) {
        result.error = LastError();
        return result;
    }
    result.jobId = jobId;

    if (cupsStartDocument(CUPS_HTTP_DEFAULT, dest->name, jobId, name.constData(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE) {
        result.error = LastError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, jobId, 0);
        return result;
    }
    const bool sent =
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), size_t(pdf.size())) == HTTP_STATUS_CONTINUE;
    // Read the answer even after a failed write: it says why.
    const ipp_status_t status = cupsFinishDocument(CUPS_HTTP_DEFAULT, dest->name);
    if (!sent || status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        result.error = LastError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, jobId, 0);
        return result;
    }
    const int state = JobState(jobId);
    if (state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_CANCELED) {
        result.error = QStringLiteral("job %1 ended at once").arg(jobId);
        return result;
    }
    result.accepted = true;
    return result;
}

} // namespace kestova
