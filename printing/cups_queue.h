// The print system's queues, through libcups: which queue prints when none
// is named, the margins of A4 paper on it, and handing it a PDF document so
// that the print system's answer is known.
#pragma once

#include <QByteArray>
#include <QMarginsF>
#include <QString>

#include <optional>

namespace kestova {

// The system default queue (the user's lpoptions default, else the
// server's). Empty when there is none, even when other queues exist.
QString DefaultQueue();

// The margins, in millimetres, the queue keeps on A4 paper; none when it
// does not say.
std::optional<QMarginsF> A4Margins(const QString &queue);

struct SpoolResult {
    bool accepted = false;  // the job exists on the queue, held or printing
    int jobId = 0;
    QString error;          // the print system's word when not accepted
};

// Creates a job named `title` on `queue`, sends `pdf` as its one document
// and reads back the job's state. A refused request, a missing queue or a
// job the queue aborted at once is not accepted.
SpoolResult SpoolPdf(const QString &queue, const QByteArray &pdf, const QString &title, int copies = 1);

} // namespace kestova
