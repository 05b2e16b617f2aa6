// The places the folder tree starts from when it is given no top folder:
// the place of the folder counted last, the user's home, the removable media
// and the network shares that are mounted, then the top of the file system
// (on Windows, the drives). Media and shares come from the system's mount
// table (MountTable), which also tells when a stick is plugged in or a
// share mounted or gone.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QFileSystemWatcher;
class QSocketNotifier;

namespace kestova {

struct MountEntry {
    QString point;  // the mounted folder ('/' separators)
    QString type;   // "vfat", "nfs4", "fuse.sshfs", ...
    bool operator==(const MountEntry &) const = default;
};

// The lines of /proc/self/mounts: device, mount point (with \040-style
// escapes), type, ...
QList<MountEntry> ParseMounts(const QByteArray &table);

// The mount points an operator brings photos on, in the table's order:
// media mounted under /media and /run/media, and network or FUSE file
// systems anywhere but the system's own folders; hidden ones left out.
QStringList MediaAndShares(const QList<MountEntry> &mounts);

// The tree's top folders in their order, each once: lastPlace (may be
// empty), home, the media and shares of the mount table, then
// FileSystemTop() (on Windows, the drives).
QStringList StartPlaces(const QString &lastPlace, const QString &home, const QList<MountEntry> &mounts);

// "/", or the folder KESTOVA_FILE_SYSTEM_TOP names: the tests give one of
// their own, so that the tree never lists what this machine has mounted.
QString FileSystemTop();

// The mount table the tree works from: the places the start places come
// from and the mount each folder lies on (each mount has its own readers,
// see folder_lister.h). It is read from /proc/self/mounts, or from the file
// KESTOVA_MOUNT_TABLE names when set (the tests give their own, so nothing
// depends on what this machine has mounted), without touching any of the
// mounted disks. Changed tells when something is mounted or unmounted:
// the kernel marks its own table as changed, any other file is watched.
// Lives on the main thread.
class MountTable : public QObject
{
    Q_OBJECT
public:
    static MountTable &Instance();

    // Reads the table from file from now on; empty text: the default.
    void SetSource(const QString &file);
    QString Source() const { return m_source; }
    const QList<MountEntry> &Entries() const { return m_entries; }
    // The mount point the path lies on ("/" when none is known).
    QString MountOf(const QString &path) const;
    // Reads the table again and tells Changed when it differs.
    void Reload();

signals:
    void Changed();

private:
    MountTable();
    ~MountTable() override;
    void Watch();
    void Unwatch();

    QString m_source;
    QList<MountEntry> m_entries;
    QStringList m_points;  // longest first
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
};

} // namespace kestova
