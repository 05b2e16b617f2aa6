// The places the folder tree starts from when it is given no top folder:
// the place of the folder counted last, the user's home, the removable media
// and the network shares that are mounted, then the top of the file system
// (on Windows, the drives). Media and shares come from the system's mount
// table, which is read without touching any of the mounted disks, and a
// MountWatch tells when a stick is plugged in or a share mounted or gone.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

namespace kestova {

struct MountEntry {
    QString point;  // the mounted folder ('/' separators)
    QString type;   // "vfat", "nfs4", "fuse.sshfs", ...
};

// The lines of /proc/self/mounts: device, mount point (with \040-style
// escapes), type, ...
QList<MountEntry> ParseMounts(const QByteArray &table);

// The mount points an operator brings photos on, in the table's order:
// media mounted under /media and /run/media, and network or FUSE file
// systems anywhere but the system's own folders; hidden ones left out.
QStringList MediaAndShares(const QList<MountEntry> &mounts);

// The tree's top folders in their order, each once: lastPlace (may be
// empty), home, the media and shares of this system's mount table, then "/"
// (on Windows, the drives).
QStringList StartPlaces(const QString &lastPlace);

// Tells when the system's mount table changes. Nothing is polled: the
// kernel marks the table's file as changed.
class MountWatch : public QObject
{
    Q_OBJECT
public:
    explicit MountWatch(QObject *parent = nullptr);
    ~MountWatch() override;

signals:
    void Changed();

private:
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace kestova
