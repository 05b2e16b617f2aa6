// Starting, driving and stopping the test's cupsd.
#include "cups_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <cups/cups.h>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace kestova::test {

namespace {

bool WriteText(const QString &path, const QByteArray &text, QFile::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()
           && file.setPermissions(permissions);
}

const QFile::Permissions Readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions Runnable = Readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

// A printer that takes PDF and hands it on unchanged: the filter copies the
// document to the queue's file device.
QByteArray Ppd(const QString &filter)
{
    return QByteArray("*PPD-Adobe: \"4.3\"\n"
                      "*FormatVersion: \"4.3\"\n"
                      "*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n"
                      "*LanguageEncoding: ISOLatin1\n"
                      "*PCFileName: \"KESTOVA.PPD\"\n"
                      "*Manufacturer: \"Kestova\"\n"
                      "*Product: \"(File)\"\n"
                      "*ModelName: \"Kestova test file printer\"\n"
                      "*ShortNickName: \"Kestova test file printer\"\n"
                      "*NickName: \"Kestova test file printer\"\n"
                      "*PSVersion: \"(3010.000) 0\"\n"
                      "*LanguageLevel: \"3\"\n"
                      "*ColorDevice: False\n"
                      "*DefaultColorSpace: Gray\n"
                      "*FileSystem: False\n"
                      "*Throughput: \"1\"\n"
                      "*LandscapeOrientation: Plus90\n"
                      "*TTRasterizer: Type42\n"
                      "*cupsFilter2: \"application/pdf application/vnd.cups-pdf 0 ")
           + filter.toUtf8()
           + "\"\n"
             "*OpenUI *PageSize/Media Size: PickOne\n"
             "*OrderDependency: 10 AnySetup *PageSize\n"
             "*DefaultPageSize: A4\n"
             "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
             "*CloseUI: *PageSize\n"
             "*OpenUI *PageRegion: PickOne\n"
             "*OrderDependency: 10 AnySetup *PageRegion\n"
             "*DefaultPageRegion: A4\n"
             "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
             "*CloseUI: *PageRegion\n"
             "*DefaultImageableArea: A4\n"
             "*ImageableArea A4/A4: \"12 24 583 818\"\n"
             "*DefaultPaperDimension: A4\n"
             "*PaperDimension A4/A4: \"595 842\"\n";
}

} // namespace

CupsServer::CupsServer()
    : m_dir(QStringLiteral("/tmp/kestova-cups-XXXXXX"))
{
    if (::geteuid() != 0) {
        m_why = QStringLiteral("cupsd needs root");
        return;
    }
    const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")});
    if (cupsd.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("lpadmin"), {QStringLiteral("/usr/sbin")}).isEmpty()) {
        m_why = QStringLiteral("cupsd or lpadmin is not installed (cups-daemon, cups-client)");
        return;
    }
    const QString root = m_dir.path();
    // Filters run as the unprivileged lp user: the folder must be open to it
    // and, for cupsd, writable by root alone.
    QFile::setPermissions(root, Runnable | QFile::WriteOwner);
    for (const char *sub : {"spool", "cache", "state", "log", "tmp", "out", "bin", "bin/backend"})
        QDir(root).mkdir(QString::fromLatin1(sub));
    // The system's programs, and a backend of the test's own beside them.
    for (const char *sub : {"filter", "daemon", "cgi-bin", "monitor", "notifier", "driver"})
        QFile::link(QStringLiteral("/usr/lib/cups/") + QLatin1String(sub), root + QStringLiteral("/bin/") + QLatin1String(sub));
    QFile::setPermissions(root + QStringLiteral("/tmp"), Runnable | QFile::WriteGroup | QFile::WriteOther);
    QFile::setPermissions(root + QStringLiteral("/out"), Runnable);
    const QByteArray r = root.toUtf8();
    const bool written =
        WriteText(root + QStringLiteral("/cupsd.conf"),
                  "Listen " + r + "/cups.sock\n"
                  "LogLevel debug\n"
                  "WebInterface No\n"
                  "Browsing No\n"
                  "DefaultAuthType None\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n",
                  Readable)
        && WriteText(root + QStringLiteral("/cups-files.conf"),
                     "ServerRoot " + r + "\nRequestRoot " + r + "/spool\nCacheDir " + r + "/cache\nStateDir " + r
                         + "/state\nTempDir " + r + "/tmp\nErrorLog " + r + "/log/error_log\nAccessLog " + r
                         + "/log/access_log\nPageLog " + r + "/log/page_log\nServerBin " + r + "/bin\nFileDevice Yes\n",
                     Readable)
        && WriteText(root + QStringLiteral("/passthrough"),
                     "#!/bin/sh\nif [ -n \"$6\" ]; then exec cat \"$6\"; else exec cat; fi\n", Runnable)
        && WriteText(root + QStringLiteral("/bin/backend/failing"),
                     "#!/bin/sh\n[ $# -eq 0 ] && exit 0\n"
                     "if [ -n \"$6\" ]; then cat \"$6\" >/dev/null; else cat >/dev/null; fi\n"
                     "echo 'ERROR: paper jam' >&2\nexit 1\n",
                     Runnable)
        && WriteText(root + QStringLiteral("/file.ppd"), Ppd(root + QStringLiteral("/passthrough")), Readable);
    if (!written) {
        m_why = QStringLiteral("cannot write the configuration under %1").arg(root);
        return;
    }

    // This process, and every program it starts, prints on the test's
    // server; a client.conf or lpoptions of the machine is not read.
    const QByteArray socket = r + "/cups.sock";
    qputenv("CUPS_SERVER", socket);
    qputenv("CUPS_SERVERROOT", r);
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    cupsSetServer(socket.constData());

    m_cupsd.setProgram(cupsd);
    m_cupsd.setArguments({QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/cupsd.conf"),
                          QStringLiteral("-s"), root + QStringLiteral("/cups-files.conf")});
    m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that dies takes its scheduler with it.
    m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_cupsd.start();
    if (!m_cupsd.waitForStarted(10000)) {
        m_why = QStringLiteral("cupsd did not start: %1").arg(m_cupsd.errorString());
        return;
    }
    const QDeadlineTimer deadline(20000);
    // Up once its socket takes a connection.
    const auto accepting = [&socket] {
        http_t *http = httpConnect2(socket.constData(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr);
        httpClose(http);
        return http != nullptr;
    };
    while (!accepting()) {
        if (deadline.hasExpired() || m_cupsd.state() != QProcess::Running) {
            m_why = QStringLiteral("cupsd did not come up:\n%1").arg(Log());
            return;
        }
        QThread::msleep(50);
    }
}

