// Qt's catalogues.
#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kestova {

QString QtTranslationLocale(const QLocale &system)
{
    if (system.language() == QLocale::Chinese
        && (system.script() == QLocale::TraditionalChineseScript || system.territory() == QLocale::Taiwan
            || system.territory() == QLocale::HongKong || system.territory() == QLocale::Macao))
        return QStringLiteral("zh_TW");
    return QStringLiteral("zh_CN");
}

bool InstallQtTranslations(const QLocale &system)
{
    // "qt_<locale>" is the meta catalogue that pulls in qtbase's texts.
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString name = QStringLiteral("qt_") + QtTranslationLocale(system);
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace kestova
