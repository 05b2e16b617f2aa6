// The print system's queues, through libcups: which queue prints when none
// is named, the margins of A4 paper on it, and handing it a PDF document
// and following the job until the print system has taken it or failed it.
//
// Every exchange runs on a connection of its own whose every wait ends
// after AnswerSeconds without an answer, so a print system that accepts
// connections and never answers (a stopped scheduler, a dead server) fails
// the call instead of blocking it. Failures come with the reason in the
// operator's words.
#pragma once

#include <QByteArray>
#include <QMarginsF>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestova {

// How long one exchange with the print system may go without an answer:
// 5 s, or the whole seconds KESTOVA_PRINT_ANSWER_SECONDS gives (the tests
// of a print system that stops answering use 1).
int AnswerSeconds();
// How long a job that the queue has accepted is followed for an end
// (completed, aborted, cancelled, held); still pending or printing after
// that, it is the print system's.
constexpr int FollowSeconds = 10;

struct QueueAnswer {
    QString queue;                     // empty when there is none
    std::optional<QMarginsF> margins;  // millimetres on A4, when the queue says
    QString failure;                   // why there is no queue
    bool answered = false;             // false when the print system did not answer in time
};

// The queue named, or the system default (the user's lpoptions default, else
// the server's) when the name is empty; none when there is no default, even
// when other queues exist.
QueueAnswer FindQueue(const QString &queue);

// The queues the print system offers, in its order, and its default.
struct QueueList {
    QStringList queues;
    QString defaultQueue;    // empty when there is none
    QString failure;         // why there are none
    bool answered = false;   // false when the print system did not answer in time
};
QueueList ListQueues();

struct SpoolResult {
    bool accepted = false;  // the print system has taken the job
    int jobId = 0;
    QString error;          // why not, for the operator
};

// Creates a job named `title` on `queue`, sends `pdf` as its one document
// and follows the job (at most FollowSeconds): accepted once it completed,
// is held (by the operator or a stopped queue) or is still queued or
// printing when the time is up; not accepted when the request was refused,
// the queue is missing or the job was aborted, cancelled or stopped.
SpoolResult SpoolPdf(const QString &queue, const QByteArray &pdf, const QString &title, int copies = 1);

} // namespace kestova
