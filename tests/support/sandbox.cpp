// Temporary-folder fixtures.
#include "sandbox.h"

#include "photo_store.h"
#include "program_folder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestova::test {

Sandbox::Sandbox()
    : m_previous(ProgramFolder())
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    QDir(m_dir.path()).mkpath(QStringLiteral("program"));
    SetProgramFolder(programDir());
}

Sandbox::~Sandbox()
{
    SetProgramFolder(QString());
    RemoveTree(QFile::encodeName(m_dir.path()));
}

QString Sandbox::programDir() const
{
    return path(QStringLiteral("program"));
}

QString Sandbox::path(const QString &relative) const
{
    return QDir(m_dir.path()).filePath(relative);
}

void Sandbox::createStore() const
{
    QString error;
    if (!PhotoStore::Create(DataMdbPath(), &error))
        throw std::runtime_error(error.toStdString());
}

QString Sandbox::writeFile(const QString &relative, const QByteArray &bytes) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + full.toStdString());
    return full;
}

QString Sandbox::mkdir(const QString &relative) const
{
    const QString full = path(relative);
    QDir().mkpath(full);
    return full;
}

namespace {

// The folder at relative under dirFd, made where missing; returns its
// descriptor and closes dirFd.
int EnterFolders(int dirFd, const QList<QByteArray> &names)
{
    for (const QByteArray &name : names) {
        if (name.isEmpty())
            continue;
        if (::mkdirat(dirFd, name.constData(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdirat failed: " + name.toStdString());
        const int next = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dirFd);
        if (next < 0)
            throw std::runtime_error("openat failed: " + name.toStdString());
        dirFd = next;
    }
    return dirFd;
}

void RemoveChildren(int dirFd)
{
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (::unlinkat(dirFd, name, 0) == 0)
            continue;
        const int child = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0)
            RemoveChildren(child);
        ::unlinkat(dirFd, name, AT_REMOVEDIR);
    }
    ::closedir(dir);
}

} // namespace

void RemoveTree(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    RemoveChildren(fd);
    ::rmdir(path.constData());
}

void Sandbox::writeRawFile(const QByteArray &relative, const QByteArray &bytes) const
{
    QList<QByteArray> names = relative.split('/');
    const QByteArray file = names.takeLast();
    const int dirFd = EnterFolders(::open(QFile::encodeName(root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), names);
    const int fd = ::openat(dirFd, file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(dirFd);
    if (fd < 0)
        throw std::runtime_error("cannot create " + file.toStdString());
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    if (!written)
        throw std::runtime_error("cannot write " + file.toStdString());
}

void Sandbox::mkdirRaw(const QByteArray &relative) const
{
    ::close(EnterFolders(::open(QFile::encodeName(root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                         relative.split('/')));
}

namespace {

// A plain image at the given density, encoded in memory. Qt writes a JPEG's
// density as dots per inch, rounded from dots per metre.
QByteArray ImageBytes(int width, int height, double dpi, const char *format, int quality)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    if (dpi > 0) {
        const int perMetre = static_cast<int>(std::lround(dpi / 0.0254));
        image.setDotsPerMeterX(perMetre);
        image.setDotsPerMeterY(perMetre);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

} // namespace

QByteArray PngBytes(int width, int height, double dpi)
{
    return ImageBytes(width, height, dpi, "PNG", -1);
}

QByteArray JpegBytes(int width, int height, int dpi)
{
    return ImageBytes(width, height, dpi, "JPEG", 50);
}

QList<QStringList> FileRows(const QString &mdb, const QString &statement)
{
    const QString name = QStringLiteral("test-file-rows");
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(mdb);
        if (!db.open())
            throw std::runtime_error("cannot open " + mdb.toStdString());
        rows = QueryRows(db, statement);
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QList<QStringList> GridRows(std::unique_ptr<kestova::RowCursor> rows)
{
    if (!rows)
        throw std::runtime_error("the store rejected a grid's statement");
    QList<QStringList> texts;
    while (!rows->AtEnd()) {
        for (const QVariantList &row : rows->Next(1000)) {
            QStringList text;
            for (const QVariant &value : row)
                text << (value.isNull() ? QStringLiteral("<null>") : value.toString());
            texts << text;
        }
    }
    return texts;
}

QList<QStringList> QueryRows(const QSqlDatabase &db, const QString &statement)
{
    QList<QStringList> rows;
    QSqlQuery q(db);
    if (!q.exec(statement))
        throw std::runtime_error("query failed: " + statement.toStdString());
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
        rows << row;
    }
    return rows;
}

CountToolRun RunCountTool(const QStringList &args, const QString &program)
{
    QProcess p;
    p.start(program.isEmpty() ? QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")) : program, args);
    if (!p.waitForFinished(60000))
        throw std::runtime_error("kestova-count did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

CountToolRun RunCountToolAsNobody(const QStringList &args)
{
    return RunCountTool(QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                    QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT"))}
                            + args,
                        QStringLiteral("setpriv"));
}

QByteArray EncodeImage(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString SourcePath(const QString &relative)
{
    return QDir(QString::fromLocal8Bit(qgetenv("KESTOVA_SOURCE_DIR"))).filePath(relative);
}

SmallDisk::SmallDisk(const QString &path, const char *size)
    : m_path(path)
{
    const QByteArray options = QByteArray("size=") + size;
    m_mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

} // namespace kestova::test
