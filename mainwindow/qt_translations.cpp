// Qt's catalogues.
#include "qt_translations.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QTreeView>
#include <QLibraryInfo>
#include <QTranslator>

#include <clocale>
#include <cstring>
#include <langinfo.h>

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

namespace {

bool CtypeIsUtf8()
{
    const char *codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

QLocale ChineseLocale()
{
    return QLocale(QtTranslationLocale(QLocale::system()));
}

// The file system model's columns: 0 name, 1 size, 2 type, 3 date.
class ChineseFileColumns : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || (index.column() != 1 && index.column() != 3))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == 3)
            return files->lastModified(source).toString(QStringLiteral("yyyy/M/d HH:mm"));
        if (files->isDir(source))
            return QIdentityProxyModel::data(index, role); // folders have no size
        return ChineseLocale().formattedDataSize(files->size(source), 1, QLocale::DataSizeTraditionalFormat);
    }
    // The dialog sorts through its proxy; the file system model sorts by
    // the values, not by the texts shown.
    void sort(int column, Qt::SortOrder order) override
    {
        if (sourceModel())
            sourceModel()->sort(column, order);
    }
};

} // namespace

void UseProgramLocale()
{
    if (!CtypeIsUtf8()) {
        for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (std::setlocale(LC_CTYPE, name) && CtypeIsUtf8())
                break;
        }
    }
    QLocale::setDefault(ChineseLocale());
}

void UseChineseFileColumns(QFileDialog &dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ChineseFileColumns(&dialog));
    // The detail view's type and date columns, wide enough for their texts.
    if (auto *list = dialog.findChild<QTreeView *>(QStringLiteral("treeView"))) {
        const QFontMetrics metrics = list->fontMetrics();
        list->header()->resizeSection(2, metrics.horizontalAdvance(QStringLiteral("纯文本文档")) + 16);
        list->header()->resizeSection(3, metrics.horizontalAdvance(QStringLiteral("2026/12/28 10:00")) + 16);
    }
    dialog.resize(qMax(dialog.width(), 760), dialog.height()); // the four columns side by side
}

} // namespace kestova