CupsServer::~CupsServer()
{
    if (m_cupsd.state() == QProcess::NotRunning)
        return;
    Thaw();
    m_cupsd.terminate();
    if (!m_cupsd.waitForFinished(10000)) {
        m_cupsd.kill();
        m_cupsd.waitForFinished(5000);
    }
}

bool CupsServer::Admin(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return false;
    m_said = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool CupsServer::AddQueue(const QString &name)
{
    // lpadmin warns that drivers are deprecated; it still sets them up.
    return Admin(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-v"),
                                             QStringLiteral("file://") + OutputFile(name), QStringLiteral("-P"),
                                             m_dir.path() + QStringLiteral("/file.ppd"), QStringLiteral("-E")});
}

bool CupsServer::AddFailingQueue(const QString &name)
{
    return Admin(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-v"), QStringLiteral("failing:/"),
                                             QStringLiteral("-P"), m_dir.path() + QStringLiteral("/file.ppd"),
                                             QStringLiteral("-o"), QStringLiteral("printer-error-policy=abort-job"),
                                             QStringLiteral("-E")});
}

void CupsServer::Freeze()
{
    ::kill(pid_t(m_cupsd.processId()), SIGSTOP);
}

void CupsServer::Thaw()
{
    ::kill(pid_t(m_cupsd.processId()), SIGCONT);
}

bool CupsServer::SetDefault(const QString &name)
{
    return Admin(QStringLiteral("lpadmin"), {QStringLiteral("-d"), name});
}

bool CupsServer::Reject(const QString &name)
{
    return Admin(QStringLiteral("cupsreject"), {name});
}

bool CupsServer::Pause(const QString &name)
{
    return Admin(QStringLiteral("cupsdisable"), {name});
}

bool CupsServer::Delete(const QString &name)
{
    return Admin(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
}

void CupsServer::Reset()
{
    cups_dest_t *dests = nullptr;
    const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < n; ++i)
        Delete(QString::fromUtf8(dests[i].name));
    cupsFreeDests(n, dests);
    QDir out(m_dir.path() + QStringLiteral("/out"));
    for (const QString &file : out.entryList(QDir::Files))
        out.remove(file);
}

QString CupsServer::OutputFile(const QString &queue) const
{
    return m_dir.path() + QStringLiteral("/out/") + queue + QStringLiteral(".pdf");
}

QList<CupsServer::Job> CupsServer::Jobs() const
{
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    QList<Job> list;
    for (int i = 0; i < n; ++i)
        list.append({jobs[i].id, QString::fromUtf8(jobs[i].dest), QString::fromUtf8(jobs[i].title), int(jobs[i].state)});
    cupsFreeJobs(n, jobs);
    std::sort(list.begin(), list.end(), [](const Job &a, const Job &b) { return a.id < b.id; });
    return list;
}

bool CupsServer::WaitDone(int id) const
{
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        for (const Job &job : Jobs()) {
            if (job.id == id && job.state >= IPP_JSTATE_CANCELED)
                return job.state == IPP_JSTATE_COMPLETED;
        }
        QThread::msleep(50);
    }
    return false;
}

QString CupsServer::Log() const
{
    QFile file(m_dir.path() + QStringLiteral("/log/error_log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace kestova::test
