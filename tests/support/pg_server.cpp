// The test's PostgreSQL server.
#include "pg_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kestova::test {

namespace {

// The newest installed server's programs, as Debian lays them out.
QString ServerPrograms()
{
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &v : versions) {
        const QString bin = lib.filePath(v + QStringLiteral("/bin"));
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

// The account the server runs under: the caller, or when that is root an
// unprivileged one.
const passwd *ServerAccount()
{
    if (geteuid() != 0)
        return getpwuid(geteuid());
    const passwd *pw = getpwnam("postgres");
    return pw ? pw : getpwnam("nobody");
}

} // namespace

PgServer::PgServer(const QString &password)
    : m_password(password)
{
    char pattern[] = "/tmp/kpg-XXXXXX";
    if (mkdtemp(pattern))
        m_root = QString::fromLocal8Bit(pattern);
}

PgServer::~PgServer()
{
    if (m_made)
        Stop();
    if (!m_root.isEmpty())
        QDir(m_root).removeRecursively();
}

bool PgServer::Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const passwd *account = ServerAccount();
    if (geteuid() == 0 && account) {
        p.setProgram(QStringLiteral("setpriv"));
        p.setArguments(QStringList{QStringLiteral("--reuid=%1").arg(account->pw_uid),
                                   QStringLiteral("--regid=%1").arg(account->pw_gid), QStringLiteral("--clear-groups"),
                                   m_bin + u'/' + program}
                       + args);
    } else {
        p.setProgram(m_bin + u'/' + program);
        p.setArguments(args);
    }
    p.setWorkingDirectory(m_root);
    p.start();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_problem = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()).trimmed();
        return false;
    }
    return true;
}

bool PgServer::Start()
{
    m_bin = ServerPrograms();
    if (m_bin.isEmpty()) {
        m_problem = QStringLiteral("PostgreSQL (Debian package postgresql) is not installed");
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        m_problem = QStringLiteral("Qt's PostgreSQL driver (libqt6sql6-psql) is not installed");
        return false;
    }
    const QString data = m_root + QStringLiteral("/data");
    if (!m_made) {
        const passwd *account = ServerAccount();
        if (!account || chown(m_root.toLocal8Bit().constData(), account->pw_uid, account->pw_gid) != 0) {
            m_problem = QStringLiteral("no account to run the server under");
            return false;
        }
        QStringList args{QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
                         QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                         QStringLiteral("--no-sync")};
        if (m_password.isEmpty()) {
            args << QStringLiteral("--auth=trust");
        } else {
            const QString file = m_root + QStringLiteral("/password");
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly) || f.write(m_password.toUtf8() + '\n') < 0)
                return false;
            f.close();
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
            args << QStringLiteral("--auth=scram-sha-256") << QStringLiteral("--pwfile=") + file;
        }
        if (!Run(QStringLiteral("initdb"), args))
            return false;
        m_made = true;
    }
    // Only the socket in our folder; nothing durable (the cluster is thrown
    // away).
    const QString options = QStringLiteral("-k %1 -c listen_addresses= -p 5432 -c fsync=off -c full_page_writes=off").arg(m_root);
    return Run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data, QStringLiteral("-o"), options, QStringLiteral("-l"),
                                         m_root + QStringLiteral("/server.log"), QStringLiteral("-w"),
                                         QStringLiteral("start")});
}

bool PgServer::Stop()
{
    return Run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_root + QStringLiteral("/data"), QStringLiteral("-m"),
                                         QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString PgServer::Connection(const QString &database) const
{
    return QStringLiteral("host=%1 port=5432 dbname=%2 user=postgres").arg(m_root, database);
}

QString PgServer::Nowhere()
{
    return QStringLiteral("host=/nonexistent-kestova port=5432 dbname=kestova user=postgres");
}

QString PgServer::NewDatabase()
{
    const QString name = QStringLiteral("kestova%1").arg(++m_databases);
    const QString connection = QStringLiteral("PgServer-admin");
    bool made = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setConnectOptions(Connection(QStringLiteral("postgres"))
                             + (m_password.isEmpty() ? QString() : QStringLiteral(" password=") + m_password));
        made = db.open() && QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE ") + name);
        if (!made)
            m_problem = db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return made ? Connection(name) : QString();
}

} // namespace kestova::test
