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

// Loads Qt's catalogue for that locale into the application; false when it
// is not installed (the texts then stay English).
bool InstallQtTranslations(const QLocale &system = QLocale::system());

} // namespace kestova
