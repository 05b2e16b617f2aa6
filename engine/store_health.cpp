// The store's health on opening: why an open failed, whether the last
// program may have ended uncleanly, and SQLite's page check.
#include "store_health.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

// Whether another program has the store open: every SQLite connection in WAL
// mode holds a read lock on one byte of the shared-memory file (the
// "dead-man switch" after the eight WAL locks at offset 120) as long as it
// lives; the system drops it when the program ends in any way.
bool OpenElsewhere(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path + QStringLiteral("-shm")).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 128;
    probe.l_len = 1;
    const bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
#else
    Q_UNUSED(path);
    return false;
#endif
}

} // namespace

QString OpenFailureCause(int code, const QString &detail)
{
    switch (code & 0xff) {
    case SQLITE_FULL: return QStringLiteral("磁盘已满");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return QStringLiteral("只读（文件或所在文件夹不可写入）");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("已损坏");
    case SQLITE_CANTOPEN: return QStringLiteral("无法打开（%1）").arg(detail);
    case SQLITE_IOERR: return QStringLiteral("磁盘读写错误（%1）").arg(detail);
    default: return detail;
    }
}

bool MayHaveEndedUncleanly(const QString &path)
{
    const QFileInfo wal(path + QStringLiteral("-wal"));
    if (QFileInfo::exists(path + QStringLiteral("-journal")))
        return true;
    return wal.exists() && wal.size() > 0 && !OpenElsewhere(path);
}

QString QuickCheck(sqlite3 *handle, const char *table)
{
    const QByteArray sql = table ? QByteArray("PRAGMA quick_check(") + table + ")" : QByteArray("PRAGMA quick_check");
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(handle, sql.constData(), -1, &statement, nullptr);
    QStringList found;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errstr(rc));
    return found.join(u'\n');
}

} // namespace kestova
