// The folder tree's start places and the mount table.
#include "start_places.h"

#include "path_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <algorithm>
#include <utility>

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

QStringList StartPlaces(const QString &lastPlace, const QString &home, const QList<MountEntry> &mounts)
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
    Q_UNUSED(home);
    Q_UNUSED(mounts);
    for (const QFileInfo &drive : QDir::drives())
        add(drive.absoluteFilePath());
#else
    add(home);
    for (const QString &place : MediaAndShares(mounts))
        add(place);
    add(FileSystemTop());
#endif
    return places;
}

QString FileSystemTop()
{
    return qEnvironmentVariable("KESTOVA_FILE_SYSTEM_TOP", QStringLiteral("/"));
}

MountTable &MountTable::Instance()
{
    // Never deleted: listers and questions may ask it while the program ends.
    static MountTable *const table = new MountTable;
    return *table;
}

MountTable::MountTable()
{
    SetSource({});
}

MountTable::~MountTable()
{
    Unwatch();
}

void MountTable::SetSource(const QString &file)
{
    QString source = file;
    if (source.isEmpty())
        source = qEnvironmentVariable("KESTOVA_MOUNT_TABLE");
    if (source.isEmpty())
        source = QStringLiteral("/proc/self/mounts");
    Unwatch();
    m_source = source;
    Watch();
    Reload();
}

void MountTable::Reload()
{
    QList<MountEntry> entries;
    QFile table(m_source);
    if (table.open(QIODevice::ReadOnly))
        entries = ParseMounts(table.readAll());
    if (entries == m_entries)
        return;
    m_entries = entries;
    m_points.clear();
    for (const MountEntry &entry : std::as_const(m_entries))
        m_points.append(entry.point);
    std::sort(m_points.begin(), m_points.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    emit Changed();
}

QString MountTable::MountOf(const QString &path) const
{
    for (const QString &point : m_points) {
        if (path == point || point == u'/'
            || (path.startsWith(point) && path.size() > point.size() && path[point.size()] == u'/'))
            return point;
    }
    return QStringLiteral("/");
}

void MountTable::Watch()
{
#ifdef Q_OS_LINUX
    if (m_source.startsWith(QLatin1String("/proc/"))) {
        // The kernel flags its open table (as an exceptional condition)
        // each time something is mounted or unmounted.
        m_fd = ::open(QFile::encodeName(m_source).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0) {
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &MountTable::Reload);
        }
        return;
    }
#endif
    if (m_source == QLatin1String("/dev/null"))
        return;  // an empty table for good, and every write anywhere would wake a watch
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(m_source);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        // A table written anew under its name loses its watch.
        if (!m_watcher->files().contains(m_source))
            m_watcher->addPath(m_source);
        Reload();
    });
}

void MountTable::Unwatch()
{
    delete std::exchange(m_notifier, nullptr);  // before its descriptor is closed
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
    delete std::exchange(m_watcher, nullptr);
}

} // namespace kestova
