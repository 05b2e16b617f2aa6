// Qt's catalogues.
#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kestova {

namespace {

// Texts Qt's catalogue of this Qt version does not carry.
class MissingQtTexts : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        if (qstrcmp(source, "Folder") == 0)
            return QStringLiteral("文件夹");
        if (qstrcmp(source, "Drive") == 0)
            return QStringLiteral("驱动器");
        if (qstrcmp(source, "File") == 0)
            return QStringLiteral("文件");
        if (qstrcmp(source, "%1 File") == 0)
            return QStringLiteral("%1 文件");
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

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
    QCoreApplication::installTranslator(new MissingQtTexts(QCoreApplication::instance()));
    return QCoreApplication::installTranslator(translator);
}

void UseChineseDates()
{
    // Qt reads the system locale's date formats from LC_TIME; a user who set
    // LC_ALL chose every category and is left alone.
    if (!qgetenv("LC_ALL").isEmpty())
        return;
    QByteArray time = qgetenv("LC_TIME");
    if (time.isEmpty())
        time = qgetenv("LANG");
    if (time.startsWith("zh"))
        return;
    qputenv("LC_TIME", QtTranslationLocale(QLocale(QString::fromLatin1(time))).toLatin1() + ".UTF-8");
}

} // namespace kestova
