// The program folder.
#include "program_folder.h"

#include <QCoreApplication>
#include <QDir>

namespace kestova {

namespace {
QString g_folder;
}

QString ProgramFolder()
{
    if (!g_folder.isEmpty())
        return g_folder;
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString &folder)
{
    g_folder = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

QString ConfigIniPath()
{
    return QDir(ProgramFolder()).filePath(QStringLiteral("Config.ini"));
}

QString DataMdbPath()
{
    return QDir(ProgramFolder()).filePath(QStringLiteral("Data.mdb"));
}

} // namespace kestova
