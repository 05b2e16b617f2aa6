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

#include <cmath>
#include <stdexcept>

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

CountToolRun RunCountTool(const QStringList &args)
{
    QProcess p;
    p.start(QString::fromLocal8Bit(qgetenv("KESTOVA_COUNT")), args);
    if (!p.waitForFinished(60000))
        throw std::runtime_error("kestova-count did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString SourcePath(const QString &relative)
{
    return QDir(QString::fromLocal8Bit(qgetenv("KESTOVA_SOURCE_DIR"))).filePath(relative);
}

} // namespace kestova::test
