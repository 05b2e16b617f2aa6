// CountLock: flock on a file that is checked to be the one at the path.
#include "count_lock.h"

#include "read_failure.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

QString NotAFile(const QString &path)
{
    return QStringLiteral("统计锁 %1 不是普通文件，请删除它").arg(QDir::toNativeSeparators(path));
}

} // namespace

std::unique_ptr<CountLock> CountLock::Take(const QString &path, State *state, QString *failure)
{
    std::unique_ptr<CountLock> lock(new CountLock);
    lock->m_path = path;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    // A holder may let go (and remove the file) between this program's open
    // and its lock; the lock then holds a file no longer at the path, and
    // the path is tried again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        // O_NONBLOCK: a FIFO put there must not hold the open; O_NOFOLLOW: a
        // link is not followed to wherever it points.
        constexpr int Flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(name.constData(), O_RDWR | Flags, 0666);
        // One left by another user may only be read: a read-only file locks
        // as well, without the note.
        if (fd < 0 && errno == EACCES)
            fd = ::open(name.constData(), O_RDONLY | Flags, 0666);
        if (fd < 0) {
            const int error = errno;
            *state = State::Failed;
            *failure = error == EISDIR || error == ELOOP || error == ENXIO
                           ? NotAFile(path)
                           : QStringLiteral("无法建立统计锁 %1：%2").arg(QDir::toNativeSeparators(path), SystemCause(error));
            return nullptr;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            *state = State::Failed;
            *failure = NotAFile(path);
            return nullptr;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK || error == EINTR) {
                *state = State::Busy;
                return nullptr;
            }
            *state = State::Failed;
            *failure = QStringLiteral("无法锁定统计锁 %1：%2").arg(QDir::toNativeSeparators(path), SystemCause(error));
            return nullptr;
        }
        struct stat now;
        if (::stat(name.constData(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            ::close(fd);
            continue;
        }
        // Who holds it, for a person; nothing reads this back.
        const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n'
                                  + QSysInfo::machineHostName().toUtf8() + '\n';
        const bool noted = ::ftruncate(fd, 0) == 0
                           && ::pwrite(fd, holder.constData(), size_t(holder.size()), 0) == ssize_t(holder.size());
        Q_UNUSED(noted); // the lock holds without the note
        lock->m_fd = fd;
        *state = State::Locked;
        return lock;
    }
    *state = State::Busy;
    return nullptr;
#else
    lock->m_fallback = std::make_unique<QLockFile>(path);
    lock->m_fallback->setStaleLockTime(0);
    if (lock->m_fallback->tryLock(0)) {
        *state = State::Locked;
        return lock;
    }
    if (lock->m_fallback->error() == QLockFile::LockFailedError) {
        *state = State::Busy;
    } else {
        *state = State::Failed;
        *failure = QStringLiteral("无法建立统计锁 %1").arg(QDir::toNativeSeparators(path));
    }
    return nullptr;
#endif
}

CountLock::~CountLock()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        // Removed while still locked, so that no one locks the old file
        // after it is gone from the path.
        ::unlink(QFile::encodeName(m_path).constData());
        ::close(m_fd);
    }
#endif
}

} // namespace kestova
