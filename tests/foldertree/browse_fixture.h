// Helpers of the folder tree tests: folders on disk, the items of a shown
// control's tree, a log of the control's events in raising order, and a
// control under a chosen colour scheme.
#pragma once

#include "folder_list_model.h"
#include "uc_browse.h"

#include <QDir>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>
#include <ostream>
#include <utility>

#include "qt_printers.h"

// Readable failure messages for Qt values.
inline void PrintTo(const QColor &color, std::ostream *os)
{
    *os << color.name().toStdString();
}

namespace kestova::test {

class FolderSandbox
{
public:
    // Creates the folders (relative, '/' separated) under a new temporary folder.
    FolderSandbox(std::initializer_list<QString> folders)
    {
        for (const QString &folder : folders)
            QDir(m_dir.path()).mkpath(folder);
    }
    QString path(const QString &relative = {}) const
    {
        return QDir::toNativeSeparators(relative.isEmpty() ? m_dir.path() : m_dir.path() + '/' + relative);
    }
    // What PathChange carries for the folder.
    QString qualified(const QString &relative = {}) const { return path(relative) + QDir::separator(); }

private:
    QTemporaryDir m_dir;
};

// The item of the control's tree for a folder path (invalid when not shown there).
inline QModelIndex ItemOf(ucBrowse &browse, const QString &path)
{
    const auto *folders = qobject_cast<QSortFilterProxyModel *>(browse.Tree()->model());
    return folders->mapFromSource(browse.FileSystem()->index(QDir::fromNativeSeparators(path)));
}

inline QString PathOfItem(const QModelIndex &item)
{
    return QDir::toNativeSeparators(item.data(FolderListModel::FilePathRole).toString());
}

// Waits for the file-system model to list the folder's sub-folders.
inline bool WaitForListing(ucBrowse &browse, const QString &folder, int subfolders)
{
    FolderListModel *files = browse.FileSystem();
    QSignalSpy loaded(files, &FolderListModel::directoryLoaded);
    const QModelIndex index = files->index(QDir::fromNativeSeparators(folder));
    if (files->canFetchMore(index))
        files->fetchMore(index);
    for (int round = 0; round < 10 && files->rowCount(index) < subfolders; ++round)
        loaded.wait(1000);
    return files->rowCount(index) == subfolders;
}

class EventLog
{
public:
    explicit EventLog(ucBrowse &browse)
    {
        QObject::connect(&browse, &ucBrowse::Status, [this](const QString &text) { events << "Status " + text; });
        QObject::connect(&browse, &ucBrowse::PathChange, [this](const QString &path) { events << "PathChange " + path; });
    }
    QStringList events;
};

inline const QString Initialized = QStringLiteral("Status SystemTreeView Initalized");
inline const QString ShutDown = QStringLiteral("Status SystemTreeView ShutDown");

// A control whose visual style reports a chosen colour-scheme name.
class SchemedBrowse : public ucBrowse
{
public:
    explicit SchemedBrowse(QString scheme, QWidget *parent = nullptr) : ucBrowse(parent), m_scheme(std::move(scheme)) {}

protected:
    QString ThemeColorName() const override { return m_scheme; }

private:
    QString m_scheme;
};

} // namespace kestova::test
