// A folder served through slowfs, a FUSE file system that answers every
// request after a delay, as a network share or a card in a slow reader does.
// With a delay of an hour it is a share that went away; Freeze() makes a
// share that answered stop answering. Ending it kills the server, so
// requests still waiting fail at once, then unmounts it.
//
// TestMounts is the mount table the tree works from in a test (see
// MountTable): empty at first, and mounts the test names are written into
// it as the system would.
#pragma once

#include "start_places.h"

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
        m_server.start(KESTOVA_SLOWFS,
                       {m_source.path(), path(), QString::number(qint64(latencyMs) * 1000), m_control.path()});
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

    // From now on no request is answered.
    void Freeze() { QFile(m_control.path() + "/freeze").open(QIODevice::WriteOnly); }

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
    QTemporaryDir m_control;
    QProcess m_server;
    QString m_why;
};

class TestMounts
{
public:
    TestMounts() : m_before(MountTable::Instance().Source())
    {
        Write();
        MountTable::Instance().SetSource(m_dir.filePath("mounts"));
    }
    ~TestMounts() { MountTable::Instance().SetSource(m_before); }

    // Written as the kernel would; the tree notices by itself. Reload()
    // makes it take the table at once.
    void Mount(const QString &point, const QString &type)
    {
        m_lines << "test " + QString(point).replace(' ', "\\040") + ' ' + type + " rw 0 0";
        Write();
    }
    void Unmount(const QString &point)
    {
        m_lines.removeIf([&](const QString &line) { return line.section(' ', 1, 1) == QString(point).replace(' ', "\\040"); });
        Write();
    }
    void Reload() { MountTable::Instance().Reload(); }
    // A share of the test's, in the table at once.
    void MountShare(const SlowShare &share)
    {
        Mount(share.path(), "fuse.slowfs");
        Reload();
    }

private:
    void Write()
    {
        QFile table(m_dir.filePath("mounts"));
        if (table.open(QIODevice::WriteOnly))
            table.write((m_lines.join('\n') + '\n').toUtf8());
    }

    QTemporaryDir m_dir;
    QString m_before;
    QStringList m_lines;
};

} // namespace kestova::test
