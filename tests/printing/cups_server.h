// A CUPS scheduler of the test's own: cupsd started as root with a
// temporary configuration, spool and log, listening only on a socket under
// /tmp, so nothing meets a system cupsd. Its queues write each job's
// document into a file of their own. Stopped and removed when destroyed.
#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kestova::test {

class CupsServer
{
public:
    // Starts cupsd and points this process (and the programs it starts) at
    // it through CUPS_SERVER. Check running(); why() says what failed.
    CupsServer();
    ~CupsServer();
    CupsServer(const CupsServer &) = delete;
    CupsServer &operator=(const CupsServer &) = delete;

    bool running() const { return m_why.isEmpty(); }
    QString why() const { return m_why; }

    // lpadmin and its friends on this server; false when they fail.
    bool AddQueue(const QString &name);  // accepting and enabled
    // A queue whose backend reads the job, says why it fails and fails,
    // with the policy that aborts a job its backend failed.
    bool AddFailingQueue(const QString &name);
    bool SetDefault(const QString &name);
    bool Reject(const QString &name);    // cupsreject
    bool Pause(const QString &name);     // cupsdisable: jobs are held
    bool Delete(const QString &name);
    // Removes every queue (and with them their jobs).
    void Reset();

    // The scheduler stopped (SIGSTOP) and let go on: it keeps its socket
    // and takes connections, but answers nothing.
    void Freeze();
    void Thaw();

    // Where the jobs of a queue leave their documents.
    QString OutputFile(const QString &queue) const;

    struct Job {
        int id = 0;
        QString queue;
        QString title;
        int state = 0;  // IPP job state: 3 pending ... 9 completed
    };
    // Every job the server knows, completed ones too, oldest first.
    QList<Job> Jobs() const;
    // Waits (a bounded while) until the job has left the queue; its document
    // is then in OutputFile. False when it did not.
    bool WaitDone(int id) const;
    // The scheduler's error_log.
    QString Log() const;
    // What the last lpadmin (or the like) printed.
    QString said() const { return m_said; }

private:
    bool Admin(const QString &program, const QStringList &args);

    QTemporaryDir m_dir;
    QProcess m_cupsd;
    QString m_why;
    QString m_said;
};

} // namespace kestova::test
