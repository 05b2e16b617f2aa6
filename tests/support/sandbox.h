// A temporary program folder (Config.ini, Data.mdb) and photo folders for one
// test, removed afterwards.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>

#include "qt_printers.h"

#include <memory>

namespace kestova {
class RowCursor;
}

namespace kestova::test {

class Sandbox
{
public:
    Sandbox();   // makes <tmp>/program the program folder
    ~Sandbox();  // restores the previous program folder

    QString root() const { return m_dir.path(); }
    QString programDir() const;
    QString path(const QString &relative) const;

    // Lays a fresh Data.mdb into the program folder.
    void createStore() const;
    // Writes a file (creating its folders) and returns its full path.
    QString writeFile(const QString &relative, const QByteArray &bytes) const;
    QString mkdir(const QString &relative) const;

    // The same by bytes on disk ('/'-separated, under root()), for names in
    // GBK and trees deeper than the system's path limit: every folder is
    // made and entered with mkdirat and openat, so no long path is handed to
    // the system. Throws when the system refuses.
    void writeRawFile(const QByteArray &relative, const QByteArray &bytes) const;
    void mkdirRaw(const QByteArray &relative) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A small tmpfs mounted on the folder `path` (as root), for a disk that
// fills; unmounted with the object. mounted() is false where the system
// refused.
class SmallDisk
{
public:
    SmallDisk(const QString &path, const char *size);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool mounted() const { return m_mounted; }

private:
    QString m_path;
    bool m_mounted = false;
};

// Removes the tree at path by its bytes on disk, whatever its names and
// depth (Qt's own removal loses names that are not UTF-8).
void RemoveTree(const QByteArray &path);

// A minimal image of the given pixel size and resolution (PNG with pHYs when
// dpi > 0), written to the file.
QByteArray PngBytes(int width, int height, double dpi = 0);

// A JPEG of the given pixel size; with dpi > 0 its JFIF header carries that
// density in dots per inch, otherwise the writer's default of 96.
QByteArray JpegBytes(int width, int height, int dpi = 0);

// The rows of a query on the store as text, a null value as "<null>".
QList<QStringList> QueryRows(const QSqlDatabase &db, const QString &statement);
// The same on a connection of the test's own to the store's file, which
// sees what the store committed (the program's SQL functions are not there).
QList<QStringList> FileRows(const QString &mdb, const QString &statement);
// Every row a store's grid reader hands out, as QueryRows gives them; a
// rejected statement (null) throws.
QList<QStringList> GridRows(std::unique_ptr<kestova::RowCursor> rows);

// kestova-count (named by KESTOVA_COUNT, or another program) run to its
// end: exit status and what it wrote, as UTF-8.
struct CountToolRun {
    int status = -1;
    QString out;
    QString err;
};
CountToolRun RunCountTool(const QStringList &args, const QString &program = QString());
// The same as the user "nobody", for whom permissions hold (the tests run
// as root); status 127 when setpriv is missing.
CountToolRun RunCountToolAsNobody(const QStringList &args);

// An image encoded in memory in the given format (quality -1: Qt's default).
QByteArray EncodeImage(const QImage &image, const char *format, int quality = -1);

// A file's bytes; empty when it cannot be read.
QByteArray ReadBytes(const QString &path);

// The folder of a source-tree file, from KESTOVA_SOURCE_DIR.
QString SourcePath(const QString &relative);

} // namespace kestova::test
