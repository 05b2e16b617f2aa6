// The folder tree's start places and the watch on the mount table.
#include "start_places.h"

#include "path_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestova {

namespace {

// The table writes a space as \040, a tab \011, a newline \012 and a
// backslash \134.
QByteArray Unescape(const QByteArray &field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && value < 256) {
                bytes.append(char(value));
                i += 3;
                continue;
            }
        }
        bytes.append(field[i]);
    }
    return bytes;
}

bool Hidden(const QString &path)
{
    for (const QStringView name : QStringView(path).tokenize(u'/', Qt::SkipEmptyParts)) {
        if (name.startsWith(u'.'))
            return true;
    }
    return false;
}

bool Under(const QString &path, QLatin1StringView folder)
{
    return path == folder || (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == u'/');
}

bool NetworkType(const QString &type)
{
    static const QStringList network = {QStringLiteral("nfs"),    QStringLiteral("nfs4"),  QStringLiteral("cifs"),
                                        QStringLiteral("smb3"),   QStringLiteral("smbfs"), QStringLiteral("ncpfs"),
                                        QStringLiteral("afs"),    QStringLiteral("ceph"),  QStringLiteral("davfs"),
                                        QStringLiteral("9p"),     QStringLiteral("glusterfs")};
    // FUSE serves sshfs, rclone, s3fs and the like; the desktop's own
    // FUSE helpers live under /run/user and are left out by their place.
    return network.contains(type) || type.startsWith(QLatin1String("fuse."));
}

} // namespace

QList<MountEntry> ParseMounts(const QByteArray &table)
{
    QList<MountEntry> mounts;
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QByteArray point = Unescape(fields[1]);
#ifdef Q_OS_UNIX
        mounts.append({DecodePath(point), QString::fromLatin1(fields[2])});
#else
        mounts.append({QString::fromUtf8(point), QString::fromLatin1(fields[2])});
#endif
    }
    return mounts;
}

QStringList MediaAndShares(const QList<MountEntry> &mounts)
{
    QStringList places;
    for (const MountEntry &mount : mounts) {
        const QString &point = mount.point;
        if (Hidden(point) || places.contains(point))
            continue;
        const bool media = Under(point, QLatin1StringView("/media")) || Under(point, QLatin1StringView("/run/media"));
        const bool system = point == u'/' || Under(point, QLatin1StringView("/proc"))
                            || Under(point, QLatin1StringView("/sys")) || Under(point, QLatin1StringView("/dev"))
                            || Under(point, QLatin1StringView("/run")) || Under(point, QLatin1StringView("/boot"))
                            || Under(point, QLatin1StringView("/var/lib")) || Under(point, QLatin1StringView("/snap"));
        if ((media && point != u"/media" && point != u"/run/media") || (!system && NetworkType(mount.type)))
            places.append(point);
    }
    return places;
}

QStringList StartPlaces(const QString &lastPlace)
{
    QStringList places;
    const auto add = [&places](const QString &path) {
        if (path.isEmpty())
            return;
        const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
#ifdef Q_OS_WIN
        if (!places.contains(clean, Qt::CaseInsensitive))
#else
        if (!places.contains(clean))
#endif
            places.append(clean);
    };
    add(lastPlace);
#ifdef Q_OS_WIN
    for (const QFileInfo &drive : QDir::drives())
        add(drive.absoluteFilePath());
#else
    add(QDir::homePath());
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (table.open(QIODevice::ReadOnly))
        for (const QString &place : MediaAndShares(ParseMounts(table.readAll())))
            add(place);
    add(QStringLiteral("/"));
#endif
    return places;
}

MountWatch::MountWatch(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    // The kernel flags the open table (as an exceptional condition) each
    // time something is mounted or unmounted.
    m_fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &MountWatch::Changed);
    }
#endif
}

MountWatch::~MountWatch()
{
    delete m_notifier;  // before its descriptor is closed
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

} // namespace kestova
