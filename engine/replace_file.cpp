// Whole-file replacement: a temporary file beside the target, written,
// flushed to the disk and renamed over the target.
#include "replace_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestova {

QString FileErrorCause(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("磁盘已满");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("超出磁盘配额");
#endif
    case EACCES:
    case EPERM: return QStringLiteral("权限不足");
    case EROFS: return QStringLiteral("磁盘只读");
    case EISDIR: return QStringLiteral("这是文件夹，不是文件");
    case ENOENT:
    case ENOTDIR: return QStringLiteral("文件夹不存在");
    default: return qt_error_string(error);
    }
}

#ifdef Q_OS_WIN
bool ReplaceFile(const QString &target, const QByteArray &bytes, QString *cause)
{
    QSaveFile save(target);
    save.setDirectWriteFallback(false);
    // Unbuffered, so that a failed write shows in its result, not in a
    // flush QSaveFile does not check.
    if (save.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && save.write(bytes) == bytes.size() && save.commit())
        return true;
    *cause = save.errorString();
    return false;
}
#else
namespace {

// The directory entry of the rename is made durable too. The new contents
// are in place by then, so a failure here is not reported as a failed write.
void SyncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QByteArray TempName(const QByteArray &path)
{
    return path + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
}

int WriteAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

} // namespace

bool ReplaceFile(const QString &target, const QByteArray &bytes, QString *cause)
{
    const QByteArray path = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    struct stat old;
    const bool exists = ::stat(path.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        *cause = FileErrorCause(EISDIR);
        return false;
    }
    const bool replacing = exists && S_ISREG(old.st_mode);

    // An unnamed file first; a file system without them gets a named one.
    QByteArray temp;
    bool named = false;
    int fd = -1;
    int failure = 0;
#ifdef O_TMPFILE
    fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    failure = fd < 0 ? errno : 0;
#endif
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = TempName(path);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        failure = fd < 0 ? errno : 0;
        named = fd >= 0;
        if (fd < 0 && failure != EEXIST)
            break;
    }
    if (fd < 0) {
        *cause = FileErrorCause(failure);
        return false;
    }
    if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0)
        failure = errno;
    if (failure == 0)
        failure = WriteAll(fd, bytes);
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (failure == 0 && !named) {
        // Linking the unnamed file needs a name of its own: rename() is
        // what replaces the target in one step.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = TempName(path);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0) {
                named = true;
                break;
            }
            if (errno != EEXIST) {
                failure = errno;
                break;
            }
        }
    }
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.constData(), path.constData()) != 0)
        failure = errno;
    if (failure != 0) {
        if (named)
            ::unlink(temp.constData());
        *cause = FileErrorCause(failure);
        return false;
    }
    SyncFolder(folder);
    return true;
}
#endif

} // namespace kestova
