// SlowMount: a folder mirrored through slowfs (a FUSE file system that
// answers every request late and can hold one name up entirely), mounted for
// one test as a stand-in for a network share. Needs root and /dev/fuse.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace kestova::test {

class SlowMount
{
public:
    // Mirrors source with delayUs per request; reading the file or listing
    // the folder named hold blocks until release().
    SlowMount(const QString &source, int delayUs, const QString &hold = QString());
    ~SlowMount();

    SlowMount(const SlowMount &) = delete;
    SlowMount &operator=(const SlowMount &) = delete;

    // Why the mirror could not be mounted; empty when it is.
    QString whyNot() const { return m_whyNot; }
    // The mirror of source, without a separator at the end.
    QString path() const;

    // A request for the held name is waiting, and (letGo) was answered.
    bool held() const;
    bool letGo() const;
    // Lets the held request through and waits until it is answered.
    void release();
    // Ends the mirror at once, as a pulled card or a lost share: every
    // request then fails.
    void vanish();

private:
    QTemporaryDir m_dir;
    QProcess m_mirror;
    QString m_whyNot;
};

} // namespace kestova::test
