// What every test program sets before anything reads it, so that no result
// depends on the machine: no mount table of its own (nothing is mounted
// unless a test says so), a time zone, a clock started at a fixed moment
// (clock.h) far from midnight both in UTC and in the time zone, and, where
// it may (as root), a temporary folder of its own in memory that is also the
// folder tree's top, so that neither the disk's speed, what other programs keep in
// /tmp nor what the machine has mounted shows in a test. Programs the tests
// start inherit the same.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <ctime>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace kestova::test {

// The clock's start: 04:00 on the 15th in the tests' time zone.
inline constexpr char TestClockStart[] = "2026-03-14T20:00:00Z";

// Called before the program starts a thread (a process with threads cannot
// leave its mount namespace). The namespace ends with the test program and
// the programs it started. The memory folder is mounted on a new folder of
// its own, never over /tmp itself, which may hold the build tree.
inline void UseOwnTemporaryFolder()
{
    if (!qEnvironmentVariableIsEmpty("TMPDIR") || ::geteuid() != 0)
        return;
    static char folder[] = "/tmp/kestova-tests-XXXXXX";
    if (!::mkdtemp(folder))
        return;
    // Nothing mounted from here on reaches the machine's own mount table.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("kestova-tests", folder, "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
        ::rmdir(folder);
        return;
    }
    // The empty folder left on the machine's /tmp goes when the program ends.
    std::atexit([] {
        ::umount2(folder, MNT_DETACH);
        ::rmdir(folder);
    });
    qputenv("TMPDIR", folder);
    // The folder tree's top: the tests' own files, none of the machine's
    // mounts.
    if (qEnvironmentVariableIsEmpty("KESTOVA_FILE_SYSTEM_TOP"))
        qputenv("KESTOVA_FILE_SYSTEM_TOP", folder);
}

inline void UseTestEnvironment()
{
    UseOwnTemporaryFolder();
    if (qgetenv("KESTOVA_MOUNT_TABLE").isEmpty())
        qputenv("KESTOVA_MOUNT_TABLE", "/dev/null");
    qputenv("TZ", "CST-8");
    ::tzset();
    if (qgetenv("KESTOVA_CLOCK").isEmpty())
        qputenv("KESTOVA_CLOCK", TestClockStart);
}

// One variable set for a scope (and the programs started in it), then put
// back as it was.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name)
        , m_before(qgetenv(name))
        , m_was(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_was)
            qputenv(m_name, m_before);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    QByteArray m_before;
    bool m_was;
};

} // namespace kestova::test
