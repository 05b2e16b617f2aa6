// The program folder: where Config.ini and Data.mdb live. It is the folder of
// the executable unless a caller (the command-line tool, a test) names another.
#pragma once

#include <QString>

namespace kestova {

QString ProgramFolder();
void SetProgramFolder(const QString &folder);

QString ConfigIniPath();  // program folder + Config.ini
QString DataMdbPath();    // program folder + Data.mdb

} // namespace kestova
