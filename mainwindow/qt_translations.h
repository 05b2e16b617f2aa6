// Qt's own texts — standard buttons (确定, 是, 否), the open and save
// dialogs, the overwrite question, the print preview's tool bar — in the
// Chinese of the rest of the program.
#pragma once

#include <QLocale>
#include <QString>

namespace kestova {

// "zh_TW" when the system asks for Traditional Chinese (Taiwan, Hong Kong,
// Macao, or the Hant script), otherwise "zh_CN": the program is Chinese
// whatever the system's language.
QString QtTranslationLocale(const QLocale &system);

// Loads Qt's catalogue for that locale into the application, and the few
// texts the catalogue lacks (a file dialog's "Folder" type); false when the
// catalogue is not installed (Qt's texts then stay English).
bool InstallQtTranslations(const QLocale &system = QLocale::system());

// Before the application is made: dates Qt writes from the system locale
// (the file dialog's modification times) in Chinese on a machine whose
// locale is not Chinese ("2026/12/8", not "8 Dec 2026").
void UseChineseDates();

} // namespace kestova
