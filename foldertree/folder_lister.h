// FolderLister: reads folders for the folder tree on worker threads, so that
// a slow network share, a memory card in a slow reader or a dead mount never
// stops the window. A request reads one folder (names through the path
// codec, hidden ones left out, sorted as the tree shows them) and its answer
// comes back as Listed on the lister's own thread. One reading per folder
// and kind is under way at a time; a folder that changes while it is read is
// read again afterwards.
//
// Each mount (the local disk, each share, each stick; see MountTable) has
// its own few readers, counted for the whole program: a slow or dead share
// ties up its own readers only, and folders elsewhere are read as fast as
// with no share present. Per mount, whole folders are read before probes,
// the probe asked for last goes first (it is the one on screen), and only
// the newest few probes wait; older ones are dropped, to be asked again
// when their rows come into sight.
//
// Every folder read is also watched (inotify on Linux): a sub-folder made,
// removed or renamed in it is told as Changed, the folder itself removed or
// moved as Gone. A watch sees only what this machine changes, so a folder
// read whole on a network share is read again in the background every
// second and a half while it stays watched, when its mount has nothing
// else to read.
// Nothing here touches the file system on the caller's thread.
#pragma once

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

struct ListerMailbox;

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
    QHash<QString, int> rank;    // FolderNameKey of each folder -> its place, when full
};

// The tree's order of names: case-insensitive, numbers by value.
bool FolderNameLess(const QString &a, const QString &b);
// A name as the file system tells names apart (letter case too, but on Windows).
QString FolderNameKey(const QString &name);

class FolderLister : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Probe, List };  // whether it holds a folder / all of them

    explicit FolderLister(QObject *parent = nullptr);
    ~FolderLister() override;

    // Asks for the folder to be read (see the top of this file). again: the
    // folder changed, so read it anew even when a reading is under way.
    void Request(const QString &path, Kind kind, bool again = false);
    bool Busy(const QString &path, Kind kind) const;

    // Stops watching the folder.
    void Unwatch(const QString &path);
    // A folder was renamed: its watch, and those below it, report under the
    // new path.
    void Rewatch(const QString &from, const QString &to);

    // Whether path names a folder, asked on a worker thread of the path's
    // mount and waited for at most waitMs; no answer when none came in time
    // (at once when the mount's readers are all at work). Asking again while
    // the first question is still open waits for the same answer.
    static std::optional<bool> IsFolderWithin(const QString &path, int waitMs);
    // The same; an answer that comes late is told as Checked.
    std::optional<bool> CheckFolder(const QString &path, int waitMs);

signals:
    void Listed(const kestova::FolderListing &listing);
    void Changed(const QString &path);
    void Gone(const QString &path);
    void Checked(const QString &path, bool folder);

public:
    // Starts what waits, as far as the mounts have free readers; called
    // again whenever a reader comes free.
    void Pump();

    // Readers per mount, and how many probes of a mount wait at most.
    static constexpr int ReadersPerMount = 3;
    static constexpr int WaitingProbesPerMount = 40;

private:
    struct Job {
        QString path;
        Kind kind;
    };
    // What one mount waits to have read.
    struct Lane {
        std::list<Job> lists;   // first asked, first read
        std::list<Job> probes;  // last asked, first read
    };
    struct Running {
        QString mount;
        bool again = false;
    };
    using Key = QPair<QString, int>;

    void Start(const QString &mount, const Job &job);
    bool Idle(const QString &mount) const;
    void Deliver(const FolderListing &listing, Kind kind, int watch);
    void NoteWatch(const QString &path, int watch);
    void ReadWatchEvents();
    void FlushChanges();

    std::shared_ptr<ListerMailbox> m_mailbox;
    QHash<QString, Lane> m_lanes;  // by mount point
    QHash<Key, std::pair<QString, std::list<Job>::iterator>> m_queued;  // mount, place in its lane
    QHash<Key, Running> m_running;

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
