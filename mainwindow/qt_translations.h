// Qt's own texts — standard buttons (确定, 是, 否), the open and save
// dialogs, the overwrite question, the print preview's tool bar — in the
// Chinese of the rest of the program.
#pragma once

#include <QLocale>
#include <QString>

class QFileDialog;

namespace kestova {

// "zh_TW" when the system asks for Traditional Chinese (Taiwan, Hong Kong,
// Macao, or the Hant script), otherwise "zh_CN": the program is Chinese
// whatever the system's language.
QString QtTranslationLocale(const QLocale &system);

// Loads Qt's catalogue for that locale into the application, and the few
// texts the catalogue lacks (a file dialog's "Folder" type); false when the
// catalogue is not installed (Qt's texts then stay English).
bool InstallQtTranslations(const QLocale &system = QLocale::system());

// Once the application object exists (it has taken the C library's locale
// from the environment): Qt's locale-dependent texts (file types, dates in
// Qt's widgets) in Chinese, through Qt's default locale only, never by naming
// a locale to the C library that the machine may not have. Where the
// environment leaves the C library without UTF-8 (LANG=C, or a locale not
// installed), its character type becomes a UTF-8 locale the machine has, so
// that Chinese window titles and file names pass through it whole.
void UseProgramLocale();

// A file dialog's list in Chinese: sizes ("36 字节") and dates, which Qt
// writes in the system locale's language, and a type column wide enough
// for its text.
void UseChineseFileColumns(QFileDialog &dialog);

} // namespace kestova
