// SlowMount: starting slowfs and waiting for its mount.
#include "slow_mount.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestova::test {

namespace {

bool IsMountPoint(const QString &path)
{
    struct stat self, parent;
    return ::stat(QFile::encodeName(path).constData(), &self) == 0
           && ::stat(QFile::encodeName(path + QStringLiteral("/..")).constData(), &parent) == 0
           && self.st_dev != parent.st_dev;
}

} // namespace

SlowMount::SlowMount(const QString &source, int delayUs, const QString &hold)
{
#ifndef KESTOVA_SLOWFS
    m_whyNot = QStringLiteral("slowfs was not built (libfuse3-dev missing)");
    return;
#else
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_whyNot = QStringLiteral("mounting a FUSE file system needs root and /dev/fuse");
        return;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("mnt"));
    QDir(m_dir.path()).mkpath(QStringLiteral("control"));
    QStringList args = {source, path(), QString::number(delayUs), m_dir.filePath(QStringLiteral("control"))};
    if (!hold.isEmpty())
        args << hold;
    m_mirror.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SLOWFS_FOREGROUND"), QStringLiteral("1"));
    m_mirror.setProcessEnvironment(env);
    m_mirror.start(QStringLiteral(KESTOVA_SLOWFS), args);
    QElapsedTimer clock;
    clock.start();
    while (!IsMountPoint(path())) {
        if (m_mirror.state() == QProcess::NotRunning || clock.elapsed() > 10000) {
            m_whyNot = QStringLiteral("slowfs could not mount (no FUSE in this system?)");
            m_mirror.kill();
            m_mirror.waitForFinished();
            return;
        }
        m_mirror.waitForFinished(10);
    }
#endif
}

SlowMount::~SlowMount()
{
    if (m_mirror.state() == QProcess::NotRunning) {
        if (m_whyNot.isEmpty())
            ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
        return;
    }
    release();
    ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    if (!m_mirror.waitForFinished(5000)) {
        m_mirror.kill();
        m_mirror.waitForFinished();
    }
}

void SlowMount::vanish()
{
    m_mirror.kill();
    m_mirror.waitForFinished();
}

QString SlowMount::path() const
{
    return m_dir.filePath(QStringLiteral("mnt"));
}

bool SlowMount::held() const
{
    return QFile::exists(m_dir.filePath(QStringLiteral("control/held")));
}

bool SlowMount::letGo() const
{
    return QFile::exists(m_dir.filePath(QStringLiteral("control/let-go")));
}

void SlowMount::release()
{
    QFile(m_dir.filePath(QStringLiteral("control/release"))).open(QIODevice::WriteOnly);
    for (int i = 0; i < 2000 && held() && !letGo(); ++i)
        QThread::msleep(5);
}

} // namespace kestova::test
