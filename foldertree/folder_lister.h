// FolderLister: reads folders for the folder tree on worker threads, so that
// a slow network share, a memory card in a slow reader or a dead mount never
// stops the window. A request reads one folder (names through the path
// codec, hidden ones left out, sorted as the tree shows them) and its answer
// comes back as Listed on the lister's own thread. One reading per folder
// and kind is under way at a time; a folder that changes while it is read is
// read again afterwards. A worker stuck on a dead mount holds its own thread
// only: readings that take longer than a second no longer count against the
// few that run at once.
//
// Every folder read is also watched (inotify on Linux): a sub-folder made,
// removed or renamed in it is told as Changed, the folder itself removed or
// moved as Gone. A watch sees only what this machine changes, so a folder
// read whole on a network share is read again in the background every
// second and a half, one reading at a time, while it stays watched.
// Nothing here touches the file system on the caller's thread.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <list>
#include <memory>
#include <optional>

class QSocketNotifier;
class QFileSystemWatcher;

namespace kestova {

struct FolderEntry {
    QString name;
    quint64 inode = 0;  // tells a renamed folder from a new one; 0 when unknown
};

struct FolderListing {
    QString path;  // as asked
    bool full = false;  // every sub-folder, or only whether there is one
    int error = 0;      // errno of opening or reading the folder; 0 when read
    bool remote = false;  // on a network or FUSE file system, whose changes made elsewhere no watch sees
    QList<FolderEntry> folders;  // in the tree's order; at most one when !full
};

// The tree's order of names: case-insensitive, numbers by value.
bool FolderNameLess(const QString &a, const QString &b);

class FolderLister : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Probe, List };  // whether it holds a folder / all of them

    explicit FolderLister(QObject *parent = nullptr);
    ~FolderLister() override;

    // Asks for the folder to be read. Readings of whole folders go before
    // probes; the probe asked for last goes first (it is the one on screen).
    // again: the folder changed, so read it anew even when a reading is
    // under way.
    void Request(const QString &path, Kind kind, bool again = false);
    bool Busy(const QString &path, Kind kind) const;

    // Stops watching the folder.
    void Unwatch(const QString &path);
    // A folder was renamed: its watch, and those below it, report under the
    // new path.
    void Rewatch(const QString &from, const QString &to);

    // Whether path names a folder, asked on a worker thread and waited for
    // at most waitMs; no answer when none came in time. Asking again while
    // the first question is still open waits for the same answer.
    static std::optional<bool> IsFolderWithin(const QString &path, int waitMs);
    // The same; an answer that comes late is told as Checked.
    std::optional<bool> CheckFolder(const QString &path, int waitMs);

signals:
    void Listed(const kestova::FolderListing &listing);
    void Changed(const QString &path);
    void Gone(const QString &path);
    void Checked(const QString &path, bool folder);

private:
    struct Mailbox;
    struct Job {
        QString path;
        Kind kind;
    };
    struct Running {
        QElapsedTimer started;
        bool again = false;
    };
    using Key = QPair<QString, int>;

    void Pump();
    void Start(const Job &job);
    void Deliver(const FolderListing &listing, Kind kind, int watch);
    void NoteWatch(const QString &path, int watch);
    void ReadWatchEvents();
    void FlushChanges();

    std::shared_ptr<Mailbox> m_mailbox;
    std::list<Job> m_lists;   // first asked, first read
    std::list<Job> m_probes;  // last asked, first read
    QHash<Key, std::list<Job>::iterator> m_queued;
    QHash<Key, Running> m_running;
    QTimer m_stale;  // looks again when every slot is taken

    // Watches: inotify descriptor, watch number -> paths and back.
    std::shared_ptr<int> m_inotify;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, QStringList> m_watchPaths;
    QHash<QString, int> m_pathWatch;
    QFileSystemWatcher *m_fallback = nullptr;  // where there is no inotify
    QStringList m_changed;
    QTimer m_changeDelay;  // one reading for a burst of changes
    QStringList m_remote;  // read whole, on a share: read again now and then
    QTimer m_poll;
};

} // namespace kestova

Q_DECLARE_METATYPE(kestova::FolderListing)
