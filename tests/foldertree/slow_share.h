// A folder served through slowfs, a FUSE file system that answers every
// request after a delay, as a network share or a card in a slow reader does.
// With a delay of an hour it is a share that went away. Ending it kills the
// server, so requests still waiting fail at once, then unmounts it.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>

namespace kestova::test {

class SlowShare
{
public:
    SlowShare(int latencyMs, std::initializer_list<QString> folders)
    {
        for (const QString &folder : folders)
            QDir(m_source.path()).mkpath(folder);
        QDir(m_mount.path()).mkdir("share");
#ifndef KESTOVA_SLOWFS
        m_why = "slowfs was not built (libfuse3-dev missing)";
#else
        if (!QFile::exists("/dev/fuse")) {
            m_why = "no /dev/fuse";
            return;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SLOWFS_FOREGROUND", "1");
        m_server.setProcessEnvironment(env);
        m_server.start(KESTOVA_SLOWFS, {m_source.path(), path(), QString::number(qint64(latencyMs) * 1000)});
        if (!m_server.waitForStarted() || !QTest::qWaitFor([this] { return Mounted(); }, 5000))
            m_why = "slowfs did not mount: " + m_server.readAllStandardError();
#endif
    }
    ~SlowShare() { End(); }
    // The share goes away: the server ends and the share is unmounted.
    void End()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.kill();
            m_server.waitForFinished();
        }
        if (Mounted())
            QProcess::execute("fusermount3", {"-u", "-z", path()});
    }

    // The folder served, as the server sees it.
    QString sourcePath(const QString &relative) const { return m_source.path() + '/' + relative; }
    // Empty when the share is there; else why not (the test skips).
    QString whyNot() const { return m_why; }
    QString path(const QString &relative = {}) const
    {
        const QString top = m_mount.path() + "/share";
        return relative.isEmpty() ? top : top + '/' + relative;
    }

private:
    // Read from the mount table: asking the share itself would wait for it.
    bool Mounted() const
    {
        QFile table("/proc/self/mountinfo");
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray needle = ' ' + path().toUtf8() + ' ';
        return table.readAll().contains(needle);
    }

    QTemporaryDir m_source;
    QTemporaryDir m_mount;
    QProcess m_server;
    QString m_why;
};

} // namespace kestova::test
